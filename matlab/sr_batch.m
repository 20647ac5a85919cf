function results = sr_batch(sources, outDir, varargin)
%SR_BATCH  Reconstruct many sequences (folders or videos) in parallel.
%
%   results = sr_batch(sources, outDir)
%   results = sr_batch(sources, outDir, 'name', value, ...)
%
%   Reads each sequence with sr_read_frames, reconstructs it with
%   sr_reconstruct(frames, options{:}) and writes the result as a PNG file
%   into outDir, one sequence per worker process: in Octave with the
%   'parallel' package (parcellfun; Debian package octave-parallel), in
%   MATLAB with parfor (Parallel Computing Toolbox). Without either, or
%   with 'workers' 1, the sequences run one after another. A sequence that
%   fails (unreadable, wrong option, out of memory) is reported in the
%   results and the summary; the others go on.
%
%   Inputs
%     sources  cell array of folder names (images in natural order, the
%              first the reference frame) and video files; one char name
%              for a single sequence
%     outDir   folder for the results, created when missing: NAME.png for
%              each sequence (NAME from the folder or video file name,
%              with _2, _3, ... when two are alike) and summary.csv
%
%   Options (names are case-insensitive; defaults in brackets)
%     'workers'     number of worker processes [number of cores, at most
%                   the number of sequences]
%     'threads'     OpenMP threads per worker [cores / workers, at least 1:
%                   one thread each when the workers fill the cores]
%     'firstFrame'  1-based first frame of each sequence [1]
%     'numFrames'   frames per sequence, a whole number or Inf [Inf]; set
%                   it for long videos: every frame is held in memory
%     'options'     cell of name/value pairs (or a struct) passed to
%                   sr_reconstruct [{}]; its 'verbose' is false unless given
%     'verbose'     print one line per finished sequence [true]
%
%   Output
%     results  N x 1 struct array, one element per source, in their order,
%              with fields
%                source   the source name
%                ok       true when the result was written
%                output   full name of the PNG file ('' when failed)
%                frames   number of frames read
%                size     [height, width] of the result
%                seconds  time the sequence took
%                message  the error text of a failed sequence ('' when ok)
%     summary.csv in outDir holds the same, one line per sequence.
%
%   Errors have the identifier 'sr_batch:input'.
%
%   Example:
%     img = sr_sample_image();
%     folder = fullfile(tempname(), 'butterfly');  mkdir(folder);
%     frames = sr_simulate_frames(img(1:96, 1:96, :), 2, [0 0; 1 0; 0 1; 1 1], 1, 0);
%     for k = 1:4
%       imwrite(frames{k}, fullfile(folder, sprintf('f%d.png', k)));
%     end
%     outDir = tempname();
%     results = sr_batch({folder, sr_sample_video()}, outDir, 'numFrames', 6);
%     type(fullfile(outDir, 'summary.csv'))
%
%   See also sr_reconstruct, sr_read_frames, qmv_read_video, parcellfun.

if ischar(sources)
  sources = {sources};
end
if ~iscell(sources) || isempty(sources) || ~all(cellfun(@(s) ischar(s) && size(s, 1) == 1, sources))
  input_error('sources must be a non-empty cell array of folder or video file names');
end
if ~ischar(outDir) || size(outDir, 1) ~= 1
  input_error('outDir must be a folder name');
end
opts = parse_options(varargin, numel(sources));
if ~exist(outDir, 'dir') && ~mkdir(outDir)
  input_error(sprintf('cannot create the folder ''%s''', outDir));
end
outNames = output_names(sources, outDir);

jobs = cell(numel(sources), 1);
for i = 1:numel(sources)
  jobs{i} = struct('source', sources{i}, 'output', outNames{i}, 'firstFrame', opts.firstFrame, ...
                   'numFrames', opts.numFrames, 'threads', opts.threads, 'verbose', opts.verbose);
  jobs{i}.options = opts.options;
end
results = run_jobs(jobs, opts.workers);
write_summary(fullfile(outDir, 'summary.csv'), results);
end

% ---------------------------------------------------------------- jobs

% The parallel package runs handles to subfunctions in its workers, but not
% anonymous functions that call them: each job carries all it needs. Each
% worker also leaves its result in a status file, so that a worker that dies
% (killed for memory, say) costs only its own sequence.
function results = run_jobs(jobs, workers)
mode = parallel_mode(workers);
statusDir = tempname();
mkdir(statusDir);
for i = 1:numel(jobs)
  jobs{i}.status = fullfile(statusDir, sprintf('job%d.mat', i));
end
try
  if strcmp(mode, 'octave')
    cells = parcellfun(workers, @run_one, jobs, 'UniformOutput', false, ...
                       'ErrorHandler', @job_failed, 'VerboseLevel', 0);
  elseif strcmp(mode, 'matlab')
    cells = cell(size(jobs));
    parfor i = 1:numel(jobs)
      cells{i} = run_one(jobs{i});
    end
  else
    cells = cellfun(@run_one, jobs, 'UniformOutput', false);
  end
catch err
  cells = cellfun(@(job) saved_result(job, err.message), jobs, 'UniformOutput', false);
