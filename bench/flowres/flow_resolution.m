function flow_resolution(outSizes)
%FLOW_RESOLUTION  Flow on the low-resolution frames against flow on the enlarged frames.
%
%   flow_resolution([256 512])
%
%   Simulates 8 colour frames of the butterfly photograph with continuous
%   sub-pixel shifts (cubic interpolation, 5 x 5 Gaussian blur, s = 2, noise
%   0.01), estimates the motion both ways and prints, per output size, the
%   time of the motion estimation, the mean endpoint error of the maps
%   against the true shifts (interior pixels) and the PSNR of the
%   reconstruction from each set of maps (same solver and options).
if nargin < 1
  outSizes = [256 512];
end
here = fileparts(mfilename('fullpath'));
img = double(imread(fullfile(here, '..', '..', 'data', 'butterfly.png'))) / 255;
s = 2;
N = 8;
rand('seed', 17);
randn('seed', 17);
shifts = [0 0; 6 * rand(N - 1, 2) - 3];
kernel = gauss5();
for n = outSizes
  truth = resize_cubic(img, n + 16);
  [frames, truthCrop] = simulate(truth, s, shifts, kernel);
  [cols, rows] = meshgrid(1:n, 1:n);
  identity = cat(3, cols, rows);
  t = tic;
  mapsHR = maps_enlarged(frames, s, identity);
  tHR = toc(t);
  t = tic;
  mapsLR = maps_low_res(frames, s, identity);
  tLR = toc(t);
  [eHR, pHR] = judge(frames, mapsHR, shifts, identity, truthCrop, kernel);
  [eLR, pLR] = judge(frames, mapsLR, shifts, identity, truthCrop, kernel);
  fprintf('%dx%d output: enlarged flow %.3f s, EPE %.4f px, PSNR %.2f dB\n', n, n, tHR, eHR, pHR);
  fprintf('%dx%d output: low-res flow  %.3f s, EPE %.4f px, PSNR %.2f dB\n', n, n, tLR, eLR, pLR);
end
end

function maps = maps_enlarged(frames, s, identity)
N = numel(frames);
maps = cell(1, N);
refHR = sr_upscale_bicubic(frames{1}, s);
for k = 2:N
  frameHR = min(max(sr_upscale_bicubic(frames{k}, s), 0), 1);
  flow = qmv_motion_field(frameHR, min(max(refHR, 0), 1));
  flow = dpx_guided_smooth(flow, frameHR, 2, 3, 0.1);
  maps{k} = identity + flow;
end
maps{1} = identity;
end

function maps = maps_low_res(frames, s, identity)
N = numel(frames);
stack = cat(4, frames{:});
flows = qmv_motion_fields(stack(:, :, :, 2:N), frames{1});
maps = cell(1, N);
for k = 2:N
  flow = dpx_guided_smooth(flows(:, :, :, k - 1), frames{k}, 2, 3, 0.1);
  maps{k} = identity + s * sr_upscale_bicubic(flow, s);
end
maps{1} = identity;
end

function [epe, psnrDb] = judge(frames, maps, shifts, identity, truth, kernel)
b = 8;
e = [];
for k = 2:numel(maps)
  d = maps{k} - identity;
  ex = d(:, :, 1) - (shifts(k, 1) - shifts(1, 1));
  ey = d(:, :, 2) - (shifts(k, 2) - shifts(1, 2));
  err = sqrt(ex .^ 2 + ey .^ 2);
  err = err(1 + b:end - b, 1 + b:end - b);
  e = [e; err(:)]; %#ok<AGROW>
end
epe = mean(e);
est = sr_reconstruct(frames, 'maps', maps, 'kernel', kernel, 'verbose', false);
psnrDb = sr_quality(est, truth, b);
end

function [frames, truthCrop] = simulate(big, s, shifts, kernel)
m = 8;
n = size(big, 1) - 2 * m;
[X, Y] = meshgrid(1 + m:n + m, 1 + m:n + m);
truthCrop = big(1 + m:n + m, 1 + m:n + m, :);
frames = cell(1, size(shifts, 1));
for k = 1:size(shifts, 1)
  f = zeros(n, n, 3);
  for c = 1:3
    g = interp2(big(:, :, c), X + shifts(k, 1), Y + shifts(k, 2), 'cubic');
    f(:, :, c) = conv2(padarray_rep(g, 2), kernel, 'valid');
  end
  f = f(1:s:end, 1:s:end, :);
  frames{k} = min(max(f + 0.01 * randn(size(f)), 0), 1);
end
end

function g = padarray_rep(g, r)
g = g([ones(1, r), 1:end, end * ones(1, r)], [ones(1, r), 1:end, end * ones(1, r)]);
end

function out = resize_cubic(img, n)
[h, w, p] = size(img);
[X, Y] = meshgrid(linspace(1, w, n), linspace(1, h, n));
out = zeros(n, n, p);
for c = 1:p
  out(:, :, c) = interp2(img(:, :, c), X, Y, 'cubic');
end
out = min(max(out, 0), 1);
end

function k = gauss5()
[x, y] = meshgrid(-2:2);
k = exp(-(x .^ 2 + y .^ 2) / 2);
k = k / sum(k(:));
end
