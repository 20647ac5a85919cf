%QMV_CONJUGATE_GRADIENTS  Conjugate gradients on the weighted normal equations (MEX).
%
%   [imgX, numSteps, relRes] = qmv_conjugate_gradients(imgI, imgB, func_param, maxSteps, tol)
%
%   Solves A x = imgB by conjugate gradients from x = imgI, where A is the
%   operator of qmv_system_apply with the same func_param (A x is
%   qmv_system_apply(x, func_param)): the inner solve of each reweighting
%   iteration of sr_reconstruct, without a call through the host per step.
%   The steps are those of
%
%     r = b - A x;  p = r;  rs = r' r;  n = 0;
%     while n < maxSteps && sqrt(rs) > tol * max(|b|, realmin)
%       Ap = A p;  if p' Ap <= 0, stop;  alpha = rs / (p' Ap);
%       x = x + alpha p;  r = r - alpha Ap;  rsNew = r' r;
%       p = r + (rsNew / rs) p;  rs = rsNew;  n = n + 1;
%     end
%
%   Inputs
%     imgI        H x W x P real double: the start (a warm start from the
%                 previous estimate)
%     imgB        H x W x P real double: the right-hand side
%                 (qmv_weighted_rhs gives it)
%     func_param  the parameter structure of qmv_system_apply (all nine
%                 fields, checked the same way)
%     maxSteps    whole number from 0 to 1000000: most steps
%     tol         finite real number >= 0: the relative residual that ends
%                 the solve early
%
%   Outputs
%     imgX        H x W x P double: the solution
%     numSteps    steps taken
%     relRes      |imgB - A imgX| / |imgB| at the end (as the recursion
%                 updates r)
%
%   The operator runs its frames in parallel and the vector sums run in
%   fixed blocks (OpenMP; OMP_NUM_THREADS limits the threads): the result
%   is the same, bit for bit, for any number of threads.  The operator's
%   warnings about illegal flow vectors are printed once per call.
%
%   Errors (Octave prefixes them with "qmv_conjugate_gradients: "): first
%     Usage: [imgX, numSteps, relRes] = qmv_conjugate_gradients(imgI, imgB, func_param, maxSteps, tol);
%   then every message of qmv_system_apply about imgI and func_param, in its
%   order, then
%     Error: imgB should be a real double image of the size of imgI.
%     Error: maxSteps should be a whole number from 0 to 1000000.
%     Error: tol should be a finite real number of at least 0.
%
%   Example (one frame, no motion: A x = B' B x + eta * R(x)):
%     [c, r] = meshgrid(1:32, 1:32);
%     fp = struct('idx0', 1, 'numFrames', 1, 'scaleFactor', 2, ...
%                 'vecKers', {{ones(3) / 9}}, 'imgWs', ones(32), ...
%                 'vecImgW', {{[]}}, 'vecMapB', {{cat(3, c, r)}}, ...
%                 'dataTermScale', 1, 'eta', 0.01);
%     truth = sin(c / 4) .* cos(r / 5);
%     b = qmv_system_apply(truth, fp);
%     [x, n, relRes] = qmv_conjugate_gradients(zeros(32), b, fp, 50, 1e-8);
%
%   See also qmv_system_apply, qmv_weighted_rhs, sr_reconstruct.

%!shared fp, truth, b
%! [c, r] = meshgrid (1:32, 1:32);
%! fp = struct ('idx0', 1, 'numFrames', 2, 'scaleFactor', 2, ...
%!              'vecKers', {{ones(3) / 9, ones(3) / 9}}, 'imgWs', ones (32, 32, 2), ...
%!              'vecImgW', {{[], []}}, 'vecMapB', {{[], cat(3, c + 1, r)}}, ...
%!              'dataTermScale', 1, 'eta', 0.01);
%! truth = cat (3, sin (c / 4) .* cos (r / 5), cos (c / 3));
%! b = qmv_system_apply (truth, fp);

%!test
%! % The solve finds the x whose A x is b, and says how far it got.
%! [x, n, relRes] = qmv_conjugate_gradients (zeros (32, 32, 2), b, fp, 200, 1e-10);
%! assert (size (x), [32 32 2]);
%! assert (n > 1 && n < 200);
%! assert (relRes <= 1e-10);
%! assert (x, truth, 1e-6);

%!test
%! % The same steps as the M-code it replaced; 0 steps leave the start.
%! x0 = 0.1 * ones (32, 32, 2);
%! [x, n, relRes] = qmv_conjugate_gradients (x0, b, fp, 4, 1e-6);
%! assert (n, 4);
%! if (exist ('ref_conjugate_gradients', 'file'))
%!   [xm, nm, rm] = ref_conjugate_gradients (x0, b, fp, 4, 1e-6);
%!   assert (x, xm, 1e-12 * max (abs (xm(:))));
%!   assert (relRes, rm, 1e-10);
%! end
%! [x, n] = qmv_conjugate_gradients (x0, b, fp, 0, 1e-6);
%! assert (x, x0);
%! assert (n, 0);

%!error <Usage: \[imgX, numSteps, relRes\] = qmv_conjugate_gradients> qmv_conjugate_gradients (b, b, fp, 3)
%!error <Usage: \[imgX, numSteps, relRes\] = qmv_conjugate_gradients> [a, b, c, d] = qmv_conjugate_gradients (b, b, fp, 3, 0)
%!error <imgB should be a real double image> qmv_conjugate_gradients (b, b(:, :, 1), fp, 3, 0)
%!error <maxSteps should be a whole number> qmv_conjugate_gradients (b, b, fp, 1.5, 0)
%!error <tol should be a finite real number> qmv_conjugate_gradients (b, b, fp, 3, NaN)
%!error <func_param should be a struct> qmv_conjugate_gradients (b, b, 1, 3, 0)
