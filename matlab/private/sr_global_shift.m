function d = sr_global_shift(frames, ref)
%SR_GLOBAL_SHIFT  Whole-pixel shifts of frames against the reference frame.
%   d = sr_global_shift(frames, ref) returns one row d(k, :) = [dx, dy] per
%   frame of FRAMES (h x w x P x n): the shift in whole pixels by which
%   frame k shows the reference frame REF (h x w x P), so that frame k at p
%   is close to ref at p + d(k, :) over most of the frame.  It is found by
%   phase correlation of grey levels under a Hann window.  The flow
%   captures only a few pixels of motion on small frames, whose pyramids
%   have few levels; this shift takes it near the answer first (a pan, a
%   shaken camera).  Frames larger than 64 pixels are correlated as means
%   of f x f blocks (f brings them near 64 pixels): d is then a multiple of
%   f, within f / 2 of the shift, which their deeper pyramids capture, and
%   the correlation costs about a millisecond per frame at any size.
[h, w, ~] = size(ref);
f = max(1, floor(max(h, w) / 64));
b = grey_block_means(ref, f);
[hb, wb] = size(b);
win = hann_window(hb) * hann_window(wb)';
B = fft2((b - mean(b(:))) .* win);
n = size(frames, 4);
d = zeros(n, 2);
for k = 1:n
  a = grey_block_means(frames(:, :, :, k), f);
  R = conj(fft2((a - mean(a(:))) .* win)) .* B;
  r = real(ifft2(R ./ max(abs(R), eps)));
  [~, i] = max(r(:));
  [iy, ix] = ind2sub([hb, wb], i);
  dk = [ix - 1, iy - 1];
  d(k, :) = f * (dk - [wb, hb] .* (dk > [wb, hb] / 2));   % the peak's index wraps around
end
end

function m = grey_block_means(img, f)
% Means over the planes and the f x f blocks of IMG (rows and columns that
% do not fill a block are left out), as sums over the dimensions of one
% reshape: a mean over the planes of the full frame first costs several
% times more.
[h, w, P] = size(img);
hb = floor(h / f);
wb = floor(w / f);
if hb * f ~= h || wb * f ~= w
  img = img(1:hb * f, 1:wb * f, :);
end
m = reshape(sum(sum(sum(reshape(img, f, hb, f, wb, P), 1), 3), 5), hb, wb) / (f ^ 2 * P);
end

function v = hann_window(n)
% A raised cosine that falls to 0 at both ends, so that the frames' borders
% do not correlate as edges; 1 for frames of under 3 pixels.
if n < 3
  v = ones(n, 1);
else
  v = 0.5 - 0.5 * cos(2 * pi * (0:n - 1)' / (n - 1));
end
end
