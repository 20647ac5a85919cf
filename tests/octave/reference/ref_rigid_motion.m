function maps = ref_rigid_motion(bx, stack, fp)
% The rigid motion in M-code (see qmv_rigid_motion): for every frame k but
% fp.idx0, an affine motion fitted robustly to the flow of its map at the
% samples and refined by registering frame k of STACK against the blurred
% estimate BX; the map becomes that motion except where the flow explains
% the frame clearly better.  A frame whose map has entries that are not
% finite, or whose fit is not finite, keeps its map.
[H, W, ~] = size(bx);
s = fp.scaleFactor;
[cols, rows] = meshgrid(1:W, 1:H);
identity = cat(3, cols, rows);
maps = fp.vecMapB;
for k = 1:fp.numFrames
  if k == fp.idx0 || ~all(isfinite(maps{k}(:)))
    continue;
  end
  maps{k} = rigid_one(maps{k}, identity, bx, stack(:, :, :, k), s);
end
end

function map = rigid_one(map, identity, bx, frame, s)
sub = identity(1:s:end, 1:s:end, :);
flow = map(1:s:end, 1:s:end, :) - sub;
A = fit_affine(flow, sub);
if ~all(isfinite(A(:)))
  return;
end
near = sqrt(sum((flow - affine_field(A, sub)) .^ 2, 3)) < 1;
if mean(near(:)) < 0.3
  return;   % no: the flow it is
end
A = register_affine(A, bx, frame, identity, s);
if ~all(isfinite(A(:)))
  return;
end
eRigid = local_misfit(bx, frame, sub + affine_field(A, sub));
eFlow = local_misfit(bx, frame, map(1:s:end, 1:s:end, :));
tau = (2 * 1.4826 * median(sqrt(eRigid(:)))) ^ 2;
useFlow = eRigid > tau & eFlow < 0.5 * eRigid;
useFlow = conv2(double(useFlow), ones(3), 'same') > 0;
map = compose(affine_map(A, size(identity, 1), size(identity, 2)), map, useFlow, s);
end

function e = local_misfit(bx, frame, pts)
% Mean squared colour difference, over 3 x 3 low-resolution pixels, between
% FRAME and the blurred estimate read at the points PTS of its samples.
pred = read_at(bx, pts);
e = conv2(mean((pred - frame) .^ 2, 3), ones(3) / 9, 'same');
end

function out = read_at(img, pts)
[h, w, ~] = size(pts);
mx = reshape(pts(:, :, 1), [], 1);
my = reshape(pts(:, :, 2), [], 1);
mx(~isfinite(mx)) = 1;
my(~isfinite(my)) = 1;
out = reshape(read_bilinear(img, mx, my), h, w, size(img, 3));
end

function A = register_affine(A, bx, frame, identity, s)
% Gauss-Newton on the affine motion A (3 x 2: flow = [col row 1] * A) that
% makes the blurred estimate BX, read at the moved sample positions, match
% FRAME; Cauchy weights leave out what moves on its own.  The gradients are
% central differences read at the samples only (a bilinear read commutes
% with a whole-pixel difference), not full-size gradient images.
[H, W, P] = size(bx);
% Six parameters need far fewer than all samples: about 4000 evenly spread.
step = max(1, round(sqrt(numel(frame(:, :, 1)) / 4000)));
cs = identity(1:s * step:end, 1:s * step:end, 1);
rs = identity(1:s * step:end, 1:s * step:end, 2);
X = [cs(:), rs(:), ones(numel(cs), 1)];
inner = cs(:) > 3 & cs(:) < W - 2 & rs(:) > 3 & rs(:) < H - 2;
y = reshape(frame(1:step:end, 1:step:end, :), [], P);
for it = 1:8
  f = X * A;
  px = cs(:) + f(:, 1);
  py = rs(:) + f(:, 2);
  ok = inner & px >= 2 & px <= W - 1 & py >= 2 & py <= H - 1;
  if nnz(ok) < 12
    break;   % too few samples inside the image to trust a step
  end
  [v, jx, jy] = read_with_gradients(bx, px, py);
  e = v - y;
  r = sqrt(mean(e .^ 2, 2));
  sigma = max(1.4826 * median(r(ok)), 1e-3);
  w = double(ok) ./ (1 + (r / (2 * sigma)) .^ 2);
  J = [];
  for p = 1:P
    J = [J; X .* jx(:, p), X .* jy(:, p)]; %#ok<AGROW>
  end
  wJ = J .* repmat(w, P, 1);
  step = -(wJ' * J + 1e-6 * eye(6)) \ (wJ' * e(:));
  A = A + reshape(step, 3, 2);
  if max(abs(step([3 6]))) < 2e-3
    break;   % a step of 1/500 pixel changes nothing that matters
  end
