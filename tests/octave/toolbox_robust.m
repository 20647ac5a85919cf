% Frames of a moving scene: sr_simulate_frames shifts by continuous amounts
% and adds an object that moves on its own; sr_reconstruct must gain from
% all frames without letting the object's pixels of other frames in.

% A synthetic scene: shapes over a smooth shading, in colour.
[c, r] = meshgrid(1:64, 1:64);
disc = double((c - 24) .^ 2 + (r - 26) .^ 2 < 12 ^ 2);
bar = double(abs(c - r + 10) < 4);
stripes = double(mod(floor(c / 3), 2) == 0 & r > 44);
shade = 0.3 + 0.2 * sin(c / 9) .* cos(r / 11);
scene = min(max(cat(3, shade + 0.5 * disc, shade + 0.4 * bar, shade + 0.4 * stripes), 0), 1);
kernel = [1 4 6 4 1]' * [1 4 6 4 1] / 256;

% Whole-pixel shifts reproduce the nearest-neighbour model exactly; other
% shifts interpolate between the neighbours.
[f1, m1] = sr_simulate_frames(scene, 2, [0 0; 2 -1], kernel, 0);
shifted = scene([1, 1:63], [3:64, 64, 64], :);   % shows (r - 1, c + 2), clamped
blurred = zeros(size(shifted));
pad = shifted([1 1 1:64 64 64], [1 1 1:64 64 64], :);
for p = 1:3
  blurred(:, :, p) = conv2(pad(:, :, p), kernel, 'valid');
end
assert(max(max(max(abs(f1{2} - blurred(1:2:end, 1:2:end, :))))) < 1e-12, ...
       'whole-pixel shift differs from the nearest-neighbour model');
assert(isequal(m1{2}(10, 20, :), cat(3, 22, 9)));
[fh, mh] = sr_simulate_frames(scene, 2, [0 0; 0.5 0; 1 0], kernel, 0);
mid = (fh{1} + fh{3}) / 2;
interior = @(x) x(4:end - 3, 4:end - 3, :);
assert(max(abs(interior(fh{2} - mid)(:))) < 0.05, 'half-pixel shift is not between its neighbours');
assert(max(abs(interior(fh{2} - fh{1})(:))) > 0.01 && max(abs(interior(fh{2} - fh{3})(:))) > 0.01, ...
       'half-pixel shift rounded to a whole pixel');
assert(mh{2}(5, 5, 1) == 5.5);

