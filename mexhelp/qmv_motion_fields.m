%QMV_MOTION_FIELDS  Dense optical flow of a whole stack of frames in one call (MEX).
%
%   imgsFlow = qmv_motion_fields(imgsFrom, imgsTo)
%
%   The flow from each frame of imgsFrom to the frame of the same index of
%   imgsTo, or to the single frame imgsTo: flow k is, bit for bit, what
%   qmv_motion_field(imgsFrom(:, :, :, k), imgsTo(:, :, :, k)) returns
%   (Farneback's method with the same parameters), and the frames are
%   computed in parallel (OpenMP, one frame per thread at a time;
%   OMP_NUM_THREADS limits the threads).
%
%   Inputs
%     imgsFrom  H x W x 3 x N real double stack of colour frames on a 0..1
%               scale (values are clamped to 0..1 and rounded to 8 bits)
%     imgsTo    H x W x 3 x N stack, or one H x W x 3 frame used for every
%               frame of imgsFrom
%
%   Output
%     imgsFlow  H x W x 2 x N double: imgsFlow(:, :, 1, k) the horizontal
%               and imgsFlow(:, :, 2, k) the vertical displacement, in
%               pixels, of frame k (see qmv_motion_field)
%
%   Errors (Octave prefixes them with "qmv_motion_fields: "), in this order:
%     Usage: imgsFlow = qmv_motion_fields(imgsFrom, imgsTo)
%     Error: data format is not double!
%     Error: imgsFrom and imgsTo must not be sparse!
%     Error: imgsFrom must be an H x W x 3 x N stack of colour frames!
%     Error: imgsTo must be one H x W x 3 frame or a stack of as many frames as imgsFrom!
%     Error: imgsTo must have the same height and width as imgsFrom!
%     Error: imgsFrom and imgsTo must have a positive height and width!
%     Error: imgsFrom and imgsTo are too large!
%   and "Error: " messages of a failed flow computation.
%
%   Example (all frames of a sequence against its first frame):
%     img = sr_sample_image();
%     frames = cat(4, img(:, [1 1:end-1], :), img(:, [1 1 1:end-2], :));
%     flows = qmv_motion_fields(frames, img);   % flows(:,:,1,k) about -k
%
%   See also qmv_motion_field, sr_reconstruct.

%!shared img, stack
%! [x, y] = meshgrid (1:96, 1:80);
%! g = 0.5 + 0.2 * sin (x / 5) .* cos (y / 7) + 0.15 * sin ((x + 2 * y) / 3.1) ...
%!     + 0.1 * cos ((3 * x - y) / 4.3);
%! img = cat (3, g, 0.9 * g, 1 - g);
%! stack = cat (4, img(:, [1 1:end-1], :), img([1 1:end-1], :, :), img);

%!test
%! % Each flow is the single-pair flow, bit for bit, to one shared target.
%! flows = qmv_motion_fields (stack, img);
%! assert (size (flows), [80 96 2 3]);
%! for k = 1:3
%!   assert (flows(:, :, :, k), qmv_motion_field (stack(:, :, :, k), img));
%! end

%!test
%! % ... and to a stack of targets.
%! targets = stack(:, :, :, [3 1 2]);
%! flows = qmv_motion_fields (stack, targets);
%! for k = 1:3
%!   assert (flows(:, :, :, k), qmv_motion_field (stack(:, :, :, k), targets(:, :, :, k)));
%! end

%!test
%! % One frame in, one flow out; no frames, no flows.
%! assert (qmv_motion_fields (img, img), qmv_motion_field (img, img));
%! assert (size (qmv_motion_fields (zeros (80, 96, 3, 0), img)), [80 96 2 0]);

%!error <Usage: imgsFlow = qmv_motion_fields\(imgsFrom, imgsTo\)> qmv_motion_fields (img)
%!error <Error: data format is not double!> qmv_motion_fields (single (img), img)
%!error <Error: imgsFrom must be an H x W x 3 x N stack of colour frames!> qmv_motion_fields (img(:, :, 1:2), img)
%!error <Error: imgsTo must be one H x W x 3 frame or a stack of as many frames as imgsFrom!> qmv_motion_fields (stack, stack(:, :, :, 1:2))
%!error <Error: imgsTo must have the same height and width as imgsFrom!> qmv_motion_fields (stack, img(1:40, :, :))
