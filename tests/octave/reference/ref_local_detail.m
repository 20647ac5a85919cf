function d = ref_local_detail(bx, map, s)
% The local detail of the blurred estimate BX where a frame's samples land
% (its MAP at 1:s:end), in M-code (see frameterms/LocalDetail.h): the
% periodic central differences, RMS over the planes, in low-resolution
% pixels, read bilinearly at each sample and the largest over its 3 x 3
% neighbourhood (periodic).
[gx, gy] = central_gradients(bx);
g = sqrt(mean(gx .^ 2 + gy .^ 2, 3)) * s;   % per low-resolution pixel
d = max3(read_at(g, map(1:s:end, 1:s:end, :)));
end

function m = max3(a)
% The largest value over the 3 x 3 neighbourhood (periodic at the border).
[h, w] = size(a);
rows = {[h, 1:h - 1], 1:h, [2:h, 1]};
cols = {[w, 1:w - 1], 1:w, [2:w, 1]};
m = a;
for i = 1:3
  for j = 1:3
    m = max(m, a(rows{i}, cols{j}));
  end
end
end

function [gx, gy] = central_gradients(img)
% Periodic central differences of every plane along the columns (gx) and
% the rows (gy); indexing costs less than circshift on full-size images.
[h, w, ~] = size(img);
gx = (img(:, [2:w, 1], :) - img(:, [w, 1:w - 1], :)) / 2;
gy = (img([2:h, 1], :, :) - img([h, 1:h - 1], :, :)) / 2;
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

function out = read_at(img, pts)
[h, w, ~] = size(pts);
mx = reshape(pts(:, :, 1), [], 1);
my = reshape(pts(:, :, 2), [], 1);
mx(~isfinite(mx)) = 1;
my(~isfinite(my)) = 1;
out = reshape(read_bilinear(img, mx, my), h, w, size(img, 3));
end
