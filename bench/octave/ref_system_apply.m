function imgAI = ref_system_apply (imgI, fp)
  % The operator of qmv_system_apply in vectorised Octave, the benchmark's
  % reference: imgAI = eta * R(x) + dataTermScale / N * sum_k r_k with
  %   r_k = M_k' B_k' U (W_k .* D B_k M_k x)   (M_k left out for frame idx0).
  % The image package is not a dependency, so imfilter's replicate border is
  % written with core functions: padding by clamped indices, then conv2.
  N = fp.numFrames;
  s = fp.scaleFactor;
  ref = fp.idx0;
  acc = fp.eta * regulariser (imgI, fp.imgWs);
  f = fp.dataTermScale / N;
  for k = 1:N
    K = fp.vecKers{k};
    if (k == ref)
      r = blur_transposed (fp.vecImgW{k} .* blur_decimate (imgI, K, s), K, s);
    else
      [lin, valid] = nearest_index (fp.vecMapB{k});
      low = fp.vecImgW{k} .* blur_decimate (warp (imgI, lin, valid), K, s);
      r = warp_transposed (blur_transposed (low, K, s), lin, valid);
    endif
    acc = f * r + acc;
  endfor
  imgAI = acc;
endfunction

% Linear index of the pixel each map entry names: floor(v - 1 + 0.5), clamped
% to the image; entries with a non-finite coordinate are not valid (and all
% valid, the usual case, skips the selection).
function [lin, valid] = nearest_index (map)
  [H, W, ~] = size (map);
  mx = map(:, :, 1) - 1;
  my = map(:, :, 2) - 1;
  X = min (max (floor (mx(:) + 0.5), 0), W - 1);
  Y = min (max (floor (my(:) + 0.5), 0), H - 1);
  lin = Y + X * H + 1;
  valid = isfinite (mx(:)) & isfinite (my(:));
  if (all (valid))
    valid = [];
  else
    lin(! valid) = 1;
  endif
endfunction

function out = warp (x, lin, valid)
  [H, W, P] = size (x);
  v = reshape (x, H * W, P)(lin, :);
  if (! isempty (valid))
    v(! valid, :) = 0;
  endif
  out = reshape (v, H, W, P);
endfunction

function out = warp_transposed (x, lin, valid)
  [H, W, P] = size (x);
  v = reshape (x, H * W, P);
  if (! isempty (valid))
    lin = lin(valid);
    v = v(valid, :);
  endif
  out = zeros (H * W, P);
  for c = 1:P
    out(:, c) = accumarray (lin, v(:, c), [H * W, 1]);
  endfor
  out = reshape (out, H, W, P);
endfunction

% Replicate border: rows and columns outside the image repeat the edge. The
% anchor is the kernel centre, floor(size / 2), as in the module.
function xp = pad_replicate (x, K)
  [H, W, ~] = size (x);
  [kh, kw] = size (K);
  ay = floor (kh / 2);
  ax = floor (kw / 2);
  rows = min (max ((1 - ay):(H + kh - 1 - ay), 1), H);
  cols = min (max ((1 - ax):(W + kw - 1 - ax), 1), W);
  xp = x(rows, cols, :);
endfunction

% Convolution with K over the replicate-padded image, then every s-th sample
% from the first one (what imfilter with 'conv' and 'replicate' would give).
function low = blur_decimate (x, K, s)
  full = convn (pad_replicate (x, K), K, "valid");
  low = full(1:s:end, 1:s:end, :);
endfunction

% Zero-filled up-sampling by s, then correlation with K (convolution with K
% turned by 180 degrees) over the replicate-padded image.
function x = blur_transposed (low, K, s)
  [h, w, P] = size (low);
  up = zeros (h * s, w * s, P);
  up(1:s:end, 1:s:end, :) = low;
  x = convn (pad_replicate (up, K), rot90 (K, 2), "valid");
endfunction

% R(x) = Dx' (w .* Dx x) + Dy' (w .* Dy x), periodic first differences.
function R = regulariser (x, w)
  [H, W, ~] = size (x);
  t = (x(:, [2:W 1], :) - x) .* w;
  R = t(:, [W 1:W-1], :) - t;
  t = (x([2:H 1], :, :) - x) .* w;
  R = R + (t([H 1:H-1], :, :) - t);
endfunction
