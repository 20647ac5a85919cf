function row = quality_scores(img, truth, moving, border)
% PSNR (RGB, peak 1) and SSIM of IMG against TRUTH with BORDER pixels left
% out at each edge, and the PSNR over the moving and the still parts of the
% MOVING mask (NaN where a part holds under 1% of the pixels).
img = min(max(double(img), 0), 1);
[row.psnr, row.ssim] = sr_quality(img, truth, border);
inner = false(size(truth, 1), size(truth, 2));
inner(1 + border:end - border, 1 + border:end - border) = true;
if isempty(moving)
  moving = false(size(inner));
end
row.psnrMoving = masked_psnr(img, truth, inner & moving);
row.psnrStill = masked_psnr(img, truth, inner & ~moving);
end

function p = masked_psnr(img, truth, mask)
if nnz(mask) < 0.01 * numel(mask)
  p = NaN;
  return;
end
d = (img - truth) .^ 2;
d = sum(d, 3);
p = 10 * log10(1 / (sum(d(mask)) / (3 * nnz(mask))));
end
