function wt = ref_robust_weights(bx, res, fp)
% The robust data weights in M-code (see qmv_robust_weights): for every
% frame k but fp.idx0 of the residuals RES (h x w x P x N), a Gaussian
% weight on each pixel's RMS colour residual at three robust deviations
% times a biweight on its 3 x 3 mean residual that falls to 0 at three
% robust deviations, times the frame's mask fp.vecImgW{k}; the deviations
% are medians over the pixels of all those frames whose mask is above 0,
% each grown in quadrature by a tenth of the local detail of the blurred
% estimate BX where the pixel lands.  The reference frame gets its mask.
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
  t = 0.1 * ref_local_detail(bx, fp.vecMapB{k}, fp.scaleFactor);
  wk = exp(-0.5 * (rn{k} ./ sqrt(delta ^ 2 + t .^ 2)) .^ 2) .* ...
       max(0, 1 - (rl{k} ./ sqrt(cutL ^ 2 + t .^ 2)) .^ 2) .^ 2;
  wk(isnan(wk)) = 0;
  wt{k} = repmat(wk, [1, 1, P]) .* masks{k};
end
end
