function imgHR = sr_upscale_bicubic(img, s)
%SR_UPSCALE_BICUBIC  Bicubic enlargement on the grid of the super-resolution model.
%
%   imgHR = sr_upscale_bicubic(img, s)
%
%   img    h x w x P double (uint8 and uint16 are scaled to 0..1)
%   s      positive integer scale factor
%   imgHR  (s*h) x (s*w) x P double
%
%   Low-resolution pixel (i, j) (1-based) is the high-resolution sample
%   ((i-1)*s+1, (j-1)*s+1), as in the decimation of qmv_system_apply, so
%   imgHR(1:s:end, 1:s:end, :) equals img.  In between, cubic convolution
%   (Keys, a = -0.5) interpolates separably; beyond the last sample the
%   border pixels are repeated.  Used as the bicubic reference of the demo,
%   the first estimate of sr_reconstruct and the frames for motion estimation.
%
%   Example:
%     big = sr_upscale_bicubic(rand(32, 32, 3), 2);   % 64 x 64 x 3
%
%   See also sr_reconstruct, demo_superres.

if nargin ~= 2
  error('sr_upscale_bicubic:usage', 'sr_upscale_bicubic: usage: imgHR = sr_upscale_bicubic(img, s)');
end
if ~isscalar(s) || ~isreal(s) || s < 1 || s ~= round(s)
  error('sr_upscale_bicubic:input', 'sr_upscale_bicubic: s must be a positive integer');
end
img = sr_to_unit(img);
[h, w, p] = size(img);
Ry = interp_matrix(h, s);
Rx = interp_matrix(w, s);
imgHR = zeros(h * s, w * s, p);
for c = 1:p
  imgHR(:, :, c) = Ry * img(:, :, c) * Rx.';
end
end

function R = interp_matrix(n, s)
% (n*s) x n sparse matrix of cubic-convolution weights, borders repeated.
pos = ((0:n * s - 1).' / s) + 1;          % low-resolution coordinate, 1-based
base = floor(pos);
t = pos - base;
taps = -1:2;
rowIdx = repmat((1:n * s).', 1, 4);
col = min(max(repmat(base, 1, 4) + repmat(taps, n * s, 1), 1), n);
wt = keys_weight(repmat(t, 1, 4) - repmat(taps, n * s, 1));
% Sparse: four weights per row, and taps clamped onto one border pixel add up.
R = sparse(rowIdx(:), col(:), wt(:), n * s, n);
end

function wt = keys_weight(d)
a = -0.5;
d = abs(d);
wt = zeros(size(d));
near = d <= 1;
far = d > 1 & d < 2;
wt(near) = (a + 2) * d(near) .^ 3 - (a + 3) * d(near) .^ 2 + 1;
wt(far) = a * d(far) .^ 3 - 5 * a * d(far) .^ 2 + 8 * a * d(far) - 4 * a;
end


%!test
%! img = reshape (mod ((1:5*7*3) * 0.37, 1), 5, 7, 3);
%! big = sr_upscale_bicubic (img, 3);
%! assert (size (big), [15 21 3]);
%! assert (big(1:3:end, 1:3:end, :), img, 1e-12);
%!test
%! % A linear ramp stays linear between the samples.
%! [c, r] = meshgrid (1:8, 1:6);
%! big = sr_upscale_bicubic (0.1 * c + 0.05 * r, 2);
%! [C, R] = meshgrid (1:0.5:8.5, 1:0.5:6.5);
%! inner = big(3:end - 4, 3:end - 4);
%! ramp = 0.1 * C + 0.05 * R;
%! assert (inner, ramp(3:end - 4, 3:end - 4), 1e-12);
%!assert (sr_upscale_bicubic (uint8 ([0 255; 255 0]), 1), [0 1; 1 0])
%!error <positive integer> sr_upscale_bicubic (ones (4), 1.5)
%!error <usage> sr_upscale_bicubic (ones (4))

%!demo
%! img = sr_sample_image ();
%! small = img(1:2:end, 1:2:end, :);
%! printf ('bicubic enlargement of every other pixel: %.2f dB\n', ...
%!         sr_quality (sr_upscale_bicubic (small, 2), img, 4));
