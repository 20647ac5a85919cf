function b = qmv_weighted_rhs(x, stack, fp)
% The M-code right-hand side in place of the compiled one: with this folder
% first on the path, sr_reconstruct runs its former M-code per-frame path.
[H, W, P] = size(x);
b = ref_right_hand_side(stack_frames(stack), fp, H, W, P);
end

function frames = stack_frames(stack)
frames = cell(1, size(stack, 4));
for k = 1:numel(frames)
  frames{k} = stack(:, :, :, k);
end
end
