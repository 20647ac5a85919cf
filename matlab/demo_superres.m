function results = demo_superres(varargin)
%DEMO_SUPERRES  Multi-frame super-resolution demo: simulated frames or your own.
%
%   demo_superres
%   demo_superres('name', value, ...)
%   results = demo_superres(...)
%
%   Without 'frames', the demo takes a photograph as ground truth (by
%   default butterfly.png, shipped with the toolbox), simulates 'numFrames'
%   low-resolution frames of it (random sub-pixel motion of up to
%   'maxShift' high-resolution pixels, frame 1 unmoved; a small object that
%   moves on its own across the scene; Gaussian blur, sigma 1, 5 x 5;
%   decimation by 'scale'; Gaussian noise of sigma 'noise' on the 0..1
%   scale) and compares, against the ground truth (frame 1's view of the
%   scene), nearest-neighbour and bicubic enlargement of frame 1,
%   sr_reconstruct on frame 1 alone, and sr_reconstruct on all frames with
%   estimated motion and with the true motion: PSNR, SSIM and wall time.
%
%   With 'frames', the demo reconstructs your frames with estimated motion
%   and shows the same comparison without ground truth.  'frames' is
%     - a folder of images (png, jpg, tif, bmp, ppm, pgm), sorted naturally
%       (f9.png before f10.png); the first one is the reference frame
%       unless the sr_reconstruct option refFrame says otherwise;
%     - a video file: 'numFrames' frames from 'firstFrame' on, read with
%       qmv_read_video; the first of them is the reference frame;
%     - a cell array of images.
%   Sizes are printed as h x w (rows x columns) throughout.
%
%   Output, in 'outDir': side_by_side.png, the labelled panels (nearest,
%   bicubic, reference frame alone, ours, and the ground truth when there
%   is one) above a zoomed crop of each, the crop framed in red on the
%   panels; reconstruction.png, the reconstruction alone.  With a display
%   the panels are also shown in a figure ('show').
%
%   Options (defaults in brackets)
%     'frames'     folder, video file or cell array of frames [] (simulate)
%     'firstFrame' first frame read from a video, 1-based [1]
%     'numFrames'  number of simulated frames, or of frames read from a
%                  video [8]
%     'image'      ground-truth image file [butterfly.png of the toolbox]
%     'crop'       side of a centred square crop of the ground truth,
%                  [] for the whole image [[]]
%     'scale'      scale factor [2]
%     'noise'      noise standard deviation [0.01]
%     'maxShift'   largest simulated shift in high-resolution pixels [3]
%     'object'     simulate an object that moves on its own [true]
%     'seed'       seed of the random numbers [1]
%     'border'     pixels left out at each edge when measuring [4]
%     'outDir'     output folder [sr_demo_output in the current folder]
%     'options'    struct of further sr_reconstruct options (for example
%                  struct('lambda', 0.001)) [struct()]
%     'verbose'    progress lines of sr_reconstruct [true]
%     'show'       show the panels in a figure [true when a display is
%                  there]
%
%   results  struct array, one element per table row, with fields method,
%            psnr, ssim (NaN without ground truth), time (seconds); the
%            field 'info' of the sr_reconstruct rows holds its info struct
%
%   Errors have identifiers 'demo_superres:option' and 'demo_superres:input'.
%
%   Examples:
%     results = demo_superres('crop', 96, 'numFrames', 4, 'show', false);
%     [results.psnr]
%
%     demo_superres('frames', sr_sample_video(), 'numFrames', 4, 'show', false);
%
%   Your own frames: demo_superres('frames', 'my_frames', 'scale', 2), or a
%   video: demo_superres('frames', 'clip.mp4', 'firstFrame', 100).  Folders
%   and videos are read by sr_read_frames, whose errors name a wrong file.
%
%   See also sr_reconstruct, sr_read_frames, sr_simulate_frames, sr_quality,
%   qmv_read_video.

opts = parse_options(varargin);
if ~exist(opts.outDir, 'dir')
  mkdir(opts.outDir);
end
if isempty(opts.frames)
  results = run_simulated(opts);
else
  results = run_user_frames(opts);
end
end

% ------------------------------------------------------------ simulated

function results = run_simulated(opts)
scene = read_image(opts.image);
scene = crop_truth(scene, opts.crop, opts.scale);
[H, W, ~] = size(scene);
s = opts.scale;
N = opts.numFrames;
seed_random(opts.seed);
shifts = [0, 0; opts.maxShift * (2 * rand(N - 1, 2) - 1)];
kernel = sr_gaussian_kernel(1, 5);
objArgs = {};
if opts.object
  objArgs = moving_object(H, W, N, size(scene, 3));
