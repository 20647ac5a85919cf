%QMV_RIGID_MOTION  One affine motion per frame where the scene moves rigidly (MEX).
%
%   vecMapB = qmv_rigid_motion(imgB, imgsY, func_param)
%
%   A dense flow is noisy and biased at sub-pixel level; where a frame's
%   scene moves rigidly (a camera's shake, a pan), one affine motion is more
%   exact.  For every frame k but idx0, with samples at map entries
%   (s*(i-1)+1, s*(j-1)+1) of its map func_param.vecMapB{k}:
%     1. an affine motion (flow = [col row 1] * A, 3 x 2) is fitted to the
%        flow at about 5000 samples by reweighted least squares (Cauchy
%        weights at twice the median deviation, 6 steps);
%     2. when fewer than 30 % of all samples' flow lie within 1 pixel of it,
%        the map is returned as given (the motion is not rigid);
%     3. A is refined by Gauss-Newton (at most 8 steps) on about 4000
%        samples, so that imgB read bilinearly at the moved samples matches
%        frame k of imgsY (Cauchy weights on the colour residual);
%     4. the map becomes the grid moved by A, except at the samples (each
%        with its s x s pixels, grown by one sample) where A misfits by more
%        than twice its robust deviation and the given map misfits by less
%        than half of A's (3 x 3 mean squared colour differences): there
%        the given map stays.
%   The map of idx0, a map with entries that are not finite, and a map whose
%   fit is not finite are returned as given.  sr_reconstruct passes the
%   blurred reconstruction of the reference frame alone as imgB.
%
%   Inputs
%     imgB        H x W x P real double: the blurred estimate
%     imgsY       (H/s) x (W/s) x P x N real double: the frames
%     func_param  the parameter structure of qmv_system_apply (all nine
%                 fields, checked the same way); idx0, numFrames,
%                 scaleFactor and vecMapB are read
%
%   Output
%     vecMapB     1 x N cell of H x W x 2 maps (1-based column, row)
%
%   Frames run in parallel (OpenMP; OMP_NUM_THREADS limits the threads);
%   the result is the same, bit for bit, for any number of threads.
%
%   Errors (Octave prefixes them with "qmv_rigid_motion: "): first
%     Usage: vecMapB = qmv_rigid_motion(imgB, imgsY, func_param);
%   then every message of qmv_system_apply about imgB (as imgI) and
%   func_param, in its order, then
%     Error: imgsY should be a real double (H/s)x(W/s)xPxN stack for an HxWxP imgI and N = func_param.numFrames.
%
%   Example (a frame moved by (0.4, -0.3) pixel; its flow off by 0.1):
%     [c, r] = meshgrid(1:64, 1:64);
%     img = 0.5 + 0.2 * sin(0.4 * c) .* cos(0.3 * r);
%     y = interp2(img, c(1:2:end, 1:2:end) + 0.4, r(1:2:end, 1:2:end) - 0.3, 'linear', 0.5);
%     fp = struct('idx0', 1, 'numFrames', 2, 'scaleFactor', 2, ...
%                 'vecKers', {{1, 1}}, 'imgWs', ones(64), 'vecImgW', {{[], []}}, ...
%                 'vecMapB', {{[], cat(3, c + 0.5, r - 0.3)}}, ...
%                 'dataTermScale', 1, 'eta', 0);
%     maps = qmv_rigid_motion(img, cat(4, img(1:2:end, 1:2:end), y), fp);
%     maps{2}(30, 30, 1) - 30     % about 0.4
%
%   See also sr_reconstruct, qmv_motion_fields, qmv_rounding_corrections.

%!shared img, frames, fp, c, r
%! [c, r] = meshgrid (1:64, 1:64);
%! img = 0.5 + 0.2 * sin (0.45 * c) .* cos (0.35 * r) + 0.15 * sin (0.23 * (c + 2 * r));
%! sub = @(dx, dy) interp2 (img, c(1:2:end, 1:2:end) + dx, r(1:2:end, 1:2:end) + dy, 'linear', 0.5);
%! frames = cat (4, img(1:2:end, 1:2:end), sub (0.4, -0.3), sub (-0.7, 0.2));
%! fp = struct ('idx0', 1, 'numFrames', 3, 'scaleFactor', 2, ...
%!              'vecKers', {{1, 1, 1}}, 'imgWs', ones (64), 'vecImgW', {{[], [], []}}, ...
%!              'vecMapB', {{[], cat(3, c + 0.5, r - 0.2), cat(3, c - 0.6, r + 0.3)}}, ...
%!              'dataTermScale', 1, 'eta', 0);

%!test
%! % Flows 0.1 pixel off become the exact shifts; the reference's map is kept.
%! maps = qmv_rigid_motion (img, frames, fp);
%! assert (iscell (maps) && numel (maps) == 3);
%! assert (isempty (maps{1}));
%! inner = {8:56, 8:56};
%! assert (maps{2}(inner{:}, 1), c(inner{:}) + 0.4, 2e-3);
%! assert (maps{2}(inner{:}, 2), r(inner{:}) - 0.3, 2e-3);
%! assert (maps{3}(inner{:}, 1), c(inner{:}) - 0.7, 2e-3);

%!test
%! % The same as the M-code it replaced.
%! if (exist ('ref_rigid_motion', 'file'))
%!   m = ref_rigid_motion (img, frames, fp);
%!   maps = qmv_rigid_motion (img, frames, fp);
%!   assert (maps{2}, m{2}, 1e-10);
%! end

%!test
%! % A flow that is not rigid, and one with a NaN, are kept as given.
%! fp2 = fp;
%! fp2.vecMapB{2} = fp2.vecMapB{2} + 5 * sin (reshape (1:numel (fp2.vecMapB{2}), size (fp2.vecMapB{2})));
%! fp2.vecMapB{3}(5, 5, 1) = NaN;
%! maps = qmv_rigid_motion (img, frames, fp2);
%! assert (maps{2}, fp2.vecMapB{2});
%! assert (isequaln (maps{3}, fp2.vecMapB{3}));

%!error <Usage: vecMapB = qmv_rigid_motion> qmv_rigid_motion (img, frames)
%!error <Usage: vecMapB = qmv_rigid_motion> [a, b] = qmv_rigid_motion (img, frames, fp)
%!error <imgsY should be a real double> qmv_rigid_motion (img, frames(:, :, :, 1:2), fp)
%!error <func_param should be a struct> qmv_rigid_motion (img, frames, 1)
