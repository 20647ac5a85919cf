function [imgHR, info] = sr_reconstruct(frames, varargin)
%SR_RECONSTRUCT  Multi-frame super-resolution by reweighted least squares.
%
%   imgHR = sr_reconstruct(frames)
%   imgHR = sr_reconstruct(frames, 'name', value, ...)
%   imgHR = sr_reconstruct(frames, opts)
%   [imgHR, info] = sr_reconstruct(...)
%
%   Reconstructs one high-resolution image from N low-resolution frames of
%   a scene that moves between frames, on the grid of a reference frame.
%   The frames are modelled as y_k = D * B * M_k * x + noise: M_k warps x
%   by the motion of frame k (nearest neighbour, identity for the reference
%   frame), B blurs with the kernel, D keeps the samples 1:s:end, 1:s:end.
%
%   Inputs
%     frames  1 x N (or N x 1) cell array of h x w x P images, or an
%             h x w x P x N array; P = 1 (grey) or 3 (colour); N >= 1.
%             double, single or logical frames are taken on a 0..1 scale
%             (frames whose values go beyond +-2, such as double(imread(f)),
%             are reconstructed as given but draw the warning
%             'sr_reconstruct:range': divide them by 255); integer classes
%             are scaled to 0..1 over their full range, as im2double does
%             (uint8 by 255, int16 from -32768..32767, and so on)
%
%   Options (names are case-insensitive; defaults in brackets)
%     'scale'           integer scale factor s [2]
%     'refFrame'        1-based index of the reference frame [1]
%     'kernel'          2-D blur kernel of the camera, real and finite
%                       [5 x 5 Gaussian, sigma 1].  A kernel whose sum is
%                       not 1 (ones(3), say) is divided by its sum, with
%                       the warning 'sr_reconstruct:kernelSum'; a sum of 0
%                       or less is refused.  A kernel of even height or
%                       width (a 2 x 2 box: pixel integration at s = 2)
%                       gets a zero row on top and a zero column on the
%                       left: the blur is the same, and its centre becomes
%                       a pixel, so the blur and its transpose in
%                       qmv_system_apply are exact adjoints, which the
%                       conjugate-gradient solve needs
%     'maps'            known motion: cell of N maps of (s*h) x (s*w) x 2,
%                       plane 1 column, plane 2 row, absolute 1-based
%                       coordinates of the reference-grid point that frame k
%                       shows at each high-resolution pixel (the reference
%                       frame's map is not read); [] estimates the motion;
%                       NaN or Inf entries mark pixels whose motion is not
%                       known: the samples whose blur reaches them get no
%                       weight [[]]
%     'outerIterations' reweighting (outer) iterations [3]
%     'cgIterations'    most conjugate-gradient steps per outer iteration [8]
%     'cgTolerance'     relative residual that ends a solve early [1e-3]
%     'lambda'          regularisation weight (edge-preserving smoothness
%                       against the data term) [5e-4].  The default suits
%                       several frames; a single frame usually gives a
%                       better picture with about twice as much (scenes
%                       of fine texture, such as foliage, excepted)
%     'tvEpsilon'       gradient size below which smoothing stays quadratic
%                       [0.005]
%     'robust'          robust data weights, so that misregistered or
%                       occluded pixels lose their say, anchored on the
%                       reference frame (see Method) [true]
%     'smoothFlow'      smooth the estimated flow with dpx_guided_smooth
%                       guided by the frame's colours (costs about as much
%                       as the flow; the rigid motion and the robust
%                       weights leave it no measurable gain) [false]
%     'flowRadius'      window radius of that smoothing [2]
%     'flowSpatial'     its spatial scale in low-resolution pixels [3]
%     'flowRange'       its colour scale on the 0..1 scale [0.1]
%     'initial'         first estimate, (s*h) x (s*w) x P
%                       [bicubic enlargement of the reference frame]
%     'verbose'         print progress: after each batch of flows (one
%                       frame per thread) and after each outer iteration [true]
%
%   Every option is checked before any work starts: a value of the wrong
%   class, size or range is an error 'sr_reconstruct:option' naming it.
%   Flags ('robust', 'smoothFlow', 'verbose') take true/false or 1/0.
%
%   Memory
%     Besides the frames, a call holds N motion maps of (s*h) x (s*w) x 2
%     doubles (16*N*s^2*h*w bytes: 8 frames of 480 x 640 at s = 2 take
%     157 MB), the frames corrected (one stack), their residuals,
%     and several (s*h) x (s*w) x P images for the solve; info.maps
%     returns the maps.  With 8 colour frames at s = 2, the first call in
%     a fresh Octave raised its resident size by 570 to 600 MB for 1024 x 1024
%     output (24 to 25 such images of 24 MB; the frames take 48 MB), and later
%     calls by little more: the process keeps what a call frees for
%     the next one (qmv_heap_reuse; qmv_heap_reuse(false) gives it back).
%     Reconstruct large frames in tiles or with fewer frames when that
%     does not fit.
%
%   Warnings
%     'sr_reconstruct:range'      frames beyond the 0..1 scale
%     'sr_reconstruct:kernelSum'  kernel normalised to sum 1
%     'sr_reconstruct:diverged'   a conjugate-gradient solve ended with a
%                                 residual above its right-hand side, or
%                                 with values that are not finite; the
%                                 text says what to change
%
%   Outputs
%     imgHR   (s*h) x (s*w) x P double
%     info    struct: scale, refFrame, numFrames, motion ('estimated' or
%             'given'), maps (the maps used), kernel (the kernel used,
%             after normalising and padding), timeMotion, timeSolve,
%             timeTotal (seconds), iterations (outer iterations run; fewer
%             than asked when one needs no CG step), cgIterations (steps
%             per outer iteration), residuals (RMS of the frame residuals
%             after each outer iteration), cgResiduals (relative residual
%             of each solve), weights (1 x N cell of h x w data weights of
%             the last solve: 1 counts fully, 0 not at all), framesLeftOut
%             (indices of the frames left out as another scene; see Anchor)
%
%   Method
%     Motion: qmv_motion_fields gives the flow from each low-resolution
%     frame to the reference frame (all frames in parallel), after the frame
%     is moved by the whole-pixel shift that phase correlation finds
%     against the reference frame (a pan or a shaken camera moves small
%     frames by more than the flow alone captures),
%     dpx_guided_smooth smooths it with 'smoothFlow' (the flow options
%     count low-resolution pixels), and s times its bicubic enlargement
%     plus the pixel grid is the map of absolute 1-based coordinates that
%     the operator takes.  Where the scene moves rigidly (camera shake, a
%     pan), one affine motion per frame, fitted robustly to the flow and
%     refined by registering the frame against the reference frame's own
%     reconstruction, replaces the flow, except where the flow explains
%     the frame clearly better (things that move on their own;
%     qmv_rigid_motion, all frames in parallel).
%     Anchor: with 'robust' and more than one frame, the solve starts from
%     the reconstruction of the reference frame alone, and the first data
%     weights come from the residuals against it, so that from the start a
%     frame counts only where it agrees with the reference frame.  A frame
%     whose median residual there exceeds 4 times the reference frame's
%     noise shows another scene as a whole (frames after a cut, a dropped
%     frame, motion not found) and is left out (info.framesLeftOut; with
%     'verbose', a line says so).  Samples
%     of other frames that land within the blur's radius of a reference
%     sample repeat it (a still camera).  Repeats of an unchanged scene
%     average the noise; where a frame's residuals are coherent rather
%     than noise (the scene changed a little: swaying leaves), its repeats
%     share one frame's weight, so that they cannot outvote the reference
%     frame's scene (qmv_anchor_weights).
%     Solve: iteratively reweighted least squares.  Each outer iteration
%     sets data weights W_k from the residuals (qmv_frame_residuals,
%     qmv_robust_weights: a Gaussian weight on each pixel's residual times
%     one on its 3 x 3 mean that falls to 0 at three robust deviations,
%     both widened at edges of the estimate by what a tenth of a pixel of
%     misregistration misfits there, so that clean frames keep their say
%     where they add detail: occluded and misregistered pixels lose their
%     say; the reference
%     frame keeps weight 1; the data term is scaled by the share of weight
%     lost, including samples of unknown or off-grid motion, so that its
%     balance with the smoothness term stays) and
%     edge-preserving weights w = 1 / sqrt(|grad x|^2 + tvEpsilon^2),
%     builds the
%     right-hand side (1/N) * sum_k M_k' * B' * U * (W_k .* y_k)
%     (qmv_weighted_rhs), and runs conjugate gradients on the weighted
%     normal equations (qmv_conjugate_gradients) with qmv_system_apply's
%     operator as the matrix-vector product,
%     warm-started from the previous estimate.  The operator warps to the
%     nearest pixel; the data y_k are corrected by what that rounding
%     costs at the current estimate (qmv_rounding_corrections), so that
%     the solve fits the exact sub-pixel motion.
%     Low-resolution pixels whose motion leads outside the image get no
%     weight.
%
%   Speed: with 8 colour frames and s = 2, motion estimated, a
%   reconstruction took 0.21 s for 256 x 256 output and 2.3 s for
%   1024 x 1024 output on a 2-core machine (medians of 5 repeated calls;
%   the former M-code driver 0.53 and 7.5 s in the same run).  The first
%   call in a fresh Octave takes longer (3.3 to 3.7 s at 1024 x 1024):
%   every page of its memory is new to the process, and is faulted in
%   2 MB at a time where the kernel offers huge pages.  The process keeps
%   the large blocks a call frees (qmv_heap_reuse), so later calls find
%   their pages.  The compiled functions use all cores (OMP_NUM_THREADS
%   limits them).
%
%   Errors are raised with identifiers 'sr_reconstruct:input' (frames)
%   and 'sr_reconstruct:option' (options), with texts that start
%   "sr_reconstruct: ".
%
%   Example:
%     img = sr_sample_image();
%     [frames, maps] = sr_simulate_frames(img, 2, [0 0; 1 0; 0 1; 1 1], ...
%                                         ones(3) / 9, 0.01);
%     [est, info] = sr_reconstruct(frames, 'kernel', ones(3) / 9);
%     [est, info] = sr_reconstruct(frames, 'kernel', ones(3) / 9, 'maps', maps);
%     % Frames of a video file (or of a folder of images):
%     clip = sr_read_frames(sr_sample_video(), 1, 6);
%     big = sr_reconstruct(clip, 'scale', 2, 'verbose', false);
%
%   See also demo_superres, sr_simulate_frames, sr_upscale_bicubic,
%   qmv_system_apply, qmv_motion_fields, qmv_weighted_rhs, qmv_frame_residuals,
%   qmv_rounding_corrections, qmv_rigid_motion, qmv_robust_weights,
%   qmv_anchor_weights, qmv_conjugate_gradients, qmv_heap_reuse,
%   dpx_guided_smooth.

