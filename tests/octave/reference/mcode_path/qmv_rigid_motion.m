function maps = qmv_rigid_motion(bx, stack, fp)
% The M-code rigid motion in place of the compiled one (see
% qmv_weighted_rhs.m in this folder).
maps = ref_rigid_motion(bx, stack, fp);
end
