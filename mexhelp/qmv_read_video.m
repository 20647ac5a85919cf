%QMV_READ_VIDEO  Frames of a video file as a colour stack (MEX).
%
%   [stack, numRead] = qmv_read_video(fileName, firstFrame, numFrames)
%
%   Decodes frames firstFrame, firstFrame + 1, ... of a video file through
%   OpenCV's video input (FFmpeg and its other back ends: AVI, MP4, MKV,
%   MOV, ... with the codecs the system's OpenCV was built with) and returns
%   them as one stack, ready for sr_reconstruct.
%
%   Inputs
%     fileName    path of the video file (a 1 x N char row).
%     firstFrame  1-based index of the first frame to return, a positive
%                 whole number. The frames before it are decoded and
%                 dropped (seeking by frame number is not exact for every
%                 codec), so a late first frame takes time.
%     numFrames   number of frames to return, a positive whole number, or
%                 Inf for every frame to the end of the video.
%
%   Outputs
%     stack       H x W x 3 x N double, planes 1, 2, 3 red, green, blue on a
%                 0..1 scale (8-bit video divided by 255, 16-bit by 65535;
%                 grey video fills all three planes). With N = 1 it is
%                 H x W x 3. It takes H*W*3*N*8 bytes: 100 frames of
%                 1920 x 1080 are 5 GB.
%     numRead     N, the number of frames really decoded. A video that ends,
%                 stops decoding or changes its frame size before
%                 numFrames frames gives fewer frames, not an error.
%
%   Errors (Octave prefixes them with "qmv_read_video: "):
%     Usage: [stack, numRead] = qmv_read_video(fileName, firstFrame, numFrames)
%                              not one or two outputs and three inputs
%     Error: fileName must be a non-empty character string!
%     Error: firstFrame must be a positive integer scalar (1-based)!
%     Error: numFrames must be a positive integer scalar or Inf!
%     Error: cannot open video file '...': no such file!
%     Error: cannot open video file '...': not a video format OpenCV can decode!
%     Error: firstFrame F is past the end of '...', which has M frames!
%     Error: frame F of '...' could not be decoded!
%
%   Example (the sample clip; give your own video's file name instead):
%     [frames, n] = qmv_read_video(sr_sample_video(), 1, 8);
%     hr = sr_reconstruct(frames, 'scale', 2, 'verbose', false);
%     size(hr)
%
%   See also sr_reconstruct, sr_read_frames, sr_batch.

%!function write_raw_avi (file, frames)
%! % An uncompressed 24-bit AVI of an H x W x 3 x N uint8 stack.
%! [h, w, ~, n] = size (frames);
%! stride = 4 * ceil (3 * w / 4);
%! framebytes = stride * h;
%! u32 = @(v) typecast (uint32 (v(:)'), 'uint8');
%! u16 = @(v) typecast (uint16 (v(:)'), 'uint8');
%! chunk = @(id, data) [uint8(id), u32(numel (data)), data, zeros(1, mod (numel (data), 2), 'uint8')];
%! list = @(kind, data) chunk ('LIST', [uint8(kind), data]);
%! avih = u32 ([40000 0 0 16 n 0 1 framebytes w h 0 0 0 0]);
%! strh = [uint8('vidsDIB '), u32([0 0 0 1 25 0 n framebytes 4294967295 0]), u16([0 0 w h])];
%! strf = [u32([40 w h]), u16([1 24]), u32([0 framebytes 0 0 0 0])];
%! hdrl = list ('hdrl', [chunk('avih', avih), list('strl', [chunk('strh', strh), chunk('strf', strf)])]);
%! movi = uint8 ('movi');
%! idx = [];
%! for k = 1:n
%!   dib = zeros (stride, h, 'uint8');
%!   for r = 1:h
%!     bgr = squeeze (frames(h + 1 - r, :, [3 2 1], k))';
%!     dib(1:3 * w, r) = bgr(:);
%!   end
%!   idx = [idx, uint8('00db'), u32([16 numel(movi) framebytes])];
%!   movi = [movi, chunk('00db', dib(:)')];
%! end
%! body = [uint8('AVI '), hdrl, chunk('LIST', movi), chunk('idx1', idx)];
%! fid = fopen (file, 'w');
%! fwrite (fid, [uint8('RIFF'), u32(numel (body)), body], 'uint8');
%! fclose (fid);
%!endfunction

%!shared file, file1, frames
%! frames = uint8 (randi ([0 255], 9, 7, 3, 5));
%! file = [tempname() '.avi'];
%! write_raw_avi (file, frames);
%! file1 = [tempname() '.avi'];
%! write_raw_avi (file1, frames(:, :, :, 1));

%!test
%! % An uncompressed video comes back exactly, as im2double would scale it.
%! [stack, n] = qmv_read_video (file, 1, 5);
%! assert (n, 5);
%! assert (class (stack), 'double');
%! assert (stack, double (frames) / 255);

%!test
%! % A range from the middle; more frames asked for than left; Inf.
%! [stack, n] = qmv_read_video (file, 2, 3);
%! assert (n, 3);
%! assert (stack, double (frames(:, :, :, 2:4)) / 255);
%! [stack, n] = qmv_read_video (file, 4, 100);
%! assert (n, 2);
%! assert (stack, double (frames(:, :, :, 4:5)) / 255);
%! [stack, n] = qmv_read_video (file, 5, Inf);
%! assert (n, 1);
%! assert (size (stack), [9 7 3]);

%!test
%! % A file cut inside its third frame gives the two whole frames before it.
%! fid = fopen (file, 'r');
%! bytes = fread (fid, Inf, 'uint8=>uint8');
%! fclose (fid);
%! cut = [tempname() '.avi'];
%! fid = fopen (cut, 'w');
%! fwrite (fid, bytes(1:end - round (3.5 * 8 * 9 * 3)), 'uint8');
%! fclose (fid);
%! [stack, n] = qmv_read_video (cut, 1, Inf);
%! delete (cut);
%! assert (n, 2);
%! assert (stack, double (frames(:, :, :, 1:2)) / 255);

%!error <firstFrame 6 is past the end of '.*', which has 5 frames> s = qmv_read_video (file, 6, 1)
%!error <past the end of '.*', which has 1 frame!> s = qmv_read_video (file1, 2, 1)
%!error <Usage: \[stack, numRead\]> qmv_read_video (file, 1)
%!error <fileName must be a non-empty> s = qmv_read_video (1, 1, 1)
%!error <firstFrame must be a positive integer> s = qmv_read_video (file, 0, 1)
%!error <firstFrame must be a positive integer> s = qmv_read_video (file, 1.5, 1)
%!error <numFrames must be a positive integer scalar or Inf> s = qmv_read_video (file, 1, -Inf)
%!error <no such file> s = qmv_read_video ([file '.missing'], 1, 1)
%!error <not a video format> s = qmv_read_video (which ('qmv_read_video.m'), 1, 1)
%!test
%! delete (file);
%! delete (file1);
