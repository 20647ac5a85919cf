function wt = ref_robust_weights(res, fp)
% The robust data weights in M-code (see qmv_robust_weights): for every
% frame k but fp.idx0 of the residuals RES (h x w x P x N), a Gaussian
% weight on each pixel's RMS colour residual at three robust deviations
% times a biweight on its 3 x 3 mean residual that falls to 0 at three
% robust deviations, times the frame's mask fp.vecImgW{k}; the deviations
% are medians over the pixels of all those frames whose mask is above 0.
% The reference frame gets its mask.
ref = fp.idx0;
N = size(res, 4);
masks = fp.vecImgW;
rn = cell(1, N);
rl = cell(1, N);
pooled = [];
pooledL = [];
for k = [1:ref - 1, ref + 1:N]
  r = res(:, :, :, k);
  m3 = r;
  for p = 1:size(r, 3)
    m3(:, :, p) = conv2(r(:, :, p), ones(3) / 9, 'same');
  end
  rn{k} = sqrt(mean(r .^ 2, 3));
  rl{k} = sqrt(mean(m3 .^ 2, 3));
  m = masks{k}(:, :, 1) > 0;
  pooled = [pooled; rn{k}(m)]; %#ok<AGROW>
  pooledL = [pooledL; rl{k}(m)]; %#ok<AGROW>
end
wt = masks;
if isempty(pooled)
  return;
end
delta = 3 * 1.4826 * median(pooled) + eps;
cutL = 3 * 1.4826 * median(pooledL) + eps;
P = size(masks{1}, 3);
for k = [1:ref - 1, ref + 1:N]
  wk = exp(-0.5 * (rn{k} / delta) .^ 2) .* max(0, 1 - (rl{k} / cutL) .^ 2) .^ 2;
  wt{k} = repmat(wk, [1, 1, P]) .* masks{k};
end
end
