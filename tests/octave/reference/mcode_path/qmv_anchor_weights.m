function wt = qmv_anchor_weights(bx, res, fp)
% The M-code anchor weights in place of the compiled ones (see
% qmv_weighted_rhs.m in this folder).
wt = ref_anchor_weights(bx, res, fp);
end
