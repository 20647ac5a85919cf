% Contents.m beside the MEX files lists every public function of the toolbox
% (the M-files of matlab/, the MEX functions' help files, qmv_version), each
% name it lists is a function on the path, and it carries qmv_version's
% version.
here = fileparts(mfilename('fullpath'));
root = fileparts(fileparts(here));
contents = fullfile(fileparts(which('qmv_version')), 'Contents.m');
text = fileread(contents);
files = [dir(fullfile(root, 'matlab', '*.m')); dir(fullfile(root, 'mexhelp', '*.m'))];
names = [cellfun(@(f) f(1:end - 2), {files.name}, 'UniformOutput', false), {'qmv_version'}];
listed = regexp(text, '(?m)^%   (\w+)\s+- ', 'tokens');
listed = cellfun(@(t) t{1}, listed, 'UniformOutput', false);
missing = setdiff(names, [listed, {'Contents'}]);
assert(isempty(missing), 'Contents.m does not list: %s', strjoin(missing, ', '));
for i = 1:numel(listed)
  assert(any(exist(listed{i}) == [2, 3]), 'Contents.m lists %s, which is not a function', listed{i}); %#ok<EXIST>
end
assert(~isempty(strfind(text, ['% Version ', qmv_version()])), 'Contents.m does not carry version %s', qmv_version());
printf('Contents.m lists all %d functions\n', numel(listed));
