function c = qmv_rounding_corrections(img, fp)
% The M-code rounding corrections in place of the compiled ones (see
% qmv_weighted_rhs.m in this folder).
c = ref_rounding_corrections(img, fp);
end
