% sr_reconstruct's guards: input that used to give a silently wrong result
% is made sound, warned about or refused with a message naming the option.

img = sr_sample_image();
truth = img(97:160, 97:160, :);
shifts = [0 0; 1 0; 0 1; 1 1; 2 1; 1 2];
randn('state', 5);

% Runs fn with its printed output captured and returns the identifier of
% the last warning it raised ('' for none).
function id = warning_of(fn)
  lastwarn('');
  evalc('fn();');
  [~, id] = lastwarn();
end

function expect_option_error(pattern, varargin)
  try
    sr_reconstruct(varargin{:});
  catch err
    assert(strcmp(err.identifier, 'sr_reconstruct:option'), 'got %s: %s', err.identifier, err.message);
    assert(~isempty(regexp(err.message, pattern, 'once')), 'message "%s" lacks "%s"', err.message, pattern);
    return;
  end
  error('no error raised for %s', pattern);
end

% <v, A u> - <A v, u> of the operator built with kernel k, on images that
% vanish near the border (where the repeated-border blur has its own rule).
function rel = adjoint_gap(k, maps, s)
  [H, W, ~] = size(maps{1});
  N = numel(maps);
  fp = struct('idx0', 1, 'numFrames', N, 'scaleFactor', s, 'vecKers', {repmat({k}, 1, N)}, ...
              'imgWs', ones(H, W), 'vecImgW', {repmat({ones(H / s, W / s)}, 1, N)}, ...
              'vecMapB', {maps}, 'dataTermScale', 1, 'eta', 0);
  inner = zeros(H, W);
  inner(7:end - 6, 7:end - 6) = 1;
  u = inner .* rand(H, W);
  v = inner .* rand(H, W);
  a = v(:)' * reshape(qmv_system_apply(u, fp), [], 1);
  b = u(:)' * reshape(qmv_system_apply(v, fp), [], 1);
  rel = abs(a - b) / abs(a);
end

% Even kernels (pixel integration) are padded so the solve is sound: the
% blur pair is adjoint again, and the result beats bicubic clearly.
for side = [2 4]
  box = ones(side) / side ^ 2;
  [frames, maps] = sr_simulate_frames(truth, 2, shifts, box, 0.01);
  [est, info] = sr_reconstruct(frames, 'kernel', box, 'maps', maps, 'verbose', false);
  assert(isequal(size(info.kernel), [side + 1, side + 1]));
  assert(all(info.kernel(1, :) == 0) && all(info.kernel(:, 1) == 0));
  assert(isequal(info.kernel(2:end, 2:end), box));
  rand('state', side);
  assert(adjoint_gap(box, maps, 2) > 1e-3, 'the unpadded %dx%d box should not be adjoint', side, side);
  assert(adjoint_gap(info.kernel, maps, 2) < 1e-12, 'padded %dx%d box not adjoint', side, side);
  gain = sr_quality(est, truth, 4) - sr_quality(sr_upscale_bicubic(frames{1}, 2), truth, 4);
  printf('%dx%d box: %+.2f dB over bicubic, CG residuals %s\n', side, side, gain, mat2str(info.cgResiduals, 2));
  assert(gain > 4 && all(info.cgResiduals < 0.1));
end
% A 2 x 3 kernel: only the even side is padded.
[~, info] = sr_reconstruct(frames, 'kernel', ones(2, 3) / 6, 'maps', maps, 'verbose', false, ...
                           'outerIterations', 1);
assert(isequal(size(info.kernel), [3 3]) && all(info.kernel(1, :) == 0));

% An unnormalised kernel is divided by its sum, with a warning, and gives
% the result of the normalised one.
kernel = [1 2 1]' * [1 2 1];
[frames, maps] = sr_simulate_frames(truth, 2, shifts, kernel / 16, 0.01);
args = {'maps', maps, 'verbose', false, 'outerIterations', 1};
assert(strcmp(warning_of(@() sr_reconstruct(frames, 'kernel', kernel, args{:})), ...
              'sr_reconstruct:kernelSum'));
warning('off', 'sr_reconstruct:kernelSum');
estRaw = sr_reconstruct(frames, 'kernel', kernel, args{:});
warning('on', 'sr_reconstruct:kernelSum');
estUnit = sr_reconstruct(frames, 'kernel', kernel / 16, args{:});
assert(max(abs(estRaw(:) - estUnit(:))) < 1e-12);
assert(isempty(warning_of(@() sr_reconstruct(frames, 'kernel', kernel / 16, args{:}))));
expect_option_error('sum', frames, 'kernel', [1 -1]);
expect_option_error('NaN', frames, 'kernel', [1 NaN]);