end
[frames, maps, sim] = sr_simulate_frames(scene, s, shifts, kernel, opts.noise, objArgs{:});
truth = sim.images{1};

fprintf('demo_superres: %s, %d x %d (h x w), %d frames, scale %d, blur sigma 1 (5 x 5), noise %.3g\n', ...
        opts.imageName, H, W, N, s, opts.noise);
fprintf('demo_superres: shifts (dx, dy) in high-resolution pixels: %s\n', ...
        sprintf('(%.2f,%.2f) ', shifts.'));
if opts.object
  fprintf('demo_superres: an object moves on its own across the frames\n');
end

recOpts = opts.options;
recOpts.scale = s;
recOpts.kernel = kernel;
recOpts.verbose = opts.verbose;
[rows, images] = compare(frames, 1, recOpts);
recOpts.maps = maps;
tic;
[estTrue, infoTrue] = sr_reconstruct(frames, recOpts);
rows(5) = table_row('ours, true motion', toc, infoTrue);
images{5} = estTrue;

for i = 1:numel(rows)
  [rows(i).psnr, rows(i).ssim] = sr_quality(clamp(images{i}), truth, opts.border);
end
print_table(rows, sprintf('against the ground truth, %d-pixel border left out', opts.border));
fprintf('demo_superres: ours: %+.2f dB PSNR over bicubic, %+.2f dB over the reference frame alone, %.2f s with the motion\n', ...
        rows(4).psnr - rows(2).psnr, rows(4).psnr - rows(3).psnr, rows(4).time);
write_outputs(opts, [images(1:4), {truth}], ...
              {'nearest', 'bicubic', 'reference frame alone', 'ours', 'ground truth'});
results = rows;
end

function args = moving_object(H, W, N, P)
% A striped square that crosses the scene diagonally, one step per frame.
side = max(4, 2 * round(min(H, W) / 12));
[c, r] = meshgrid(1:side, 1:side);
stripes = 0.15 + 0.7 * (mod(floor((c + r) / 3), 2) == 0);
patch = cat(3, stripes, 0.9 * ones(side), 1 - stripes);
patch = patch(:, :, 1:P);
start = [round(W / 5), round(H / 5)];
travel = min(H, W) / 2;
pos = round(repmat(start, N, 1) + (0:N - 1)' * [travel, 0.6 * travel] / max(N - 1, 1));
args = {'object', patch, 'objectPos', pos};
end

% ----------------------------------------------------------- user frames

function results = run_user_frames(opts)
[frames, source, names] = load_frames(opts);
ref = 1;
if isfield(opts.options, 'refFrame') || isfield(opts.options, 'refframe')
  ref = option_value(opts.options, 'refFrame');
end
if ~isnumeric(ref) || ~isscalar(ref) || ref < 1 || ref > numel(frames) || ref ~= round(ref)
  error('demo_superres:option', 'demo_superres: refFrame must lie between 1 and %d', numel(frames));
end
s = opts.scale;
fprintf('demo_superres: %d frames of %d x %d (h x w) from %s, scale %d, no ground truth\n', ...
        numel(frames), size(frames{1}, 1), size(frames{1}, 2), source, s);
fprintf('demo_superres: reference frame: %s\n', names{ref});
recOpts = opts.options;
recOpts.scale = s;
recOpts.verbose = opts.verbose;
[rows, images] = compare(frames, ref, recOpts);
print_table(rows, 'no ground truth');
write_outputs(opts, images, {'nearest', 'bicubic', 'reference frame alone', 'ours'});
results = rows;
end

function v = option_value(st, name)
names = fieldnames(st);
v = st.(names{strcmpi(names, name)});
end

function [frames, source, names] = load_frames(opts)
src = opts.frames;
if ischar(src) && exist(src, 'dir')
  [frames, names] = sr_read_frames(src);
  source = src;
elseif ischar(src) && exist(src, 'file')
  [frames, names] = sr_read_frames(src, opts.firstFrame, opts.numFrames);
  if isempty(frames)
    error('demo_superres:input', 'demo_superres: no frame could be read from ''%s'' at frame %d', ...
          src, opts.firstFrame);
  end
  if numel(frames) < opts.numFrames
    fprintf('demo_superres: %s: only %d of %d frames from frame %d could be read\n', ...
            src, numel(frames), opts.numFrames, opts.firstFrame);
  end
  source = src;
elseif ischar(src)
  error('demo_superres:input', 'demo_superres: no folder or video file ''%s''', src);
elseif iscell(src) && ~isempty(src)
  frames = reshape(src, 1, []);
  names = cell(1, numel(frames));
  for i = 1:numel(frames)
    frames{i} = sr_to_unit(frames{i});
    names{i} = sprintf('frame %d of the cell array', i);
  end
  source = 'a cell array';
else
  error('demo_superres:option', ...
        'demo_superres: ''frames'' must be a folder, a video file or a non-empty cell array of images');
end
end

% -------------------------------------------------------------- helpers

function [rows, images] = compare(frames, ref, recOpts)
% The rows every run shows: the reference frame enlarged, reconstructed
% alone, and reconstructed from all frames.
frame = frames{ref};
s = recOpts.scale;
tic;
near = frame(ceil((1:size(frame, 1) * s) / s), ceil((1:size(frame, 2) * s) / s), :);
rows = table_row('nearest', toc, []);
tic;
bic = sr_upscale_bicubic(frame, s);
rows(2) = table_row('bicubic', toc, []);
aloneOpts = remove_fields(recOpts, {'maps', 'refFrame'});
tic;
[alone, infoAlone] = sr_reconstruct(frames(ref), aloneOpts);
rows(3) = table_row('reference frame alone', toc, infoAlone);
tic;
[est, info] = sr_reconstruct(frames, recOpts);
rows(4) = table_row('ours, estimated motion', toc, info);
images = {near, bic, alone, est};
end

function st = remove_fields(st, names)
present = fieldnames(st);
for i = 1:numel(names)
  st = rmfield(st, present(strcmpi(present, names{i})));
end
end

function row = table_row(method, time, info)
row = struct('method', method, 'psnr', NaN, 'ssim', NaN, 'time', time, 'info', info);
end

function print_table(rows, note)
fprintf('\n%-26s %10s %8s %10s\n', 'method', 'PSNR (dB)', 'SSIM', 'time (s)');
for i = 1:numel(rows)
  if isnan(rows(i).psnr)
    fprintf('%-26s %10s %8s %10.3f\n', rows(i).method, '-', '-', rows(i).time);
  else
    fprintf('%-26s %10.2f %8.4f %10.3f\n', rows(i).method, rows(i).psnr, rows(i).ssim, rows(i).time);
  end
end
fprintf('(%s)\n\n', note);
end

function write_outputs(opts, images, labels)
est = images{4};
crop = detail_region(images{2});
zoom = max(1, floor(size(est, 2) / crop(3)));
panels = sr_compose_panels(images, labels, crop, zoom);
sideFile = fullfile(opts.outDir, 'side_by_side.png');
recFile = fullfile(opts.outDir, 'reconstruction.png');
imwrite(to_uint8(panels), sideFile);
imwrite(to_uint8(est), recFile);
fprintf('demo_superres: wrote %s (%d x %d: %s; below, the framed region %d times enlarged) and %s\n', ...
        sideFile, size(panels, 1), size(panels, 2), strjoin(labels, ', '), zoom, recFile);
if opts.show
  try
    figure('Name', 'demo_superres');
    image(panels);
    axis image off;
    title(strjoin(labels, ' | '));
  catch err
    fprintf('demo_superres: no figure shown (%s)\n', err.message);
  end
end
end

function crop = detail_region(img)
% [row col side] of the square, a quarter of the smaller side, with the
% most gradient energy: where super-resolution has something to show.
[H, W, ~] = size(img);
side = max(4, floor(min(H, W) / 4));
g = mean(img, 3);
e = abs(diff(g(1:end - 1, :), 1, 2)) + abs(diff(g(:, 1:end - 1), 1, 1));
best = -1;
crop = [1, 1, side];
step = max(1, floor(side / 2));
for r = 1:step:H - side + 1
  for c = 1:step:W - side + 1
    re = e(r:min(r + side - 1, end), c:min(c + side - 1, end));
    if sum(re(:)) > best
      best = sum(re(:));
      crop = [r, c, side];
    end
  end
end
end

function text = size_text(img)
text = sprintf('%d x %d x %d', size(img, 1), size(img, 2), size(img, 3));
end

function img = clamp(img)
img = min(max(img, 0), 1);
end

function img = to_uint8(img)
img = uint8(round(255 * clamp(img)));
end

function img = read_image(file)
try
  [img, cmap] = imread(file);
catch err
  error('demo_superres:input', 'demo_superres: cannot read %s: %s', file, err.message);
end
if ~isempty(cmap)
  img = ind2rgb(img, cmap);
end
img = sr_to_unit(img);
end

function truth = crop_truth(truth, side, s)
[h, w, ~] = size(truth);
if isempty(side)
  h2 = h - mod(h, s);
  w2 = w - mod(w, s);
  truth = truth(1:h2, 1:w2, :);
  return;
end
side = min([side, h, w]);
side = side - mod(side, s);
r0 = floor((h - side) / 2);
c0 = floor((w - side) / 2);
truth = truth(r0 + (1:side), c0 + (1:side), :);
end

function seed_random(seed)
if exist('rng', 'file') || exist('rng', 'builtin')
  rng(seed);
else
  rand('state', seed); %#ok<RAND>
  randn('state', seed); %#ok<RAND>
end
end

function tf = has_display()
if exist('OCTAVE_VERSION', 'builtin')
  tf = have_window_system() && ~isempty(available_graphics_toolkits());
else
  tf = usejava('jvm') && feature('ShowFigureWindows');
end
end

function opts = parse_options(args)
opts = struct('frames', [], 'firstframe', 1, 'image', '', 'crop', [], 'numframes', 8, ...
              'scale', 2, 'noise', 0.01, 'maxshift', 3, 'object', true, 'seed', 1, ...
              'border', 4, 'outdir', fullfile(pwd, 'sr_demo_output'), 'options', struct(), ...
              'verbose', true, 'show', []);
if mod(numel(args), 2) ~= 0
  option_error('options must come as name/value pairs');
end
for i = 1:2:numel(args)
  name = args{i};
  if ~ischar(name) || ~isfield(opts, lower(name))
    if ischar(name)
      option_error(sprintf('unknown option ''%s''', name));
    end
    option_error('option names must be character strings');
  end
  opts.(lower(name)) = args{i + 1};
end
if isempty(opts.image)
  [~, opts.image] = sr_sample_image();
end
if isempty(opts.show)
  opts.show = has_display();
end
if ~isstruct(opts.options) || ~isscalar(opts.options)
  option_error('''options'' must be a struct of sr_reconstruct options');
end
check_count(opts.numframes, 1, 'numFrames');
check_count(opts.firstframe, 1, 'firstFrame');
check_count(opts.scale, 1, 'scale');
check_count(opts.seed, 0, 'seed');
check_count(opts.border, 0, 'border');
check_real(opts.noise, 'noise');
check_real(opts.maxshift, 'maxShift');
if ~isempty(opts.crop)
  check_count(opts.crop, 2 * opts.scale, 'crop');
end
for name = {'object', 'verbose', 'show'}
  v = opts.(name{1});
  if ~((islogical(v) || isnumeric(v)) && isscalar(v) && (v == 0 || v == 1))
    option_error(sprintf('%s must be true or false', name{1}));
  end
end
if ~ischar(opts.outdir)
  option_error('outDir must be a folder name');
end
if isempty(opts.frames) && ~exist(opts.image, 'file')
  error('demo_superres:input', 'demo_superres: ground-truth image ''%s'' not found', opts.image);
end
[~, name, ext] = fileparts(opts.image);
opts = struct('frames', {opts.frames}, 'firstFrame', opts.firstframe, 'image', opts.image, ...
              'imageName', [name, ext], 'crop', opts.crop, 'numFrames', opts.numframes, ...
              'scale', opts.scale, 'noise', opts.noise, 'maxShift', opts.maxshift, ...
              'object', logical(opts.object), 'seed', opts.seed, 'border', opts.border, ...
              'outDir', opts.outdir, 'options', opts.options, ...
              'verbose', logical(opts.verbose), 'show', logical(opts.show));
end

function check_count(v, lowest, name)
if ~isnumeric(v) || ~isscalar(v) || ~isreal(v) || ~isfinite(v) || v ~= round(v) || v < lowest
  option_error(sprintf('%s must be an integer of at least %d', name, lowest));
end
end

function check_real(v, name)
if ~isnumeric(v) || ~isscalar(v) || ~isreal(v) || ~isfinite(v) || v < 0
  option_error(sprintf('%s must be a non-negative real scalar', name));
end
end

function option_error(msg)
error('demo_superres:option', 'demo_superres: %s', msg);
end

%!demo
%! % A quick run on a 96 x 96 crop of the photograph with 4 frames.
%! results = demo_superres ('crop', 96, 'numFrames', 4, 'show', false, ...
%!                          'outDir', tempname ());
%! printf ('%s: %.2f dB\n', results(4).method, results(4).psnr);
