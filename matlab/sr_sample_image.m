function [img, file] = sr_sample_image()
%SR_SAMPLE_IMAGE  The toolbox's sample photograph, on a 0..1 scale.
%
%   img = sr_sample_image()
%   [img, file] = sr_sample_image()
%
%   img   H x W x 3 double on a 0..1 scale: butterfly.png, shipped with the
%         toolbox (data/ beside the M-files when installed, data/ of the
%         source tree otherwise), the ground truth of demo_superres
%   file  full name of that file
%
%   Example:
%     img = sr_sample_image();
%     size(img)
%
%   See also demo_superres, sr_simulate_frames.

here = fileparts(mfilename('fullpath'));
file = fullfile(here, 'data', 'butterfly.png');
if ~exist(file, 'file')
  file = fullfile(fileparts(here), 'data', 'butterfly.png');
end
if ~exist(file, 'file')
  error('sr_sample_image:missing', 'sr_sample_image: butterfly.png not found beside %s', here);
end
img = double(imread(file)) / 255;
end

%!test
%! [img, file] = sr_sample_image ();
%! assert (size (img, 3), 3);
%! assert (min (img(:)) >= 0 && max (img(:)) <= 1);
%! assert (exist (file, 'file'), 2);
