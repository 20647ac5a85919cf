function c = qmv_rounding_corrections(img, fp, frames)
% The M-code rounding corrections in place of the compiled ones (see
% qmv_weighted_rhs.m in this folder); given the frames (a stack or a cell),
% the frames minus their corrections.
c = ref_rounding_corrections(img, fp);
if nargin > 2
  if iscell(frames)
    frames = cat(4, frames{:});
  end
  c = frames - c;
end
end
