function [frames, maps, truth] = sr_simulate_frames(imgHR, s, shifts, kernel, noiseSigma, varargin)
%SR_SIMULATE_FRAMES  Low-resolution frames of a known image, for experiments.
%
%   [frames, maps] = sr_simulate_frames(imgHR, s, shifts, kernel, noiseSigma)
%   [frames, maps, truth] = sr_simulate_frames(..., 'name', value, ...)
%
%   imgHR       H x W x P double ground truth on a 0..1 scale; H and W
%               multiples of s
%   s           positive integer scale factor
%   shifts      N x 2 motion of each frame in high-resolution pixels,
%               column 1 horizontal (dx), column 2 vertical (dy): frame k
%               shows at (r, c) the scene point (r + dy, c + dx); any real
%               values (sub-pixel shifts are interpolated, see below)
%   kernel      blur kernel (2-D double, sums to 1)
%   noiseSigma  standard deviation of the added Gaussian noise
%
%   Options (names are case-insensitive; defaults in brackets)
%     'object'     h x w x P patch (or h x w x 1, repeated over the planes)
%                  of an object that moves on its own in front of the
%                  scene [[] (none)]
%     'objectPos'  N x 2 position of the object's top-left pixel in frame k,
%                  column 1 column, column 2 row (1-based, high-resolution
%                  pixels, whole numbers); a row of NaN hides the object in
%                  that frame [required with 'object']
%     'quantize'   round the frames to 8 bits (multiples of 1/255, clamped
%                  to 0..1) as a camera stores them [false]
%
%   frames      1 x N cell of (H/s) x (W/s) x P frames:
%               frame k = D * B * (M_k * imgHR, object pasted) + noise: the
%               warp interpolates bicubically at the shifted positions
%               (clamped to the image), B blurs with repeated borders, D
%               keeps the samples 1:s:end
%   maps        1 x N cell of the true H x W x 2 motion maps (plane 1
%               column, plane 2 row, absolute 1-based), as sr_reconstruct
%               takes them in its 'maps' option: map k says which point
%               of imgHR frame k shows (imgHR is frame 1's grid when
%               shifts(1, :) is [0 0]).  Where frame k and frame 1 both
%               show the object, map k follows the object to where frame 1
%               shows it; elsewhere it follows the scene, so where the
%               object hides the scene in one of the two frames no map is
%               right and the reconstruction must find that out itself
%   truth       struct with fields
%                 images  1 x N cell of the H x W x P images the frames are
%                         sampled from (before blur); truth.images{1} is the
%                         ground truth of a reconstruction on frame 1
%                 object  1 x N cell of H x W logical masks of the object
%                 objectLow  1 x N cell of (H/s) x (W/s) logical masks of
%                         the low-resolution pixels the object reaches
%                         through the blur
%
%   Whole-pixel shifts on the high-resolution grid are sub-pixel shifts of
%   the frames (multiples of 1/s) that the reconstruction's nearest-
%   neighbour warp represents exactly; other shifts, like real motion, are
%   not on that grid.  Draw the noise reproducibly by seeding randn first.
%
%   Example:
%     img = rand(64, 64, 3);
%     [frames, maps] = sr_simulate_frames(img, 2, [0 0; 0.6 0; 0 1.3; 1 1], ...
%                                         ones(3) / 9, 0.01);
%     obj = ones(12, 12);
%     [frames, maps, truth] = sr_simulate_frames(img, 2, zeros(4, 2), ...
%         ones(3) / 9, 0.01, 'object', obj, 'objectPos', [5 5; 9 5; NaN NaN; 20 5]);
%
%   See also sr_reconstruct, demo_superres.

if nargin < 5
  error('sr_simulate_frames:input', ...
        'sr_simulate_frames: usage: [frames, maps, truth] = sr_simulate_frames(imgHR, s, shifts, kernel, noiseSigma, ...)');
end
[H, W, P] = size(imgHR);
if ~isscalar(s) || s < 1 || s ~= round(s) || mod(H, s) ~= 0 || mod(W, s) ~= 0
  error('sr_simulate_frames:input', ...
        'sr_simulate_frames: s must be a positive integer that divides the image size');
end
if ~isnumeric(shifts) || size(shifts, 2) ~= 2 || ndims(shifts) ~= 2 || any(~isfinite(shifts(:)))
  error('sr_simulate_frames:input', 'sr_simulate_frames: shifts must be a finite N x 2 array');
