% issues = matlab_syntax_issues(file): Octave-only syntax in FILE outside its
% %! blocks, as a cell of 'file:line: what' texts (empty when none).
% Checks the code with strings and comments removed; a branch under
% "if exist('OCTAVE_VERSION', 'builtin')" runs in Octave alone and is not
% checked (its else branch is).
function issues = matlab_syntax_issues(file)
lines = strsplit(fileread(file), "\n", 'CollapseDelimiters', false);
rules = {
  '#',                                          '# (comment or operator)'
  '"',                                          'double-quoted string'
  '!',                                          '! or != (use ~ and ~=)'
  '(\+\+|--)\s*($|[;,)])',                      'increment or decrement operator'
  '[-+*/^|&]=',                                 'compound assignment'
  '\*\*',                                       '** power'
  '\\\s*$',                                     'backslash line continuation'
  '(^|[^\w.])(endif|endfor|endwhile|endfunction|endswitch|end_try_catch|end_unwind_protect|unwind_protect|until)\>', 'Octave block keyword'
  '(^|[^\w.])(printf|puts|fputs|fdisp|print_usage|nthargout|isargout|ifelse|merge|postpad|prepad|rindex)\s*\(', 'Octave-only function'
  '^\s*function\>[^%]*\([^)]*=',                'default argument value'
};
issues = {};
depth = 0;
octaveOnly = -1;        % depth of the Octave-only branch being skipped
for i = 1:numel(lines)
  line = lines{i};
  if strncmp(line, '%!', 2)
    break;              % test and demo blocks run in Octave only
  end
  code = strip_strings_and_comment(line, i, file);
  stripped = strtrim(code);
  opens = numel(regexp(code, '(^|[;,]\s*)(if|for|parfor|while|switch|try|function)\>', 'match'));
  closes = numel(regexp(code, '(^|[;,]\s*)end\s*($|[;,])', 'match'));
  if octaveOnly >= 0
    atBranch = depth == octaveOnly + 1 && ~isempty(regexp(stripped, '^(else|elseif)\>', 'once'));
    if atBranch || (depth + opens - closes <= octaveOnly)
      octaveOnly = -1;
    else
      depth = depth + opens - closes;
      continue;
    end
  end
  if ~isempty(regexp(strtrim(line), '^if\s*exist\(\s*''OCTAVE_VERSION''', 'once'))
    octaveOnly = depth;
  end
  depth = depth + opens - closes;
  raw = line;
  for r = 1:size(rules, 1)
    target = code;
    if any(strcmp(rules{r, 2}, {'# (comment or operator)', 'double-quoted string'}))
      target = strip_single_quoted(raw);
    end
    if ~isempty(regexp(target, rules{r, 1}, 'once'))
      issues{end + 1} = sprintf('%s:%d: %s: %s', file, i, rules{r, 2}, strtrim(line)); %#ok<AGROW>
    end
  end
end
end

function code = strip_strings_and_comment(line, ~, ~)
% The code of a line without its single-quoted strings and its % comment.
code = strip_single_quoted(line);
cut = find(code == '%', 1);
if ~isempty(cut)
  code = code(1:cut - 1);
end
end

function out = strip_single_quoted(line)
% Removes the contents of single-quoted strings; a quote after a name, a
% closing bracket, a dot or another quote is a transpose.
out = line;
inside = false;
prev = ' ';
for k = 1:numel(line)
  ch = line(k);
  if inside
    out(k) = ' ';
    if ch == ''''
      if k < numel(line) && line(k + 1) == ''''
        line(k + 1) = ' ';          % doubled quote inside the string
      else
        inside = false;
      end
    end
  elseif ch == '%'
    out(k:end) = ' ';
    out(k) = '%';
    return;
  elseif ch == '''' && ~(isletter(prev) || any(prev == '0123456789_)]}.'''))
    inside = true;
    out(k) = ' ';
  end
  if ch ~= ' '
    prev = ch;
  end
end
end
