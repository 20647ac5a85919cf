% The toolbox's M-files run in MATLAB too: outside their %! blocks they use
% no Octave-only syntax.  The checker itself is tried on a file full of it
% first, so that a checker that flags nothing cannot pass.
bad = [tempname(), '.m'];
fid = fopen(bad, 'w');
fprintf(fid, '%s\n', 'function y = bad(x, n = 2)', 'y = x; # comment', ...
        'if x != 1', '  y++;', 'endif', 's = "text";', 'y += 1;', 'printf(''%d\n'', y);', ...
        'z = x ** 2;', 'w = [1, 2, ...', '  3] \', 'end');
fclose(fid);
found = matlab_syntax_issues(bad);
delete(bad);
printf('%s\n', found{:});
expected = {'default argument', '# (comment', '! or !=', 'increment', 'Octave block keyword', ...
            'double-quoted', 'compound assignment', 'Octave-only function', '** power', ...
            'backslash line continuation'};
for i = 1:numel(expected)
  assert(any(~cellfun(@isempty, strfind(found, expected{i}))), 'the checker misses: %s', expected{i});
end

% MATLAB-clean constructs the checker must not flag.
good = [tempname(), '.m'];
fid = fopen(good, 'w');
fprintf(fid, '%s\n', 'function y = good(x)', '% a comment with # and "quotes" and != too', ...
        'y = x'';  % transpose', 's = ''it''''s # not "a" comment'';', 'if x ~= 1', ...
        '  y = y(2:end) - 1;', 'end', 'if exist(''OCTAVE_VERSION'', ''builtin'')', ...
        '  printf(''Octave only\n''); fflush(stdout);', 'else', '  drawnow(''update'');', ...
        'end', 'end', '%!test', '%! printf ("blocks are Octave\n");');
fclose(fid);
found = matlab_syntax_issues(good);
delete(good);
assert(isempty(found), 'flagged MATLAB-clean code: %s', strjoin(found, '; '));

% The toolbox: matlab/, its private helpers and the M-files beside the MEX files.
here = fileparts(mfilename('fullpath'));
root = fileparts(fileparts(here));
% The MEX folder holds the help files (copies of mexhelp/) and the M-files
% the build generates from templates.
mexDir = fileparts(which('qmv_system_apply'));
files = [dir(fullfile(root, 'matlab', '*.m')); dir(fullfile(root, 'matlab', 'private', '*.m')); ...
         dir(fullfile(mexDir, '*.m'))];
issues = {};
for i = 1:numel(files)
  issues = [issues, matlab_syntax_issues(fullfile(files(i).folder, files(i).name))]; %#ok<AGROW>
end
if ~isempty(issues)
  error('Octave-only syntax in the toolbox:\n%s', strjoin(issues, "\n"));
end
printf('%d toolbox M-files checked: MATLAB syntax only\n', numel(files));