end
end

function [v, gx, gy] = read_with_gradients(img, px, py)
% Bilinear reads of IMG at the points (px, py) and its central differences
% there, (read at px + 1 - read at px - 1) / 2 and likewise along the rows,
% with one set of corner weights for all five reads.  Points are clamped to
% [2, W - 1] x [2, H - 1], so that all reads stay inside the image (W, H of
% at least 3); the registration weighs points outside that range with 0.
[H, W, Q] = size(img);
px = min(max(px, 2), W - 1);
py = min(max(py, 2), H - 1);
x0 = min(floor(px), W - 2);
y0 = min(floor(py), H - 2);
fx = px - x0;
fy = py - y0;
w00 = (1 - fx) .* (1 - fy);
w10 = fx .* (1 - fy);
w01 = (1 - fx) .* fy;
w11 = fx .* fy;
idx = y0 + (x0 - 1) * H;
planes = reshape(img, H * W, Q);
at = @(i) planes(i, :) .* w00 + planes(i + H, :) .* w10 + planes(i + 1, :) .* w01 + ...
          planes(i + H + 1, :) .* w11;
v = at(idx);
gx = (at(idx + H) - at(idx - H)) / 2;
gy = (at(idx + 1) - at(idx - 1)) / 2;
end

function model = affine_map(A, H, W)
% The grid plus affine_field(A, grid), by broadcasting a row of columns and
% a column of rows instead of reading two full-size coordinate planes.
cols = 1:W;
rows = (1:H)';
model = cat(3, cols + (A(1, 1) * cols + A(2, 1) * rows + A(3, 1)), ...
               rows + (A(1, 2) * cols + A(2, 2) * rows + A(3, 2)));
end

function map = compose(map, flow, useFlow, s)
% MAP, with FLOW's entries where the low-resolution mask USEFLOW holds
% (each of its pixels covers s x s entries): written as model + (flow -
% model) there, the same values as model + useFlow .* (flow - model).
[h, w] = size(useFlow);
up = useFlow(ceil((1:h * s) / s), ceil((1:w * s) / s));
if ~any(up(:))
  return;
end
both = cat(3, up, up);
map(both) = map(both) + (flow(both) - map(both));
end

function model = affine_field(A, identity)
cols = identity(:, :, 1);
rows = identity(:, :, 2);
model = cat(3, A(1, 1) * cols + A(2, 1) * rows + A(3, 1), ...
               A(1, 2) * cols + A(2, 2) * rows + A(3, 2));
end

function A = fit_affine(flow, identity)
% Iteratively reweighted least squares (Cauchy weights, scale from the
% median deviation) of flow = A * [col; row; 1] on a sparse grid.
[H, W, ~] = size(flow);
step = max(1, round(sqrt(H * W / 5000)));
cs = identity(1:step:end, 1:step:end, 1);
rs = identity(1:step:end, 1:step:end, 2);
u = flow(1:step:end, 1:step:end, 1);
v = flow(1:step:end, 1:step:end, 2);
X = [cs(:), rs(:), ones(numel(cs), 1)];
u = u(:);
v = v(:);
w = ones(size(u));
for it = 1:6
  Xw = X .* w;
  A = (Xw' * X + 1e-9 * eye(3)) \ (Xw' * [u, v]);
  r = sqrt(sum((X * A - [u, v]) .^ 2, 2));
  sigma = max(1.4826 * median(r), 0.05);
  w = 1 ./ (1 + (r / (2 * sigma)) .^ 2);
end
end

function v = read_bilinear(img, px, py)
% Bilinear reading of every plane of IMG at the points (px, py), column
% vectors of 1-based positions clamped to the image: one row per point,
% one column per plane (interp2 plane by plane costs several times more).
[H, W, Q] = size(img);
px = min(max(px, 1), W);
py = min(max(py, 1), H);
x0 = min(floor(px), max(W - 1, 1));
y0 = min(floor(py), max(H - 1, 1));
fx = px - x0;
fy = py - y0;
dx = H * (W > 1);
dy = double(H > 1);
idx = y0 + (x0 - 1) * H;
planes = reshape(img, H * W, Q);
v = planes(idx, :) .* ((1 - fx) .* (1 - fy)) + planes(idx + dx, :) .* (fx .* (1 - fy)) + ...
    planes(idx + dy, :) .* ((1 - fx) .* fy) + planes(idx + dx + dy, :) .* (fx .* fy);
end
