function [frames, maps] = sr_simulate_frames(imgHR, s, shifts, kernel, noiseSigma)
%SR_SIMULATE_FRAMES  Low-resolution frames of a known image, for experiments.
%
%   [frames, maps] = sr_simulate_frames(imgHR, s, shifts, kernel, noiseSigma)
%
%   imgHR       H x W x P double ground truth on a 0..1 scale; H and W
%               multiples of s
%   s           positive integer scale factor
%   shifts      N x 2 motion of each frame in high-resolution pixels,
%               column 1 horizontal (dx), column 2 vertical (dy): frame k
%               shows at (r, c) the scene point (r + dy, c + dx)
%   kernel      blur kernel (2-D double, sums to 1)
%   noiseSigma  standard deviation of the added Gaussian noise
%   frames      1 x N cell of (H/s) x (W/s) x P frames:
%               frame k = D * B * M_k * imgHR + noise, the model of
%               qmv_system_apply (nearest warp with border clamping, blur
%               with repeated borders, samples 1:s:end)
%   maps        1 x N cell of the true H x W x 2 motion maps (plane 1
%               column, plane 2 row, absolute 1-based), as sr_reconstruct
%               takes them in its 'maps' option
%
%   Integer shifts on the high-resolution grid are sub-pixel shifts of the
%   frames (multiples of 1/s), and the nearest-neighbour warp represents
%   them exactly.
%
%   Example:
%     img = rand(64, 64, 3);
%     [frames, maps] = sr_simulate_frames(img, 2, [0 0; 1 0; 0 1; 1 1], ...
%                                         ones(3) / 9, 0.01);
%
%   See also sr_reconstruct, demo_superres.

if nargin ~= 5
  error('sr_simulate_frames: usage: [frames, maps] = sr_simulate_frames(imgHR, s, shifts, kernel, noiseSigma)');
end
[H, W, ~] = size(imgHR);
if ~isscalar(s) || s < 1 || s ~= round(s) || mod(H, s) ~= 0 || mod(W, s) ~= 0
  error('sr_simulate_frames: s must be a positive integer that divides the image size');
end
if size(shifts, 2) ~= 2
  error('sr_simulate_frames: shifts must be N x 2');
end
imgHR = double(imgHR);
[cols, rows] = meshgrid(1:W, 1:H);
N = size(shifts, 1);
frames = cell(1, N);
maps = cell(1, N);
for k = 1:N
  maps{k} = cat(3, cols + shifts(k, 1), rows + shifts(k, 2));
  blurred = sr_filter_replicate(sr_warp_nearest(imgHR, maps{k}), kernel, 'conv');
  low = blurred(1:s:end, 1:s:end, :);
  frames{k} = low + noiseSigma * randn(size(low));
end
end
