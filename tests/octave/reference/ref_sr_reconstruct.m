function [x, info] = ref_sr_reconstruct(frames, kernel, maps)
% The reconstruction as sr_reconstruct computed it in M-code (before the
% compiled per-frame functions and the batch flow), with its default
% options: the reference that the benchmarks time and that the tests hold
% sr_reconstruct to.  FRAMES: cell of N colour or grey frames on 0..1.
% MAPS: [] estimates the motion the former way (flow of the frames enlarged
% to the high-resolution grid, one qmv_motion_field call per frame); a cell
% of maps uses them.  The reference frame is frame 1, s = 2.
s = 2;
ref = 1;
N = numel(frames);
[h, w, P] = size(frames{1});
H = h * s;
W = w * s;
[cols, rows] = meshgrid(1:W, 1:H);
identity = cat(3, cols, rows);
tMotion = tic;
if isempty(maps)
  maps = cell(1, N);
  refHR = colour(sr_upscale_bicubic(frames{ref}, s));
  for k = 2:N
    frameHR = colour(sr_upscale_bicubic(frames{k}, s));
    flow = qmv_motion_field(frameHR, refHR);
    flow = dpx_guided_smooth(flow, frameHR, 2, 3, 0.1);
    maps{k} = identity + flow;
  end
end
maps{ref} = identity;
info.timeMotion = toc(tMotion);
masks = cell(1, N);
for k = 1:N
  mx = maps{k}(1:s:end, 1:s:end, 1);
  my = maps{k}(1:s:end, 1:s:end, 2);
  m = mx >= 0.5 & mx < W + 0.5 & my >= 0.5 & my < H + 0.5;
  masks{k} = repmat(double(m), [1, 1, P]);
end
x = sr_upscale_bicubic(frames{ref}, s);
fp = struct('idx0', ref, 'numFrames', N, 'scaleFactor', s, ...
            'vecKers', {repmat({kernel}, 1, N)}, 'imgWs', [], 'vecImgW', {masks}, ...
            'vecMapB', {maps}, 'dataTermScale', 1, 'eta', 5e-4);
res = {};
for it = 1:3
  if it > 1
    fp.vecImgW = robust_weights(res, masks);
  end
  fp.imgWs = smoothness_weights(x, 0.005);
  b = ref_right_hand_side(frames, fp, H, W, P);
  [x, nCg] = conjugate_gradients(x, b, fp, 8, 1e-3);
  res = ref_frame_residuals(x, frames, fp);
  if nCg == 0 && it > 1
    break;
  end
end
info.maps = maps;
end

function img = colour(img)
if size(img, 3) == 1
  img = repmat(img, [1, 1, 3]);
end
img = min(max(img, 0), 1);
end

function wt = robust_weights(res, masks)
pooled = [];
for k = 1:numel(res)
  rn = sqrt(mean(res{k} .^ 2, 3));
  m = masks{k}(:, :, 1) > 0;
  pooled = [pooled; rn(m)]; %#ok<AGROW>
end
delta = 2 * 1.4826 * median(pooled) + eps;
wt = cell(size(masks));
P = size(masks{1}, 3);
for k = 1:numel(res)
  rn = sqrt(mean(res{k} .^ 2, 3));
  wk = min(1, delta ./ max(rn, eps));
  wt{k} = repmat(wk, [1, 1, P]) .* masks{k};
end
end

function ws = smoothness_weights(x, epsilon)
gx = circshift(x, [0, -1]) - x;
gy = circshift(x, [-1, 0]) - x;
g2 = mean(gx .^ 2 + gy .^ 2, 3);
ws = repmat(1 ./ sqrt(g2 + epsilon ^ 2), [1, 1, size(x, 3)]);
end

function [x, n] = conjugate_gradients(x, b, fp, maxSteps, tol)
r = b - qmv_system_apply(x, fp);
nb = max(norm(b(:)), realmin);
p = r;
rs = r(:)' * r(:);
n = 0;
while n < maxSteps && sqrt(rs) > tol * nb
  Ap = qmv_system_apply(p, fp);
  pAp = p(:)' * Ap(:);
  if pAp <= 0
    break;
  end
  alpha = rs / pAp;
  x = x + alpha * p;
  r = r - alpha * Ap;
  rsNew = r(:)' * r(:);
  p = r + (rsNew / rs) * p;
  rs = rsNew;
  n = n + 1;
end
end
