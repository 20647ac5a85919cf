% img = sr_compose_panels(images, labels, crop, zoom): one picture of the
% demo's results.  Top row: the images side by side, each under its label,
% the crop region framed in red; bottom row: that region of each image,
% enlarged zoom times by pixel repetition, so fine detail can be compared.
% images is a cell of H x W x 3 (or x 1) images on 0..1, labels a cellstr,
% crop [row col side] (1-based top-left corner and side of the region).
function img = sr_compose_panels(images, labels, crop, zoom)
gap = 6;
n = numel(images);
[H, W, ~] = size(images{1});
textZoom = label_zoom(labels, W);
labelH = 7 * textZoom + 8;
side = crop(3);
zoomedSide = side * zoom;
img = ones(labelH + H + gap + zoomedSide, n * (max(W, zoomedSide) + gap) - gap, 3);
step = max(W, zoomedSide) + gap;
for i = 1:n
  panel = colour(images{i});
  c0 = (i - 1) * step;
  img = draw_label(img, labels{i}, textZoom, 4, c0, step - gap);
  framed = frame_region(panel, crop);
  img(labelH + (1:H), c0 + (1:W), :) = framed;
  part = panel(crop(1) - 1 + (1:side), crop(2) - 1 + (1:side), :);
  part = part(ceil((1:zoomedSide) / zoom), ceil((1:zoomedSide) / zoom), :);
  img(labelH + H + gap + (1:zoomedSide), c0 + (1:zoomedSide), :) = part;
end
end

function z = label_zoom(labels, W)
longest = max(cellfun(@numel, labels));
z = max(1, min(3, floor((W - 4) / (6 * longest))));  % one size for all
end

function img = draw_label(img, text, textZoom, r0, c0, width)
% Centred over its panel (so that neighbouring labels do not read as one);
% a label longer than its panel is cut at the panel's edge.
mask = sr_text_mask(text, textZoom);
mask = mask(:, 1:end - textZoom);          % the last letter's spacing
w = min(size(mask, 2), width);
c0 = c0 + floor((width - w) / 2);
mask = mask(:, 1:w);
for p = 1:3
  plane = img(r0 + (1:size(mask, 1)), c0 + (1:w), p);
  plane(mask) = 0;
  img(r0 + (1:size(mask, 1)), c0 + (1:w), p) = plane;
end
end

function panel = frame_region(panel, crop)
rows = crop(1) - 1 + (1:crop(3));
cols = crop(2) - 1 + (1:crop(3));
red = reshape([1 0 0], 1, 1, 3);
panel(rows([1 end]), cols, :) = repmat(red, 2, numel(cols));
panel(rows, cols([1 end]), :) = repmat(red, numel(rows), 2);
end

function img = colour(img)
img = min(max(img, 0), 1);
if size(img, 3) == 1
  img = repmat(img, [1, 1, 3]);
end
end
