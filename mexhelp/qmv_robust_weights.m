%QMV_ROBUST_WEIGHTS  Data weights of every frame from its residuals (MEX).
%
%   vecImgW = qmv_robust_weights(imgB, imgsRes, func_param)
%
%   The weights of the reweighting (outer) iterations of sr_reconstruct.
%   For every frame k but idx0, from its residuals r = imgsRes(:, :, :, k)
%   (D B M_k x - y_k, as qmv_frame_residuals gives them):
%     rn = sqrt(mean(r .^ 2, 3))      the pixel's colour residual
%     rl = sqrt(mean(m .^ 2, 3))      m: r averaged over 3 x 3 pixels, plane
%                                     by plane (conv2(.., ones(3) / 9, 'same'))
%     t  = 0.1 * g                    g: the local detail of imgB where the
%                                     pixel lands (below)
%     w  = exp(-0.5 * (rn ./ sqrt(delta^2 + t.^2)) .^ 2)
%          .* max(0, 1 - (rl ./ sqrt(cut^2 + t.^2)) .^ 2) .^ 2
%   with delta and cut three robust deviations (3 * 1.4826 * median, plus
%   eps) of rn and rl over the pixels of all those frames whose mask
%   func_param.vecImgW{k}(:, :, 1) is above 0.  g is the RMS over the
%   planes of imgB's periodic central differences, times s (per
%   low-resolution pixel), read bilinearly at the frame's map
%   vecMapB{k}(1:s:end, 1:s:end, :) (clamped to the grid; a coordinate that
%   is not finite reads at 1), and the largest over the pixel's 3 x 3
%   neighbourhood (periodic): a tenth of a pixel of misregistration at an
%   edge is tolerated like noise, so clean frames keep their say where they
%   add detail.  vecImgW{k} is w in every plane times the mask (0 where w
%   is not a number); the reference frame's is its mask.  Small misfits
%   (noise, aliasing) keep most of their say; a frame that shows something
%   else locally (an occluding object, a wrong flow) loses it.  Pixels
%   whose residual is not finite get 0 and are left out of the medians;
%   with no pixel left every frame gets its mask.  Empty masks
%   (vecImgW{1} = []) count as all ones.
%
%   Inputs
%     imgB        H x W x P real double: the estimate blurred by the camera
%                 (as qmv_anchor_weights takes it)
%     imgsRes     (H/s) x (W/s) x P x N real double: the residuals
%     func_param  the parameter structure of qmv_system_apply (all nine
%                 fields, checked the same way); idx0, numFrames,
%                 scaleFactor, vecImgW (the masks) and vecMapB are read
%
%   Output
%     vecImgW     1 x N cell of (H/s) x (W/s) x P weights
%
%   Frames run in parallel (OpenMP; OMP_NUM_THREADS limits the threads);
%   the result is the same, bit for bit, for any number of threads.
%
%   Errors (Octave prefixes them with "qmv_robust_weights: "): first
%     Usage: vecImgW = qmv_robust_weights(imgB, imgsRes, func_param);
%   then every message of qmv_system_apply about imgI (here imgB) and
%   func_param, in its order, then
%     Error: imgsY should be a real double (H/s)x(W/s)xPxN stack for an HxWxP imgI and N = func_param.numFrames.
%
%   Example (frame 3 shows something else in its top-left corner):
%     res = 0.01 * randn(16, 16, 3, 3);
%     res(1:6, 1:6, :, 3) = 0.3;
%     [c, r] = meshgrid(1:32, 1:32);
%     fp = struct('idx0', 1, 'numFrames', 3, 'scaleFactor', 2, ...
%                 'vecKers', {{1, 1, 1}}, 'imgWs', ones(32, 32, 3), ...
%                 'vecImgW', {{[], [], []}}, ...
%                 'vecMapB', {{[], cat(3, c, r), cat(3, c, r)}}, ...
%                 'dataTermScale', 1, 'eta', 0);
%     w = qmv_robust_weights(zeros(32, 32, 3), res, fp);
%     [w{3}(3, 3, 1), median(w{2}(:))]     % 0 and about 0.9
%
%   See also sr_reconstruct, qmv_frame_residuals.

%!shared res, fp, x
%! randn ('state', 3);
%! res = 0.01 * randn (16, 16, 3, 3);
%! res(1:6, 1:6, :, 3) = 0.3;
%! [c, r] = meshgrid (1:32, 1:32);
%! fp = struct ('idx0', 1, 'numFrames', 3, 'scaleFactor', 2, ...
%!              'vecKers', {{1, 1, 1}}, 'imgWs', ones (32, 32, 3), ...
%!              'vecImgW', {{ones(16, 16, 3), ones(16, 16, 3), ones(16, 16, 3)}}, ...
%!              'vecMapB', {{[], cat(3, c, r), cat(3, c, r)}}, 'dataTermScale', 1, 'eta', 0);
%! x = zeros (32, 32, 3);

%!test
%! % The patch that shows something else loses its say; noise keeps most of
%! % it; the reference frame keeps its mask.
%! w = qmv_robust_weights (x, res, fp);
%! assert (iscell (w) && numel (w) == 3 && isequal (size (w{2}), [16 16 3]));
%! assert (w{1}, ones (16, 16, 3));
%! assert (all (all (w{3}(1:4, 1:4, :) == 0)));
%! assert (median (w{2}(:)) > 0.8);
%! assert (w{2}(:, :, 1), w{2}(:, :, 3));

%!test
%! % Masks weight the result and choose the pixels of the medians; the same
%! % as the M-code it replaced.
%! fp2 = fp;
%! fp2.vecImgW{2}(9:16, :, :) = 0;
%! w = qmv_robust_weights (x, res, fp2);
%! assert (all (all (w{2}(9:16, :, 1) == 0)));
%! if (exist ('ref_robust_weights', 'file'))
%!   m = ref_robust_weights (res, fp2);
%!   assert (w{2}, m{2}, 1e-12);
%!   assert (w{3}, m{3}, 1e-12);
%! end

%!test
%! % A residual that is not finite gets weight 0 and leaves the others alone.
%! r2 = res;
%! r2(8, 8, 2, 2) = NaN;
%! w = qmv_robust_weights (x, r2, fp);
%! w0 = qmv_robust_weights (x, res, fp);
%! assert (w{2}(8, 8, :), zeros (1, 1, 3));
%! assert (w{3}, w0{3}, 0.02);

%!error <Usage: vecImgW = qmv_robust_weights> qmv_robust_weights (x, res)
%!error <Usage: vecImgW = qmv_robust_weights> [a, b] = qmv_robust_weights (x, res, fp)
%!error <imgsY should be a real double> qmv_robust_weights (x, res(:, :, :, 1:2), fp)
%!error <func_param should be a struct> qmv_robust_weights (x, res, 1)
