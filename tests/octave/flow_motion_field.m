% qmv_motion_field through the real MEX file: result shape and meaning on real
% frames, the error texts, and a sweep of malformed calls that must end in an
% error and never bring the interpreter down.
data_dir = fullfile(fileparts(fileparts(fileparts(which('flow_motion_field.m')))), 'data');
img1 = double(imread(fullfile(data_dir, 'rubberwhale1.png'))) / 255;
img2 = double(imread(fullfile(data_dir, 'rubberwhale2.png'))) / 255;

% A real frame pair with small motion.
flow = qmv_motion_field(img1, img2);
assert(isequal(size(flow), [388 584 2]));
assert(isa(flow, 'double') && isreal(flow));
assert(all(isfinite(flow(:))));
assert(max(abs(flow(:))) < 20);

% Content moved by +2 columns and -1 row: plane 1 is dx (columns), plane 2 dy.
bfly = double(imread(fullfile(data_dir, 'butterfly.png'))) / 255;
moved = bfly;
moved(1:end-1, 3:end, :) = bfly(2:end, 1:end-2, :);
flow = qmv_motion_field(bfly, moved);
inner_dx = flow(20:end-20, 20:end-20, 1);
inner_dy = flow(20:end-20, 20:end-20, 2);
assert(abs(median(inner_dx(:)) - 2) < 0.01 && abs(mean(inner_dx(:)) - 2) < 0.1);
assert(abs(median(inner_dy(:)) + 1) < 0.01 && abs(mean(inner_dy(:)) + 1) < 0.1);

% Complex frames are read by their real part; frames on a 0..255 scale saturate.
assert(isequal(qmv_motion_field(complex(img1, 1), complex(img2, -1)), qmv_motion_field(img1, img2)));
assert(isequal(qmv_motion_field(img1 * 255, img2 * 255), ...
               qmv_motion_field(double(img1 > 0), double(img2 > 0))));

% Error texts, in their order of checking.
function expect_error(expected, varargin)
  try
    flow = qmv_motion_field(varargin{:});
  catch err
    assert(strcmp(err.message, ['qmv_motion_field: ' expected]), ...
           'got "%s", expected "%s"', err.message, expected);
    return;
  end
  error('no error, expected "%s"', expected);
end
usage = 'Usage: imgFlowB = qmv_motion_field(img1, img2)';
expect_error(usage, img1);
expect_error(usage, img1, img2, img2);
try
  qmv_motion_field(img1, img2);  % result not assigned
  error('a call without an output must fail');
catch err
  assert(strcmp(err.message, ['qmv_motion_field: ' usage]));
end
expect_error('Error: data format is not double!', single(img1), img2);
expect_error('Error: data format is not double!', rand(4, 5), uint8(img2));
expect_error('Error: img1 must be a 3-channel image!', rand(4, 5), rand(4, 5, 3));
expect_error('Error: img1 must be a 3-channel image!', rand(4, 5, 4), rand(4, 5));
expect_error('Error: img2 must be a 3-channel image!', rand(4, 5, 3), rand(4, 5));
expect_error('Error: img2 must be the same size as img1!', rand(4, 5, 3), rand(5, 4, 3));
expect_error('Error: img1 and img2 must have a positive height and width!', ...
             zeros(0, 5, 3), zeros(0, 5, 3));

% Malformed calls: every one ends in an error, none crashes.
bad = {{}, {[]}, {[], []}, {'ab', 'cd'}, {{1}, {2}}, {struct('a', 1), img1}, ...
       {sparse(4, 5), sparse(4, 5)}, {true(4, 5, 3), true(4, 5, 3)}, ...
       {int8(img1), img2}, {@sin, @cos}, {zeros(5, 0, 3), zeros(5, 0, 3)}, ...
       {zeros(0, 0, 3), zeros(0, 0, 3)}, {rand(2, 2, 3, 2), rand(2, 2, 3, 2)}, ...
       {rand(3, 3, 3), rand(3, 3, 3, 1, 2)}, {1, 2}, {img1, img2(1:end-1, :, :)}};
for k = 1:numel(bad)
  failed = false;
  try
    flow = qmv_motion_field(bad{k}{:});
  catch
    failed = true;
  end
  assert(failed, 'malformed call %d was accepted', k);
end

% Degenerate but valid frames: tiny sizes, non-finite and extreme values.
odd = {rand(1, 1, 3), rand(1, 9, 3), rand(9, 1, 3), rand(2, 3, 3), ...
       nan(6, 7, 3), inf(6, 7, 3), -inf(6, 7, 3), 1e300 * rand(6, 7, 3)};
for k = 1:numel(odd)
  flow = qmv_motion_field(odd{k}, odd{k});
  assert(isequal(size(flow), [size(odd{k}, 1) size(odd{k}, 2) 2]));
end
