function wt = ref_anchor_weights(bx, res, fp)
% The anchor weights in M-code (see qmv_anchor_weights): the weights from
% the residuals RES (h x w x P x N) against the reference frame's own
% reconstruction, blurred (BX), with the frames' masks in fp.vecImgW.
ref = fp.idx0;
s = fp.scaleFactor;
means = local_means(res, ref);
wt = anchor_weights(means, bx, fp.vecMapB, fp.vecImgW, ref, s);
wt = share_repeats(wt, res, means, fp.vecMapB, ref, s, blur_radius(fp.vecKers{ref}));
end

function means = local_means(res, ref)
% The residuals (RES: h x w x P x N) of each frame but the reference
% averaged over 3 x 3 pixels, plane by plane: what a frame's local misfit
% is measured by.  MEANS: a cell of N.
N = size(res, 4);
means = cell(1, N);
for k = [1:ref - 1, ref + 1:N]
  r = res(:, :, :, k);
  for p = 1:size(r, 3)
    r(:, :, p) = conv2(r(:, :, p), ones(3) / 9, 'same');
  end
  means{k} = r;
end
end

function wt = anchor_weights(means, bx, maps, masks, ref, s)
% Weights, kept through all outer iterations, from the residuals (their
% 3 x 3 MEANS) against the reference frame's own reconstruction (BX: blurred): the residuals later
% taken against the multi-frame estimate let a majority of frames that
% show something else (a walking person, swaying leaves) partly win.
% Against the anchor, a frame's local misfit (3 x 3 pixels) is explained
% by noise and aliasing (about one robust deviation of all frames' local
% misfits) plus a misregistration of up to a tenth of a low-resolution
% pixel of the reference's local detail (its blurred gradient, largest
% over 3 x 3 pixels, read where the frame's samples land).  The weight
% falls to 0 at that tolerance: what exceeds it shows something else than
% the reference frame.  (A tighter tolerance costs the still scenes detail
% at edges, a looser one lets moving things in; both measured.)
N = numel(means);
wt = masks;
rl = cell(1, N);
pooled = [];
for k = 1:N
  if k == ref
    continue;
  end
  rl{k} = sqrt(mean(means{k} .^ 2, 3));
  m = masks{k}(:, :, 1) > 0;
  pooled = [pooled; rl{k}(m)]; %#ok<AGROW>
end
if isempty(pooled)
  return;
end
sigma = 1.4826 * median(pooled) + eps;
P = size(masks{1}, 3);
for k = 1:N
  if k == ref
    continue;
  end
  tol = sigma + 0.1 * ref_local_detail(bx, maps{k}, s);
  wk = max(0, 1 - (rl{k} ./ tol) .^ 2) .^ 2;
  wt{k} = repmat(wk, [1, 1, P]) .* masks{k};
end
end

function wt = share_repeats(wt, res, means, maps, ref, s, radius)
% A sample of another frame that lands within the blur's radius of a
% reference-frame sample sees nearly what that sample sees: it adds no
% detail, only another draw of the noise and, where the scene changed a
% little (swaying leaves, a breathing person), a slightly different scene.
% Seven such repeats would outvote the reference frame, whose scene is the
% one reconstructed.  So where a frame shows a changed scene (RES, its
% residuals against the reference's reconstruction: see changed_scene),
% each sample's weight is split by how near it lies to the nearest
% reference sample (1 on it, 0 at RADIUS high-resolution pixels or
% farther): the near part is shared, so that all frames' repeats of one
% reference sample together count as much as one frame; the far part,
% detail between the reference's samples, keeps its full weight.  Repeats
% of an unchanged scene keep their weight: they average the noise.
N = numel(wt);
[h, w, P] = size(wt{ref});
near = cell(1, N);
cell_of = cell(1, N);
count = zeros(h * w, 1);
for k = [1:ref - 1, ref + 1:N]
  pts = (maps{k}(1:s:end, 1:s:end, :) - 1) / s;   % in reference samples, 0-based
  nearest = round(pts);
  off = s * sqrt(sum((pts - nearest) .^ 2, 3));   % in high-resolution pixels
  col = nearest(:, :, 1);
  row = nearest(:, :, 2);
  inside = isfinite(col) & isfinite(row) & col >= 0 & col < w & row >= 0 & row < h;
  near{k} = max(0, 1 - off / radius) .* inside .* changed_scene(res(:, :, :, k), means{k});
  idx = ones(h, w);
  idx(inside) = 1 + row(inside) + h * col(inside);
  cell_of{k} = idx;
  count = count + accumarray(idx(:), reshape(near{k} .* wt{k}(:, :, 1), [], 1), [h * w, 1]);
end
for k = [1:ref - 1, ref + 1:N]
  share = 1 ./ max(1, count(cell_of{k}));
  f = (1 - near{k}) + near{k} .* share;
  wt{k} = wt{k} .* repmat(f, [1, 1, P]);
end
end

function c = changed_scene(r, m)
% How surely the residuals R of a frame show another scene than the
% reference frame's rather than noise: noise is independent from pixel to
% pixel, so its 3 x 3 mean M keeps a ninth of its power; a changed scene
% is coherent and keeps more.  The ratio, 1 for noise, is pooled over
% 13 x 13 pixels; the answer is 0 at 1 and rises to 1 at 1.4 (median
% ratios measured: 1.0-1.3 on synthetic frames, about 2 on real videos').
box = ones(13, 1);   % a 13 x 13 box sum, as a column and a row pass
pixel = conv2(box, box', mean(r .^ 2, 3), 'same');
local = conv2(box, box', mean(m .^ 2, 3), 'same');
c = min(1, max(0, (9 * local ./ max(pixel, realmin) - 1) / 0.4));
end

function r = blur_radius(kernel)
% The spread of the blur in high-resolution pixels (its RMS radius about
% its centroid), at least half a pixel: samples closer than that to one
% another see nearly the same scene.
[kh, kw] = size(kernel);
[c, rr] = meshgrid(1:kw, 1:kh);
k = kernel / sum(kernel(:));
mc = sum(k(:) .* c(:));
mr = sum(k(:) .* rr(:));
r = max(0.5, sqrt(sum(k(:) .* ((c(:) - mc) .^ 2 + (rr(:) - mr) .^ 2))));
end
