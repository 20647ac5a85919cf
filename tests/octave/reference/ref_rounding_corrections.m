function c = ref_rounding_corrections(img, fp)
% The rounding corrections in M-code: for every frame k but fp.idx0, IMG read
% bilinearly minus IMG read at the nearest pixel, at the positions of frame
% k's samples (map entries 1:s:end, 1:s:end); positions clamped to the image,
% 0 where a map entry is not finite.  Returns h x w x P x N.
[H, W, P] = size(img);
s = fp.scaleFactor;
N = fp.numFrames;
c = zeros(H / s, W / s, P, N);
for k = 1:N
  if k == fp.idx0
    continue;
  end
  c(:, :, :, k) = exact_minus_nearest(img, fp.vecMapB{k}(1:s:end, 1:s:end, :));
end
end

function d = exact_minus_nearest(img, pts)
[H, W, P] = size(img);
[h, w, ~] = size(pts);
mx = reshape(pts(:, :, 1), [], 1);
my = reshape(pts(:, :, 2), [], 1);
bad = ~isfinite(mx) | ~isfinite(my);
mx(bad) = 1;
my(bad) = 1;
mx = min(max(mx, 1), W);
my = min(max(my, 1), H);
nx = floor(mx + 0.5);
ny = floor(my + 0.5);
x0 = min(floor(mx), max(W - 1, 1));
y0 = min(floor(my), max(H - 1, 1));
fx = mx - x0;
fy = my - y0;
dx = H * (W > 1);
dy = double(H > 1);
idx = y0 + (x0 - 1) * H;
planes = reshape(img, H * W, P);
exact = planes(idx, :) .* ((1 - fx) .* (1 - fy)) + planes(idx + dx, :) .* (fx .* (1 - fy)) + ...
        planes(idx + dy, :) .* ((1 - fx) .* fy) + planes(idx + dx + dy, :) .* (fx .* fy);
d = exact - planes(ny + (nx - 1) * H, :);
d(bad, :) = 0;
d = reshape(d, h, w, P);
end
