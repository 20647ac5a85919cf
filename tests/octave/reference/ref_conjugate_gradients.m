function [x, n, relRes] = ref_conjugate_gradients(x, b, fp, maxSteps, tol)
% Conjugate gradients in M-code (see qmv_conjugate_gradients): at most
% MAXSTEPS steps on A x = b from X, A = qmv_system_apply(., fp), ending
% once |r| <= TOL |b| or when p' A p <= 0.
r = b - qmv_system_apply(x, fp);
nb = max(norm(b(:)), realmin);
p = r;
rs = r(:)' * r(:);
n = 0;
while n < maxSteps && sqrt(rs) > tol * nb
  Ap = qmv_system_apply(p, fp);
  pAp = p(:)' * Ap(:);
  if pAp <= 0
    break;
  end
  alpha = rs / pAp;
  x = x + alpha * p;
  r = r - alpha * Ap;
  rsNew = r(:)' * r(:);
  p = r + (rsNew / rs) * p;
  rs = rsNew;
  n = n + 1;
end
relRes = sqrt(rs) / nb;
end
