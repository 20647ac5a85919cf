function [imgI, fp] = make_operator_problem (H, W, P, N, s, ksize)
  % Inputs of a qmv_system_apply call shaped like a reconstruction's: frame 1
  % is the reference, every other frame moves by a sub-pixel shift and a small
  % rotation with some jitter (so maps leave the image near the border and
  % take the clamped path), each frame has its own Gaussian kernel, and all
  % weights are positive. Fixed seeds keep the cases comparable between runs.
  rand ("seed", 42);
  randn ("seed", 42);
  imgI = rand (H, W, P);
  fp.idx0 = 1;
  fp.numFrames = N;
  fp.scaleFactor = s;
  fp.vecKers = cell (1, N);
  fp.imgWs = 0.1 + rand (H, W, P);
  fp.vecImgW = cell (1, N);
  fp.vecMapB = cell (1, N);
  fp.dataTermScale = 1;
  fp.eta = 0.02;
  [X, Y] = meshgrid (1:W, 1:H);
  cx = (W + 1) / 2;
  cy = (H + 1) / 2;
  for k = 1:N
    sigma = (0.6 + 0.4 * rand ()) * ksize / 4;
    r = -(ksize - 1) / 2 : (ksize - 1) / 2;
    g = exp (-(r .^ 2) / (2 * sigma ^ 2));
    K = g' * g;
    fp.vecKers{k} = K / sum (K(:));
    fp.vecImgW{k} = 0.2 + 0.8 * rand (H / s, W / s, P);
    a = 0.01 * randn ();
    shift = 3 * (2 * rand (1, 2) - 1);
    mx = cx + cos (a) * (X - cx) - sin (a) * (Y - cy) + shift(1) + 0.3 * randn (H, W);
    my = cy + sin (a) * (X - cx) + cos (a) * (Y - cy) + shift(2) + 0.3 * randn (H, W);
    fp.vecMapB{k} = cat (3, mx, my);
  endfor
endfunction
