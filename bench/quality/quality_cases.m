function cases = quality_cases(dataDir, binDir, workDir)
% The cases of the quality benchmark: 8 frames each, frame 1 the reference,
% degraded by the camera model of the toolbox (5 x 5 Gaussian blur, sigma 1;
% samples 1:s:end; noise sigma 0.01; 8-bit frames).  Each case is a struct:
% name, s, frames (1 x 8 cell, low resolution), truth (the reference
% frame's high-resolution image), maps (true motion, or [] where unknown),
% moving (high-resolution mask of the parts that move against the scene,
% or [] where nothing does).
%   synthetic  photographs of data/ shifted by continuous amounts, s = 2, 3
%   object     a photograph with an object moving over it, s = 2, 3
%   real       consecutive frames of two videos: a still camera with people
%              walking (vtest.avi) and a hand-held camera (tree.avi)
videoDir = '/usr/share/doc/opencv-doc/examples/data';
butterfly = read_unit(fullfile(dataDir, 'butterfly.png'));
butterfly = butterfly(9:248, 9:248, :);
whale = read_unit(fullfile(dataDir, 'rubberwhale1.png'));
whale = whale(75:314, 173:412, :);
whale2 = read_unit(fullfile(dataDir, 'rubberwhale2.png'));
patch = whale2(150:197, 250:297, :);

cases = {};
scales = [2, 3];
for s = scales
  cases{end + 1} = shifted_case(sprintf('butterfly_shift_s%d', s), butterfly, s, 10 + s);
  cases{end + 1} = shifted_case(sprintf('rubberwhale_shift_s%d', s), whale, s, 20 + s);
end
for s = scales
  cases{end + 1} = object_case(sprintf('butterfly_object_s%d', s), butterfly, patch, s, 30 + s);
end
vtest = fullfile(videoDir, 'vtest.avi');
tree = fullfile(videoDir, 'tree.avi');
cases{end + 1} = video_case('vtest_150_people_s2', vtest, 150, [336 120 192 192], 2, 41, binDir, workDir);
cases{end + 1} = video_case('vtest_300_group_s2', vtest, 300, [144 120 240 192], 2, 42, binDir, workDir);
cases{end + 1} = video_case('vtest_450_s3', vtest, 450, [360 96 240 240], 3, 43, binDir, workDir);
cases{end + 1} = video_case('tree_5_s2', tree, 5, [40 24 240 192], 2, 44, binDir, workDir);
cases{end + 1} = video_case('tree_20_s3', tree, 20, [40 24 240 192], 3, 45, binDir, workDir);
cases = [cases{:}];
end

function c = shifted_case(name, img, s, seed)
rand('state', seed);
randn('state', seed);
shifts = [0, 0; 6 * rand(7, 2) - 3];
[frames, maps] = sr_simulate_frames(img, s, shifts, camera_kernel(), 0.01, 'quantize', true);
c = struct('name', name, 's', s, 'frames', {frames}, 'truth', img, 'maps', {maps}, ...
           'moving', []);
end

function c = object_case(name, img, patch, s, seed)
% The object moves across the scene, hiding different parts of it in
% different frames, and leaves the view in the last two.
rand('state', seed);
randn('state', seed);
shifts = [0, 0; 2 * rand(7, 2) - 1];
pos = [96 96; 106 92; 116 99; 126 104; 84 110; 74 86; NaN NaN; NaN NaN];
[frames, maps, truth] = sr_simulate_frames(img, s, shifts, camera_kernel(), 0.01, ...
                                           'object', patch, 'objectPos', pos, 'quantize', true);
moving = false(size(img, 1), size(img, 2));
for k = 1:numel(truth.object)
  moving = moving | truth.object{k};
end
c = struct('name', name, 's', s, 'frames', {frames}, 'truth', truth.images{1}, ...
           'maps', {maps}, 'moving', dilate(moving, 2));
end

function c = video_case(name, file, first, rect, s, seed, binDir, workDir)
% The crops of 8 consecutive frames are the scenes the camera sees; the
% reference crop is the ground truth.  The moving parts are where a frame
% differs from the reference by more than the video's own noise explains.
prefix = fullfile(workDir, [name, '_hr_']);
cmd = sprintf('"%s" "%s" %d 8 %d %d %d %d "%s"', fullfile(binDir, 'read_video_crops'), ...
              file, first, rect(1), rect(2), rect(3), rect(4), prefix);
[status, out] = system(cmd);
if status ~= 0
  error('quality_cases:video', 'quality_cases: %s', out);
end
randn('state', seed);
kernel = camera_kernel();
hr = cell(1, 8);
frames = cell(1, 8);
diffs = zeros(rect(4), rect(3));
for k = 1:8
  hr{k} = read_unit(sprintf('%s%d.png', prefix, k));
  blurred = conv_replicate(hr{k}, kernel);
  low = blurred(1:s:end, 1:s:end, :) + 0.01 * randn(size(blurred(1:s:end, 1:s:end, :)));
  frames{k} = round(min(max(low, 0), 1) * 255) / 255;
  d = conv2(mean(abs(hr{k} - hr{1}), 3), ones(5) / 25, 'same');
  diffs = max(diffs, d);
end
c = struct('name', name, 's', s, 'frames', {frames}, 'truth', hr{1}, 'maps', [], ...
           'moving', dilate(diffs > 0.06, 3));
end

function k = camera_kernel()
g = exp(-((-2:2) .^ 2) / 2);
k = g' * g;
k = k / sum(k(:));
end

function out = conv_replicate(img, kernel)
% The camera's blur, with repeated borders, as the toolbox models it.
r = floor(size(kernel, 1) / 2);
[h, w, p] = size(img);
rows = min(max((1 - r):(h + r), 1), h);
cols = min(max((1 - r):(w + r), 1), w);
out = zeros(h, w, p);
for c = 1:p
  out(:, :, c) = conv2(img(rows, cols, c), kernel, 'valid');
end
end

function m = dilate(m, r)
m = conv2(double(m), ones(2 * r + 1), 'same') > 0;
end

function img = read_unit(file)
img = double(imread(file)) / 255;
if size(img, 3) == 1
  img = repmat(img, [1, 1, 3]);
end
end
