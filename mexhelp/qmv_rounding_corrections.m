%QMV_ROUNDING_CORRECTIONS  What the nearest-pixel warp costs at each frame sample (MEX).
%
%   imgsC = qmv_rounding_corrections(imgI, func_param)
%   imgsD = qmv_rounding_corrections(imgI, func_param, imgsY)
%
%   qmv_system_apply warps to the nearest high-resolution pixel.  For every
%   frame k = 1..N, at each of its low-resolution samples (i, j), this reads
%   the image imgI at the exact position that frame k's map gives for the
%   sample, map entry (s*(i-1)+1, s*(j-1)+1), once bilinearly and once at the
%   nearest pixel (floor(p + 0.5)), and returns the difference:
%
%     imgsC(i, j, :, k) = bilinear(imgI, p) - nearest(imgI, p)
%
%   Positions are clamped to [1, W] x [1, H] first.  The reference frame
%   idx0 (its map is not read) and samples whose map entry is not finite get
%   0.  sr_reconstruct takes these corrections off the frames (imgI: the
%   blurred estimate), so that its solve fits the exact sub-pixel motion.
%   Given the frames imgsY, the call returns them corrected, imgsY - imgsC,
%   the same values as that subtraction but without the corrections' own
%   stack in memory, and the frames may stay a cell (no stack of them).
%
%   Inputs
%     imgI        H x W x P real double: the image read (the blurred estimate)
%     func_param  the parameter structure of qmv_system_apply (all nine
%                 fields, checked the same way); idx0, numFrames,
%                 scaleFactor and vecMapB are read
%     imgsY       the frames: an (H/s) x (W/s) x P x N real double stack, or
%                 a cell of N real double (H/s) x (W/s) x P frames
%
%   Output
%     imgsC       (H/s) x (W/s) x P x N double
%     imgsD       (H/s) x (W/s) x P x N double: imgsY - imgsC
%
%   Frames run in parallel (OpenMP; OMP_NUM_THREADS limits the threads);
%   the result is the same, bit for bit, for any number of threads.
%
%   Errors (Octave prefixes them with "qmv_rounding_corrections: "): first
%     Usage: imgsC = qmv_rounding_corrections(imgI, func_param[, imgsY]);
%   then every message of qmv_system_apply about imgI and func_param, in its
%   order, then
%     Error: imgsY should be a real double (H/s)x(W/s)xPxN stack or a cell of
%     N real double (H/s)x(W/s)xP frames, for an HxWxP imgI and
%     N = func_param.numFrames.
%
%   Example (two frames, the second moved by a quarter pixel):
%     x = repmat(1:8, 8, 1);
%     [c, r] = meshgrid(1:8, 1:8);
%     fp = struct('idx0', 1, 'numFrames', 2, 'scaleFactor', 2, ...
%                 'vecKers', {{1, 1}}, 'imgWs', ones(8, 8), ...
%                 'vecImgW', {{[], []}}, 'vecMapB', {{[], cat(3, c + 0.25, r)}}, ...
%                 'dataTermScale', 1, 'eta', 0);
%     d = qmv_rounding_corrections(x, fp);   % d(:, :, 1, 2) is 0.25 inside
%
%   See also qmv_system_apply, qmv_frame_residuals, sr_reconstruct.

%!shared x, fp, c, r
%! x = repmat (1:6, 8, 1) + 10 * repmat ((1:8)', 1, 6);
%! x = cat (3, x, -x);
%! [c, r] = meshgrid (1:6, 1:8);
%! fp = struct ('idx0', 1, 'numFrames', 2, 'scaleFactor', 2, ...
%!              'vecKers', {{1, 1}}, 'imgWs', ones (8, 6, 2), ...
%!              'vecImgW', {{[], []}}, 'vecMapB', {{[], cat(3, c + 0.25, r - 0.4)}}, ...
%!              'dataTermScale', 1, 'eta', 0);

%!test
%! % On a linear ramp the bilinear read is exact: the correction is the
%! % fractional offset times the slope, the reference frame's is 0.
%! d = qmv_rounding_corrections (x, fp);
%! assert (size (d), [4 3 2 2]);
%! assert (d(:, :, :, 1), zeros (4, 3, 2));
%! inner = d(2:end, :, 1, 2);
%! assert (inner, (0.25 - 10 * 0.4) * ones (3, 3), 1e-12);
%! assert (d(:, :, 2, 2), -d(:, :, 1, 2), 1e-12);

%!test
%! % Rows 1 clamp to the image (row 0.6 reads row 1): 0.25 in x only; the
%! % nearest pixel of 1.5 is 2 (floor (p + 0.5)).
%! d = qmv_rounding_corrections (x, fp);
%! assert (d(1, :, 1, 2), 0.25 * ones (1, 3), 1e-12);
%! fp2 = fp;
%! fp2.vecMapB{2} = cat (3, c + 0.5, r);
%! d = qmv_rounding_corrections (x, fp2);
%! assert (d(:, 1:2, 1, 2), -0.5 * ones (4, 2), 1e-12);

%!test
%! % A non-finite map entry gives 0; no map of the reference frame is read;
%! % with idx0 outside 1..N every frame is corrected.
%! fp2 = fp;
%! fp2.vecMapB{2}(3, 3, 1) = NaN;
%! d = qmv_rounding_corrections (x, fp2);
%! assert (d(2, 2, :, 2), zeros (1, 1, 2));
%! fp2.idx0 = 0;
%! fp2.vecMapB{1} = fp.vecMapB{2};
%! d = qmv_rounding_corrections (x, fp2);
%! assert (d(:, :, :, 1), qmv_rounding_corrections (x, fp)(:, :, :, 2));

%!test
%! % Given the frames, as a stack or as a cell, the frames minus their
%! % corrections.
%! y = reshape (0.01 * (1:48), 4, 3, 2, 2);
%! d = qmv_rounding_corrections (x, fp);
%! assert (qmv_rounding_corrections (x, fp, y), y - d);
%! assert (qmv_rounding_corrections (x, fp, {y(:, :, :, 1), y(:, :, :, 2)}), y - d);

%!error <Usage: imgsC = qmv_rounding_corrections\(imgI, func_param\[, imgsY\]\);> qmv_rounding_corrections (x)
%!error <Usage: imgsC = qmv_rounding_corrections\(imgI, func_param\[, imgsY\]\);> [a, b] = qmv_rounding_corrections (x, fp)
%!error <Usage: imgsC = qmv_rounding_corrections\(imgI, func_param\[, imgsY\]\);> qmv_rounding_corrections (x, fp, 1, 1)
%!error <Error: imgsY should be a real double> qmv_rounding_corrections (x, fp, 1)
%!error <Error: imgsY should be a real double> qmv_rounding_corrections (x, fp, {zeros(4, 3, 2)})
%!error <Error: imgI should be real and double.> qmv_rounding_corrections (single (x), fp)
%!error <Error: func_param should be a struct.> qmv_rounding_corrections (x, 1)
%!error <Error: func_param.imgWs should have the size and channels of imgI.> qmv_rounding_corrections (x(:, :, 1), fp)
