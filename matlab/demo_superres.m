function results = demo_superres(varargin)
%DEMO_SUPERRES  Multi-frame super-resolution demo: simulated frames or your own.
%
%   demo_superres
%   demo_superres('name', value, ...)
%   results = demo_superres(...)
%
%   Without 'frames', the demo takes a photograph as ground truth (by
%   default butterfly.png, shipped with the toolbox), simulates low-resolution
%   frames of it (random sub-pixel motion: integer shifts of up to 'maxShift'
%   high-resolution pixels, frame 1 unmoved; Gaussian blur, sigma 1, 5 x 5;
%   decimation by 'scale'; Gaussian noise of sigma 'noise' on the 0..1
%   scale), reconstructs them with sr_reconstruct, once with estimated
%   motion and once with the true motion, and prints PSNR, SSIM and wall
%   time for nearest-neighbour and bicubic enlargement of frame 1 and for
%   both reconstructions.
%
%   With 'frames' (a folder of images, read in file-name order, or a cell
%   array of images), the demo reconstructs those frames with estimated
%   motion, frame 1 as reference, and prints the times; there is no ground
%   truth to compare with.
%
%   Both write to 'outDir': reconstruction.png (the reconstruction) and
%   side_by_side.png (frame 1 enlarged by pixel repetition, bicubic,
%   reconstruction, and the ground truth when there is one).
%
%   Options (defaults in brackets)
%     'frames'     folder name or cell array of frames [] (simulate)
%     'image'      ground-truth image file [butterfly.png of the toolbox]
%     'crop'       side of a centred square crop of the ground truth,
%                  [] for the whole image [[]]
%     'numFrames'  number of simulated frames [8]
%     'scale'      scale factor [2]
%     'noise'      noise standard deviation [0.01]
%     'maxShift'   largest simulated shift in high-resolution pixels [3]
%     'seed'       seed of the random numbers [1]
%     'border'     pixels left out at each edge when measuring [4]
%     'outDir'     output folder [sr_demo_output in the current folder]
%     'options'    struct of further sr_reconstruct options (for example
%                  struct('lambda', 0.001)) [struct()]
%     'verbose'    progress lines of sr_reconstruct [true]
%
%   results  struct array, one element per table row, with fields method,
%            psnr, ssim (NaN without ground truth), time (seconds); the
%            field 'info' of the reconstruction rows holds the info struct
%            of sr_reconstruct
%
%   Examples:
%     demo_superres                                    % the built-in photograph
%     demo_superres('crop', 96, 'numFrames', 4)        % a quick run
%     demo_superres('frames', 'my_frames', 'scale', 2) % a folder of frames
%
%   See also sr_reconstruct, sr_simulate_frames, sr_quality.

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
truth = read_image(opts.image);
truth = crop_truth(truth, opts.crop, opts.scale);
s = opts.scale;
N = opts.numFrames;
seed_random(opts.seed);
shifts = [0, 0; randi([-opts.maxShift, opts.maxShift], N - 1, 2)];
kernel = sr_gaussian_kernel(1, 5);
[frames, maps] = sr_simulate_frames(truth, s, shifts, kernel, opts.noise);

fprintf('demo_superres: %s, %dx%d, %d frames, scale %d, blur sigma 1 (5x5), noise %.3g\n', ...
        opts.imageName, size(truth, 2), size(truth, 1), N, s, opts.noise);