end
delete(fullfile(statusDir, '*.mat'));
rmdir(statusDir);
results = vertcat(cells{:});
results = rmfield(results, 'status');
end

function result = saved_result(job, message)
if exist(job.status, 'file')
  loaded = load(job.status);
  result = loaded.result;
else
  result = failed_result(job, sprintf('the worker stopped without a result (%s)', message));
end
end

function mode = parallel_mode(workers)
mode = 'serial';
if workers < 2
  return;
end
if exist('OCTAVE_VERSION', 'builtin')
  try
    pkg('load', 'parallel');
    mode = 'octave';
  catch
    warning('sr_batch:serial', ...
            'sr_batch: the Octave package ''parallel'' is not installed (Debian: octave-parallel); running one sequence at a time');
  end
elseif license('test', 'Distrib_Computing_Toolbox')
  mode = 'matlab';
end
end

% One sequence, in a worker: every failure becomes a result, so that a
% sequence never takes the others down.
function result = run_one(job)
started = tic;
result = failed_result(job, '');
threadsBefore = qmv_threads(job.threads);
try
  [frames, names] = sr_read_frames(job.source, job.firstFrame, job.numFrames);
  result.frames = numel(frames);
  imgHR = sr_reconstruct(frames, job.options{:});
  imwrite(uint8(round(255 * min(max(imgHR, 0), 1))), job.output);
  result.ok = true;
  result.output = job.output;
  result.size = [size(imgHR, 1), size(imgHR, 2)];
  if job.verbose
    fprintf('sr_batch: %s: %d frames (reference %s) -> %s\n', job.source, numel(frames), names{1}, job.output);
  end
catch err
  result.message = err.message;
  if job.verbose
    fprintf('sr_batch: %s: FAILED: %s\n', job.source, err.message);
  end
end
qmv_threads(threadsBefore);
result.seconds = toc(started);
save(job.status, 'result');
end

% A worker that died (killed, out of memory) before it could report.
function result = job_failed(err, job)
result = failed_result(job, sprintf('worker failed: %s', err.message));
end

function result = failed_result(job, message)
result = struct('source', job.source, 'ok', false, 'output', '', 'frames', 0, 'size', [0, 0], ...
                'seconds', 0, 'message', message, 'status', job.status);
end

% ------------------------------------------------------------- outputs

