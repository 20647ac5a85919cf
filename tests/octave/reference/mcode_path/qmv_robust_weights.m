function wt = qmv_robust_weights(bx, res, fp)
% The M-code robust weights in place of the compiled ones (see
% qmv_weighted_rhs.m in this folder).
wt = ref_robust_weights(bx, res, fp);
end