% Integer classes are scaled over their full range, as im2double does:
% int16 frames give the same result as the double frames they encode.
unit = cellfun(@(f) min(max(f, 0), 1), frames, 'UniformOutput', false);
as16 = cellfun(@(f) int16(round(f * 65535 - 32768)), unit, 'UniformOutput', false);
back = cellfun(@(f) (double(f) + 32768) / 65535, as16, 'UniformOutput', false);
est16 = sr_reconstruct(as16, 'kernel', kernel / 16, args{:});
estBack = sr_reconstruct(back, 'kernel', kernel / 16, args{:});
assert(max(abs(est16(:) - estBack(:))) < 1e-12 && max(est16(:)) < 1.5);
as8 = cellfun(@(f) int8(round(f * 255 - 128)), unit, 'UniformOutput', false);
est8 = sr_reconstruct(as8, 'kernel', kernel / 16, args{:});
assert(sr_quality(est8, truth, 4) > sr_quality(sr_upscale_bicubic(frames{1}, 2), truth, 4));

% Frames on a 0..255 scale are warned about; frames a little beyond 1
% (noise) are not.
scaled = cellfun(@(f) 255 * f, unit, 'UniformOutput', false);
assert(strcmp(warning_of(@() sr_reconstruct(scaled, 'kernel', kernel / 16, args{:})), ...
              'sr_reconstruct:range'));
assert(isempty(warning_of(@() sr_reconstruct(frames, 'kernel', kernel / 16, args{:}))));
centred = cellfun(@(f) 255 * (f - 0.5), unit, 'UniformOutput', false);
assert(strcmp(warning_of(@() sr_reconstruct(centred, 'kernel', kernel / 16, args{:})), ...
              'sr_reconstruct:range'));

% A solve that ends in values that are not finite is warned about.
huge = cellfun(@(f) 1e160 * f, unit, 'UniformOutput', false);
warning('off', 'sr_reconstruct:range');
lastwarn('');
evalc('sr_reconstruct(huge, ''kernel'', kernel / 16, ''maps'', maps);');
warning('on', 'sr_reconstruct:range');
[msg, id] = lastwarn();
assert(strcmp(id, 'sr_reconstruct:diverged'), 'got warning %s', id);
assert(~isempty(strfind(msg, 'lambda')) && ~isempty(strfind(msg, '0..1 scale')));

% Every option of the wrong class or value is refused before any work,
% with the option's name in the message.
expect_option_error('robust', frames, 'robust', 'yes');
expect_option_error('robust', frames, 'robust', 2);
expect_option_error('smoothFlow', frames, 'smoothFlow', []);
expect_option_error('verbose', frames, 'verbose', {true});
expect_option_error('scale', frames, 'scale', '2');
expect_option_error('scale', frames, 'scale', true);
expect_option_error('refFrame', frames, 'refFrame', [1 2]);
expect_option_error('outerIterations', frames, 'outerIterations', 0);
expect_option_error('cgIterations', frames, 'cgIterations', 2.5);
expect_option_error('cgTolerance', frames, 'cgTolerance', 0);
expect_option_error('lambda', frames, 'lambda', NaN);
expect_option_error('tvEpsilon', frames, 'tvEpsilon', 'small');
expect_option_error('flowRadius', frames, 'flowRadius', -1);
expect_option_error('flowSpatial', frames, 'flowSpatial', 1 + 2i);
expect_option_error('flowRange', frames, 'flowRange', Inf);
expect_option_error('kernel', frames, 'kernel', 'gauss');
expect_option_error('kernel', frames, 'kernel', ones(3, 3, 2));
expect_option_error('maps', frames, 'maps', ones(4));
expect_option_error('maps', frames, 'maps', maps(1:2));
expect_option_error('initial', frames, 'initial', 'bicubic');
expect_option_error('initial', frames, 'initial', NaN(64, 64, 3));
expect_option_error('initial', frames, 'initial', zeros(10, 10, 3));
expect_option_error('unknown option', frames, 'nosuch', 1);
expect_option_error('name/value', frames, 'scale');
expect_option_error('character strings', frames, 3, 2);
expect_option_error('single struct', frames, struct('scale', {2, 3}));
% Flags take logical or 0/1 values, and a struct of options works.
est = sr_reconstruct(frames, struct('kernel', kernel / 16, 'maps', {maps}, 'verbose', 0, ...
                                    'robust', false, 'outerIterations', 1));
assert(isequal(size(est), [64 64 3]));
printf('guards: all checks passed\n');
