% Makes data/butterfly_clip.avi, the sample video of sr_sample_video: 12
% frames of 96 x 128 pixels, a 192 x 256 part of butterfly.png moving by
% sub-pixel steps, blurred (Gaussian, sigma 1) and decimated by 2 with
% sr_simulate_frames, stored as Motion-JPEG (quality 95) in an AVI file.
% Run from the repository root with the toolbox on the path:
%   octave-cli --eval "addpath('matlab'); run('data/make_butterfly_clip.m')"
here = fileparts(mfilename('fullpath'));
img = double(imread(fullfile(here, 'butterfly.png'))) / 255;
img = img(33:224, 1:256, :);
t = (0:11)';
shifts = [1.3 * t + 0.4 * sin(t), 0.7 * t - 0.5 * cos(1.3 * t) + 0.5];
[x, y] = meshgrid(-2:2);
kernel = exp(-(x .^ 2 + y .^ 2) / 2);
kernel = kernel / sum(kernel(:));
frames = sr_simulate_frames(img, 2, shifts, kernel, 0, 'quantize', true);

[h, w, ~] = size(frames{1});
n = numel(frames);
u32 = @(v) typecast(uint32(v(:)'), 'uint8');
u16 = @(v) typecast(uint16(v(:)'), 'uint8');
chunk = @(id, data) [uint8(id), u32(numel(data)), data, zeros(1, mod(numel(data), 2), 'uint8')];
list = @(kind, data) chunk('LIST', [uint8(kind), data]);
jpeg = [tempname() '.jpg'];
movi = uint8('movi');
idx = [];
largest = 0;
for k = 1:n
  imwrite(uint8(round(255 * frames{k})), jpeg, 'Quality', 95);
  fid = fopen(jpeg, 'r');
  data = fread(fid, Inf, 'uint8=>uint8')';
  fclose(fid);
  largest = max(largest, numel(data));
  idx = [idx, uint8('00dc'), u32([16 numel(movi) numel(data)])]; %#ok<AGROW>
  movi = [movi, chunk('00dc', data)]; %#ok<AGROW>
end
delete(jpeg);
avih = u32([40000 0 0 16 n 0 1 largest w h 0 0 0 0]);
strh = [uint8('vidsMJPG'), u32([0 0 0 1 25 0 n largest 4294967295 0]), u16([0 0 w h])];
strf = [u32([40 w h]), u16([1 24]), uint8('MJPG'), u32([3 * w * h 0 0 0 0])];
hdrl = list('hdrl', [chunk('avih', avih), list('strl', [chunk('strh', strh), chunk('strf', strf)])]);
body = [uint8('AVI '), hdrl, chunk('LIST', movi), chunk('idx1', idx)];
fid = fopen(fullfile(here, 'butterfly_clip.avi'), 'w');
fwrite(fid, [uint8('RIFF'), u32(numel(body)), body], 'uint8');
fclose(fid);
