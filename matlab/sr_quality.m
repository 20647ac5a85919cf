function [psnrDb, ssimVal] = sr_quality(img, ref, border)
%SR_QUALITY  PSNR and SSIM of an image against its ground truth.
%
%   [psnrDb, ssimVal] = sr_quality(img, ref)
%   [psnrDb, ssimVal] = sr_quality(img, ref, border)
%
%   img, ref  H x W x P double images on a 0..1 scale, of the same size
%   border    pixels left out at each edge before comparing (default 0)
%   psnrDb    10*log10(1 / mean squared error), in dB
%   ssimVal   structural similarity: 11 x 11 Gaussian window (sigma 1.5),
%             K1 = 0.01, K2 = 0.03, dynamic range 1, computed per plane
%             and averaged over planes
%
%   Example:
%     ref = rand(64, 64, 3);
%     [p, q] = sr_quality(ref + 0.01 * randn(size(ref)), ref);
%
%   See also demo_superres.

if nargin < 2 || nargin > 3
  error('sr_quality: usage: [psnrDb, ssimVal] = sr_quality(img, ref, border)');
end
if nargin < 3
  border = 0;
end
if ~isequal(size(img), size(ref))
  error('sr_quality: img and ref must have the same size');
end
img = double(img(1 + border:end - border, 1 + border:end - border, :));
ref = double(ref(1 + border:end - border, 1 + border:end - border, :));
err = img(:) - ref(:);
psnrDb = 10 * log10(1 / mean(err .^ 2));
if nargout > 1
  ssimVal = ssim_planes(img, ref);
end
end

function val = ssim_planes(a, b)
g = exp(-((-5:5) .^ 2) / (2 * 1.5 ^ 2));
g = g / sum(g);
C1 = 0.01 ^ 2;
C2 = 0.03 ^ 2;
p = size(a, 3);
val = 0;
for c = 1:p
  x = a(:, :, c);
  y = b(:, :, c);
  mx = conv2(g, g, x, 'valid');
  my = conv2(g, g, y, 'valid');
  sxx = conv2(g, g, x .* x, 'valid') - mx .^ 2;
  syy = conv2(g, g, y .* y, 'valid') - my .^ 2;
  sxy = conv2(g, g, x .* y, 'valid') - mx .* my;
  map = ((2 * mx .* my + C1) .* (2 * sxy + C2)) ./ ...
        ((mx .^ 2 + my .^ 2 + C1) .* (sxx + syy + C2));
  val = val + mean(map(:));
end
val = val / p;
end
