function out = ref_scatter_nearest (img, map)
  % qmv_scatter_nearest in vectorised Octave, the benchmark's reference: every
  % pixel of img is added into the pixel its map entry names, floor(v - 1 + 0.5)
  % clamped to the image; entries with a non-finite coordinate are left out.
  % The index conversion is part of the timed work, as the module's array
  % copies are part of its own. (One accumarray per channel over linear
  % indices was the fastest of the forms tried.)
  [H, W, P] = size (img);
  mx = map(:, :, 1) - 1;
  my = map(:, :, 2) - 1;
  X = min (max (floor (mx + 0.5), 0), W - 1);
  Y = min (max (floor (my + 0.5), 0), H - 1);
  lin = Y(:) + X(:) * H + 1;
  v = reshape (img, H * W, P);
  valid = isfinite (mx(:)) & isfinite (my(:));
  if (! all (valid))
    lin = lin(valid);
    v = v(valid, :);
  endif
  out = zeros (H * W, P);
  for c = 1:P
    out(:, c) = accumarray (lin, v(:, c), [H * W, 1]);
  endfor
  out = reshape (out, size (img));
endfunction