fprintf('demo_superres: shifts (dx, dy) in high-resolution pixels: %s\n', ...
        sprintf('(%d,%d) ', shifts.'));

recOpts = opts.options;
recOpts.scale = s;
recOpts.kernel = kernel;
recOpts.verbose = opts.verbose;

[rows, images] = baselines(frames{1}, s);
tic;
[est, info] = sr_reconstruct(frames, recOpts);
rows(3) = table_row('reconstruction, estimated motion', toc, info);
images{3} = est;
recOpts.maps = maps;
tic;
[estTrue, infoTrue] = sr_reconstruct(frames, recOpts);
rows(4) = table_row('reconstruction, true motion', toc, infoTrue);
images{4} = estTrue;

for i = 1:numel(rows)
  [rows(i).psnr, rows(i).ssim] = sr_quality(clamp(images{i}), truth, opts.border);
end
print_table(rows, sprintf('against the ground truth, %d-pixel border left out', opts.border));
gain = rows(3).psnr - rows(2).psnr;
fprintf('demo_superres: reconstruction with estimated motion: %+.2f dB PSNR over bicubic, %.2f s with the motion\n', ...
        gain, rows(3).time);
if isempty(opts.crop) && N == 8 && s == 2 && opts.noise == 0.01
  verdict = {'missed', 'met'};
  fprintf('demo_superres: targets: at least +5 dB (%s), under 3 s (%s)\n', ...
          verdict{1 + (gain >= 5)}, verdict{1 + (rows(3).time < 3)});
end

write_outputs(opts.outDir, images{1}, images{2}, est, truth);
results = rows;
end

% ----------------------------------------------------------- user frames

function results = run_user_frames(opts)
frames = load_frames(opts.frames);
s = opts.scale;
fprintf('demo_superres: %d frames of %dx%d, scale %d, no ground truth\n', ...
        numel(frames), size(frames{1}, 2), size(frames{1}, 1), s);
recOpts = opts.options;
recOpts.scale = s;
recOpts.verbose = opts.verbose;
[rows, images] = baselines(frames{1}, s);
tic;
[est, info] = sr_reconstruct(frames, recOpts);
rows(3) = table_row('reconstruction, estimated motion', toc, info);
print_table(rows, 'no ground truth');
write_outputs(opts.outDir, images{1}, images{2}, est, []);
results = rows;
end

function frames = load_frames(src)
if ischar(src)
  if ~exist(src, 'dir')
    error('demo_superres: frame folder ''%s'' not found', src);
  end
  listing = dir(src);
  names = {};
  for i = 1:numel(listing)
    [~, ~, ext] = fileparts(listing(i).name);
    if ~listing(i).isdir && any(strcmpi(ext, {'.png', '.jpg', '.jpeg', '.tif', '.tiff', '.bmp', '.ppm', '.pgm'}))
      names{end + 1} = listing(i).name; %#ok<AGROW>
    end
  end
  names = sort(names);
  if isempty(names)
    error('demo_superres: no image files in ''%s''', src);
  end
  frames = cell(1, numel(names));
  for i = 1:numel(names)
    frames{i} = read_image(fullfile(src, names{i}));
  end
elseif iscell(src)
  frames = src;
  for i = 1:numel(frames)
    frames{i} = sr_to_unit(frames{i});
  end
else
  error('demo_superres: ''frames'' must be a folder name or a cell array of images');
end
end

% -------------------------------------------------------------- helpers

function [rows, images] = baselines(frame, s)
tic;
near = frame(ceil((1:size(frame, 1) * s) / s), ceil((1:size(frame, 2) * s) / s), :);
rows = table_row('nearest', toc, []);
tic;
bic = sr_upscale_bicubic(frame, s);
rows(2) = table_row('bicubic', toc, []);
images = {near, bic};
end

function row = table_row(method, time, info)
row = struct('method', method, 'psnr', NaN, 'ssim', NaN, 'time', time, 'info', info);
end

function print_table(rows, note)
fprintf('\n%-34s %10s %8s %10s\n', 'method', 'PSNR (dB)', 'SSIM', 'time (s)');
for i = 1:numel(rows)
  fprintf('%-34s %10.2f %8.4f %10.3f\n', rows(i).method, rows(i).psnr, rows(i).ssim, rows(i).time);
end
fprintf('(%s)\n\n', note);
end

function write_outputs(outDir, near, bic, est, truth)
gap = ones(size(est, 1), 4, size(est, 3));
panel = [near, gap, bic, gap, clamp(est)];
if ~isempty(truth)
  panel = [panel, gap, truth];
end
imwrite(to_uint8(panel), fullfile(outDir, 'side_by_side.png'));
imwrite(to_uint8(est), fullfile(outDir, 'reconstruction.png'));
fprintf('demo_superres: wrote %s and %s\n', fullfile(outDir, 'side_by_side.png'), ...
        fullfile(outDir, 'reconstruction.png'));
end

function img = clamp(img)
img = min(max(img, 0), 1);
end

function img = to_uint8(img)
img = uint8(round(255 * clamp(img)));
end

function img = read_image(file)
[img, cmap] = imread(file);
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

function opts = parse_options(args)
here = fileparts(mfilename('fullpath'));
opts = struct('frames', [], 'image', default_image(here), 'crop', [], 'numframes', 8, ...
              'scale', 2, 'noise', 0.01, 'maxshift', 3, 'seed', 1, 'border', 4, ...
              'outdir', fullfile(pwd, 'sr_demo_output'), 'options', struct(), ...
              'verbose', true);
if mod(numel(args), 2) ~= 0
  error('demo_superres: options must come as name/value pairs');
end
for i = 1:2:numel(args)
  name = args{i};
  if ~ischar(name) || ~isfield(opts, lower(name))
    error('demo_superres: unknown option');
  end
  opts.(lower(name)) = args{i + 1};
end
if ~isstruct(opts.options)
  error('demo_superres: ''options'' must be a struct of sr_reconstruct options');
end
if isempty(opts.frames) && ~exist(opts.image, 'file')
  error('demo_superres: ground-truth image ''%s'' not found', opts.image);
end
[~, name, ext] = fileparts(opts.image);
opts = struct('frames', {opts.frames}, 'image', opts.image, 'imageName', [name, ext], ...
              'crop', opts.crop, 'numFrames', opts.numframes, 'scale', opts.scale, ...
              'noise', opts.noise, 'maxShift', opts.maxshift, 'seed', opts.seed, ...
              'border', opts.border, 'outDir', opts.outdir, 'options', opts.options, ...
              'verbose', opts.verbose);
if opts.numFrames < 1 || opts.numFrames ~= round(opts.numFrames)
  error('demo_superres: numFrames must be a positive integer');
end
end

function file = default_image(here)
file = fullfile(here, 'data', 'butterfly.png');        % installed toolbox
if ~exist(file, 'file')
  file = fullfile(here, '..', 'data', 'butterfly.png'); % source tree
end
end
