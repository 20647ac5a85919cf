%QMV_MOTION_FIELD  Dense optical flow between two colour frames (MEX).
%
%   imgFlowB = qmv_motion_field(img1, img2)
%
%   Estimates, for every pixel of img1, where it moved to in img2, with
%   Farneback's polynomial-expansion method (5 pyramid levels, scale 0.5,
%   window 13, 10 iterations, polynomial neighbourhood 5, sigma 1.1, box
%   window, no initial flow).
%
%   Inputs
%     img1, img2  H x W x 3 real double colour frames of the same height and
%                 width; planes 1, 2, 3 are red, green, blue on a 0..1 scale.
%                 Values are clamped to 0..1 and rounded to 8 bits, so frames
%                 on a 0..255 scale arrive almost white: divide them by 255.
%
%   Output
%     imgFlowB    H x W x 2 double, displacements in pixels: plane 1 is the
%                 horizontal dx (towards larger column index), plane 2 the
%                 vertical dy (towards larger row index), such that
%                 img1(r, c, :) ~ img2(r + dy, c + dx, :).
%                 These are displacements, not coordinates: the absolute
%                 1-based map that qmv_system_apply and qmv_scatter_nearest
%                 take is [c + dx, r + dy], i.e.
%                   [cols, rows] = meshgrid(1:W, 1:H);
%                   map = cat(3, cols + imgFlowB(:,:,1), rows + imgFlowB(:,:,2));
%
%   Errors (Octave prefixes them with "qmv_motion_field: "):
%     Usage: imgFlowB = qmv_motion_field(img1, img2)
%                                        not exactly one output and two inputs
%     Error: data format is not double!  img1 or img2 not of class double
%     Error: img1 must be a 3-channel image!  img1 not H x W x 3
%     Error: img2 must be a 3-channel image!  img2 not H x W x 3
%     Error: img2 must be the same size as img1!
%   Frames of zero height or width, and sparse frames, are refused with an
%   "Error: " message too.  Only the real part of complex frames is read.
%
%   Example:
%     img1 = sr_sample_image();
%     img2 = img1(:, [1 1 1:end-2], :);        % content moves 2 columns right
%     flow = qmv_motion_field(img1, img2);
%     median(reshape(flow(20:end-20, 20:end-20, 1), [], 1))   % about 2
%
%   See also sr_reconstruct, dpx_guided_smooth.

%!shared img
%! % A smooth texture with detail at several scales.
%! [x, y] = meshgrid (1:96, 1:80);
%! g = 0.5 + 0.2 * sin (x / 5) .* cos (y / 7) + 0.15 * sin ((x + 2 * y) / 3.1) ...
%!     + 0.1 * cos ((3 * x - y) / 4.3);
%! img = cat (3, g, 0.9 * g, 1 - g);

%!test
%! % Shape and plane order: content moved right by 2 and down by 1 pixel
%! % gives dx = +2 in plane 1 and dy = +1 in plane 2.
%! img2 = img([1 1:end-1], [1 1 1:end-2], :);
%! flow = qmv_motion_field (img, img2);
%! assert (size (flow), [80 96 2]);
%! assert (class (flow), 'double');
%! inner = flow(16:end-15, 16:end-15, :);
%! assert (median (reshape (inner(:, :, 1), [], 1)), 2, 0.1);
%! assert (median (reshape (inner(:, :, 2), [], 1)), 1, 0.1);

%!test
%! % Identical frames: no motion.
%! flow = qmv_motion_field (img, img);
%! inner = flow(16:end-15, 16:end-15, :);
%! assert (median (abs (inner(:))) < 0.01);

%!test
%! % Values outside 0..1 are clamped before the flow is computed.
%! a = 2 * img - 0.5;
%! b = a(:, [1 1:end-1], :);
%! clamp = @(v) min (max (v, 0), 1);
%! assert (qmv_motion_field (a, b), qmv_motion_field (clamp (a), clamp (b)));

%!error <Usage: imgFlowB = qmv_motion_field\(img1, img2\)> flow = qmv_motion_field (ones (4, 4, 3))
%!error <Usage: imgFlowB = qmv_motion_field\(img1, img2\)> qmv_motion_field (ones (4, 4, 3), ones (4, 4, 3))
%!error <Error: data format is not double!> flow = qmv_motion_field (single (ones (4, 4, 3)), ones (4, 4, 3))
%!error <Error: img1 must be a 3-channel image!> flow = qmv_motion_field (ones (4, 4), ones (4, 4, 3))
%!error <Error: img1 must be a 3-channel image!> flow = qmv_motion_field (ones (4, 4, 4), ones (4, 4, 3))
%!error <Error: img2 must be a 3-channel image!> flow = qmv_motion_field (ones (4, 4, 3), ones (4, 4, 2))
%!error <Error: img2 must be the same size as img1!> flow = qmv_motion_field (ones (4, 6, 3), ones (6, 4, 3))
%!error <Error: > flow = qmv_motion_field (zeros (0, 4, 3), zeros (0, 4, 3))
