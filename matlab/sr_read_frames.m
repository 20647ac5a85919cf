function [frames, names] = sr_read_frames(source, firstFrame, numFrames)
%SR_READ_FRAMES  Frames of a folder of images or of a video file.
%
%   frames = sr_read_frames(source)
%   frames = sr_read_frames(source, firstFrame, numFrames)
%   [frames, names] = sr_read_frames(...)
%
%   source      a folder of images (PNG, JPEG, TIFF, BMP, PPM, PGM), or a
%               video file (read with qmv_read_video).
%   firstFrame  1-based index of the first frame [1]: of the images in
%               natural order (f9.png before f10.png), or of the video.
%   numFrames   number of frames, a positive whole number or Inf for all
%               from firstFrame on [Inf].
%
%   frames      1 x N cell of h x w x P double images on a 0..1 scale
%               (integer images scaled by their class, as im2double does),
%               ready for sr_reconstruct; frames{1} is the reference frame
%               by default.
%   names       1 x N cell of the frames' names: file names of a folder,
%               'frame K of FILE' for a video.
%
%   Every image of a folder must have the size of the first one; the error
%   names the file that does not. A video that ends before numFrames
%   frames gives fewer frames.
%
%   Errors have the identifier 'sr_read_frames:input'.
%
%   Example:
%     folder = tempname();  mkdir(folder);
%     img = sr_sample_image();
%     for k = 1:3
%       imwrite(img(k:k + 63, 1:64, :), fullfile(folder, sprintf('f%d.png', k)));
%     end
%     [frames, names] = sr_read_frames(folder);
%     names
%
%   See also sr_batch, qmv_read_video, sr_reconstruct.

if nargin < 2
  firstFrame = 1;
end
if nargin < 3
  numFrames = Inf;
end
if ~ischar(source) || size(source, 1) ~= 1
  input_error('source must be a folder or file name');
end
check_range(firstFrame, numFrames);
if exist(source, 'dir') == 7
  [frames, names] = read_folder(source, firstFrame, numFrames);
elseif exist(source, 'file') == 2
  [frames, names] = read_video(source, firstFrame, numFrames);
else
  input_error(sprintf('no folder or video file ''%s''', source));
end
end

function check_range(firstFrame, numFrames)
if ~isnumeric(firstFrame) || ~isscalar(firstFrame) || ~isreal(firstFrame) ...
    || ~(firstFrame >= 1) || firstFrame ~= round(firstFrame) || isinf(firstFrame)
  input_error('firstFrame must be a positive whole number');
end
if ~isnumeric(numFrames) || ~isscalar(numFrames) || ~isreal(numFrames) ...
    || ~(numFrames >= 1) || (numFrames ~= round(numFrames) && ~isinf(numFrames))
  input_error('numFrames must be a positive whole number or Inf');
end
end

function [frames, names] = read_folder(folder, firstFrame, numFrames)
listing = dir(folder);
names = {};
for i = 1:numel(listing)
  [~, ~, ext] = fileparts(listing(i).name);
  if ~listing(i).isdir && any(strcmpi(ext, {'.png', '.jpg', '.jpeg', '.tif', '.tiff', '.bmp', '.ppm', '.pgm'}))
    names{end + 1} = listing(i).name; %#ok<AGROW>
  end
end
if isempty(names)
  input_error(sprintf('no image files in ''%s''', folder));
end
names = natural_sort(names);
if firstFrame > numel(names)
  input_error(sprintf('firstFrame %d is past the %d images in ''%s''', firstFrame, numel(names), folder));
end
names = names(firstFrame:min(numel(names), firstFrame + numFrames - 1));
frames = cell(1, numel(names));
for i = 1:numel(names)
  frames{i} = read_image(fullfile(folder, names{i}));
  if ~isequal(size(frames{i}), size(frames{1}))
    input_error(sprintf('%s is %s, but %s is %s; all frames must have one size', ...
                        names{i}, size_text(frames{i}), names{1}, size_text(frames{1})));
  end
