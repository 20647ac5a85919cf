%QMV_ANCHOR_WEIGHTS  Weights that anchor a reconstruction on its reference frame (MEX).
%
%   vecImgW = qmv_anchor_weights(imgB, imgsRes, func_param)
%
%   The weights that sr_reconstruct keeps through all its outer
%   iterations, from each frame's residuals against the reconstruction of
%   the reference frame alone.  For every frame k but idx0, with r =
%   imgsRes(:, :, :, k) (D B M_k x - y_k, as qmv_frame_residuals gives them)
%   and m its 3 x 3 mean plane by plane (conv2(.., ones(3) / 9, 'same')):
%     rl    = sqrt(mean(m .^ 2, 3))          the local misfit
%     g     = s * sqrt(mean(gx .^ 2 + gy .^ 2, 3)): the detail of imgB
%             (periodic central differences), read bilinearly where the
%             frame's samples land (map k at rows and columns 1:s:end),
%             then the largest over 3 x 3 samples (periodic)
%     sigma = 1.4826 * median(rl) + eps over the pixels of all those
%             frames whose mask func_param.vecImgW{k}(:, :, 1) is above 0
%     w     = max(0, 1 - (rl ./ (sigma + 0.1 * g)) .^ 2) .^ 2
%   A sample that lands within the blur's radius (the RMS radius of the
%   reference frame's kernel about its centroid, at least 0.5 pixel) of a
%   reference sample repeats it: its near part, max(0, 1 - d / radius) at
%   a distance of d high-resolution pixels, times how surely the frame's
%   residuals show a changed scene rather than noise there (over 13 x 13
%   pixels, the power of m against a ninth of that of r: 0 up to a ratio
%   of 1, 1 from 1.4 on), is shared: all frames' repeats of one reference
%   sample together count as one frame.  vecImgW{k} is w times that share
%   in every plane, times the mask; the reference frame's is its mask.
%   Pixels whose residual is not finite get 0 and are left out of the
%   median; with no pixel left w is 1.  Empty masks (vecImgW{1} = []) count
%   as all ones.
%
%   Inputs
%     imgB        H x W x P real double: the reference frame's
%                 reconstruction, blurred as the frames see it
%     imgsRes     (H/s) x (W/s) x P x N real double: the residuals
%     func_param  the parameter structure of qmv_system_apply (all nine
%                 fields, checked the same way); idx0, numFrames,
%                 scaleFactor, vecKers (the reference frame's kernel),
%                 vecImgW (the masks) and vecMapB (the maps) are read
%
%   Output
%     vecImgW     1 x N cell of (H/s) x (W/s) x P weights
%
%   Frames run in parallel (OpenMP; OMP_NUM_THREADS limits the threads);
%   the result is the same, bit for bit, for any number of threads.
%
%   Errors (Octave prefixes them with "qmv_anchor_weights: "): first
%     Usage: vecImgW = qmv_anchor_weights(imgB, imgsRes, func_param);
%   then every message of qmv_system_apply about imgI (here imgB) and
%   func_param, in its order, then
%     Error: imgsY should be a real double (H/s)x(W/s)xPxN stack for an HxWxP imgI and N = func_param.numFrames.
%
%   Example (frame 3 shows something else in its top-left corner):
%     randn('state', 3);
%     res = 0.01 * randn(16, 16, 3, 3);
%     res(1:6, 1:6, :, 3) = 0.3;
%     [c, r] = meshgrid(1:32, 1:32);
%     fp = struct('idx0', 1, 'numFrames', 3, 'scaleFactor', 2, ...
%                 'vecKers', {{1, 1, 1}}, 'imgWs', ones(32, 32, 3), ...
%                 'vecImgW', {{[], [], []}}, ...
%                 'vecMapB', {{[], cat(3, c + 0.5, r), cat(3, c, r)}}, ...
%                 'dataTermScale', 1, 'eta', 0);
%     w = qmv_anchor_weights(zeros(32, 32, 3), res, fp);
%     [w{3}(3, 3, 1), median(w{2}(:))]     % 0, and about 0.4 where noise differs
%
%   See also sr_reconstruct, qmv_frame_residuals, qmv_robust_weights.

%!shared res, fp, b
%! randn ('state', 3);
%! res = 0.01 * randn (16, 16, 3, 3);
%! res(1:6, 1:6, :, 3) = 0.3;
%! [c, r] = meshgrid (1:32, 1:32);
%! fp = struct ('idx0', 1, 'numFrames', 3, 'scaleFactor', 2, ...
%!              'vecKers', {{[1 2 1]' * [1 2 1] / 16, 1, 1}}, 'imgWs', ones (32, 32, 3), ...
%!              'vecImgW', {{ones(16, 16, 3), ones(16, 16, 3), ones(16, 16, 3)}}, ...
%!              'vecMapB', {{[], cat(3, c + 0.5, r), cat(3, c + 0.2, r - 0.3)}}, ...
%!              'dataTermScale', 1, 'eta', 0);
%! b = repmat (0.5 + 0.3 * sin (c / 3), [1, 1, 3]);

%!test
%! % The patch that shows something else loses its say; noise keeps most of
%! % it; the reference frame keeps its mask.
%! w = qmv_anchor_weights (b, res, fp);
%! assert (iscell (w) && numel (w) == 3 && isequal (size (w{2}), [16 16 3]));
%! assert (w{1}, ones (16, 16, 3));
%! assert (all (all (w{3}(1:4, 1:4, :) == 0)));
%! assert (median (w{2}(:)) > 0.7);
%! assert (w{2}(:, :, 1), w{2}(:, :, 3));

%!test
%! % Masks weight the result and choose the pixels of the median; the same
%! % as the M-code it replaced.
%! fp2 = fp;
%! fp2.vecImgW{2}(9:16, :, :) = 0;
%! w = qmv_anchor_weights (b, res, fp2);
%! assert (all (all (w{2}(9:16, :, 1) == 0)));
%! if (exist ('ref_anchor_weights', 'file'))
%!   m = ref_anchor_weights (b, res, fp2);
%!   assert (w{2}, m{2}, 1e-12);
%!   assert (w{3}, m{3}, 1e-12);
%! end

%!test
%! % Repeats of a reference sample in a changed scene share one frame's
%! % weight: frames 2 and 3 on the reference grid, with the same coherent
%! % change, each get half.
%! [c, r] = meshgrid (1:32, 1:32);
%! fp3 = fp;
%! fp3.vecMapB = {[], cat(3, c, r), cat(3, c, r)};
%! r3 = repmat (0.002 * sin ((1:16)' / 2) * cos ((1:16) / 3), [1, 1, 3, 3]);
%! w = qmv_anchor_weights (b, r3, fp3);
%! assert (w{2}(8, 8, 1), w{3}(8, 8, 1), 1e-15);
%! assert (w{2}(8, 8, 1) > 0.4 && w{2}(8, 8, 1) < 0.6);
%! % Noise instead of the change: no sharing.
%! randn ('state', 5);
%! w = qmv_anchor_weights (b, 0.002 * randn (16, 16, 3, 3), fp3);
%! assert (median (reshape (w{2}(:, :, 1), [], 1)) > 0.8);

%!test
%! % A residual that is not finite gets weight 0 and leaves the others alone.
%! r2 = res;
%! r2(8, 8, 2, 2) = NaN;
%! w = qmv_anchor_weights (b, r2, fp);
%! w0 = qmv_anchor_weights (b, res, fp);
%! assert (w{2}(8, 8, :), zeros (1, 1, 3));
%! assert (w{3}, w0{3}, 0.05);

%!error <Usage: vecImgW = qmv_anchor_weights> qmv_anchor_weights (b, res)
%!error <Usage: vecImgW = qmv_anchor_weights> [a, c] = qmv_anchor_weights (b, res, fp)
%!error <imgsY should be a real double> qmv_anchor_weights (b, res(:, :, :, 1:2), fp)
