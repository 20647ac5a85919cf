function res = ref_frame_residuals(x, frames, fp)
% D B M_k x - y_k of every frame in M-code, as sr_reconstruct formed them
% before qmv_frame_residuals: the warp, the full-size replicate-border
% convolution, then every s-th sample; the reference of qmv_frame_residuals.
% FRAMES and RES are cells of the N low-resolution frames.
N = numel(frames);
s = fp.scaleFactor;
res = cell(1, N);
for k = 1:N
  z = x;
  if k ~= fp.idx0
    z = ref_warp_nearest(z, fp.vecMapB{k});
  end
  z = ref_filter_replicate(z, fp.vecKers{k}, 'conv');
  res{k} = z(1:s:end, 1:s:end, :) - frames{k};
end
end