% 8-bit frames and the object's masks and maps.
obj = repmat(cat(3, 0.9, 0.1, 0.1), 12, 12) .* (0.6 + 0.4 * (mod((1:12)' + (1:12), 4) < 2));
pos = [NaN NaN; 30 8; 36 12; 42 16; 40 36; NaN NaN; NaN NaN; NaN NaN];
shifts = [0 0; 0.6 -0.3; -1.3 0.8; 0.4 1.5; -0.7 -1.2; 1.2 0.3; -0.4 -0.9; 0.9 1.1];
randn('state', 5);
[frames, maps, truth] = sr_simulate_frames(scene, 2, shifts, kernel, 0.01, ...
                                           'object', obj, 'objectPos', pos, 'quantize', true);
assert(all(abs(frames{4}(:) * 255 - round(frames{4}(:) * 255)) < 1e-9));
assert(~any(truth.object{1}(:)) && nnz(truth.object{2}) == 144 && truth.object{2}(8, 30));
assert(isequal(size(truth.objectLow{2}), [32 32]) && truth.objectLow{2}(5, 16));
assert(isequal(truth.images{1}, scene), 'frame 1 shows neither motion nor object');
assert(abs(maps{3}(40, 40, 1) - 38.7) < 1e-12 && abs(maps{3}(40, 40, 2) - 40.8) < 1e-12);

% 8 frames beat the reference frame alone; the object, which the reference
% frame does not show, gets (almost) no weight in the frames that do.
alone = sr_reconstruct(frames(1), 'scale', 2, 'kernel', kernel, 'verbose', false);
[est, info] = sr_reconstruct(frames, 'scale', 2, 'kernel', kernel, 'verbose', false);
pAlone = sr_quality(alone, scene, 4);
pEst = sr_quality(est, scene, 4);
printf('8 frames %.2f dB, reference alone %.2f dB\n', pEst, pAlone);
assert(pEst > pAlone + 0.5, '8 frames %.2f dB, reference frame alone %.2f dB', pEst, pAlone);
assert(isequal(size(info.weights), [1 8]) && isequal(size(info.weights{2}), [32 32]));
assert(all(info.weights{1}(:) == 1), 'the reference frame must keep full weight');
onObject = [];
offObject = [];
for k = 2:5
  core = truth.object{k}(1:2:end, 1:2:end);   % samples on the object itself
  wk = info.weights{k};
  onObject = [onObject; wk(core)]; %#ok<AGROW>
  offObject = [offObject; wk(~truth.objectLow{k})]; %#ok<AGROW>
end
printf('weights: object %.3f, elsewhere %.3f\n', mean(onObject), mean(offObject));
assert(mean(onObject) < 0.1, 'object pixels keep weight %.3f', mean(onObject));
% Soft weights: clean samples keep most, not all, of their say (0.65 here).
assert(mean(offObject) > 0.5, 'scene pixels lose weight: %.3f', mean(offObject));
% The object does not leak into the reconstruction: its red stays out.
redGain = mean(mean(est(9:20, 31:42, 1) - scene(9:20, 31:42, 1)));
assert(abs(redGain) < 0.03, 'object leaks into the reconstruction (red %+.3f)', redGain);

% The reference frame shows the object, the other 7 show the scene behind
% it: the reference must win there, not the majority.
posRef = [30 8; 44 30; 44 30; 44 30; 44 30; 44 30; 44 30; 44 30];
randn('state', 7);
[fr, ~, tr] = sr_simulate_frames(scene, 2, shifts, kernel, 0.01, ...
                                 'object', obj, 'objectPos', posRef, 'quantize', true);
estRef = sr_reconstruct(fr, 'scale', 2, 'kernel', kernel, 'verbose', false);
aloneRef = sr_reconstruct(fr(1), 'scale', 2, 'kernel', kernel, 'verbose', false);
inObj = repmat(tr.object{1}, [1, 1, 3]);
errEst = sqrt(mean((estRef(inObj) - tr.images{1}(inObj)) .^ 2));
errAlone = sqrt(mean((aloneRef(inObj) - tr.images{1}(inObj)) .^ 2));
printf('object only in the reference: RMS error %.4f, reference alone %.4f\n', errEst, errAlone);
assert(errEst < 1.1 * errAlone, 'the other frames overrule the reference: %.4f vs %.4f', ...
       errEst, errAlone);

% A still camera: frames 2 to 4 sample where the reference frame does, 5 to
% 8 between its samples.  Where the scene is unchanged, the repeats average
% the noise and keep their say; where it changed a little (the texture of
% the lower part sways in frames 2 to 8), the repeats together count as
% one frame at most, so that they cannot outvote the reference frame.
sway = 0.1 * sin(c / 3) .* (r > 36);
swayed = 0.1 * sin((c + 1.2) / 3) .* (r > 36);
fr = cell(1, 8);
mp = cell(1, 8);
randn('state', 8);
for k = 1:8
  moved = min(max(scene(:, :, [1 2 3]) + repmat(sway + (k > 1) * (swayed - sway), [1, 1, 3]), 0), 1);
  [f, m] = sr_simulate_frames(moved, 2, [0 0; (k > 4) * [1 1]], kernel, 0.01, 'quantize', true);
  fr{k} = f{2};
  mp{k} = m{2};
end
[estStill, info] = sr_reconstruct(fr, 'scale', 2, 'kernel', kernel, 'verbose', false, 'maps', mp);
w = cat(3, info.weights{:});
repeats = sum(w(:, :, 2:4), 3);
unchanged = repeats(4:14, 4:end - 3);
changed = repeats(22:end - 3, 4:end - 3);
between = w(4:end - 3, 4:end - 3, 5:8);
printf('still camera: repeats together %.3f where unchanged, at most %.3f where swayed; between %.3f\n', ...
       mean(unchanged(:)), max(changed(:)), mean(between(:)));
assert(mean(unchanged(:)) > 1.3, 'repeats of an unchanged scene lose their say: %.3f', ...
       mean(unchanged(:)));
assert(max(changed(:)) < 1.2, 'repeats of a changed scene count as %.3f frames', max(changed(:)));
assert(mean(between(:)) > 0.4, 'samples between the reference''s lose weight: %.3f', mean(between(:)));
truthStill = min(max(scene + repmat(sway, [1, 1, 3]), 0), 1);
aloneStill = sr_reconstruct(fr(1), 'scale', 2, 'kernel', kernel, 'verbose', false);
pStill = sr_quality(estStill, truthStill, 4);
pStillAlone = sr_quality(aloneStill, truthStill, 4);
printf('still camera: 8 frames %.2f dB, reference alone %.2f dB\n', pStill, pStillAlone);
assert(pStill > pStillAlone + 0.5, 'still camera: 8 frames %.2f dB, reference alone %.2f dB', ...
       pStill, pStillAlone);

% Continuous shifts: estimated motion comes within 0.3 dB of the true one.
randn('state', 6);
[fs, ms] = sr_simulate_frames(scene, 2, shifts, kernel, 0.01, 'quantize', true);
pEstS = sr_quality(sr_reconstruct(fs, 'scale', 2, 'kernel', kernel, 'verbose', false), scene, 4);
pTrueS = sr_quality(sr_reconstruct(fs, 'scale', 2, 'kernel', kernel, 'maps', ms, ...
                                   'verbose', false), scene, 4);
printf('continuous shifts: estimated %.2f dB, true %.2f dB\n', pEstS, pTrueS);
assert(pEstS > pTrueS - 0.3, 'estimated motion %.2f dB, true %.2f dB', pEstS, pTrueS);

% A pan: frames moved by up to 10 of their 32 pixels, more than the flow
% captures on frames this small; estimated motion must still come near
% the true one (it gave a picture 3.5 dB below the reference alone).
rand('state', 9);
randn('state', 9);
[fp8, mp8] = sr_simulate_frames(scene, 2, [0 0; 40 * rand(7, 2) - 20], kernel, 0.01, 'quantize', true);
pPanAlone = sr_quality(sr_reconstruct(fp8(1), 'scale', 2, 'kernel', kernel, 'verbose', false), scene, 4);
pPan = sr_quality(sr_reconstruct(fp8, 'scale', 2, 'kernel', kernel, 'verbose', false), scene, 4);
pPanTrue = sr_quality(sr_reconstruct(fp8, 'scale', 2, 'kernel', kernel, 'maps', mp8, ...
                                     'verbose', false), scene, 4);
printf('pan: estimated %.2f dB, true %.2f dB, reference alone %.2f dB\n', pPan, pPanTrue, pPanAlone);
assert(pPan > pPanTrue - 0.5 && pPan > pPanAlone + 0.5, 'pan: estimated %.2f dB, true %.2f dB, alone %.2f dB', ...
       pPan, pPanTrue, pPanAlone);

% A cut: frames 4 to 8 show another scene.  They are left out as a whole,
% and the picture is no worse than the reference frame's alone (they
% outnumbered the scene's frames and gave a picture 3.8 dB below it).
randn('state', 10);
[fcut, ~] = sr_simulate_frames(scene, 2, shifts, kernel, 0.01, 'quantize', true);
[fother, ~] = sr_simulate_frames(scene(end:-1:1, :, [3 1 2]), 2, shifts, kernel, 0.01, 'quantize', true);
fcut(4:8) = fother(4:8);
[estCut, infoCut] = sr_reconstruct(fcut, 'scale', 2, 'kernel', kernel, 'verbose', false);
pCut = sr_quality(estCut, scene, 4);
pCutAlone = sr_quality(sr_reconstruct(fcut(1), 'scale', 2, 'kernel', kernel, 'verbose', false), scene, 4);
printf('cut after frame 3: %.2f dB, reference alone %.2f dB, left out %s\n', pCut, pCutAlone, ...
       mat2str(infoCut.framesLeftOut));
assert(isequal(infoCut.framesLeftOut, 4:8), 'left out: %s', mat2str(infoCut.framesLeftOut));
assert(pCut > pCutAlone, 'cut: %.2f dB, reference alone %.2f dB', pCut, pCutAlone);
assert(isempty(info.framesLeftOut), 'frames of the scene left out');

% Clean frames: at edges, where the frames add detail, their misfit is
% mostly the estimate's, not noise; the robust weights must leave it its
% say there (taking it cost 0.3 dB against no robust weights at all).
[fc, mc] = sr_simulate_frames(scene, 2, shifts, kernel, 0);
pClean = sr_quality(sr_reconstruct(fc, 'scale', 2, 'kernel', kernel, 'maps', mc, ...
                                   'verbose', false), scene, 4);
pPlain = sr_quality(sr_reconstruct(fc, 'scale', 2, 'kernel', kernel, 'maps', mc, ...
                                   'robust', false, 'verbose', false), scene, 4);
printf('clean frames: robust %.2f dB, not robust %.2f dB\n', pClean, pPlain);
assert(pClean > pPlain, 'clean frames: robust %.2f dB, not robust %.2f dB', pClean, pPlain);

% Frames whose motion is unknown everywhere add nothing: the picture is
% the reference frame's alone, not one smoothed as if the data of 8 frames
% were there (without the robust weights the same solve; with them, the
% anchor's steps come first).  Half of each frame's motion unknown must
% not cost the picture either.
aloneS = sr_reconstruct(fs(1), 'scale', 2, 'kernel', kernel, 'verbose', false);
pAloneS = sr_quality(aloneS, scene, 4);
unknown = ms;
half = ms;
for k = 2:numel(unknown)
  unknown{k}(:) = NaN;
  half{k}(:, 33:end, :) = NaN;
end
est0 = sr_reconstruct(fs, 'scale', 2, 'kernel', kernel, 'maps', unknown, 'robust', false, ...
                      'verbose', false);
assert(max(abs(est0(:) - aloneS(:))) < 1e-9, 'frames of unknown motion change the picture');
pUnknown = sr_quality(sr_reconstruct(fs, 'scale', 2, 'kernel', kernel, 'maps', unknown, ...
                                     'verbose', false), scene, 4);
pHalf = sr_quality(sr_reconstruct(fs, 'scale', 2, 'kernel', kernel, 'maps', half, ...
                                  'verbose', false), scene, 4);
printf('motion unknown: everywhere %.2f dB, in half of each frame %.2f dB, reference alone %.2f dB\n', ...
       pUnknown, pHalf, pAloneS);
assert(pUnknown > pAloneS - 0.05, 'frames of unknown motion: %.2f dB, reference alone %.2f dB', ...
       pUnknown, pAloneS);
assert(pHalf > pAloneS, 'half-known motion %.2f dB, reference alone %.2f dB', pHalf, pAloneS);

% The operator warps to whole pixels, but continuous true motion must be
% fitted as such: rounding the maps first throws that away.
rounded = ms;
for k = 1:numel(rounded)
  rounded{k} = floor(rounded{k} + 0.5);
end
pRounded = sr_quality(sr_reconstruct(fs, 'scale', 2, 'kernel', kernel, 'maps', rounded, ...
                                     'verbose', false), scene, 4);
printf('continuous shifts, true motion rounded to whole pixels: %.2f dB\n', pRounded);
assert(pTrueS > pRounded + 0.3, 'exact motion %.2f dB, rounded %.2f dB', pTrueS, pRounded);

% Frames too small to register still reconstruct (the registration steps
% aside instead of failing on an empty sample set).
rand('state', 3);
tiny = sr_reconstruct(rand(4, 4, 1, 8), 'verbose', false);
assert(isequal(size(tiny), [8 8]) && all(isfinite(tiny(:))));
tiny = sr_reconstruct(rand(1, 1, 3, 3), 'verbose', false);
assert(isequal(size(tiny), [2 2 3]) && all(isfinite(tiny(:))));

% Bad calls.
try
  sr_simulate_frames(scene, 2, shifts, kernel, 0, 'object', obj, 'objectPos', [1 1]);
  error('no error for a short objectPos');
catch err
  assert(strcmp(err.identifier, 'sr_simulate_frames:option'), err.message);
end
try
  sr_simulate_frames(scene, 2, [0 NaN], kernel, 0);
  error('no error for a NaN shift');
catch err
  assert(strcmp(err.identifier, 'sr_simulate_frames:input'), err.message);
end
