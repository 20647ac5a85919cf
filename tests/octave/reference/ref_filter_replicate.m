function out = ref_filter_replicate(img, kernel, mode)
% Filters every plane of IMG with KERNEL, repeating the border pixels, the
% way the system operator blurs: MODE 'conv' is the blur B (convolution),
% MODE 'corr' its transpose B' (correlation).  The anchor is the kernel
% centre, row floor(kh/2) and column floor(kw/2) counted from 0, so even
% kernels line up with the operator too.  Separable kernels take two 1-D
% passes, which is several times faster for the usual Gaussian.
[kh, kw] = size(kernel);
if strcmp(mode, 'corr')
  kernel = rot90(kernel, 2);
end
[h, w, p] = size(img);
top = floor(kh / 2);
left = floor(kw / 2);
rows = min(max((1 - top):(h + kh - 1 - top), 1), h);
cols = min(max((1 - left):(w + kw - 1 - left), 1), w);
padded = img(rows, cols, :);

[u, v] = separable_factors(kernel);
out = zeros(h, w, p);
for c = 1:p
  if isempty(u)
    out(:, :, c) = conv2(padded(:, :, c), kernel, 'valid');
  else
    out(:, :, c) = conv2(u, v, padded(:, :, c), 'valid');
  end
end
end

function [u, v] = separable_factors(kernel)
% Column and row factors of a rank-one kernel, or empty ones otherwise.
u = [];
v = [];
if min(size(kernel)) < 2
  return;
end
[U, S, V] = svd(kernel);
if S(2, 2) <= 1e-12 * S(1, 1)
  u = U(:, 1) * sqrt(S(1, 1));
  v = V(:, 1) * sqrt(S(1, 1));
end
end
