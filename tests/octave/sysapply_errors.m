% qmv_system_apply refuses malformed calls with its messages (Octave prefixes
% the function name) and never takes the interpreter down.
H = 8; W = 6;
p.idx0 = 1; p.numFrames = 2; p.scaleFactor = 2;
p.vecKers = {ones(3) / 9, [1 2 1] / 4};
p.imgWs = ones(H, W);
p.vecImgW = {ones(H/2, W/2), ones(H/2, W/2)};
[mx, my] = meshgrid(1:W, 1:H);
p.vecMapB = {[], cat(3, mx + 1, my)};
p.dataTermScale = 1; p.eta = 0.1;
x = rand(H, W);
assert(size(qmv_system_apply(x, p)), [H, W]);

function expect_error(msg, varargin)
  try
    if nargin > 1 && ischar(varargin{1}) && strcmp(varargin{1}, 'nout0')
      qmv_system_apply(varargin{2:end});
    else
      y = qmv_system_apply(varargin{:});
    end
  catch err
    assert(err.message, ['qmv_system_apply: ' msg]);
    return;
  end
  error('no error for: %s', msg);
end

usage = 'Usage: imgAI = qmv_system_apply(imgI, func_param);';
expect_error(usage, x);
expect_error(usage, 'nout0', x, p);
expect_error('Error: imgI should be real and double.', single(x), p);
expect_error('Error: imgI should be real and double.', complex(x), p);
expect_error('Error: func_param should be a struct.', x, {p});
expect_error('Error: func_param missing some fields.', x, rmfield(p, 'vecMapB'));
expect_error('Error: func_param missing some fields.', x, struct([]));
q = p; q.idx0 = 2.5;       expect_error('Error: func_param.idx0 should be a real integer.', x, q);
q = p; q.idx0 = int32(1);  assert(size(qmv_system_apply(x, q)), [H, W]);
q = p; q.numFrames = 0;    expect_error('Error: func_param.numFrames should be at least 1.', x, q);
q = p; q.numFrames = 3;    expect_error('Error: func_param.vecKers should have at least numFrames elements.', x, q);
q = p; q.numFrames = 1e10; expect_error('Error: func_param.numFrames should be a 32-bit integer.', x, q);
q = p; q.scaleFactor = 3;  expect_error('Error: imgI height and width should be multiples of func_param.scaleFactor.', x, q);
q = p; q.vecKers = ones(3); expect_error('Error: func_param.vecKers should be a cell array.', x, q);
q = p; q.imgWs = single(p.imgWs); expect_error('Error: func_param.imgWs should be an image.', x, q);
q = p; q.eta = 1i;         expect_error('Error: func_param.eta should be a real scalar.', x, q);
q = p; q.dataTermScale = [1 2]; expect_error('Error: func_param.dataTermScale should be a real scalar.', x, q);
q = p; q.vecKers{2} = int8(1); expect_error('Error: in mx2cv, type mismatch!', x, q);
q = p; q.vecKers{1} = zeros(0, 3); expect_error('Error: func_param.vecKers{1} should be a non-empty real 2-D matrix.', x, q);
q = p; q.vecMapB{2} = q.vecMapB{2}(:, :, 1); expect_error('Error: func_param.vecMapB{2} should be a real HxWx2 map for an HxWxP imgI.', x, q);
q = p; q.vecImgW{2} = ones(H, W); expect_error('Error: func_param.vecImgW{2} should be a real (H/s)x(W/s)xP image for an HxWxP imgI.', x, q);
q = p; q.imgWs = sparse(p.imgWs); expect_error('Error: in mx2cv, sparse input is not supported!', x, q);
expect_error('Error: in mx2cv, sparse input is not supported!', sparse(x), p);
q = p; q.imgWs = ones(H, W, 1, 2); expect_error('Error: in mx2cv, invalid size!', ones(H, W, 1, 2), q);

% Far and illegal map entries still give a result; the illegal one is reported.
q = p; q.vecMapB{2}(1, 1, :) = [1e300, -1e300]; q.vecMapB{2}(2, 3, 2) = NaN;
out = evalc('y = qmv_system_apply(x, q);');
assert(strtrim(out), '__warning: illegal flow vector at (2, 1)');
assert(all(isfinite(y(:))));
