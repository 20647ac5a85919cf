% The quality benchmark's scores: PSNR over the moving and still parts,
% with the border left out, and parts too small to score.
here = fileparts(mfilename('fullpath'));
addpath(fullfile(here, '..', '..', 'bench', 'quality'));

truth = 0.5 * ones(40, 40, 3);
moving = false(40, 40);
moving(11:20, 11:30) = true;
img = truth + 0.01;
img(repmat(moving, [1, 1, 3])) = 0.5 + 0.1;
img(1:4, :, :) = 0;                       % inside the border: not scored
q = quality_scores(img, truth, moving, 4);
assert(abs(q.psnrMoving - 20) < 1e-9, 'moving part: %.4f dB', q.psnrMoving);
assert(abs(q.psnrStill - 40) < 1e-9, 'still part: %.4f dB', q.psnrStill);
share = nnz(moving(5:36, 5:36)) / 32 ^ 2;
expected = 10 * log10(1 / (share * 0.01 + (1 - share) * 1e-4));
assert(abs(q.psnr - expected) < 1e-9, 'whole image: %.4f dB, expected %.4f', q.psnr, expected);
assert(q.ssim > 0 && q.ssim <= 1);

% Values outside 0..1 are clamped as a displayed image would be.
q = quality_scores(truth + 2, truth, [], 4);
assert(abs(q.psnr - 10 * log10(1 / 0.25)) < 1e-9 && isnan(q.psnrMoving));

% A part under 1% of the scored pixels gives no number.
tiny = false(40, 40);
tiny(20, 20) = true;
q = quality_scores(img, truth, tiny, 4);
assert(isnan(q.psnrMoving) && isfinite(q.psnrStill));
