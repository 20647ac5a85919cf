% [img, p] = sweep_params(h, w, planes, s, n): a well-formed estimate and
% parameter structure for qmv_system_apply (low-resolution frames of h x w,
% scale s, n frames, 3 x 3 box kernels, identity maps), the starting point of
% malformed calls.
function [img, p] = sweep_params(h, w, planes, s, n)
  if nargin < 1, h = 4; end
  if nargin < 2, w = 3; end
  if nargin < 3, planes = 1; end
  if nargin < 4, s = 2; end
  if nargin < 5, n = 2; end
  H = h * s; W = w * s;
  img = reshape(mod((1:H*W*planes) * 0.37, 1), H, W, planes);
  p = struct();
  p.idx0 = 1;
  p.numFrames = n;
  p.scaleFactor = s;
  p.vecKers = repmat({ones(3) / 9}, 1, n);
  p.imgWs = ones(H, W, planes);
  p.vecImgW = repmat({ones(h, w, planes)}, 1, n);
  p.vecMapB = repmat({sweep_map(H, W)}, 1, n);
  p.dataTermScale = 1;
  p.eta = 0.1;
end
