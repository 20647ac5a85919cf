% qmv_scatter_nearest through the real MEX file: agreement with an accumarray
% scatter, the warning lines, the error texts, and a sweep of malformed calls
% that must end in an error and never bring the interpreter down.
1; % a script, not a function file

% The same scatter written with accumarray: round half up, clamp, add.
function out = scatter_reference(img, map)
  [H, W, K] = size(img);
  ok = all(isfinite(map), 3);
  cols = min(max(floor(map(:, :, 1) - 1 + 0.5) + 1, 1), W);
  rows = min(max(floor(map(:, :, 2) - 1 + 0.5) + 1, 1), H);
  out = zeros(H, W, K);
  for k = 1:K
    plane = img(:, :, k);
    out(:, :, k) = accumarray([rows(ok) cols(ok)], plane(ok), [H W]);
  end
end

function expect_error(expected, varargin)
  try
    out = qmv_scatter_nearest(varargin{:});
  catch err
    assert(strcmp(err.message, ['qmv_scatter_nearest: ' expected]), ...
           'got "%s", expected "%s"', err.message, expected);
    return;
  end
  error('no error, expected "%s"', expected);
end

rand('seed', 7);
H = 37; W = 53;
[X, Y] = meshgrid(1:W, 1:H);

% Random maps reaching beyond the border, 2-D and 3-D images.
for K = [1 3]
  img = rand(H, W, K) - 0.5;
  map = cat(3, X + 6 * (rand(H, W) - 0.5), Y + 6 * (rand(H, W) - 0.5));
  out = qmv_scatter_nearest(img, map);
  assert(isequal(size(out), size(img)));
  assert(max(abs(out(:) - reshape(scatter_reference(img, map), [], 1))) < 1e-12);
end

% Identity, halves rounding up, far coordinates beyond the 32-bit range.
img = rand(H, W, 3);
assert(isequal(qmv_scatter_nearest(img, cat(3, X, Y)), img));
assert(isequal(qmv_scatter_nearest([1 10 100], cat(3, [2.5 2.499 0.5], ones(1, 3))), [100 10 1]));
assert(isequal(qmv_scatter_nearest([1 2 4 8], cat(3, [0 -5 1e10 1e300], [1 1 1 -1e300])), [3 0 0 12]));

% Non-finite entries: one warning line each (0-based column, row), pixel left out.
map = cat(3, X, Y);
map(1, 3, 1) = NaN;
map(2, 1, 2) = -Inf;
printed = evalc('out = qmv_scatter_nearest(img, map);');
assert(strcmp(printed, sprintf('__warning: illegal flow vector at (2, 0)\n__warning: illegal flow vector at (0, 1)\n')), printed);
expected = img;
expected(1, 3, :) = 0;
expected(2, 1, :) = 0;
assert(isequal(out, expected));

% Complex input is read by its real part.
assert(isequal(qmv_scatter_nearest(complex(img, 1), complex(cat(3, X, Y), -1)), img));

% Error texts in their order of checking; refusals of what cannot be held.
expect_error('Usage: imgWarped = qmv_scatter_nearest(img, imgMap)', img);
expect_error('Usage: imgWarped = qmv_scatter_nearest(img, imgMap)', img, map, map);
expect_error('Error: data format is not double!', single(img), map);
expect_error('Error: data format is not double!', img, int8(map));
expect_error('Error: data format is not double!', {}, map);
expect_error('Error: img must be an image!', zeros(2, 2, 2, 2), map);
expect_error('Error: imgMap must be a vector field!', img, zeros(H, W));
expect_error('Error: size(imgMap, 3) MUST == 2!', img, zeros(H, W, 3));
expect_error('Error: sparse arrays are not supported!', sparse(H, W), map);
expect_error('Error: img must not be empty!', [], zeros(0, 0, 2));
expect_error('Error: img must not be empty!', zeros(H, W, 0), map);
expect_error('Error: imgMap must have the same height and width as img!', img, zeros(H, W + 1, 2));
expect_error('Error: imgMap must have the same height and width as img!', img(1:5, 1:5, :), zeros(1, 1, 2));
expect_error('Error: imgMap must have the same height and width as img!', rand(3, 4), zeros(4, 3, 2));
try
  qmv_scatter_nearest(img, map);
  error('no usage error for a call without an output');
catch err
  assert(strcmp(err.message, 'qmv_scatter_nearest: Usage: imgWarped = qmv_scatter_nearest(img, imgMap)'));
end

% Malformed calls of every kind: each must raise an error or return a result
% of the image's size; the interpreter must survive all of them.
odd = {[], zeros(0, 3), zeros(3, 0, 2), sparse(2, 2), 'ab', {1}, struct('a', 1), true(2), ...
       NaN(2, 2, 2), Inf(2, 2, 2), -Inf(2, 2), 1e308 * ones(2, 2, 2), zeros(2, 2, 2, 2), ...
       complex(ones(2, 2, 2), 1), ones(1, 1, 2), 1, ones(2, 2, 2)};
for i = 1:numel(odd)
  for j = 1:numel(odd)
    try
      evalc('out = qmv_scatter_nearest(odd{i}, odd{j});');
      assert(isequal(size(out), size(odd{i})));
    catch err
      assert(strncmp(err.message, 'qmv_scatter_nearest: ', 21), err.message);
    end
  end
end

% Unloading and loading again keeps the module working.
clear qmv_scatter_nearest
assert(isequal(qmv_scatter_nearest(img, cat(3, X, Y)), img));