function names = output_names(sources, outDir)
names = cell(size(sources));
taken = {};
for i = 1:numel(sources)
  src = sources{i};
  while numel(src) > 1 && any(src(end) == '/\')
    src = src(1:end - 1);
  end
  [~, base] = fileparts(src);
  base = regexprep(base, '[^A-Za-z0-9_.-]', '_');
  if isempty(base)
    base = 'sequence';
  end
  name = base;
  k = 1;
  while any(strcmpi(taken, name))
    k = k + 1;
    name = sprintf('%s_%d', base, k);
  end
  taken{end + 1} = name; %#ok<AGROW>
  names{i} = fullfile(outDir, [name, '.png']);
end
end

function write_summary(file, results)
fid = fopen(file, 'w');
if fid < 0
  input_error(sprintf('cannot write ''%s''', file));
end
fprintf(fid, 'source,status,frames,height,width,seconds,output,message\n');
for i = 1:numel(results)
  r = results(i);
  status = 'failed';
  if r.ok
    status = 'ok';
  end
  fprintf(fid, '%s,%s,%d,%d,%d,%.2f,%s,%s\n', csv_text(r.source), status, r.frames, r.size(1), ...
          r.size(2), r.seconds, csv_text(r.output), csv_text(r.message));
end
fclose(fid);
end

function text = csv_text(text)
% Quoted when it holds a separator, a quote or a line break.
text = strrep(text, char(10), ' ');
if any(text == ',' | text == '"')
  text = ['"', strrep(text, '"', '""'), '"'];
end
end

% ------------------------------------------------------------- options

function opts = parse_options(args, numSources)
cores = nproc_count();
opts = struct('workers', min(cores, numSources), 'threads', [], 'firstFrame', 1, ...
              'numFrames', Inf, 'options', {reconstruct_options({})}, 'verbose', true);
if mod(numel(args), 2) ~= 0
  input_error('options must come as name/value pairs');
end
for i = 1:2:numel(args)
  name = args{i};
  value = args{i + 1};
  if ~ischar(name)
    input_error('option names must be character strings');
  end
  switch lower(name)
    case 'workers'
      check_count(value, 1, false, 'workers');
      opts.workers = value;
    case 'threads'
      check_count(value, 1, false, 'threads');
      opts.threads = value;
    case 'firstframe'
      check_count(value, 1, false, 'firstFrame');
      opts.firstFrame = value;
    case 'numframes'
      check_count(value, 1, true, 'numFrames');
      opts.numFrames = value;
    case 'options'
      opts.options = reconstruct_options(value);
    case 'verbose'
      if ~isscalar(value) || ~(islogical(value) || isnumeric(value)) || ~any(value == [0 1])
        input_error('verbose must be true or false');
      end
      opts.verbose = logical(value);
    otherwise
      input_error(sprintf('unknown option ''%s''', name));
  end
end
opts.workers = min(opts.workers, numSources);
if isempty(opts.threads)
  opts.threads = max(1, floor(cores / opts.workers));
end
end

function list = reconstruct_options(value)
if isstruct(value) && isscalar(value)
  names = fieldnames(value);
  list = cell(1, 2 * numel(names));
  list(1:2:end) = names;
  list(2:2:end) = struct2cell(value);
elseif iscell(value) && mod(numel(value), 2) == 0
  list = reshape(value, 1, []);
else
  input_error('options must be a cell of name/value pairs or a struct of sr_reconstruct options');
end
if ~any(strcmpi(list(1:2:end), 'verbose'))
  list = [list, {'verbose', false}];
end
end

function check_count(v, lowest, infOk, name)
if ~isnumeric(v) || ~isscalar(v) || ~isreal(v) || ~(v >= lowest) ...
    || (isinf(v) && ~infOk) || (~isinf(v) && v ~= round(v))
  if infOk
    input_error(sprintf('%s must be a whole number of at least %d, or Inf', name, lowest));
  end
  input_error(sprintf('%s must be a whole number of at least %d', name, lowest));
end
end

function n = nproc_count()
if exist('OCTAVE_VERSION', 'builtin')
  n = nproc();
else
  n = feature('numcores');
end
end

function input_error(text)
error('sr_batch:input', 'sr_batch: %s', text);
end

%!shared root, good, broken
%! root = tempname ();
%! good = fullfile (root, 'good');
%! broken = fullfile (root, 'broken');
%! mkdir (good);
%! mkdir (broken);
%! [x, y] = meshgrid (1:64);
%! img = 0.5 + 0.25 * sin (x / 3.1) .* cos (y / 4.3);
%! img = cat (3, img, 0.8 * img, 1 - img);
%! frames = sr_simulate_frames (img, 2, [0 0; 1 0; 0 1; 1 1], 1, 0);
%! for k = 1:4
%!   imwrite (frames{k}, fullfile (good, sprintf ('f%d.png', k)));
%! end
%! imwrite (frames{1}, fullfile (broken, 'b1.png'));
%! fid = fopen (fullfile (broken, 'b2.png'), 'w');
%! fprintf (fid, 'not an image');
%! fclose (fid);

%!test
%! % In two workers: the good sequence's result is written, the broken one is
%! % reported by its file, the summary has one line for each.
%! out = fullfile (root, 'out');
%! r = sr_batch ({good, broken, [good '/']}, out, 'workers', 2, 'verbose', false);
%! assert (size (r), [3 1]);
%! assert ([r.ok], [true false true]);
%! assert (r(1).output, fullfile (out, 'good.png'));
%! assert (r(3).output, fullfile (out, 'good_2.png'));
%! assert ([r(1).frames, r(1).size], [4 64 64]);
%! assert (size (imread (r(1).output)), [64 64 3]);
%! assert (! isempty (strfind (r(2).message, 'b2.png')));
%! assert (isempty (r(2).output) && ! exist (fullfile (out, 'broken.png'), 'file'));
%! lines = strsplit (strtrim (fileread (fullfile (out, 'summary.csv'))), "\n");
%! assert (numel (lines), 4);
%! assert (strncmp (lines{1}, 'source,status,frames,height,width', 33));
%! assert (strncmp (lines{2}, [good ',ok,4,64,64,'], numel (good) + 12));
%! assert (strncmp (lines{3}, [broken ',failed,0,'], numel (broken) + 10));
%! % One worker gives the same image, and sr_reconstruct's options reach it.
%! serial = fullfile (root, 'serial');
%! s = sr_batch ({good}, serial, 'workers', 1, 'verbose', false);
%! assert (imread (s.output), imread (r(1).output));
%! s = sr_batch (good, serial, 'workers', 1, 'verbose', false, 'options', {'scale', 3});
%! assert (s.size, [96 96]);
%! s = sr_batch (good, serial, 'verbose', false, 'firstFrame', 2, 'numFrames', 2);
%! assert (s.frames, 2);

%!test
%! % A wrong option of sr_reconstruct fails every sequence, not the batch.
%! r = sr_batch ({good}, fullfile (root, 'bad'), 'verbose', false, 'options', {'scale', 0});
%! assert (r.ok, false);
%! assert (! isempty (strfind (r.message, 'scale')));

%!error <sources must be> sr_batch ({}, tempname ())
%!error <sources must be> sr_batch ({1}, tempname ())
%!error <outDir must be> sr_batch ({'a'}, 3)
%!error <unknown option 'speed'> sr_batch ({'a'}, tempname (), 'speed', 1)
%!error <workers must be a whole number> sr_batch ({'a'}, tempname (), 'workers', 0)
%!error <numFrames must be a whole number of at least 1, or Inf> sr_batch ({'a'}, tempname (), 'numFrames', -1)
%!error <options must be a cell> sr_batch ({'a'}, tempname (), 'options', 3)
%!error <name/value pairs> sr_batch ({'a'}, tempname (), 'workers')

%!test
%! confirm_recursive_rmdir (false, 'local');
%! rmdir (root, 's');
