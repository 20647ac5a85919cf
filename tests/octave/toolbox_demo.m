% The demo on a reduced size (96 x 96 crop, 4 frames) finishes, prints its
% table and writes its picture; it also runs on user frames given as a
% folder (sorted naturally, the reference file named, a size mismatch
% naming the file) and as a cell array, without ground truth.
out = tempname();
printed = evalc('results = demo_superres(''crop'', 96, ''numFrames'', 4, ''outDir'', out, ''show'', false);');
disp(printed);
assert(~isempty(strfind(printed, 'PSNR (dB)')) && ~isempty(strfind(printed, 'SSIM')));
assert(isempty(strfind(printed, 'targets')), 'the demo prints no acceptance line');
assert(~isempty(strfind(printed, '96 x 96 (h x w)')));
assert(~isempty(regexp(printed, '\(-?\d\.\d\d,-?\d\.\d\d\)', 'once')), 'shifts should be sub-pixel');
methods = {results.method};
assert(isequal(methods, {'nearest', 'bicubic', 'reference frame alone', ...
                         'ours, estimated motion', 'ours, true motion'}));
for i = 1:numel(methods)
  assert(~isempty(strfind(printed, methods{i})), 'table lacks the row %s', methods{i});
end
assert(all(isfinite([results.psnr])) && all(isfinite([results.ssim])));
assert(all([results.time] >= 0));
assert(results(3).psnr > results(2).psnr, 'one frame reconstructed should beat bicubic');
assert(isfield(results(4).info, 'maps') && numel(results(4).info.maps) == 4);
side = imread(fullfile(out, 'side_by_side.png'));
% Five labelled panels of 96 over their zoomed crops (24 pixels, 4 times).
assert(size(side, 2) == 5 * 96 + 4 * 6 && size(side, 1) > 96 + 96 + 6);
assert(any(any(side(1:10, 1:40, 1) < 50)), 'the label row should hold dark text');
rec = imread(fullfile(out, 'reconstruction.png'));
assert(isequal(size(rec), [96 96 3]));

% The object moves: without it the estimated motion does better.
evalc('still = demo_superres(''crop'', 96, ''numFrames'', 4, ''outDir'', out, ''show'', false, ''object'', false, ''verbose'', false);');
assert(still(5).psnr > results(5).psnr);

% User frames: a folder of images, named so that text order is wrong.
truth = sr_sample_image();
truth = truth(101:148, 101:148, :);
randn('state', 2);
frames = sr_simulate_frames(truth, 2, [0 0; 1 0; 0 1; 1 1; 2 0; 0 2; 2 2; 1 2; 2 1; 3 1], ...
                            [1 2 1]' * [1 2 1] / 16, 0.01);
folder = tempname();
mkdir(folder);
for k = 1:numel(frames)
  imwrite(uint8(round(255 * min(max(frames{k}, 0), 1))), fullfile(folder, sprintf('f%d.png', k)));
end
fid = fopen(fullfile(folder, 'notes.txt'), 'w');
fprintf(fid, 'not an image\n');
fclose(fid);
outUser = tempname();
printed = evalc('resUser = demo_superres(''frames'', folder, ''outDir'', outUser, ''show'', false);');
disp(printed);
assert(~isempty(strfind(printed, '10 frames of 24 x 24 (h x w)')));
assert(~isempty(strfind(printed, 'reference frame: f1.png')));
assert(numel(resUser) == 4 && all(isnan([resUser.psnr])));
assert(isequal(size(imread(fullfile(outUser, 'reconstruction.png'))), [48 48 3]));
assert(size(imread(fullfile(outUser, 'side_by_side.png')), 2) == 4 * 48 + 3 * 6);
% f2 must follow f1 (natural order): its motion is one pixel to the right.
maps = resUser(4).info.maps;
flowX = maps{2}(9:40, 9:40, 1) - repmat(9:40, 32, 1);
assert(abs(median(flowX(:)) - 1) < 0.5, 'frame 2 is not f2.png (median flow %.2f)', median(flowX(:)));
% Another reference frame is named as such.
printed = evalc('demo_superres(''frames'', folder, ''outDir'', outUser, ''show'', false, ''verbose'', false, ''options'', struct(''refFrame'', 10));');
assert(~isempty(strfind(printed, 'reference frame: f10.png')));

% A frame of another size is named in the error.
imwrite(zeros(20, 24, 3, 'uint8'), fullfile(folder, 'f11.png'));
try
  evalc('demo_superres(''frames'', folder, ''outDir'', outUser, ''show'', false);');
  error('no error raised for a frame of another size');
catch err
  assert(strcmp(err.identifier, 'sr_read_frames:input'), 'got %s', err.message);
  assert(~isempty(strfind(err.message, 'f11.png is 20 x 24 x 3')), 'got %s', err.message);
end

confirm_recursive_rmdir(false);
% A video file: a range of its frames, the first of them the reference.
outVideo = tempname();
printed = evalc('resVideo = demo_superres(''frames'', sr_sample_video(), ''firstFrame'', 3, ''numFrames'', 4, ''outDir'', outVideo, ''show'', false, ''verbose'', false);');
assert(~isempty(strfind(printed, '4 frames of 96 x 128 (h x w)')), printed);
assert(~isempty(strfind(printed, 'reference frame: frame 3 of')));
assert(numel(resVideo) == 4 && isequal(size(imread(fullfile(outVideo, 'reconstruction.png'))), [192 256 3]));
printed = evalc('demo_superres(''frames'', sr_sample_video(), ''firstFrame'', 10, ''numFrames'', 8, ''outDir'', outVideo, ''show'', false, ''verbose'', false);');
assert(~isempty(strfind(printed, 'only 3 of 8 frames')), printed);
rmdir(outVideo, 's');

outCell = tempname();
evalc('resCell = demo_superres(''frames'', frames, ''outDir'', outCell, ''verbose'', false, ''show'', false);');
assert(exist(fullfile(outCell, 'reconstruction.png'), 'file') == 2);

% Options of the wrong kind are refused by name.
function expect_demo_error(pattern, varargin)
  try
    demo_superres(varargin{:});
  catch err
    assert(strcmp(err.identifier, 'demo_superres:option') || strcmp(err.identifier, 'demo_superres:input'));
    assert(~isempty(regexp(err.message, pattern, 'once')), 'message "%s" lacks "%s"', err.message, pattern);
    return;
  end
  error('no error raised for %s', pattern);
end
expect_demo_error('numFrames', 'numFrames', 0);
expect_demo_error('scale', 'scale', 'two');
expect_demo_error('show', 'show', 'yes');
expect_demo_error('nosuch', 'nosuch', 1);
expect_demo_error('no folder or video file', 'frames', fullfile(folder, 'missing'));
expect_demo_error('options', 'options', 3);

rmdir(out, 's');
rmdir(folder, 's');
rmdir(outUser, 's');
rmdir(outCell, 's');
