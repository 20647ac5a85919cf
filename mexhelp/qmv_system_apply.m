%QMV_SYSTEM_APPLY  Operator of the weighted normal equations of multi-frame super-resolution (MEX).
%
%   imgAI = qmv_system_apply(imgI, func_param)
%
%   Applies the left-hand operator A of the normal equations A * x = b of a
%   reweighted least-squares super-resolution reconstruction to the
%   high-resolution estimate imgI; use it as the matrix-vector product of a
%   conjugate-gradient solve (sr_reconstruct does).  With N frames:
%
%     imgAI = eta * R(imgI) + (dataTermScale / N) * (r_1 + ... + r_N)
%
%     r_k = B_k' * U * (W_k .* (D * B_k * imgI))              k == idx0
%     r_k = M_k' * B_k' * U * (W_k .* (D * B_k * M_k * imgI)) every other k
%
%     M_k   nearest-neighbour backward warp by vecMapB{k}: pixel (r, c) takes
%           the pixel at the map's coordinates, rounded half up, clamped to
%           the image; M_k' is its scatter-add transpose (qmv_scatter_nearest)
%     B_k   convolution with vecKers{k}, border pixels repeated, anchor at
%           the kernel centre; B_k' is the correlation with the same kernel
%     D     keeps the samples (1:s:end, 1:s:end); U is its transpose,
%           zero-filled up-sampling
%     W_k   element-wise data weights vecImgW{k} (entering once, not squared)
%     R(x)  = Dx' * (imgWs .* (Dx * x)) + Dy' * (imgWs .* (Dy * x)), with
%           Dx, Dy periodic forward differences along rows and columns
%           (the last column/row has the first as neighbour)
%   All planes are treated alike and independently.
%
%   Inputs
%     imgI        H x W x P real double: the high-resolution estimate
%     func_param  struct, element 1 read, all nine fields required:
%       idx0          integer scalar: 1-BASED number of the reference frame,
%                     whose warp is left out (its map is never read); a
%                     value outside 1..N makes every frame warped
%       numFrames     integer scalar N >= 1
%       scaleFactor   integer scalar s >= 1; H and W must be multiples of s
%       vecKers       cell, N or more elements: k-th blur kernel, a real
%                     non-empty 2-D double matrix
%       imgWs         H x W x P double: regulariser weights
%       vecImgW       cell, N or more elements: (H/s) x (W/s) x P double
%                     data weights of frame k
%       vecMapB       cell, N or more elements: H x W x 2 double backward
%                     map of frame k; plane 1 the column (x), plane 2 the row
%                     (y), absolute 1-BASED coordinates of the point of imgI
%                     that frame k shows at each pixel (coordinates, not
%                     displacements: map = grid + flow)
%       dataTermScale real scalar: weight of the data term
%       eta           real scalar: weight of the regulariser
%
%   Output
%     imgAI  H x W x P double (H x W when P = 1)
%
%   Frames run in parallel (OpenMP; OMP_NUM_THREADS limits the threads);
%   the result is the same, bit for bit, for any number of threads.  Large
%   scratch buffers (the low-resolution planes and the map of one or two
%   frames per thread) are kept from one call to the next while the sizes
%   stay the same; "clear qmv_system_apply" gives them back.
%
%   A non-finite map coordinate gives 0 in the forward warp and, in the
%   transposed warp, prints one line with the 0-based column x and row y:
%     __warning: illegal flow vector at (x, y)
%
%   Errors (Octave prefixes them with "qmv_system_apply: "), checked in this order:
%     Usage: imgAI = qmv_system_apply(imgI, func_param);
%     Error: imgI should be real and double.
%     Error: func_param should be a struct.
%     Error: func_param missing some fields.
%     Error: func_param.idx0 should be a real integer.
%     Error: func_param.numFrames should be a real integer.
%     Error: func_param.scaleFactor should be a real integer.
%     Error: func_param.vecKers should be a cell array.
%     Error: func_param.imgWs should be an image.
%     Error: func_param.vecImgW should be a cell array.
%     Error: func_param.vecMapB should be a cell array.
%     Error: func_param.dataTermScale should be a real scalar.
%     Error: func_param.eta should be a real scalar.
%   then the conversion messages of the arrays ("Error: in mx2cv, sparse
%   input is not supported!", "Error: in mx2cv, type mismatch!", ...), and
%   for values outside the contract above, for example:
%     Error: func_param.numFrames should be at least 1.
%     Error: func_param.vecMapB should have at least numFrames elements.
%     Error: imgI height and width should be multiples of func_param.scaleFactor.
%     Error: func_param.imgWs should have the size and channels of imgI.
%     Error: func_param.vecMapB{2} should be a real HxWx2 map for an HxWxP imgI.
%
%   Example (one frame, no motion: the result is eta*R(x) + x):
%     x = rand(8, 8, 3);
%     fp = struct('idx0', 1, 'numFrames', 1, 'scaleFactor', 1, ...
%                 'vecKers', {{1}}, 'imgWs', ones(8, 8, 3), ...
%                 'vecImgW', {{ones(8, 8, 3)}}, 'vecMapB', {{zeros(8, 8, 2)}}, ...
%                 'dataTermScale', 1, 'eta', 0.1);
%     y = qmv_system_apply(x, fp);
%
%   See also sr_reconstruct, qmv_scatter_nearest, pcg.

%!function y = ref_filter (x, k, corr)
%!  % Convolution (corr false) or correlation with repeated borders.
%!  [kh, kw] = size (k);
%!  if (corr)
%!    k = rot90 (k, 2);
%!  end
%!  [h, w, p] = size (x);
%!  rows = min (max ((1 - floor (kh/2)):(h + kh - 1 - floor (kh/2)), 1), h);
%!  cols = min (max ((1 - floor (kw/2)):(w + kw - 1 - floor (kw/2)), 1), w);
%!  y = zeros (h, w, p);
%!  for c = 1:p
%!    y(:, :, c) = conv2 (x(rows, cols, c), k, 'valid');
%!  end
%!endfunction

%!function [idx, ok] = ref_targets (map, h, w)
%!  cols = floor ((map(:, :, 1) - 1) + 0.5) + 1;
%!  rows = floor ((map(:, :, 2) - 1) + 0.5) + 1;
%!  ok = isfinite (cols) & isfinite (rows);
%!  idx = min (max (rows, 1), h) + (min (max (cols, 1), w) - 1) * h;
%!  idx(! ok) = 1;
%!endfunction

%!function y = ref_apply (x, fp)
%!  % The operator written out plainly, frame by frame.
%!  [h, w, p] = size (x);
%!  s = fp.scaleFactor;
%!  acc = zeros (h, w, p);
%!  for k = 1:fp.numFrames
%!    z = x;
%!    if (k != fp.idx0)
%!      [idx, ok] = ref_targets (fp.vecMapB{k}, h, w);
%!      for c = 1:p
%!        plane = x(:, :, c);
%!        z(:, :, c) = plane(idx) .* ok;
%!      end
%!    end
%!    z = ref_filter (z, fp.vecKers{k}, false);
%!    u = zeros (h, w, p);
%!    u(1:s:end, 1:s:end, :) = fp.vecImgW{k} .* z(1:s:end, 1:s:end, :);
%!    u = ref_filter (u, fp.vecKers{k}, true);
%!    if (k != fp.idx0)
%!      for c = 1:p
%!        plane = u(:, :, c);
%!        u(:, :, c) = reshape (accumarray (idx(ok), plane(ok), [h*w 1]), h, w);
%!      end
%!    end
%!    acc = acc + u;
%!  end
%!  tx = (circshift (x, [0 -1]) - x) .* fp.imgWs;
%!  ty = (circshift (x, [-1 0]) - x) .* fp.imgWs;
%!  rx = circshift (tx, [0 1]) - tx + circshift (ty, [1 0]) - ty;
%!  y = fp.eta * rx + (fp.dataTermScale / fp.numFrames) * acc;
%!endfunction

%!function fp = ref_problem (h, w, p, s, n)
%!  % A random problem: shifted maps with some far coordinates, 3x3 and 5x3 kernels.
%!  [cols, rows] = meshgrid (1:w, 1:h);
%!  fp.idx0 = 1;
%!  fp.numFrames = n;
%!  fp.scaleFactor = s;
%!  fp.vecKers = {};
%!  fp.imgWs = rand (h, w, p);
%!  fp.vecImgW = {};
%!  fp.vecMapB = {};
%!  for k = 1:n
%!    fp.vecKers{k} = rand (3 + 2 * mod (k, 2), 3);
%!    fp.vecImgW{k} = rand (h / s, w / s, p);
%!    fp.vecMapB{k} = cat (3, cols + 3 * randn (h, w), rows + 3 * randn (h, w));
%!  end
%!  fp.dataTermScale = 0.7;
%!  fp.eta = 0.3;
%!endfunction

%!test
%! % Agrees with the operator written out in M-code (several planes, s = 2).
%! fp = ref_problem (12, 16, 3, 2, 4);
%! x = rand (12, 16, 3);
%! assert (qmv_system_apply (x, fp), ref_apply (x, fp), 1e-12);
%! fp.idx0 = 0;                                  % no reference frame
%! assert (qmv_system_apply (x, fp), ref_apply (x, fp), 1e-12);

%!test
%! % One plane gives a 2-D result; s = 3.
%! fp = ref_problem (9, 12, 1, 3, 2);
%! x = rand (9, 12);
%! y = qmv_system_apply (x, fp);
%! assert (size (y), [9 12]);
%! assert (y, ref_apply (x, fp), 1e-12);

%!test
%! % One frame, kernel [1], s = 1, unit weights: eta * R(x) + dataTermScale * x,
%! % R being the periodic Laplacian 4x - (four neighbours).
%! x = rand (5, 6);
%! fp = struct ('idx0', 1, 'numFrames', 1, 'scaleFactor', 1, 'vecKers', {{1}}, ...
%!              'imgWs', ones (5, 6), 'vecImgW', {{ones(5, 6)}}, ...
%!              'vecMapB', {{NaN(5, 6, 2)}}, 'dataTermScale', 2, 'eta', 0.5);
%! lap = 4 * x - circshift (x, [0 1]) - circshift (x, [0 -1]) ...
%!       - circshift (x, [1 0]) - circshift (x, [-1 0]);
%! assert (qmv_system_apply (x, fp), 0.5 * lap + 2 * x, 1e-12);

%!test
%! % The reference frame's map is never read: a NaN map there prints nothing.
%! fp = ref_problem (8, 8, 2, 2, 3);
%! x = rand (8, 8, 2);
%! expected = qmv_system_apply (x, fp);
%! fp.vecMapB{1}(:) = NaN;
%! printed = evalc ('y = qmv_system_apply (x, fp);');
%! assert (isempty (strfind (printed, 'illegal flow vector')));
%! assert (y, expected);

%!test
%! % Octave's pcg converges with the operator as its matrix-vector product.
%! fp = ref_problem (16, 16, 1, 2, 4);
%! % Zero weight on the first low-resolution row and column keeps the
%! % repeated border out of the blur, so the operator is symmetric.
%! wt = ones (8, 8);
%! wt(1, :) = 0;
%! wt(:, 1) = 0;
%! fp.vecImgW = repmat ({wt}, 1, 4);
%! fp.vecKers = repmat ({ones(3) / 9}, 1, 4);
%! fp.imgWs = ones (16, 16);
%! fp.eta = 0.05;
%! truth = rand (16, 16);
%! b = qmv_system_apply (truth, fp);
%! afun = @(v) reshape (qmv_system_apply (reshape (v, 16, 16), fp), [], 1);
%! [v, flag] = pcg (afun, b(:), 1e-10, 500);
%! assert (flag, 0);
%! assert (reshape (v, 16, 16), truth, 1e-6);

%!shared fp
%! fp = struct ('idx0', 1, 'numFrames', 1, 'scaleFactor', 1, 'vecKers', {{1}}, ...
%!              'imgWs', ones (4), 'vecImgW', {{ones(4)}}, 'vecMapB', {{ones(4, 4, 2)}}, ...
%!              'dataTermScale', 1, 'eta', 1);
%!error <Usage: imgAI = qmv_system_apply\(imgI, func_param\);> y = qmv_system_apply (ones (4))
%!error <Usage: imgAI = qmv_system_apply\(imgI, func_param\);> qmv_system_apply (ones (4), fp)
%!error <Error: imgI should be real and double\.> y = qmv_system_apply (single (ones (4)), fp)
%!error <Error: imgI should be real and double\.> y = qmv_system_apply (complex (ones (4)), fp)
%!error <Error: func_param should be a struct\.> y = qmv_system_apply (ones (4), {fp})
%!error <Error: func_param missing some fields\.> y = qmv_system_apply (ones (4), rmfield (fp, 'eta'))
%!error <Error: func_param\.idx0 should be a real integer\.> y = qmv_system_apply (ones (4), setfield (fp, 'idx0', 2.5))
%!error <Error: func_param\.numFrames should be a real integer\.> y = qmv_system_apply (ones (4), setfield (fp, 'numFrames', NaN))
%!error <Error: func_param\.scaleFactor should be a real integer\.> y = qmv_system_apply (ones (4), setfield (fp, 'scaleFactor', Inf))
%!error <Error: func_param\.vecKers should be a cell array\.> y = qmv_system_apply (ones (4), setfield (fp, 'vecKers', 1))
%!error <Error: func_param\.imgWs should be an image\.> y = qmv_system_apply (ones (4), setfield (fp, 'imgWs', single (ones (4))))
%!error <Error: func_param\.vecImgW should be a cell array\.> y = qmv_system_apply (ones (4), setfield (fp, 'vecImgW', ones (4)))
%!error <Error: func_param\.vecMapB should be a cell array\.> y = qmv_system_apply (ones (4), setfield (fp, 'vecMapB', ones (4, 4, 2)))
%!error <Error: func_param\.dataTermScale should be a real scalar\.> y = qmv_system_apply (ones (4), setfield (fp, 'dataTermScale', [1 2]))
%!error <Error: func_param\.eta should be a real scalar\.> y = qmv_system_apply (ones (4), setfield (fp, 'eta', 1i))
%!error <Error: in mx2cv, sparse input is not supported!> y = qmv_system_apply (sparse (ones (4)), fp)
%!error <Error: .*multiples of func_param\.scaleFactor> y = qmv_system_apply (ones (4), setfield (fp, 'scaleFactor', 3))
%!error <Error: func_param\.vecKers should have at least numFrames elements> y = qmv_system_apply (ones (4), setfield (fp, 'numFrames', 2))
%!error <Error: func_param\.vecMapB\{2\}> y = qmv_system_apply (ones (4), struct ('idx0', 1, 'numFrames', 2, 'scaleFactor', 1, 'vecKers', {{1, 1}}, 'imgWs', ones (4), 'vecImgW', {{ones(4), ones(4)}}, 'vecMapB', {{1, ones(4, 4, 3)}}, 'dataTermScale', 1, 'eta', 1))
