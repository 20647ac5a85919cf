function [frames, truth, kernel] = reconstruct_problem (n)
  % The reconstruction benchmark's input: 8 colour frames of n/2 x n/2 (s = 2)
  % of the butterfly photograph enlarged to n x n, moved by continuous
  % sub-pixel shifts (cubic interpolation), blurred by the 5 x 5 Gaussian of
  % sigma 1, decimated, with noise 0.01, on the 8-bit grid (as a camera
  % delivers them, and as the BTV-L1 runner reads them).
  here = fileparts (mfilename ("fullpath"));
  img = double (imread (fullfile (here, "..", "..", "data", "butterfly.png"))) / 255;
  [h, w, ~] = size (img);
  m = 8;
  [X, Y] = meshgrid (linspace (1, w, n + 2 * m), linspace (1, h, n + 2 * m));
  big = zeros (n + 2 * m, n + 2 * m, 3);
  for c = 1:3
    big(:, :, c) = interp2 (img(:, :, c), X, Y, "cubic");
  endfor
  big = min (max (big, 0), 1);
  truth = big(1 + m:n + m, 1 + m:n + m, :);
  [x, y] = meshgrid (-2:2);
  kernel = exp (-(x .^ 2 + y .^ 2) / 2);
  kernel = kernel / sum (kernel(:));
  state = rand ("state");
  rand ("state", 17);
  randn ("state", 17);
  shifts = [0 0; 4 * rand(7, 2) - 2];
  [X, Y] = meshgrid (1 + m:n + m, 1 + m:n + m);
  frames = cell (1, 8);
  for k = 1:8
    f = zeros (n + 4, n + 4, 3);
    for c = 1:3
      f(:, :, c) = interp2 (big(:, :, c), [X(:, [1 1 1:end end end])]([1 1 1:end end end], :) + shifts(k, 1), ...
                            [Y(:, [1 1 1:end end end])]([1 1 1:end end end], :) + shifts(k, 2), "cubic", 0);
    endfor
    g = zeros (n, n, 3);
    for c = 1:3
      g(:, :, c) = conv2 (f(:, :, c), kernel, "valid");
    endfor
    g = g(1:2:end, 1:2:end, :) + 0.01 * randn (n / 2, n / 2, 3);
    frames{k} = round (255 * min (max (g, 0), 1)) / 255;
  endfor
  rand ("state", state);
endfunction
