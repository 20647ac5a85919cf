# Runs one Octave test script in a fresh octave-cli; fails on error, signal or
# any "fatal:" / "panic:" line (an interpreter that died inside a MEX call).
# The MEX folder holds the modules with their help files; matlab/ the M-code.
set(code "addpath('${MEX_DIR}', '${SOURCE_DIR}/matlab', '${SOURCE_DIR}/tests/octave'); \
try, source('${SCRIPT}'); catch err, disp(err.message); exit(1); end; exit(0);")
execute_process(
  COMMAND ${OCTAVE} --no-gui --norc --no-history --quiet --no-window-system --eval "${code}"
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
message("${out}")
if(err)
  message("${err}")
endif()
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "Octave test ${SCRIPT} failed (exit status ${rc})")
endif()
if("${out}${err}" MATCHES "(^|\n)(fatal|panic):")
  message(FATAL_ERROR "Octave test ${SCRIPT}: the interpreter reported a fatal error")
endif()
