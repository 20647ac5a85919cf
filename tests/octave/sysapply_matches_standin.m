% qmv_system_apply in Octave against the stand-in host's result on the same
% formula-given input (written by sysapply_standin_dump).
H = 24; W = 30; P = 3; N = 4; S = 3;
[x, y, c] = meshgrid(1:W, 1:H, 1:P);
imgI = sin(0.3 * y + 0.17 * x + c);
p.idx0 = 2;
p.numFrames = N;
p.scaleFactor = S;
p.imgWs = 1 + 0.5 * cos(0.2 * y - 0.1 * x + c);
[j, i, cw] = meshgrid(1:W/S, 1:H/S, 1:P);
[kj, ki] = meshgrid(1:5, 1:5);
[mx, my] = meshgrid(1:W, 1:H);
for k = 1:N
  p.vecKers{k} = exp(-((ki - 3) .^ 2 + (kj - 3) .^ 2) / (2.0 + k));
  p.vecImgW{k} = 0.5 + 0.25 * sin(0.4 * i + 0.3 * j + k + cw);
  p.vecMapB{k} = cat(3, mx + 0.7 * sin(0.1 * k * my), my + 0.6 * cos(0.13 * k * mx));
end
p.vecMapB{3}(5, 7, 1) = NaN;
p.dataTermScale = 1.3;
p.eta = 0.05;

imgAI = qmv_system_apply(imgI, p);
assert(size(imgAI), [H, W, P]);

file = getenv('QMV_SYSAPPLY_STANDIN_RESULT');
assert(~isempty(file), 'QMV_SYSAPPLY_STANDIN_RESULT is not set');
fid = fopen(file, 'rb');
assert(fid >= 0, ['cannot open ' file]);
expected = fread(fid, Inf, 'double');
fclose(fid);
assert(numel(expected), numel(imgAI));
err = max(abs(imgAI(:) - expected)) / max(abs(expected));
printf('relative difference to the stand-in: %g\n', err);
assert(err <= 1e-13);