end
end

function [frames, names] = read_video(file, firstFrame, numFrames)
try
  [stack, numRead] = qmv_read_video(file, firstFrame, numFrames);
catch err
  input_error(regexprep(err.message, '^qmv_read_video: (Error: )?', ''));
end
frames = cell(1, numRead);
names = cell(1, numRead);
for k = 1:numRead
  frames{k} = stack(:, :, :, k);
  names{k} = sprintf('frame %d of %s', firstFrame + k - 1, file);
end
end

function names = natural_sort(names)
% Digit runs compare by value: f9.png before f10.png.
keys = cell(size(names));
for i = 1:numel(names)
  parts = regexp(lower(names{i}), '\d+|\D+', 'match');
  for j = 1:numel(parts)
    if all(parts{j} >= '0' & parts{j} <= '9')
      parts{j} = [repmat('0', 1, max(0, 24 - numel(parts{j}))), parts{j}];
    end
  end
  keys{i} = [parts{:}];
end
[~, order] = sort(keys);
names = names(order);
end

function img = read_image(file)
try
  [img, cmap] = imread(file);
catch err
  input_error(sprintf('cannot read %s: %s', file, err.message));
end
if ~isempty(cmap)
  img = ind2rgb(img, cmap);
end
img = sr_to_unit(img);
end

function text = size_text(img)
text = sprintf('%d x %d x %d', size(img, 1), size(img, 2), size(img, 3));
end

function input_error(text)
error('sr_read_frames:input', 'sr_read_frames: %s', text);
end

%!shared folder
%! folder = tempname ();
%! mkdir (folder);
%! for k = [1 2 9 10 11]
%!   imwrite (uint8 (k * ones (4, 5, 3)), fullfile (folder, sprintf ('f%d.png', k)));
%! end
%! fclose (fopen (fullfile (folder, 'notes.txt'), 'w'));

%!test
%! % Natural order, the range, the names and the 0..1 scale.
%! [frames, names] = sr_read_frames (folder);
%! assert (names, {'f1.png', 'f2.png', 'f9.png', 'f10.png', 'f11.png'});
%! assert (frames{4}, 10 * ones (4, 5, 3) / 255);
%! [frames, names] = sr_read_frames (folder, 3, 2);
%! assert (names, {'f9.png', 'f10.png'});
%! assert (frames{1}, 9 * ones (4, 5, 3) / 255);
%! assert (numel (sr_read_frames (folder, 4, Inf)), 2);

%!test
%! % A frame of another size is named, with the reference it differs from.
%! other = tempname ();
%! mkdir (other);
%! imwrite (uint8 (ones (4, 5, 3)), fullfile (other, 'a1.png'));
%! imwrite (uint8 (ones (4, 6, 3)), fullfile (other, 'a2.png'));
%! try
%!   sr_read_frames (other);
%!   error ('no error');
%! catch err
%!   assert (err.identifier, 'sr_read_frames:input');
%!   assert (! isempty (strfind (err.message, 'a2.png is 4 x 6 x 3, but a1.png is 4 x 5 x 3')));
%! end
%! confirm_recursive_rmdir (false, 'local');
%! rmdir (other, 's');

%!error <no folder or video file> sr_read_frames ('/no/such/folder')
%!error <no image files> sr_read_frames (fullfile (folder, '..', '..', 'proc', 'self', 'fdinfo'))
%!error <firstFrame must be> sr_read_frames ('.', 0)
%!error <numFrames must be> sr_read_frames ('.', 1, 2.5)
%!error <source must be> sr_read_frames (3)
%!error <firstFrame 9 is past the 5 images> sr_read_frames (folder, 9)
%!error <sr_read_frames: cannot open video file .*not a video format> sr_read_frames (fullfile (folder, 'notes.txt'))

%!test
%! confirm_recursive_rmdir (false, 'local');
%! rmdir (folder, 's');
