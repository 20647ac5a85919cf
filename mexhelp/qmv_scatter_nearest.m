%QMV_SCATTER_NEAREST  Transpose of a nearest-neighbour remap: scatter-add (MEX).
%
%   imgWarped = qmv_scatter_nearest(img, imgMap)
%
%   Adds every pixel of img into the pixel that imgMap names for it.  This
%   is the transpose (adjoint) M' of the nearest-neighbour backward warp M
%   that reads, for each pixel (r, c), the value of an image at imgMap(r, c, :)
%   rounded to the nearest pixel and clamped to the border; sr_reconstruct
%   uses it for the transposed warp of the right-hand side.
%
%   Inputs
%     img     H x W or H x W x K real double (K planes are scattered alike)
%     imgMap  H x W x 2 real double: for each pixel (r, c) of img the target
%             as absolute 1-BASED coordinates; plane 1 is the column (x),
%             plane 2 the row (y).  Coordinates, not displacements.
%
%   Output
%     imgWarped  double array of exactly the size of img (2-D stays 2-D):
%             pixel (y, x) holds the sum of all img(r, c, :) whose target
%             is (y, x); pixels that no source names are 0.
%
%   Targets: row floor(imgMap(r,c,2) - 1 + 0.5) + 1 and column
%   floor(imgMap(r,c,1) - 1 + 0.5) + 1, that is rounding to the nearest
%   pixel with halves upwards (2.5 names pixel 3, 2.499 pixel 2, 0.5 pixel
%   1); targets beyond the image are clamped to the first or last row or
%   column and pile up there.  Sums are formed row by row, left to right.
%
%   A non-finite (NaN or Inf) coordinate in either plane leaves that pixel
%   out and prints one line per such pixel, with the 0-BASED column x and
%   row y of the source pixel (MATLAB element (r, c) prints x = c-1,
%   y = r-1):
%     __warning: illegal flow vector at (x, y)
%   The call then goes on and succeeds.  Only the real part of complex
%   input is read.
%
%   Errors (Octave prefixes them with "qmv_scatter_nearest: "):
%     Usage: imgWarped = qmv_scatter_nearest(img, imgMap)
%                                       not exactly one output and two inputs
%     Error: data format is not double! img or imgMap not of class double
%     Error: img must be an image!      img with more than 3 dimensions
%     Error: imgMap must be a vector field!  imgMap not 3-dimensional
%     Error: size(imgMap, 3) MUST == 2! imgMap without exactly two planes
%   Empty, zero-sized and sparse arrays, and maps whose height and width
%   differ from those of img, are refused with an "Error: " message too.
%
%   Example:
%     img = magic(4);
%     [c, r] = meshgrid(1:4, 1:4);
%     map = cat(3, c + 1, r);                  % every pixel one column right
%     out = qmv_scatter_nearest(img, map)      % last column gathers two
%
%   See also qmv_system_apply, sr_reconstruct.

%!shared img, cols, rows
%! img = reshape(1:24, 4, 6);
%! [cols, rows] = meshgrid(1:6, 1:4);

%!test
%! % The identity map returns the image, in 2-D and with planes.
%! assert (qmv_scatter_nearest (img, cat (3, cols, rows)), img);
%! img3 = cat (3, img, -img, 2 * img);
%! out = qmv_scatter_nearest (img3, cat (3, cols, rows));
%! assert (size (out), [4 6 3]);
%! assert (out, img3);

%!test
%! % Every pixel sent to (1, 1) gathers the whole sum there.
%! out = qmv_scatter_nearest (img, ones (4, 6, 2));
%! expected = zeros (4, 6);
%! expected(1, 1) = sum (img(:));
%! assert (out, expected);

%!test
%! % Halves round up; far coordinates are clamped to the border.
%! map = cat (3, cols, rows);
%! map(1, 1, :) = [2.5, 1];      % -> column 3
%! map(2, 1, :) = [2.499, 2];    % -> column 2
%! map(3, 1, :) = [-5, 4];       % -> column 1, row 4
%! map(4, 1, :) = [1, 1e300];    % -> row 4
%! out = qmv_scatter_nearest (img, map);
%! expected = img;
%! expected(1, 1) = 0;
%! expected(1, 3) = img(1, 3) + img(1, 1);
%! expected(2, 2) = img(2, 2) + img(2, 1);
%! expected(2, 1) = 0;
%! expected(4, 1) = img(4, 1) + img(3, 1);
%! expected(3, 1) = 0;
%! assert (out, expected);

%!test
%! % Agrees with accumarray on a random map, several planes.
%! a = rand (5, 7, 2);
%! map = cat (3, 9 * rand (5, 7) - 1, 7 * rand (5, 7) - 1);
%! x = min (max (floor (map(:, :, 1) - 1 + 0.5) + 1, 1), 7);
%! y = min (max (floor (map(:, :, 2) - 1 + 0.5) + 1, 1), 5);
%! idx = y(:) + 5 * (x(:) - 1);
%! out = qmv_scatter_nearest (a, map);
%! for c = 1:2
%!   plane = a(:, :, c);
%!   assert (out(:, :, c), reshape (accumarray (idx, plane(:), [35 1]), 5, 7), 1e-12);
%! end

%!test
%! % A NaN entry prints its 0-based column and row, and drops the pixel.
%! map = cat (3, cols, rows);
%! map(1, 3, 1) = NaN;
%! printed = evalc ('out = qmv_scatter_nearest (img, map);');
%! assert (! isempty (strfind (printed, '__warning: illegal flow vector at (2, 0)')));
%! expected = img;
%! expected(1, 3) = 0;
%! assert (out, expected);

%!error <Usage: imgWarped = qmv_scatter_nearest\(img, imgMap\)> out = qmv_scatter_nearest (1)
%!error <Usage: imgWarped = qmv_scatter_nearest\(img, imgMap\)> out = qmv_scatter_nearest (1, 2, 3)
%!error <Usage: imgWarped = qmv_scatter_nearest\(img, imgMap\)> qmv_scatter_nearest (ones (2), ones (2, 2, 2))
%!error <Error: data format is not double!> out = qmv_scatter_nearest (single (ones (2)), ones (2, 2, 2))
%!error <Error: data format is not double!> out = qmv_scatter_nearest (ones (2), int32 (ones (2, 2, 2)))
%!error <Error: img must be an image!> out = qmv_scatter_nearest (ones (2, 2, 2, 2), ones (2, 2, 2))
%!error <Error: imgMap must be a vector field!> out = qmv_scatter_nearest (ones (2), ones (2))
%!error <Error: size\(imgMap, 3\) MUST == 2!> out = qmv_scatter_nearest (ones (2), ones (2, 2, 3))
%!error <Error: > out = qmv_scatter_nearest (ones (2, 3), ones (3, 2, 2))
%!error <Error: > out = qmv_scatter_nearest (sparse (ones (2)), ones (2, 2, 2))
%!error <Error: > out = qmv_scatter_nearest (zeros (0, 2), zeros (0, 2, 2))
