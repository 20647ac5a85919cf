function [x, n, relRes] = qmv_conjugate_gradients(x, b, fp, maxSteps, tol)
% The M-code conjugate gradients in place of the compiled ones (see
% qmv_weighted_rhs.m in this folder).
[x, n, relRes] = ref_conjugate_gradients(x, b, fp, maxSteps, tol);
end
