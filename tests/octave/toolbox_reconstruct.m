% sr_reconstruct on small synthetic problems: with the true motion and with
% estimated motion it must beat bicubic enlargement clearly; it reports its
% progress and results, accepts grey frames and arrays, and refuses bad input.

% A synthetic scene: sharp-edged shapes over a smooth shading, in colour.
[c, r] = meshgrid(1:64, 1:64);
disc = double((c - 24) .^ 2 + (r - 26) .^ 2 < 12 ^ 2);
bar = double(abs(c - r + 10) < 4);
stripes = double(mod(floor(c / 3), 2) == 0 & r > 44);
shade = 0.3 + 0.2 * sin(c / 9) .* cos(r / 11);
truth = cat(3, shade + 0.5 * disc, shade + 0.4 * bar, shade + 0.4 * stripes);
truth = min(max(truth, 0), 1);

kernel = [1 2 1]' * [1 2 1] / 16;
shifts = [0 0; 1 0; 0 1; 1 1; -1 2; 2 -1];    % every sub-pixel phase of s = 2
randn('state', 3);
[frames, maps] = sr_simulate_frames(truth, 2, shifts, kernel, 0.01);
assert(numel(frames) == 6 && isequal(size(frames{1}), [32 32 3]));
assert(isequal(size(maps{2}), [64 64 2]) && maps{2}(5, 7, 1) == 8 && maps{2}(5, 7, 2) == 5);

psnrBicubic = sr_quality(sr_upscale_bicubic(frames{1}, 2), truth, 4);

% Known motion: progress lines, info fields, and a clear gain.
printed = evalc('[est, info] = sr_reconstruct(frames, ''kernel'', kernel, ''maps'', maps);');
assert(isequal(size(est), [64 64 3]));
lines = strsplit(strtrim(printed), "\n");
assert(numel(lines) == 1 + info.iterations, 'expected one progress line per outer iteration');
assert(~isempty(strfind(lines{end}, 'residual')));
assert(strcmp(info.motion, 'given') && info.numFrames == 6 && info.scale == 2);
assert(numel(info.residuals) == info.iterations && all(info.residuals > 0));
assert(info.residuals(end) < 0.02, 'frame residual %.4f far above the noise', info.residuals(end));
assert(info.timeTotal >= info.timeSolve && info.timeMotion >= 0);
psnrKnown = sr_quality(est, truth, 4);
printf('known motion: %.2f dB, bicubic %.2f dB\n', psnrKnown, psnrBicubic);
assert(psnrKnown > psnrBicubic + 4, 'known motion: %.2f dB vs bicubic %.2f dB', psnrKnown, psnrBicubic);

% Estimated motion (qmv_motion_field, dpx_guided_smooth) on the same frames.
[estFlow, infoFlow] = sr_reconstruct(frames, 'kernel', kernel, 'verbose', false);
assert(strcmp(infoFlow.motion, 'estimated'));
psnrFlow = sr_quality(estFlow, truth, 4);
printf('estimated motion: %.2f dB\n', psnrFlow);
assert(psnrFlow > psnrBicubic + 2, 'estimated motion: %.2f dB vs bicubic %.2f dB', psnrFlow, psnrBicubic);
% The estimated maps name the same high-resolution pixels as the true ones
% over most of the interior.
inner = 9:56;
for k = 2:numel(frames)
  d = round(infoFlow.maps{k}(inner, inner, :)) - maps{k}(inner, inner, :);
  assert(mean(d(:) == 0) > 0.75, 'frame %d: estimated motion mostly wrong', k);
end

% Grey frames given as an h x w x 1 x N array, another reference frame.
grey = cat(4, frames{:});
grey = mean(grey, 3);
estGrey = sr_reconstruct(grey, 'kernel', kernel, 'refFrame', 2, 'verbose', false, ...
                         'outerIterations', 2);
assert(isequal(size(estGrey), [64 64]));
assert(all(isfinite(estGrey(:))));

% uint8 frames are scaled to 0..1.
frames8 = cellfun(@(f) uint8(round(255 * min(max(f, 0), 1))), frames, 'UniformOutput', false);
est8 = sr_reconstruct(frames8, 'kernel', kernel, 'maps', maps, 'verbose', false);
assert(sr_quality(est8, truth, 4) > psnrBicubic + 3);

% Bad input is refused with the driver's own messages.
function expect_error(id, fn)
  try
    fn();
  catch err
    assert(strcmp(err.identifier, id), 'got %s: %s', err.identifier, err.message);
    assert(strncmp(err.message, 'sr_reconstruct: ', 16));
    return;
  end
  error('no error raised');
end
expect_error('sr_reconstruct:input', @() sr_reconstruct({}));
expect_error('sr_reconstruct:input', @() sr_reconstruct({ones(8), ones(9)}));
expect_error('sr_reconstruct:input', @() sr_reconstruct({ones(8, 8, 2)}));
expect_error('sr_reconstruct:input', @() sr_reconstruct({[NaN 1; 1 1]}));
expect_error('sr_reconstruct:option', @() sr_reconstruct(frames, 'scale', 1.5));
expect_error('sr_reconstruct:option', @() sr_reconstruct(frames, 'refFrame', 7));
expect_error('sr_reconstruct:option', @() sr_reconstruct(frames, 'nosuch', 1));
expect_error('sr_reconstruct:option', @() sr_reconstruct(frames, 'kernel', []));
expect_error('sr_reconstruct:option', @() sr_reconstruct(frames, 'maps', maps(1:3)));
expect_error('sr_reconstruct:option', @() sr_reconstruct(frames, 'lambda', -1));
