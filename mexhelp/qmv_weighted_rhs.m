%QMV_WEIGHTED_RHS  Right-hand side of the weighted normal equations (MEX).
%
%   imgB = qmv_weighted_rhs(imgI, imgsY, func_param)
%
%   The right-hand side b of the normal equations A * x = b whose operator A
%   qmv_system_apply applies, from the observed frames y_k:
%
%     imgB = (dataTermScale / N) * (t_1 + ... + t_N)
%     t_k  = B_k' * U * (W_k .* y_k)          k == idx0
%     t_k  = M_k' * B_k' * U * (W_k .* y_k)   every other k
%
%   with the transposed warp M_k', transposed blur B_k', zero-filled
%   up-sampling U and weights W_k = vecImgW{k} exactly as qmv_system_apply
%   applies them (same code; empty vecImgW{1} means no weights).  imgI
%   gives the size of the result only; its values are not read (pass the
%   current estimate).  imgWs and eta are not used.
%
%   Inputs
%     imgI        H x W x P real double: gives H, W, P
%     imgsY       (H/s) x (W/s) x P x N real double: the observed frames,
%                 frame k in imgsY(:, :, :, k)
%     func_param  the parameter structure of qmv_system_apply (all nine
%                 fields, checked the same way)
%
%   Output
%     imgB        H x W x P double
%
%   Frames run in parallel (OpenMP; OMP_NUM_THREADS limits the threads), in
%   batches of one frame per thread, each frame into a high-resolution term
%   of its own (memory: one H x W x P image per thread besides imgB); the
%   terms are added in frame order, so the result is the same, bit for bit,
%   for any number of threads.  A non-finite map coordinate drops its value
%   and prints one line with the 0-based column x and row y:
%     __warning: illegal flow vector at (x, y)
%
%   Errors (Octave prefixes them with "qmv_weighted_rhs: "): first
%     Usage: imgB = qmv_weighted_rhs(imgI, imgsY, func_param);
%   then every message of qmv_system_apply about imgI and func_param, in its
%   order, then
%     Error: imgsY should be a real double (H/s)x(W/s)xPxN stack for an HxWxP imgI and N = func_param.numFrames.
%
%   Example (one frame, no blur: b is y zero-filled onto the fine grid):
%     fp = struct('idx0', 1, 'numFrames', 1, 'scaleFactor', 2, ...
%                 'vecKers', {{1}}, 'imgWs', ones(8, 8, 3), ...
%                 'vecImgW', {{[]}}, 'vecMapB', {{[]}}, ...
%                 'dataTermScale', 1, 'eta', 0);
%     b = qmv_weighted_rhs(zeros(8, 8, 3), rand(4, 4, 3), fp);
%
%   See also qmv_frame_residuals, qmv_system_apply, sr_reconstruct.

%!shared fp, y, c, r
%! [c, r] = meshgrid (1:6, 1:8);
%! fp = struct ('idx0', 1, 'numFrames', 2, 'scaleFactor', 2, ...
%!              'vecKers', {{1, 1}}, 'imgWs', ones (8, 6, 3), ...
%!              'vecImgW', {{[], []}}, 'vecMapB', {{[], cat(3, c + 2, r)}}, ...
%!              'dataTermScale', 1, 'eta', 0);
%! y = rand (4, 3, 3, 2);

%!test
%! % 1 x 1 kernel: frame 1 zero-filled, frame 2 zero-filled and moved two
%! % columns left (the transpose of reading two to the right), halved.
%! b = qmv_weighted_rhs (zeros (8, 6, 3), y, fp);
%! up1 = zeros (8, 6, 3);
%! up1(1:2:end, 1:2:end, :) = y(:, :, :, 1);
%! up2 = zeros (8, 6, 3);
%! up2(1:2:end, 1:2:end, :) = y(:, :, :, 2);
%! moved = zeros (8, 6, 3);
%! moved(:, 3:6, :) = up2(:, 1:4, :);
%! moved(:, 6, :) = moved(:, 6, :) + up2(:, 5, :) + up2(:, 6, :);
%! assert (b, (up1 + moved) / 2, 1e-15);

%!test
%! % Weights scale each frame's samples; dataTermScale scales b.
%! fp2 = fp;
%! fp2.vecImgW = {2 * ones(4, 3, 3), zeros(4, 3, 3)};
%! fp2.dataTermScale = 3;
%! b = qmv_weighted_rhs (zeros (8, 6, 3), y, fp2);
%! up1 = zeros (8, 6, 3);
%! up1(1:2:end, 1:2:end, :) = y(:, :, :, 1);
%! assert (b, 3 * up1, 1e-14);

%!test
%! % Adjoint of the forward part (1 x 1 kernel): <b, x> = (1/N) sum_k <y_k, D M_k x>.
%! x = rand (8, 6, 3);
%! b = qmv_weighted_rhs (x, y, fp);
%! res = qmv_frame_residuals (x, zeros (4, 3, 3, 2), fp);
%! assert (b(:)' * x(:), (y(:)' * res(:)) / 2, 1e-12);

%!error <Usage: imgB = qmv_weighted_rhs\(imgI, imgsY, func_param\);> qmv_weighted_rhs (y, fp)
%!error <Error: imgI should be real and double.> qmv_weighted_rhs ({}, y, fp)
%!error <Error: func_param missing some fields.> qmv_weighted_rhs (zeros (8, 6, 3), y, struct ('idx0', 1))
%!error <Error: imgsY should be a real double> qmv_weighted_rhs (zeros (8, 6, 3), single (y), fp)
%!error <Error: imgsY should be a real double> qmv_weighted_rhs (zeros (8, 6, 3), y(:, :, 1, :), fp)
