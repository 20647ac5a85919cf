function b = ref_right_hand_side(frames, fp, H, W, P)
% The right-hand side (1/N) * sum_k M_k' B_k' U (W_k .* y_k) in M-code, as
% sr_reconstruct formed it before qmv_weighted_rhs: full-size zero-filling,
% replicate-border correlation, then the transposed warp; the reference of
% qmv_weighted_rhs.  FRAMES is a cell of the N low-resolution frames.
N = numel(frames);
s = fp.scaleFactor;
b = zeros(H, W, P);
for k = 1:N
  up = zeros(H, W, P);
  if isempty(fp.vecImgW{1})
    up(1:s:end, 1:s:end, :) = frames{k};
  else
    up(1:s:end, 1:s:end, :) = fp.vecImgW{k} .* frames{k};
  end
  up = ref_filter_replicate(up, fp.vecKers{k}, 'corr');
  if k ~= fp.idx0
    up = qmv_scatter_nearest(up, fp.vecMapB{k});
  end
  b = b + up;
end
b = (fp.dataTermScale / N) * b;
end
