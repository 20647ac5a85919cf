%QMV_FRAME_RESIDUALS  Residuals of all frames against a high-resolution estimate (MEX).
%
%   imgsRes = qmv_frame_residuals(imgI, imgsY, func_param)
%
%   For every frame k = 1..N of the observation model of qmv_system_apply,
%   the residual of the estimate imgI against the observed frame y_k:
%
%     imgsRes(:, :, :, k) = D * B_k * imgI - y_k         k == idx0
%     imgsRes(:, :, :, k) = D * B_k * M_k * imgI - y_k   every other k
%
%   with the warp M_k, blur B_k and decimation D exactly as qmv_system_apply
%   applies them (same code).  The weights vecImgW and imgWs are not used.
%
%   Inputs
%     imgI        H x W x P real double: the high-resolution estimate
%     imgsY       (H/s) x (W/s) x P x N real double: the observed frames,
%                 frame k in imgsY(:, :, :, k)
%     func_param  the parameter structure of qmv_system_apply (all nine
%                 fields, checked the same way)
%
%   Output
%     imgsRes     (H/s) x (W/s) x P x N double
%
%   Frames run in parallel (OpenMP; OMP_NUM_THREADS limits the threads);
%   the result is the same, bit for bit, for any number of threads.  A
%   non-finite map coordinate reads 0 and prints one line with the 0-based
%   column x and row y:
%     __warning: illegal flow vector at (x, y)
%
%   Errors (Octave prefixes them with "qmv_frame_residuals: "): first
%     Usage: imgsRes = qmv_frame_residuals(imgI, imgsY, func_param);
%   then every message of qmv_system_apply about imgI and func_param, in its
%   order, then
%     Error: imgsY should be a real double (H/s)x(W/s)xPxN stack for an HxWxP imgI and N = func_param.numFrames.
%
%   Example (two frames, the second shifted by one pixel):
%     x = rand(8, 8, 3);
%     [c, r] = meshgrid(1:8, 1:8);
%     fp = struct('idx0', 1, 'numFrames', 2, 'scaleFactor', 2, ...
%                 'vecKers', {{1, 1}}, 'imgWs', ones(8, 8, 3), ...
%                 'vecImgW', {{[], []}}, 'vecMapB', {{[], cat(3, c + 1, r)}}, ...
%                 'dataTermScale', 1, 'eta', 0);
%     y = zeros(4, 4, 3, 2);
%     res = qmv_frame_residuals(x, y, fp);   % res(:,:,:,1) is x(1:2:end, 1:2:end, :)
%
%   See also qmv_weighted_rhs, qmv_system_apply, sr_reconstruct.

%!shared x, fp, y, c, r
%! x = reshape (1:8*6*3, 8, 6, 3) / 100;
%! [c, r] = meshgrid (1:6, 1:8);
%! fp = struct ('idx0', 1, 'numFrames', 2, 'scaleFactor', 2, ...
%!              'vecKers', {{1, 1}}, 'imgWs', ones (8, 6, 3), ...
%!              'vecImgW', {{[], []}}, 'vecMapB', {{[], cat(3, c + 2, r)}}, ...
%!              'dataTermScale', 1, 'eta', 0);
%! y = rand (4, 3, 3, 2);

%!test
%! % 1 x 1 kernel: the residual is the kept samples of the (warped) image
%! % minus the frame; frame 2 reads two columns to the right, clamped.
%! res = qmv_frame_residuals (x, y, fp);
%! assert (size (res), [4 3 3 2]);
%! assert (res(:, :, :, 1), x(1:2:end, 1:2:end, :) - y(:, :, :, 1), 1e-15);
%! shifted = x(:, [3:6 6 6], :);
%! assert (res(:, :, :, 2), shifted(1:2:end, 1:2:end, :) - y(:, :, :, 2), 1e-15);

%!test
%! % A box kernel on a constant image leaves the constant everywhere.
%! fp2 = fp;
%! fp2.vecKers = {ones(3) / 9, ones(3, 5) / 15};
%! res = qmv_frame_residuals (0.25 * ones (8, 6, 3), zeros (4, 3, 3, 2), fp2);
%! assert (res, 0.25 * ones (4, 3, 3, 2), 1e-15);

%!test
%! % Same result whatever the thread count: frames are independent.
%! fp3 = fp;
%! fp3.numFrames = 5;
%! fp3.vecKers = repmat ({[1 2 1; 2 4 2; 1 2 1] / 16}, 1, 5);
%! fp3.vecMapB = repmat ({cat(3, c + 0.6, r - 1.4)}, 1, 5);
%! fp3.vecImgW = cell (1, 5);
%! res = qmv_frame_residuals (x, rand (4, 3, 3, 5), fp3);
%! assert (all (isfinite (res(:))));

%!error <Usage: imgsRes = qmv_frame_residuals\(imgI, imgsY, func_param\);> qmv_frame_residuals (x, y)
%!error <Usage: imgsRes = qmv_frame_residuals\(imgI, imgsY, func_param\);> [a, b] = qmv_frame_residuals (x, y, fp)
%!error <Error: imgI should be real and double.> qmv_frame_residuals (single (x), y, fp)
%!error <Error: func_param should be a struct.> qmv_frame_residuals (x, y, 1)
%!error <Error: imgsY should be a real double> qmv_frame_residuals (x, y(:, :, :, 1), fp)
%!error <Error: imgsY should be a real double> qmv_frame_residuals (x, rand (8, 6, 3, 2), fp)
