% Every MEX function has its help beside it and its test blocks pass against
% the MEX file: `help name` shows the syntax, `test name` runs the blocks.
names = {'qmv_system_apply', 'qmv_scatter_nearest', 'qmv_motion_field', 'dpx_guided_smooth'};
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
