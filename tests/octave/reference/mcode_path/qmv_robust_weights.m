function wt = qmv_robust_weights(x, res, fp)
% The M-code robust weights in place of the compiled ones (see
% qmv_weighted_rhs.m in this folder; x gives only the size).
wt = ref_robust_weights(res, fp);
end
