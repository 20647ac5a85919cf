# Makes the Octave package from the source tree, installs it with pkg into a
# scratch prefix (-local, with its own local list: the user's list is never
# written; the global one is read, for the parallel package), loads it and runs
# the test blocks of every function its contents list names, from the
# installed files alone.
#   -DSOURCE_DIR=... -DBUILD_DIR=... -DOCTAVE=...
set(scratch ${BUILD_DIR}/package-test)
file(REMOVE_RECURSE ${scratch})
file(MAKE_DIRECTORY ${scratch})
execute_process(
  COMMAND ${SOURCE_DIR}/scripts/package -o ${scratch} -b ${BUILD_DIR}
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "scripts/package failed:\n${out}${err}")
endif()
file(GLOB tarball ${scratch}/qmv-*.tar.gz)

set(code "
pkg('prefix', fullfile('${scratch}', 'share'), fullfile('${scratch}', 'lib'));
pkg('local_list', fullfile('${scratch}', 'local_packages'));
try
  pkg('install', '-local', '${tarball}');
  pkg('load', 'qmv');
  root = '${scratch}';
  names = regexp(fileread(which('Contents.m')), '(?m)^%   (\\w+)\\s+- ', 'tokens');
  names = cellfun(@(t) t{1}, names, 'UniformOutput', false);
  assert(numel(names) >= 15, 'only %d functions in Contents.m', numel(names));
  cd(tempdir());
  for i = 1:numel(names)
    where = which(names{i});
    assert(strncmp(where, root, numel(root)), '%s is %s, not from the package', names{i}, where);
    assert(! isempty(get_help_text(names{i})), '%s has no help', names{i});
    [passed, total] = test(names{i}, 'quiet');
    if passed != total
      error('%s: %d of %d test blocks passed', names{i}, passed, total);
    end
    printf('%-20s %s: %d of %d test blocks passed\\n', names{i}, where(numel(root) + 2:end), passed, total);
  end
  assert(strcmp(qmv_version(), pkg('describe', 'qmv'){1}.version), 'version and package disagree');
catch err
  disp(err.message);
  exit(1);
end
exit(0);
")
execute_process(
  COMMAND ${OCTAVE} --no-gui --norc --no-history --quiet --no-window-system --eval "${code}"
  WORKING_DIRECTORY ${scratch}
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
message("${out}")
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the installed package failed (exit status ${rc}):\n${err}")
endif()
