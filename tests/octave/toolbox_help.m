% Every MEX function (one help file in mexhelp/ each) has its help beside it
% and its test blocks pass against the MEX file: `help name` shows the
% syntax, `test name` runs the blocks.
here = fileparts(mfilename('fullpath'));
root = fileparts(fileparts(here));
helpFiles = dir(fullfile(root, 'mexhelp', '*.m'));
names = cellfun(@(f) f(1:end - 2), {helpFiles.name}, 'UniformOutput', false);
assert(numel(names) >= 4 && any(strcmp(names, 'qmv_system_apply')));
for i = 1:numel(names)
  name = names{i};
  file = which(name);
  [~, ~, ext] = fileparts(file);
  assert(strcmp(ext, '.mex'), '%s resolves to %s, not to the MEX file', name, file);
  text = get_help_text(name);
  assert(~isempty(strfind(text, [' = ', name, '('])), 'help of %s lacks the call syntax', name);
  assert(~isempty(strfind(text, 'Usage: ')), 'help of %s lacks the error texts', name);
  [passed, total] = test(name, 'quiet');
  if total == 0 || passed ~= total
    error('%s: %d of %d test blocks passed', name, passed, total);
  end
  printf('%s: help found, %d of %d test blocks passed\n', name, passed, total);
end

% matlab/ holds no file named like a MEX function: with it first on the
% path, every call still reaches the module.
mcode = fullfile(root, 'matlab');
addpath(mcode, '-begin');
for i = 1:numel(names)
  [~, ~, ext] = fileparts(which(names{i}));
  assert(strcmp(ext, '.mex'), 'with matlab/ first on the path, %s resolves to %s', names{i}, which(names{i}));
end
assert(numel(qmv_scatter_nearest(ones(2), cat(3, [1 2; 1 2], [1 1; 2 2]))) == 4);

% Every M-function of the toolbox: help with its call syntax, and its test
% blocks pass.
files = dir(fullfile(mcode, '*.m'));
for i = 1:numel(files)
  name = files(i).name(1:end - 2);
  if strcmp(name, 'Contents')
    continue;
  end
  text = get_help_text(name);
  assert(~isempty(strfind(text, [name, '('])) || ~isempty(strfind(text, ['   ', name])), ...
         'help of %s lacks the call syntax', name);
  if isempty(regexp(fileread(fullfile(mcode, files(i).name)), '(^|\n)%!(test|assert|error|warning)', 'once'))
    printf('%s: help found, no test blocks\n', name);
    continue;
  end
  [passed, total] = test(name, 'quiet');
  if passed ~= total
    error('%s: %d of %d test blocks passed', name, passed, total);
  end
  printf('%s: help found, %d of %d test blocks passed\n', name, passed, total);
end