tTotal = tic;
[frames, h, w, P, N] = check_frames(frames);
opts = parse_options(varargin, N, [h, w, P]);
% Full-size arrays are allocated and freed hundreds of times in a call:
% kept by the process, their pages need not be faulted in again, in this
% call or the next (the setting stays on; see qmv_heap_reuse).
qmv_heap_reuse(true);
s = opts.scale;
H = h * s;
W = w * s;
ref = opts.refFrame;

identity = cat(3, repmat(1:W, H, 1), repmat((1:H)', 1, W));

tMotion = tic;
if isempty(opts.maps)
  maps = estimate_motion(frames, ref, s, identity, opts);
  motion = 'estimated';
  unknown = {};
else
  [maps, unknown] = check_maps(opts.maps, N, H, W, identity);
  motion = 'given';
end
maps{ref} = identity;
timeMotion = toc(tMotion);
progress(opts, 'sr_reconstruct: %s, %dx%d -> %dx%d (h x w), motion %s in %.2f s\n', ...
         frame_count(N), h, w, H, W, motion, timeMotion);

tSolve = tic;
if isempty(opts.initial)
  x = sr_upscale_bicubic(frames{ref}, s);
else
  x = check_initial(opts.initial, H, W, P);
end
if opts.robust && N > 1
  x = anchor_estimate(x, frames{ref}, opts, identity);
end
identity = [];   % maps{ref} keeps the grid; the rigid motion's new maps would not share it
fp.idx0 = ref;
fp.numFrames = N;
fp.scaleFactor = s;
fp.vecKers = repmat({opts.kernel}, 1, N);
fp.imgWs = ones(H, W, P);   % set by each outer iteration
fp.vecImgW = cell(1, N);    % no weights yet: set below
fp.vecMapB = maps;
fp.dataTermScale = 1;
fp.eta = opts.lambda;
bx = blurred_estimate(x, opts.kernel, N);
% The frames stay a cell, which shares their memory with the caller's cell
% (frames of class double); stacks of them are made where needed only.
if strcmp(motion, 'estimated') && N > 1
  % A few frames at a time, each batch's flow maps freed as its new maps
  % come: all new maps beside all old ones took 128 MB more at 1024 x 1024.
  maps = [];   % fp.vecMapB holds them meanwhile
  batches = frame_batches(N, ref, 2);
  for i = 1:numel(batches)
    batch = rigid_motion(bx, frames, fp, batches{i});
    fp.vecMapB(batches{i}) = {[]};
    fp.vecMapB(batches{i}) = batch;
    batch = [];
  end
  maps = fp.vecMapB;
end
masks = valid_masks(maps, ref, s, H, W);   % one plane per frame
masks = without_unknown_motion(masks, unknown, ref, opts.kernel, s);
if ~(opts.robust && N > 1)
  fp.vecImgW = all_planes(masks, P);   % else the robust weights, in the loop
  fp.dataTermScale = data_scale(fp.vecImgW, masks);
end

info.cgIterations = zeros(1, opts.outerIterations);
info.residuals = zeros(1, opts.outerIterations);
info.cgResiduals = zeros(1, opts.outerIterations);
% The frames' data corrected for the warp's rounding to whole pixels, and
% the residuals against the reference frame's own reconstruction: the
% first weights then trust a frame only where it agrees with the
% reference, instead of mixing all frames in before anything is known.
stack = corrected_frames(bx, fp, frames);
res = [];
warned = false;
trusted = {};
leftOut = [];
if opts.robust && N > 1
  res = frame_residuals(x, stack, fp);
  [masks, leftOut] = without_other_scenes(masks, res, frames{ref}, ref);
  if ~isempty(leftOut)
    progress(opts, 'sr_reconstruct: %s left out, another scene (a cut, a dropped frame, motion not found): %s\n', ...
             frame_count(numel(leftOut)), mat2str(leftOut));
  end
  trusted = anchor_weights(bx, res, fp, masks);
else
  bx = [];   % read by the robust weights only
end
for it = 1:opts.outerIterations
  tIt = tic;
  if opts.robust && ~isempty(trusted)
    fp.vecImgW = cell(1, N);   % freed before the new ones are made
    fp.vecImgW = robust_weights(bx, res, fp, masks);
    res = [];   % not needed until the next residuals: the solve gets its memory
    bx = [];
    for k = 1:N
      fp.vecImgW{k} = fp.vecImgW{k} .* trusted{k};
    end
    fp.dataTermScale = data_scale(fp.vecImgW, masks);
  end
  fp.imgWs = smoothness_weights(x, opts.tvEpsilon);
  b = right_hand_side(stack, x, fp);
  [x, nCg, cgRes] = conjugate_gradients(x, b, fp, opts.cgIterations, opts.cgTolerance);
  b = [];
  warned = warn_if_diverged(x, cgRes, it, opts, warned);
  if it < opts.outerIterations
    % New corrections for the new estimate, and the residuals against them.
    stack = [];
    bx = blurred_estimate(x, opts.kernel, N);
    stack = corrected_frames(bx, fp, frames);
    if isempty(trusted)
      bx = [];
    end
  end
  [res, rmsRes] = frame_residuals(x, stack, fp);
  info.cgIterations(it) = nCg;
  info.cgResiduals(it) = cgRes;
  info.residuals(it) = rmsRes;
  progress(opts, 'sr_reconstruct: iteration %d/%d: %2d CG steps, residual %.4g, %.2f s\n', ...
           it, opts.outerIterations, nCg, rmsRes, toc(tIt));
  if nCg == 0 && it > 1
    break;   % the new weights left the estimate a solution: converged
  end
end
imgHR = x;
info.cgIterations = info.cgIterations(1:it);
info.residuals = info.residuals(1:it);
info.cgResiduals = info.cgResiduals(1:it);

info.scale = s;
info.refFrame = ref;
info.numFrames = N;
info.motion = motion;
info.maps = maps;
info.kernel = opts.kernel;
info.weights = frame_weights(fp.vecImgW);
info.framesLeftOut = leftOut;
info.iterations = it;
info.timeMotion = timeMotion;
info.timeSolve = toc(tSolve);
info.timeTotal = toc(tTotal);
end

% ---------------------------------------------------------------- inputs

function [frames, h, w, P, N] = check_frames(frames)
if isnumeric(frames) && ~isempty(frames) && ndims(frames) <= 4
  n = size(frames, 4);
  stack = frames;
  frames = cell(1, n);
  for k = 1:n
    frames{k} = stack(:, :, :, k);
  end
end
if ~iscell(frames) || isempty(frames)
  input_error('frames must be a non-empty cell array of images or an h x w x P x N array');
end
N = numel(frames);
sz = [];
largest = 0;
for k = 1:N
  f = frames{k};
  if ~(isnumeric(f) || islogical(f)) || issparse(f) || ~isreal(f) || isempty(f) || ndims(f) > 3
    input_error(sprintf('frame %d must be a real, full, non-empty h x w or h x w x P image', k));
  end
  if isempty(sz)
    sz = [size(f, 1), size(f, 2), size(f, 3)];
  elseif ~isequal(sz, [size(f, 1), size(f, 2), size(f, 3)])
    input_error(sprintf('frame %d differs in size from frame 1', k));
  end
  f = sr_to_unit(f);
  if any(~isfinite(f(:)))
    input_error(sprintf('frame %d holds NaN or Inf values', k));
  end
  largest = max(largest, max(abs(f(:))));
  frames{k} = f;
end
warn_if_off_scale(largest);
h = sz(1);
w = sz(2);
P = sz(3);
if P ~= 1 && P ~= 3
  input_error('frames must have 1 (grey) or 3 (colour) planes');
end
end

function opts = parse_options(args, N, frameSize)
opts = struct('scale', 2, 'refframe', 1, 'kernel', sr_gaussian_kernel(1, 5), ...
              'maps', [], 'outeriterations', 3, 'cgiterations', 8, ...
              'cgtolerance', 1e-3, 'lambda', 5e-4, 'tvepsilon', 0.005, ...
              'robust', true, 'smoothflow', false, 'flowradius', 2, ...
              'flowspatial', 3, 'flowrange', 0.1, 'initial', [], 'verbose', true);
if numel(args) == 1 && isstruct(args{1})
  given = args{1};
  if ~isscalar(given)
    option_error('an options struct must be a single struct, not a struct array');
  end
  names = fieldnames(given);
  args = cell(1, 2 * numel(names));
  for i = 1:numel(names)
    args{2 * i - 1} = names{i};
    args{2 * i} = given.(names{i});
  end
end
if mod(numel(args), 2) ~= 0
  option_error('options must come as name/value pairs or as one struct');
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

check_integer(opts.scale, 1, 'scale');
check_integer(opts.refframe, 1, 'refFrame');
if opts.refframe > N
  option_error(sprintf('refFrame must lie between 1 and the number of frames (%d)', N));
end
check_integer(opts.outeriterations, 1, 'outerIterations');
check_integer(opts.cgiterations, 1, 'cgIterations');
check_positive(opts.cgtolerance, 'cgTolerance', true);
check_positive(opts.lambda, 'lambda', false);
check_positive(opts.tvepsilon, 'tvEpsilon', true);
check_integer(opts.flowradius, 0, 'flowRadius');
check_positive(opts.flowspatial, 'flowSpatial', true);
check_positive(opts.flowrange, 'flowRange', true);
check_flag(opts.robust, 'robust');
check_flag(opts.smoothflow, 'smoothFlow');
check_flag(opts.verbose, 'verbose');
check_array_option(opts.maps, 'maps', 'a cell array of motion maps');
check_array_option(opts.initial, 'initial', 'a real, finite numeric image');
if ~isempty(opts.initial)
  s = opts.scale;
  check_initial(opts.initial, s * frameSize(1), s * frameSize(2), frameSize(3));
end
k = prepare_kernel(opts.kernel);

% Internal names follow the documented spelling.
opts = struct('scale', double(opts.scale), 'refFrame', double(opts.refframe), ...
              'kernel', k, 'maps', {opts.maps}, ...
              'outerIterations', double(opts.outeriterations), ...
              'cgIterations', double(opts.cgiterations), ...
              'cgTolerance', double(opts.cgtolerance), 'lambda', double(opts.lambda), ...
              'tvEpsilon', double(opts.tvepsilon), 'robust', logical(opts.robust), ...
              'smoothFlow', logical(opts.smoothflow), ...
              'flowRadius', double(opts.flowradius), ...
              'flowSpatial', double(opts.flowspatial), ...
              'flowRange', double(opts.flowrange), 'initial', opts.initial, ...
              'verbose', logical(opts.verbose));
end

function check_integer(v, lowest, name)
if ~isnumeric(v) || ~isscalar(v) || ~isreal(v) || ~isfinite(v) || v ~= round(v) || v < lowest
  option_error(sprintf('%s must be an integer of at least %d', name, lowest));
end
end

function check_positive(v, name, strict)
ok = isnumeric(v) && isscalar(v) && isreal(v) && isfinite(v);
if ok && strict
  ok = v > 0;
elseif ok
  ok = v >= 0;
end
if ~ok
  if strict
    option_error(sprintf('%s must be a positive real scalar', name));
  end
  option_error(sprintf('%s must be a non-negative real scalar', name));
end
end

function check_flag(v, name)
if ~((islogical(v) || isnumeric(v)) && isscalar(v) && isreal(v) && (v == 0 || v == 1))
  option_error(sprintf('%s must be true or false', name));
end
end

function check_array_option(v, name, what)
% The class of 'maps' and 'initial' is checked here already; their sizes
% follow from the frames and the scale and are checked where they are used.
if isempty(v) && isnumeric(v)
  return;
end
if strcmp(name, 'maps')
  ok = iscell(v);
else
  ok = isnumeric(v) && isreal(v) && ~issparse(v) && ~isempty(v) && all(isfinite(v(:)));
end
if ~ok
  option_error(sprintf('%s must be [] or %s', name, what));
end
end

function k = prepare_kernel(k)
% The blur the operator takes: a double matrix that sums to 1, with odd
% sides.  The operator centres a kernel at row floor(kh/2) and column
% floor(kw/2) (0-based) for its blur and its transpose alike; for an even
% side these two are not adjoint, and CG on the normal equations then
% diverges.  A zero row on top and column on the left leave the blur as
% it is and make the centre a pixel of the kernel.
if ~isnumeric(k) || ~isreal(k) || issparse(k) || isempty(k) || ndims(k) ~= 2
  option_error('kernel must be a real, non-empty 2-D numeric matrix');
end
k = double(k);
if any(~isfinite(k(:)))
  option_error('kernel holds NaN or Inf values');
end
total = sum(k(:));
if total <= 0
  option_error(sprintf('kernel must sum to 1 (a blur keeps the brightness); its sum is %g', total));
end
if abs(total - 1) > 1e-6
  warning('sr_reconstruct:kernelSum', ...
          'sr_reconstruct: kernel sums to %g, not 1; divided by its sum (a blur keeps the brightness)', ...
          total);
  k = k / total;
end
if mod(size(k, 1), 2) == 0
  k = [zeros(1, size(k, 2)); k];
end
if mod(size(k, 2), 2) == 0
  k = [zeros(size(k, 1), 1), k];
end
end

function warn_if_off_scale(largest)
% Frames read with double(imread(f)) are on 0..255: the regulariser and
% the robust weights are tuned for 0..1, so the result is poor.
if largest > 2
  warning('sr_reconstruct:range', ...
          ['sr_reconstruct: frames reach values of magnitude %g, beyond the 0..1 scale the defaults are ', ...
           'made for; divide them by 255 (or pass the uint8 images as they are)'], largest);
end
end

function warned = warn_if_diverged(x, relRes, it, opts, warned)
% A solve on a symmetric positive definite system never ends above its
% right-hand side from a sensible start: when it does (or x is no longer
% finite), the result is not to be trusted, and the user is told once.
if warned || (relRes <= 1 && all(isfinite(x(:))))
  return;
end
warned = true;
warning('sr_reconstruct:diverged', ...
        ['sr_reconstruct: the conjugate-gradient solve of outer iteration %d diverged ', ...
         '(relative residual %.3g): the result is not to be trusted; put the frames and ', ...
         '''initial'' on the 0..1 scale, give the camera''s blur as ''kernel'' ', ...
         '(non-negative, sums to 1), or raise ''lambda'' (now %g)'], it, relRes, opts.lambda);
end

function [maps, unknown] = check_maps(maps, N, H, W, identity)
% UNKNOWN{k} marks the pixels whose motion the caller left NaN or Inf; they
% take their own grid point, so that the operator reads a legal map (it
% would report every such pixel), and the samples that see them lose their
% weight (without_unknown_motion).
if ~iscell(maps) || numel(maps) ~= N
  option_error(sprintf('maps must be a cell array of %d maps', N));
end
unknown = cell(1, N);
for k = 1:N
  m = maps{k};
  if ~isa(m, 'double') || ~isreal(m) || issparse(m) || ~isequal(size(m), [H, W, 2])
    option_error(sprintf('maps{%d} must be a real %d x %d x 2 double array', k, H, W));
  end
  bad = ~isfinite(m(:, :, 1)) | ~isfinite(m(:, :, 2));
  if any(bad(:))
    both = cat(3, bad, bad);
    m(both) = identity(both);
    maps{k} = m;
    unknown{k} = bad;
  end
end
maps = reshape(maps, 1, N);
end

function x = check_initial(x, H, W, P)
if ~isnumeric(x) || ~isreal(x) || issparse(x) || size(x, 1) ~= H || size(x, 2) ~= W || ...
   size(x, 3) ~= P || ndims(x) > 3
  option_error(sprintf('initial must be a real %d x %d x %d image', H, W, P));
end
x = double(x);
end


function input_error(msg)
error('sr_reconstruct:input', 'sr_reconstruct: %s', msg);
end

function option_error(msg)
error('sr_reconstruct:option', 'sr_reconstruct: %s', msg);
end

function text = frame_count(N)
if N == 1
  text = '1 frame';
else
  text = sprintf('%d frames', N);
end
end

function progress(opts, varargin)
if opts.verbose
  fprintf(varargin{:});
  if exist('OCTAVE_VERSION', 'builtin')
    fflush(stdout);
  else
    drawnow('update');
  end
end
end

% ---------------------------------------------------------------- motion

function maps = estimate_motion(frames, ref, s, identity, opts)
% The flow from frame k to the reference frame says which reference point
% frame k shows at each pixel: exactly the backward map of the operator,
% once the pixel grid is added.  It is measured on the low-resolution frames
% and enlarged to the high-resolution grid (s times the bicubic enlargement
% of the flow): on continuous sub-pixel shifts that is both faster and
% closer to the true motion than the flow of the enlarged frames, whose
% interpolated detail the flow follows.  The flow lives on frame k's grid, so
% frame k's colours guide its smoothing (edges of the flow follow edges of
% that frame).  Each frame is first moved by the whole-pixel shift that
% phase correlation finds against the reference frame (sr_global_shift), so
% that the flow, which captures only a few pixels of motion on small frames,
% measures what remains; the shift is added back.  Shifts of up to 2
% pixels are left to the flow (moving the frame would change its flow and
% the solve's steps for nothing).  The frames go to
% qmv_motion_fields in batches of as many frames as it has threads, so that
% progress shows after each batch.
N = numel(frames);
maps = cell(1, N);
refFrame = colour(frames{ref});
batches = frame_batches(N, ref, 1);   % one frame per thread and call
done = 0;
tStart = tic;
for b = 1:numel(batches)
  ks = batches{b};
  stack = zeros([size(refFrame), numel(ks)]);
  for i = 1:numel(ks)
    stack(:, :, :, i) = colour(frames{ks(i)});
  end
  shifts = sr_global_shift(stack, refFrame);
  shifts(max(abs(shifts), [], 2) <= 2, :) = 0;   % what the flow captures by itself
  for i = 1:numel(ks)
    stack(:, :, :, i) = shift_image(stack(:, :, :, i), shifts(i, :));
  end
  flows = qmv_motion_fields(stack, refFrame);
  stack = [];
  for i = 1:numel(ks)
    % The flow of the shifted frame, read back on frame k's own grid.
    flow = shift_image(flows(:, :, :, i), -shifts(i, :));
    flow(:, :, 1) = flow(:, :, 1) + shifts(i, 1);
    flow(:, :, 2) = flow(:, :, 2) + shifts(i, 2);
    if opts.smoothFlow
      flow = dpx_guided_smooth(flow, colour(frames{ks(i)}), opts.flowRadius, ...
                               opts.flowSpatial, opts.flowRange);
    end
    maps{ks(i)} = identity + s * sr_upscale_bicubic(flow, s);
  end
  done = done + numel(ks);
  progress(opts, 'sr_reconstruct: motion of %d/%d frames, %.2f s\n', done, N - 1, toc(tStart));
end
end

function out = shift_image(img, d)
% out(p) = img(p - d) for a whole-pixel shift d = [dx, dy], the border
% repeated beyond the image.
if ~any(d)
  out = img;
  return;
end
[h, w, ~] = size(img);
rows = min(max((1:h) - d(2), 1), h);
cols = min(max((1:w) - d(1), 1), w);
out = img(rows, cols, :);
end

function img = colour(img)
% The flow module takes colour frames on a 0..1 scale.
if size(img, 3) == 1
  img = repmat(img, [1, 1, 3]);
end
img = min(max(img, 0), 1);
end

function masks = valid_masks(maps, ref, s, H, W)
% A low-resolution pixel whose high-resolution sample is moved to a point
% outside the reference grid (the scene part it shows is not in x) would
% only pull the border pixels; it gets weight 0.
N = numel(maps);
masks = cell(1, N);
for k = 1:N
  if k == ref
    m = true(H / s, W / s);
  else
    mx = maps{k}(1:s:end, 1:s:end, 1);
    my = maps{k}(1:s:end, 1:s:end, 2);
    m = mx >= 0.5 & mx < W + 0.5 & my >= 0.5 & my < H + 0.5;
  end
  masks{k} = double(m);
end
end

function masks = without_unknown_motion(masks, unknown, ref, kernel, s)
% A sample is the blur of the warped pixels around it: where one of them
% has no known motion, the sample's prediction is not to be trusted.
for k = 1:numel(unknown)
  if k ~= ref && ~isempty(unknown{k})
    reach = conv2(double(unknown{k}), ones(size(kernel)), 'same') > 0;
    seen = reach(1:s:end, 1:s:end);
    masks{k} = masks{k} .* double(~seen);
  end
end
end

% ------------------------------------------------------------ the solver

function [masks, leftOut] = without_other_scenes(masks, res, refFrame, ref)
% A frame whose typical residual against the reference frame's own
% reconstruction (RES: h x w x P x N) is several times the reference
% frame's noise shows another scene as a whole: frames after a cut, a
% dropped or corrupted frame, motion that could not be found.  Such frames
% are left out (mask 0).  Were they kept, frames of another scene that
% outnumber the reference's would set the robust deviations of the
% weights and take the picture over (8 frames, 4 of them after a cut,
% gave less than the reference frame alone; 7 gave 10 dB).  Frames of the
% scene, moving things and all, stay well below the limit: their median
% residual was at most 1.8 times the noise on the test scenes and videos,
% those of another scene 8.7 to 22 times.
limit = 4 * noise_level(refFrame);
rn = sqrt(mean(res .^ 2, 3));   % h x w x 1 x N
leftOut = [];
for k = [1:ref - 1, ref + 1:numel(masks)]
  inside = masks{k} > 0;
  rk = rn(:, :, 1, k);
  if any(inside(:)) && median(rk(inside)) > limit
    masks{k}(:) = 0;
    leftOut(end + 1) = k; %#ok<AGROW>
  end
end
end

function sigma = noise_level(img)
% The noise of an image, from its response to a 3 x 3 filter that cancels
% any plane (the mean absolute response over the planes, scaled to a
% Gaussian's deviation).  Texture adds to it, so it errs high: a frame is
% left out only when it is far off.  Inf for images under 3 x 3 pixels,
% which leaves every frame in.
[h, w, P] = size(img);
if h < 3 || w < 3
  sigma = Inf;
  return;
end
f = [1 -2 1; -2 4 -2; 1 -2 1];
total = 0;
for p = 1:P
  total = total + sum(sum(abs(conv2(img(:, :, p), f, 'valid'))));
end
sigma = sqrt(pi / 2) * total / (6 * (h - 2) * (w - 2) * P);
end

function wt = robust_weights(bx, res, fp, masks)
% Data weights of each low-resolution pixel of each frame from its
% residual (RES: h x w x P x N), in two parts (qmv_robust_weights).  The
% colour residual of the pixel itself gets a Gaussian weight at three
% robust deviations of the residual: small misfits (noise, aliasing that
% the estimate has not resolved yet) keep most of their say.  At edges of
% the estimate (BX: blurred) a tenth of a pixel of misregistration misfits
% by more than the noise of clean frames; it is tolerated too, as the
% anchor weights tolerate it, else clean frames lose their say just where
% they add detail.  The residual
% averaged over 3 x 3 pixels gets a biweight that falls to 0 at 3 robust
% deviations: aliasing averages out there, a frame that shows something
% else (an occluding or uncovered object, a wrong flow) does not, and such
% pixels lose their say entirely instead of keeping a share that 7 frames
% together would make a ghost.  The reference frame defines the scene and
% keeps full weight.  MASKS: the frames' validity masks (one plane).
fp.vecImgW = all_planes(masks, size(bx, 3));
wt = qmv_robust_weights(bx, res, fp);
end

function wt = anchor_weights(bx, res, fp, masks)
% Weights, kept through all outer iterations, from the residuals RES
% against the reference frame's own reconstruction (BX: blurred;
% qmv_anchor_weights): the residuals later taken against the multi-frame
% estimate let a majority of frames that show something else (a walking
% person, swaying leaves) partly win.  Against the anchor, a frame's local
% misfit (3 x 3 pixels) is explained by noise and aliasing (about one
% robust deviation of all frames' local misfits) plus a misregistration of
% up to a tenth of a low-resolution pixel of the reference's local detail
% (its blurred gradient, largest over 3 x 3 pixels, read where the frame's
% samples land).  The weight falls to 0 at that tolerance: what exceeds it
% shows something else than the reference frame.  (A tighter tolerance
% costs the still scenes detail at edges, a looser one lets moving things
% in; both measured.)
% A sample of another frame that lands within the blur's radius of a
% reference-frame sample sees nearly what that sample sees: it adds no
% detail, only another draw of the noise and, where the scene changed a
% little (swaying leaves, a breathing person), a slightly different scene.
% Seven such repeats would outvote the reference frame, whose scene is the
% one reconstructed.  So where a frame's residuals show a changed scene
% (coherent over 13 x 13 pixels rather than noise: their 3 x 3 mean keeps
% more than a ninth of their power), each sample's weight is split by how
% near it lies to the nearest reference sample (1 on it, 0 at the blur's
% radius or farther): the near part is shared, so that all frames' repeats
% of one reference sample together count as much as one frame; the far
% part, detail between the reference's samples, keeps its full weight.
% Repeats of an unchanged scene keep their weight: they average the noise.
% MASKS: the frames' validity masks (one plane).  WT: one plane per frame
% (the planes of a pixel share its weight), which the caller's weights of
% all planes take by broadcasting.
fp.vecImgW = all_planes(masks, size(bx, 3));
wt = qmv_anchor_weights(bx, res, fp);
for k = 1:numel(wt)
  wt{k} = wt{k}(:, :, 1);
end
end

function scale = data_scale(vecImgW, masks)
% Weights below 1 weaken the data term against the smoothness term that
% was balanced for full weights; scaling by the share of weight kept
% restores that balance.  Samples masked out (motion unknown or off the
% grid) count as weight lost like any other: were they left out of the
% full weight, 8 frames of which only the reference has known motion
% would be smoothed 8 times as hard as the reference frame alone.
kept = 0;
full = 0;
P = size(vecImgW{1}, 3);
for k = 1:numel(masks)
  kept = kept + sum(vecImgW{k}(:));
  full = full + P * numel(masks{k});
end
scale = full / max(kept, eps);
end

function m = all_planes(masks, P)
% The one-plane masks as the weights of all P planes, which the compiled
% functions take (kept as one plane between calls: a third of the memory).
m = cell(size(masks));
for k = 1:numel(masks)
  m{k} = repmat(masks{k}, [1, 1, P]);
end
end

function w = frame_weights(vecImgW)
% The data weight of each low-resolution pixel of each frame (one plane).
w = cell(size(vecImgW));
for k = 1:numel(vecImgW)
  w{k} = vecImgW{k}(:, :, 1);
end
end

function x = anchor_estimate(x, frame, opts, identity)
% The reconstruction from the reference frame alone: what the other
% frames are first registered and compared with.  IDENTITY: the grid, the
% reference frame's map.
[H, W, P] = size(x);
fp1.idx0 = 1;
fp1.numFrames = 1;
fp1.scaleFactor = opts.scale;
fp1.vecKers = {opts.kernel};
fp1.imgWs = ones(H, W, P);
fp1.vecImgW = {ones(size(frame))};
fp1.vecMapB = {identity};
fp1.dataTermScale = 1;
fp1.eta = opts.lambda;
% B' U y, the right-hand side of one unweighted, unmoved frame.
b = qmv_weighted_rhs(x, frame, fp1);
for it = 1:2   % one more TV step keeps moving objects sharper (0.1-0.3 dB)
  fp1.imgWs = smoothness_weights(x, opts.tvEpsilon);
  x = conjugate_gradients(x, b, fp1, opts.cgIterations, opts.cgTolerance);
end
end

% ------------------------------------------- motion between grid points

function stack = corrected_frames(bx, fp, frames)
% The operator warps to the nearest high-resolution pixel; a flow of 0.4
% pixel thus reads a neighbour that is 0.4 pixel off.  The difference
% between the blurred estimate read at the exact and at the rounded
% positions of each frame's samples is what that rounding costs; taken
% off the frame's data, the solve fits the exact motion while the
% operator keeps its warp.  (Blur and a locally uniform motion commute, so
% only the low-resolution samples need reading.)  BX: the blurred estimate
% (blurred_estimate).  STACK: the frames (a cell) less their corrections,
% h x w x P x N; the reference frame's is 0 (qmv_rounding_corrections,
% which takes them off as it makes them: no stack of corrections).
if numel(fp.vecMapB) < 2
  stack = frames{1};   % a single frame is the reference frame
  return;
end
stack = qmv_rounding_corrections(bx, fp, frames);
end

function bx = blurred_estimate(x, kernel, N)
% The estimate blurred as the frames see it, read by the rounding
% corrections, the rigid motion and the anchor weights; a single frame
% needs none of them.
bx = [];
if N > 1
  bx = sr_filter_replicate(x, kernel, 'conv');
end
end

function maps = rigid_motion(bx, frames, fp, ks)
% Where the scene moves rigidly (a camera's shake, a pan), one affine
% motion per frame is more exact than the dense flow, which is noisy and
% biased at sub-pixel level (qmv_rigid_motion: fitted robustly to the flow,
% then refined by registering the frame itself against the reference
% frame's reconstruction, blurred: BX).  Where the frame disagrees with that
% motion and the flow explains it clearly better (things that move on
% their own), the flow stays.  KS: the frames to move (not the reference
% frame); MAPS: their new maps.  A frame's map depends on that frame alone.
fpk = fp;
fpk.idx0 = 0;   % none of them is the reference frame
fpk.numFrames = numel(ks);
fpk.vecKers = fp.vecKers(ks);
fpk.vecImgW = fp.vecImgW(ks);
fpk.vecMapB = fp.vecMapB(ks);
maps = qmv_rigid_motion(bx, cat(4, frames{ks}), fpk);
end

function batches = frame_batches(N, ref, perThread)
% The frames other than REF in batches of PERTHREAD frames per thread of the
% compiled functions: the flows go one per thread, so that progress shows
% after each batch; the rigid motion two per thread, enough to keep the
% threads busy and few enough to hold few maps twice.
others = [1:ref - 1, ref + 1:N];
per = perThread * max(1, qmv_threads());
batches = cell(1, ceil(numel(others) / per));
for i = 1:numel(batches)
  batches{i} = others((i - 1) * per + 1:min(i * per, end));
end
end

function ws = smoothness_weights(x, epsilon)
% One weight per pixel for all planes: 1 / |grad x| of the colour
% gradient (periodic forward differences, as the operator takes them), so
% that the quadratic term approximates total variation around x.
% Plane by plane, summed in plane order as mean does: no full-size
% difference images.
[H, W, P] = size(x);
right = [2:W, 1];
down = [2:H, 1];
g2 = 0;
for p = 1:P
  xp = x(:, :, p);
  g2 = g2 + ((xp(:, right) - xp) .^ 2 + (xp(down, :) - xp) .^ 2);
end
g2 = g2 / P;
ws = repmat(1 ./ sqrt(g2 + epsilon ^ 2), [1, 1, P]);
end

function b = right_hand_side(stack, x, fp)
% (1/N) * sum_k M_k' B_k' U (W_k .* y_k), with the operator's transposed
% blur and warp (qmv_weighted_rhs; x gives only the size).
b = qmv_weighted_rhs(x, stack, fp);
end

function [res, rmsRes] = frame_residuals(x, stack, fp)
% D B M_k x - y_k for every frame (qmv_frame_residuals: h x w x P x N), and
% their RMS over the pixels that count.
res = qmv_frame_residuals(x, stack, fp);
total = 0;
count = 0;
for k = 1:size(res, 4)
  m = fp.vecImgW{k} > 0;
  r = res(:, :, :, k);
  total = total + sum(r(m) .^ 2);
  count = count + nnz(m);
end
rmsRes = sqrt(total / max(count, 1));
end

function [x, n, relRes] = conjugate_gradients(x, b, fp, maxSteps, tol)
% At most MAXSTEPS steps of conjugate gradients on the weighted normal
% equations A x = b from X, with qmv_system_apply's operator as A; they end
% once the residual is at most TOL times |b| (qmv_conjugate_gradients).
[x, n, relRes] = qmv_conjugate_gradients(x, b, fp, maxSteps, tol);
end

%!shared truth, frames, maps, kernel
%! [c, r] = meshgrid (1:48, 1:48);
%! truth = 0.3 + 0.4 * double ((c - 20) .^ 2 + (r - 26) .^ 2 < 100) + 0.2 * sin (c / 5);
%! kernel = [1 2 1]' * [1 2 1] / 16;
%! randn ('state', 1);
%! [frames, maps] = sr_simulate_frames (truth, 2, [0 0; 1 0; 0 1; 1 1], kernel, 0.005);
%!test
%! [est, info] = sr_reconstruct (frames, 'kernel', kernel, 'maps', maps, 'verbose', false);
%! assert (size (est), [48 48]);
%! assert (sr_quality (est, truth, 4) > sr_quality (sr_upscale_bicubic (frames{1}, 2), truth, 4) + 3);
%! assert (info.numFrames, 4);
%! assert (strcmp (info.motion, 'given'));
%!test
%! % An h x w x 1 x N array is the same input as a cell of frames.
%! a = sr_reconstruct (frames, 'kernel', kernel, 'maps', maps, 'verbose', false, 'outerIterations', 1);
%! b = sr_reconstruct (cat (4, frames{:}), 'kernel', kernel, 'maps', maps, 'verbose', false, 'outerIterations', 1);
%! assert (a, b);
%!test
%! % uint16 frames are scaled to 0..1 like im2double.
%! f16 = cellfun (@(f) uint16 (round (65535 * min (max (f, 0), 1))), frames, 'UniformOutput', false);
%! est = sr_reconstruct (f16, 'kernel', kernel, 'maps', maps, 'verbose', false);
%! assert (max (est(:)) < 1.5);
%!test
%! % Motion left NaN or Inf is unknown: the operator sees legal maps (it
%! % would print one line per such pixel), the samples it reaches get weight
%! % 0, and the others still count.
%! m = maps;
%! m{2}(11:20, 11:20, :) = NaN;
%! m{3}(1, 1, 2) = Inf;
%! m{1}(:) = NaN;   % the reference frame's map is not read
%! out = evalc ("[est, info] = sr_reconstruct (frames, 'kernel', kernel, 'maps', m, 'verbose', false);");
%! assert (isempty (out));
%! assert (all (isfinite (est(:))));
%! assert (all (all (info.weights{2}(6:10, 6:10) == 0)));
%! assert (info.weights{2}(15, 15) > 0 && info.weights{3}(1, 1) == 0);
%! assert (squeeze (info.maps{2}(12, 13, :))', [13 12]);
%! full = sr_reconstruct (frames, 'kernel', kernel, 'maps', maps, 'verbose', false);
%! assert (sr_quality (est, truth, 4) > sr_quality (full, truth, 4) - 0.5);
%!warning <sums to 16> sr_reconstruct (frames, 'kernel', kernel * 16, 'maps', maps, 'verbose', false, 'outerIterations', 1);
%!warning <0..1 scale> sr_reconstruct (cellfun (@(f) 255 * f, frames, 'UniformOutput', false), 'kernel', kernel, 'maps', maps, 'verbose', false, 'outerIterations', 1);
%!error <frames must be> sr_reconstruct ({})
%!error <differs in size> sr_reconstruct ({ones(8), ones(9)})
%!error <kernel must sum> sr_reconstruct (frames, 'kernel', -kernel)
%!error <verbose must be true or false> sr_reconstruct (frames, 'verbose', 'no')

%!demo
%! % Four frames of a part of the photograph, moved by known sub-pixel
%! % steps: the reconstruction against bicubic enlargement of frame 1.
%! img = sr_sample_image ();
%! img = img(81:176, 81:176, :);
%! kernel = ones (2) / 4;           % pixel integration: an even kernel
%! [frames, maps] = sr_simulate_frames (img, 2, [0 0; 1 0; 0 1; 1 1], kernel, 0.01);
%! [est, info] = sr_reconstruct (frames, 'kernel', kernel, 'maps', maps, 'verbose', false);
%! printf ('bicubic %.2f dB, sr_reconstruct %.2f dB, kernel used %d x %d\n', ...
%!         sr_quality (sr_upscale_bicubic (frames{1}, 2), img, 4), ...
%!         sr_quality (est, img, 4), size (info.kernel));
