% The demo on a reduced size (96x96 crop, 4 frames) finishes, prints its
% table and writes its two images; it also runs on user frames, given as a
% folder and as a cell array, without ground truth.
out = tempname();
printed = evalc('results = demo_superres(''crop'', 96, ''numFrames'', 4, ''outDir'', out);');
disp(printed);
assert(~isempty(strfind(printed, 'PSNR (dB)')) && ~isempty(strfind(printed, 'SSIM')));
assert(numel(results) == 4);
assert(strcmp(results(2).method, 'bicubic'));
assert(all(isfinite([results.psnr])) && all(isfinite([results.ssim])));
assert(all([results.time] >= 0));
% Even with 4 random frames the reconstruction must beat bicubic.
assert(results(3).psnr > results(2).psnr + 1, 'estimated motion %.2f dB vs bicubic %.2f dB', ...
       results(3).psnr, results(2).psnr);
assert(results(4).psnr > results(2).psnr + 1);
side = imread(fullfile(out, 'side_by_side.png'));
assert(isequal(size(side), [96, 4 * 96 + 3 * 4, 3]));
rec = imread(fullfile(out, 'reconstruction.png'));
assert(isequal(size(rec), [96 96 3]));

% User frames: a folder of images (file-name order) and a cell array.
truth = double(imread(fullfile(fileparts(which('demo_superres')), '..', 'data', 'butterfly.png'))) / 255;
truth = truth(101:148, 101:148, :);
frames = sr_simulate_frames(truth, 2, [0 0; 1 0; 0 1], [1 2 1]' * [1 2 1] / 16, 0.01);
folder = tempname();
mkdir(folder);
for k = 1:numel(frames)
  imwrite(uint8(round(255 * min(max(frames{k}, 0), 1))), fullfile(folder, sprintf('frame%02d.png', k)));
end
fid = fopen(fullfile(folder, 'notes.txt'), 'w');
fprintf(fid, 'not an image\n');
fclose(fid);
outUser = tempname();
printed = evalc('resUser = demo_superres(''frames'', folder, ''outDir'', outUser);');
disp(printed);
assert(~isempty(strfind(printed, '3 frames of 24x24')));
assert(numel(resUser) == 3 && all(isnan([resUser.psnr])));
assert(isequal(size(imread(fullfile(outUser, 'reconstruction.png'))), [48 48 3]));
assert(isequal(size(imread(fullfile(outUser, 'side_by_side.png'))), [48, 3 * 48 + 2 * 4, 3]));

outCell = tempname();
evalc('resCell = demo_superres(''frames'', frames, ''outDir'', outCell, ''verbose'', false);');
assert(exist(fullfile(outCell, 'reconstruction.png'), 'file') == 2);

confirm_recursive_rmdir(false);
rmdir(out, 's');
rmdir(folder, 's');
rmdir(outUser, 's');
rmdir(outCell, 's');
