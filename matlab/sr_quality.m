function [psnrDb, ssimVal] = sr_quality(img, ref, border)
%SR_QUALITY  PSNR and SSIM of an image against its ground truth.
%
%   [psnrDb, ssimVal] = sr_quality(img, ref)
%   [psnrDb, ssimVal] = sr_quality(img, ref, border)
%
%   img, ref  H x W x P images of the same size; double, single and
%             logical on a 0..1 scale, integer classes scaled to 0..1 over
%             their full range as im2double does (uint8 by 255, ...), each
%             by its own class, so uint8 and double images can be compared
%   border    pixels left out at each edge before comparing (default 0)
%   psnrDb    10*log10(1 / mean squared error), in dB
%   ssimVal   structural similarity: 11 x 11 Gaussian window (sigma 1.5),
%             K1 = 0.01, K2 = 0.03, dynamic range 1, computed per plane
%             and averaged over planes
%
%   Errors have the identifiers 'sr_quality:usage' and 'sr_quality:input'.
%
%   Examples:
%     ref = rand(64, 64, 3);
%     [p, q] = sr_quality(ref + 0.01 * randn(size(ref)), ref);
%     a = uint8(200 * rand(64, 64));
%     p8 = sr_quality(a + 5, a)              % 34.15 dB: 5 levels of 255
%
%   See also demo_superres.

if nargin < 2 || nargin > 3
  error('sr_quality:usage', 'sr_quality: usage: [psnrDb, ssimVal] = sr_quality(img, ref, border)');
end
if nargin < 3
  border = 0;
end
check_image(img, 'img');
check_image(ref, 'ref');
if ~isequal(size(img), size(ref))
  error('sr_quality:input', 'sr_quality: img (%s) and ref (%s) must have the same size', ...
        size_text(img), size_text(ref));
end
if ~isnumeric(border) || ~isscalar(border) || ~isreal(border) || border < 0 || ...
   border ~= round(border) || 2 * border >= min(size(img, 1), size(img, 2))
  error('sr_quality:input', ...
        'sr_quality: border must be a non-negative integer below half the image''s smaller side');
end
img = sr_to_unit(img(1 + border:end - border, 1 + border:end - border, :));
ref = sr_to_unit(ref(1 + border:end - border, 1 + border:end - border, :));
err = img(:) - ref(:);
psnrDb = 10 * log10(1 / mean(err .^ 2));
if nargout > 1
  ssimVal = ssim_planes(img, ref);
end
end

function check_image(img, name)
if ~(isnumeric(img) || islogical(img)) || ~isreal(img) || isempty(img) || ndims(img) > 3
  error('sr_quality:input', 'sr_quality: %s must be a real, non-empty H x W x P image', name);
end
end

function text = size_text(img)
text = sprintf('%d x %d x %d', size(img, 1), size(img, 2), size(img, 3));
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

%!test
%! a = uint8 (reshape (mod ((1:64*64) * 37, 200), 64, 64));
%! assert (sr_quality (a + 5, a), 10 * log10 (255 ^ 2 / 25), 1e-10);
%! % Each image by its own class: the same picture as uint8 and as double.
%! assert (sr_quality (double (a + 5) / 255, a), sr_quality (a + 5, a), 1e-10);
%! b = int16 (a) * 100;
%! assert (sr_quality (b + 100, b), 10 * log10 (65535 ^ 2 / 100 ^ 2), 1e-10);
%!test
%! ref = reshape (mod ((1:40*40*3) * 0.013, 1), 40, 40, 3);
%! [p, q] = sr_quality (ref, ref);
%! assert (isinf (p) && p > 0);
%! assert (q, 1, 1e-12);
%! img = ref;
%! img(1:3, :, :) = 0;            % damage inside the border only
%! assert (isinf (sr_quality (img, ref, 3)));
%! assert (sr_quality (img, ref, 2) < 40);
%!error <same size> sr_quality (ones (4), ones (5))
%!error <border> sr_quality (ones (4), ones (4), 2)
%!error <border> sr_quality (ones (4), ones (4), -1)
%!error <usage> sr_quality (ones (4))
%!error <must be a real> sr_quality ({1}, ones (4))

%!demo
%! ref = sr_sample_image ();
%! for sigma = [0.005 0.02 0.05]
%!   [p, q] = sr_quality (ref + sigma * randn (size (ref)), ref);
%!   printf ('noise sigma %.3f: PSNR %.2f dB, SSIM %.4f\n', sigma, p, q);
%! end