end
N = size(shifts, 1);
opts = parse_options(varargin, N, P);
imgHR = double(imgHR);
shifts = double(shifts);
[cols, rows] = meshgrid(1:W, 1:H);
frames = cell(1, N);
maps = cell(1, N);
truth.images = cell(1, N);
truth.object = cell(1, N);
truth.objectLow = cell(1, N);
for k = 1:N
  maps{k} = cat(3, cols + shifts(k, 1), rows + shifts(k, 2));
  img = warp_cubic(imgHR, maps{k});
  objMask = false(H, W);
  if ~isempty(opts.object)
    [img, objMask] = paste_object(img, opts.object, opts.objectPos(k, :));
  end
  truth.images{k} = img;
  truth.object{k} = objMask;
  blurred = sr_filter_replicate(img, kernel, 'conv');
  low = blurred(1:s:end, 1:s:end, :);
  low = low + noiseSigma * randn(size(low));
  if opts.quantize
    low = round(min(max(low, 0), 1) * 255) / 255;
  end
  frames{k} = low;
  reach = sr_filter_replicate(double(objMask), abs(kernel), 'conv');
  truth.objectLow{k} = reach(1:s:end, 1:s:end) > 1e-3;
end
maps = object_maps(maps, opts, truth.object);
end

function opts = parse_options(args, N, P)
opts = struct('object', [], 'objectpos', [], 'quantize', false);
if mod(numel(args), 2) ~= 0
  error('sr_simulate_frames:option', 'sr_simulate_frames: options must come as name/value pairs');
end
for i = 1:2:numel(args)
  name = args{i};
  if ~ischar(name) || ~isfield(opts, lower(name))
    error('sr_simulate_frames:option', 'sr_simulate_frames: unknown option');
  end
  opts.(lower(name)) = args{i + 1};
end
if ~isempty(opts.object)
  obj = double(opts.object);
  if ndims(obj) > 3 || (size(obj, 3) ~= 1 && size(obj, 3) ~= P)
    error('sr_simulate_frames:option', ...
          'sr_simulate_frames: object must have 1 plane or as many as the image');
  end
  if size(obj, 3) ~= P
    obj = repmat(obj, [1, 1, P]);
  end
  pos = opts.objectpos;
  if ~isnumeric(pos) || ~isequal(size(pos), [N, 2])
    error('sr_simulate_frames:option', ...
          'sr_simulate_frames: objectPos must be N x 2, one row per frame');
  end
  shown = all(isfinite(pos), 2);
  if any(pos(shown, :) ~= round(pos(shown, :)))
    error('sr_simulate_frames:option', ...
          'sr_simulate_frames: objectPos must hold whole pixel positions or NaN');
  end
  opts.object = obj;
end
opts = struct('object', opts.object, 'objectPos', double(opts.objectpos), ...
              'quantize', logical(opts.quantize));
end

function out = warp_cubic(img, map)
% Bicubic backward warp; positions outside the image take the nearest
% border position, as the operator's warp clamps.
[H, W, P] = size(img);
mx = min(max(map(:, :, 1), 1), W);
my = min(max(map(:, :, 2), 1), H);
out = zeros(H, W, P);
for c = 1:P
  out(:, :, c) = interp2(img(:, :, c), mx, my, 'cubic');
end
end

function [img, mask] = paste_object(img, obj, pos)
% Pastes the object with its top-left pixel at POS (column, row), cut at
% the image border; a NaN position leaves the image alone.
[H, W, ~] = size(img);
mask = false(H, W);
if any(~isfinite(pos))
  return;
end
[h, w, ~] = size(obj);
r = pos(2):(pos(2) + h - 1);
c = pos(1):(pos(1) + w - 1);
keepR = r >= 1 & r <= H;
keepC = c >= 1 & c <= W;
img(r(keepR), c(keepC), :) = obj(keepR, keepC, :);
mask(r(keepR), c(keepC)) = true;
end

function maps = object_maps(maps, opts, masks)
% Where frame k and frame 1 both show the object, frame k's pixel shows the
% object point that frame 1 shows displaced by the object's own motion.
if isempty(opts.object) || any(~isfinite(opts.objectPos(1, :)))
  return;
end
for k = 2:numel(maps)
  if any(~isfinite(opts.objectPos(k, :)))
    continue;
  end
  d = opts.objectPos(1, :) - opts.objectPos(k, :);
  m = masks{k};
  mx = maps{k}(:, :, 1);
  my = maps{k}(:, :, 2);
  [rr, cc] = find(m);
  mx(m) = cc + d(1);
  my(m) = rr + d(2);
  maps{k} = cat(3, mx, my);
end
end
