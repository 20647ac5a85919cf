function res = qmv_frame_residuals(x, stack, fp)
% The M-code frame residuals in place of the compiled ones (see
% qmv_weighted_rhs.m in this folder).
frames = cell(1, size(stack, 4));
for k = 1:numel(frames)
  frames{k} = stack(:, :, :, k);
end
res = ref_frame_residuals(x, frames, fp);
res = cat(4, res{:});
end
