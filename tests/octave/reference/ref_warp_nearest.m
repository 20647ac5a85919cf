function out = ref_warp_nearest(img, map)
% Nearest-neighbour backward warp M*img by MAP (H x W x 2, plane 1 column,
% plane 2 row, absolute 1-based coordinates): out(r,c) = img at the map's
% entry rounded half up and clamped to the image, 0 for a non-finite entry.
% Rounds exactly as the system operator does, so that residuals computed
% here belong to the same model as the normal equations.
[h, w, p] = size(img);
cols = floor((map(:, :, 1) - 1) + 0.5) + 1;
rows = floor((map(:, :, 2) - 1) + 0.5) + 1;
bad = ~isfinite(cols) | ~isfinite(rows);
cols = min(max(cols, 1), w);
rows = min(max(rows, 1), h);
cols(bad) = 1;
rows(bad) = 1;
idx = rows + (cols - 1) * h;
out = zeros(h, w, p);
for c = 1:p
  plane = img(:, :, c);
  plane = plane(idx);
  plane(bad) = 0;
  out(:, :, c) = plane;
end
end
