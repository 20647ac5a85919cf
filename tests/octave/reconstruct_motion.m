% sr_reconstruct's motion estimation: the maps come from the flows of the
% low-resolution frames (qmv_motion_fields) enlarged s times and fitted, and progress
% shows after every batch of one frame per thread.
img = double(imread(fullfile(fileparts(mfilename('fullpath')), '..', '..', 'data', 'butterfly.png'))) / 255;
truth = img(33:128, 33:128, :);
% Frames 2 and 3 show the scene two and four pixels further right: on the
% low-resolution grid one and two pixels, so the true flow is exact there.
frames = {truth(1:2:end, 1:2:end, :), truth(1:2:end, [3:2:end, end * ones(1, 1)], :), ...
          truth(1:2:end, [5:2:end, end * ones(1, 2)], :)};
old = qmv_threads(1);
printed = evalc('[est, info] = sr_reconstruct(frames, ''outerIterations'', 1);');
qmv_threads(old);
assert(~isempty(strfind(printed, 'motion of 1/2 frames')), 'no progress after the first batch');
assert(~isempty(strfind(printed, 'motion of 2/2 frames')), 'no progress after the second batch');
[cols, rows] = meshgrid(1:96, 1:96);
inner = 17:80;
for k = 2:3
  d = info.maps{k} - cat(3, cols, rows);
  dx = d(inner, inner, 1);
  dy = d(inner, inner, 2);
  assert(abs(median(dx(:)) - 2 * (k - 1)) < 0.25, 'frame %d: horizontal motion %g', k, median(dx(:)));
  assert(abs(median(dy(:))) < 0.25, 'frame %d: vertical motion %g', k, median(dy(:)));
end
% The maps start from the flows of the low-resolution frames, enlarged s
% times; a rigid shift then keeps the fitted motion, which agrees with them.
flows = qmv_motion_fields(cat(4, frames{2:3}), frames{1});
for k = 2:3
  d = info.maps{k} - cat(3, cols, rows) - 2 * sr_upscale_bicubic(flows(:, :, :, k - 1), 2);
  assert(median(abs(reshape(d(inner, inner, :), [], 1))) < 0.1, 'frame %d: maps leave the flow', k);
end
