% The compiled per-frame functions against their M-code references, and the
% whole reconstruction against the former M-code driver on the same maps:
% both to 1e-10 relative.
addpath(fullfile(fileparts(mfilename('fullpath')), 'reference'));
rand('seed', 11);
randn('seed', 11);

function d = rel_diff(a, b)
  d = max(abs(a(:) - b(:))) / max(max(abs(b(:))), realmin);
end

% Random problems: colour and grey, s = 2 and 3, odd and even kernels,
% weights or none, the reference frame inside or outside 1..N.
cases = {[24 18 3 4 2 1], [30 27 1 3 3 3], [16 20 3 5 2 -1], [12 12 3 1 2 1]};
for i = 1:numel(cases)
  c = cases{i};
  H = c(1); W = c(2); P = c(3); N = c(4); s = c(5); ref = c(6);
  [cols, rows] = meshgrid(1:W, 1:H);
  frames = cell(1, N); maps = cell(1, N); wts = cell(1, N); kers = cell(1, N);
  for k = 1:N
    frames{k} = rand(H / s, W / s, P);
    maps{k} = cat(3, cols, rows) + 2.5 * randn(H, W, 2);
    wts{k} = rand(H / s, W / s, P);
    kers{k} = rand(3 + mod(k, 2), 3);
    kers{k} = kers{k} / sum(kers{k}(:));
  end
  fp = struct('idx0', ref, 'numFrames', N, 'scaleFactor', s, 'vecKers', {kers}, ...
              'imgWs', ones(H, W, P), 'vecImgW', {wts}, 'vecMapB', {maps}, ...
              'dataTermScale', 0.8, 'eta', 1e-3);
  x = rand(H, W, P);
  stack = cat(4, frames{:});
  res = qmv_frame_residuals(x, stack, fp);
  resRef = ref_frame_residuals(x, frames, fp);
  assert(rel_diff(res, cat(4, resRef{:})) < 1e-10, 'residuals, case %d', i);
  b = qmv_weighted_rhs(x, stack, fp);
  assert(rel_diff(b, ref_right_hand_side(frames, fp, H, W, P)) < 1e-10, 'rhs, case %d', i);
  % Rounding corrections: clamped positions, a non-finite map entry (0).
  fpNaN = fp;
  fpNaN.vecMapB{end}(1, 1, 2) = NaN;
  c = qmv_rounding_corrections(x, fpNaN);
  assert(rel_diff(c, ref_rounding_corrections(x, fpNaN)) < 1e-10, 'rounding corrections, case %d', i);
  assert(isequal(qmv_rounding_corrections(x, fpNaN, frames), stack - c), 'corrected frames, case %d', i);
  fp.vecImgW{1} = [];
  b = qmv_weighted_rhs(x, stack, fp);
  assert(rel_diff(b, ref_right_hand_side(frames, fp, H, W, P)) < 1e-10, 'unweighted rhs, case %d', i);
end

% The reconstruction: the same estimate with the M-code per-frame functions.
img = double(imread(fullfile(fileparts(mfilename('fullpath')), '..', '..', 'data', 'butterfly.png'))) / 255;
truth = img(41:104, 61:124, :);
[cols, rows] = meshgrid(1:64, 1:64);
kernel = exp(-((-2:2)' .^ 2 + (-2:2) .^ 2) / 2);
kernel = kernel / sum(kernel(:));
frames = cell(1, 5); maps = cell(1, 5);
for k = 1:5
  d = 2 * rand(1, 2) - 1;
  maps{k} = cat(3, cols + d(1), rows + d(2)) + 0.2 * randn(64, 64, 2);
  frames{k} = min(max(truth(1:2:end, 1:2:end, :) + 0.02 * randn(32, 32, 3), 0), 1);
end
est = sr_reconstruct(frames, 'maps', maps, 'kernel', kernel, 'verbose', false);
mcodePath = fullfile(fileparts(mfilename('fullpath')), 'reference', 'mcode_path');
addpath(mcodePath);
estRef = sr_reconstruct(frames, 'maps', maps, 'kernel', kernel, 'verbose', false);
rmpath(mcodePath);
assert(rel_diff(est, estRef) < 1e-10, 'sr_reconstruct differs from its M-code per-frame path');
