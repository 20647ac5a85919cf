% dpx_guided_smooth through the real MEX file: results against the filter's
% formula evaluated in Octave, stacks, defaults, messages, and a sweep of
% malformed calls that must all come back as errors without harming Octave.
1;

function out = reference_smooth(img, guide, r, seps, reps, p)
  % The filter's formula in double precision on single-rounded inputs.
  img = double(single(img));
  guide = double(single(guide));
  [H, W] = size(img);
  if p == 2
    ds = seps^2; dr = reps^2;
  else
    ds = seps; dr = reps;
  end
  out = zeros(H, W);
  for y = 1:H
    for x = 1:W
      ys = max(1, y - r):min(H, y + r);
      xs = max(1, x - r):min(W, x + r);
      [XX, YY] = meshgrid(xs, ys);
      S = (XX - x).^2 + (YY - y).^2;
      D = guide(ys, xs, :) - guide(y, x, :);
      if p == 1
        S = sqrt(S);
      end
      if p == 2
        R = sum(D.^2, 3);
      else
        R = sum(abs(D), 3) / 3;
      end
      w = exp(-S / ds - R / dr);
      out(y, x) = sum(w(:) .* reshape(img(ys, xs), [], 1)) / sum(w(:));
    end
  end
end

function expect_error(fcall, expected)
  try
    out = fcall();
  catch err
    if nargin > 1
      assert(strcmp(err.message, ['dpx_guided_smooth: ' expected]), ...
             'message "%s" instead of "%s"', err.message, expected);
    end
    return;
  end
  error('call did not fail%s', sprintf(': %s', expected));
end

rand('state', 7);
H = 14; W = 19;
img = rand(H, W);
guide = rand(H, W, 3);

% Results against the formula, for both distance forms.
for p = [1 2]
  out = dpx_guided_smooth(img, guide, 3, 2.5, 0.4, p);
  assert(isa(out, 'double') && isequal(size(out), [H W]));
  ref = reference_smooth(img, guide, 3, 2.5, 0.4, p);
  assert(max(abs(out(:) - ref(:))) < 2e-6, 'p = %d deviates by %g', p, max(abs(out(:) - ref(:))));
  assert(isequal(out, double(single(out))));  % single-precision values as doubles
end

% p defaults to 2; radius 0 returns the input rounded to single precision.
assert(isequal(dpx_guided_smooth(img, guide, 3, 2.5, 0.4), dpx_guided_smooth(img, guide, 3, 2.5, 0.4, 2)));
assert(isequal(dpx_guided_smooth(img, guide, 0, 2.5, 0.4), double(single(img))));

% A stack: each slice is filtered on its own with the same guide.
stack = cat(3, img, img, 1 - img);
out = dpx_guided_smooth(stack, guide, 2, 3, 0.3);
assert(isequal(size(out), [H W 3]));
assert(isequal(out(:, :, 1), out(:, :, 2)));
assert(isequal(out(:, :, 3), dpx_guided_smooth(1 - img, guide, 2, 3, 0.3)));
assert(isequal(size(dpx_guided_smooth(zeros(H, W, 0), guide, 2, 3, 0.3)), [H W 0]));

% An illegal radius is reported on the error stream and gives NaN.
out = dpx_guided_smooth(img, guide, NaN, 3, 0.3);
assert(all(isnan(out(:))));
% A huge radius costs what the image size costs.
tic; out = dpx_guided_smooth(img, guide, 2^31 - 1, 3, 0.3); t = toc;
assert(isequal(out, dpx_guided_smooth(img, guide, max(H, W), 3, 0.3)) && t < 5);

% Messages, with the prefix Octave adds.
expect_error(@() dpx_guided_smooth(img, guide, 1, 1), ...
             'Usage: imgStackOut = dpx_guided_smooth(imgStackIn, imgGuide, r, seps, reps, p)');
expect_error(@() dpx_guided_smooth(single(img), guide, 1, 1, 1), 'Error: imgStackIn must be of type double!');
expect_error(@() dpx_guided_smooth(img, guide, int8(1), 1, 1), 'Error: r must be of type double!');
expect_error(@() dpx_guided_smooth(img, guide, [1 2], 1, 1), 'Error: r/seps/reps/p must be a real scalar!');
expect_error(@() dpx_guided_smooth(img, guide, 1, 1i, 1), 'Error: r/seps/reps/p must be a real scalar!');
expect_error(@() dpx_guided_smooth(img, guide(:, :, 1:2), 1, 1, 1), ...
             'Error: imgGuide must be a color image with 3 channels!');
expect_error(@() dpx_guided_smooth(img', guide, 1, 1, 1), ...
             'Error: imgGuide must have the same size as image in imgStackIn!');
expect_error(@() dpx_guided_smooth(sparse(img), guide, 1, 1, 1), 'Error: imgStackIn must not be sparse!');
expect_error(@() dpx_guided_smooth(zeros(0, 0), zeros(0, 0, 3), 1, 1, 1), ...
             'Error: CImage2D::Resize() failed, bad size!');

% Malformed calls of every kind: each must fail cleanly or succeed.
bad = {{}, {img}, {img, guide, 1, 1, 1, 2, 3}, {{img}, guide, 1, 1, 1}, {img, struct('a', 1), 1, 1, 1}, ...
       {'text', guide, 1, 1, 1}, {true(H, W), guide, 1, 1, 1}, {img, guide, [], 1, 1}, ...
       {img, guide, 1, [], 1}, {img, guide, 1, 1, 1, []}, {img, guide, {1}, 1, 1}, ...
       {img, sparse(guide(:, :, 1)), 1, 1, 1}, {img, guide, Inf, 1, 1}, {img, guide, -Inf, 1, 1}, ...
       {img, guide, 1, NaN, NaN}, {img, guide, 1, Inf, 0}, {img, guide, 1, 1e300, -1e300}, ...
       {img, guide, 1, 1, 1, NaN}, {img, guide, 1, 1, 1, 1e10}, {rand(2, 2, 2, 2), guide, 1, 1, 1}, ...
       {img, rand(H, W, 3, 2), 1, 1, 1}, {complex(img, img), complex(guide, guide), 1, 1, 1}, ...
       {img, guide * Inf, 2, 1, 1}, {img * NaN, guide, 2, 1, 1}, {zeros(H, 0), zeros(H, 0, 3), 1, 1, 1}, ...
       {zeros(1, 40000), zeros(1, 40000, 3), 1, 1, 1}};
for i = 1:numel(bad)
  try
    r = dpx_guided_smooth(bad{i}{:});
  catch err
    assert(strncmp(err.message, 'dpx_guided_smooth: ', 19) || strncmp(err.message, 'Invalid call', 12), ...
           'case %d: unexpected error "%s"', i, err.message);
  end
end
% Without an output variable the usage message comes back.
try
  dpx_guided_smooth(img, guide, 1, 1, 1);
  error('a call without an output variable passed');
catch err
  assert(strncmp(err.message, 'dpx_guided_smooth: Usage: ', 26), err.message);
end
disp('dpx_guided_smooth: all Octave checks passed');
