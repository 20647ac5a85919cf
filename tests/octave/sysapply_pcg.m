% Octave's own pcg solves a small super-resolution system with
% qmv_system_apply as its matrix-vector product.
H = 24; W = 24; N = 4; S = 2;
[mx, my] = meshgrid(1:W, 1:H);
shifts = [0 0; 1 0; 0 1; 1 1];     % whole-pixel motions that fill the fine grid
p.idx0 = 1;
p.numFrames = N;
p.scaleFactor = S;
p.imgWs = ones(H, W);
for k = 1:N
  p.vecKers{k} = [0 1 0; 1 4 1; 0 1 0] / 8;
  p.vecImgW{k} = ones(H / S, W / S);
  p.vecMapB{k} = cat(3, mx + shifts(k, 1), my + shifts(k, 2));
end
p.dataTermScale = 1;
p.eta = 0.01;

xTrue = 0.5 + 0.5 * sin(mx / 3) .* cos(my / 4);
A = @(v) reshape(qmv_system_apply(reshape(v, H, W), p), [], 1);
b = A(xTrue(:));
[x, flag, relres, iter] = pcg(A, b, 1e-10, 500);
printf('pcg: flag %d, relative residual %g after %d iterations\n', flag, relres, iter);
assert(flag, 0);
assert(relres <= 1e-10);
assert(norm(x - xTrue(:)) / norm(xTrue(:)) < 1e-6);
