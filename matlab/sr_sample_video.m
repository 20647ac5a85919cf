function file = sr_sample_video()
%SR_SAMPLE_VIDEO  The toolbox's sample video clip.
%
%   file = sr_sample_video()
%
%   file  full name of butterfly_clip.avi, shipped with the toolbox (data/
%         beside the M-files when installed, data/ of the source tree
%         otherwise): 12 frames of 96 x 128 pixels (MJPG), a part of the
%         sample photograph moving by sub-pixel steps, blurred and
%         decimated by 2, for trying qmv_read_video, sr_read_frames and
%         sr_batch on a video
%
%   Example:
%     [frames, n] = qmv_read_video(sr_sample_video(), 1, 8);
%     size(frames)
%
%   See also sr_sample_image, qmv_read_video, sr_read_frames.

here = fileparts(mfilename('fullpath'));
file = fullfile(here, 'data', 'butterfly_clip.avi');
if ~exist(file, 'file')
  file = fullfile(fileparts(here), 'data', 'butterfly_clip.avi');
end
if ~exist(file, 'file')
  error('sr_sample_video:missing', 'sr_sample_video: butterfly_clip.avi not found beside %s', here);
end
end

%!test
%! file = sr_sample_video ();
%! assert (exist (file, 'file'), 2);
