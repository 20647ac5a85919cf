% Every help example runs as printed: for each public function of the
% toolbox (the M-files of matlab/ and the help files beside the MEX files),
% the lines under "Example:" / "Examples:" in its help are executed in a
% scratch folder, and its %!demo blocks run as well.  (The MEX folder
% holds copies of mexhelp/.)

here = fileparts(mfilename('fullpath'));
root = fileparts(fileparts(here));
% The MEX folder also holds the M-files the build generates (qmv_version).
mexDir = fileparts(which('qmv_system_apply'));
files = [dir(fullfile(root, 'matlab', '*.m')); dir(fullfile(mexDir, '*.m'))];
names = cellfun(@(f) f(1:end - 2), {files.name}, 'UniformOutput', false);
names = setdiff(names, {'Contents'});

% The example code of a help text: the lines after a line "Example...:"
% up to the first empty comment line or "See also", without the indent.
function code = example_code(text)
  lines = strsplit(text, "\n", "CollapseDelimiters", false);
  code = {};
  inside = false;
  for i = 1:numel(lines)
    line = lines{i};
    if ~inside
      inside = ~isempty(regexp(line, '^\s*Examples?( \(.*\))?:\s*$', 'once'));
      continue;
    end
    if isempty(strtrim(line)) || ~isempty(regexp(line, '^\s*See also', 'once'))
      break;
    end
    code{end + 1} = regexprep(line, '^\s{1,5}', ''); %#ok<AGROW>
  end
  code = strjoin(code, "\n");
end

function run_example(code__)
  % A function of its own: the example sees no variable of the test.
  evalc(code__);
end

scratch = tempname();
mkdir(scratch);
old = cd(scratch);
cleanup = onCleanup(@() cd(old));
ran = 0;
for i = 1:numel(names)
  name = names{i};
  code = example_code(get_help_text(name));
  assert(~isempty(code), 'the help of %s has no example', name);
  try
    run_example(code);
  catch err
    error('the help example of %s fails: %s\n%s', name, err.message, code);
  end
  ran = ran + 1;
  % The blocks of a MEX function live in the .m file beside it.
  [folder, base] = fileparts(which(name));
  blocks = numel(regexp(fileread(fullfile(folder, [base, '.m'])), '(^|\n)%!demo', 'match'));
  for b = 1:blocks
    try
      evalc(sprintf('demo(''%s'', %d);', name, b));
    catch err
      error('%!demo block %d of %s fails: %s', b, name, err.message);
    end
  end
  printf('%s: help example and %d demo blocks ran\n', name, blocks);
end
assert(ran >= 10, 'only %d help examples found', ran);
clear cleanup;
confirm_recursive_rmdir(false);
rmdir(scratch, 's');
