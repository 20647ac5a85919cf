# Shared by scripts/fuzz-smoke and scripts/fuzz: builds the libFuzzer targets
# and runs one of them for a bounded time. Sourced, not run.

FUZZ_BUILD=${QMV_FUZZ_BUILD:-build-fuzz}

# Configures and builds every fuzz target that exists; prints the module names
# of those that built. A target that fails to build is reported on the error
# stream, named in FUZZ_BUILD_FAILED (a file), and left out.
fuzz_build_targets() {
  CC=clang CXX=clang++ cmake -S . -B "$FUZZ_BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DQMV_FUZZ=ON -DQMV_SANITIZE=address,undefined -DQMV_BUILD_BENCH=OFF >/dev/null
  local targets t
  targets=$(cmake --build "$FUZZ_BUILD" --target help | grep -oE '\bfuzz_[a-z_]+\b' | sort -u)
  [ -n "$targets" ] || { echo "no fuzz targets: no module is built" >&2; return 1; }
  FUZZ_BUILD_FAILED=$FUZZ_BUILD/fuzz-build-failed
  : >"$FUZZ_BUILD_FAILED"
  for t in $targets; do
    if cmake --build "$FUZZ_BUILD" -j"$(nproc)" --target "$t" >"$FUZZ_BUILD/$t-build.log" 2>&1; then
      echo "${t#fuzz_}"
    else
      echo "fuzz ${t#fuzz_}: BUILD FAILED" >&2
      grep -E 'error|Error' "$FUZZ_BUILD/$t-build.log" | head -20 >&2
      echo "${t#fuzz_}" >>"$FUZZ_BUILD_FAILED"
    fi
  done
}

# fuzz_run <module> <seconds> <work dir>: runs the target from the seed corpus
# (read only) into <work dir>/<module>/; prints "<executions> <status>".
# Findings are kept as <work dir>/<module>-crash-*, -leak-*, -timeout-*, -oom-*.
fuzz_run() {
  local module=$1 seconds=$2 work=$3 status=0
  mkdir -p "$work/$module"
  ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1} \
  UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1} \
    "$FUZZ_BUILD/tests/fuzz/fuzz_$module" -max_total_time="$seconds" -timeout=10 \
      -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$work/$module-" \
      "$work/$module" "tests/fuzz/corpus/$module" >"$work/$module.log" 2>&1 || status=$?
  local execs
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/$module.log" | tail -1)
  echo "${execs:-0} $status"
}

# fuzz_report_finding <module> <work dir>: the end of the log and each finding
# input in base64, so that a CI log is enough to reproduce it.
fuzz_report_finding() {
  local module=$1 work=$2 f
  echo "---- $module: end of the fuzzer log ----"
  tail -n 60 "$work/$module.log"
  for f in "$work/$module"-*; do
    [ -f "$f" ] || continue
    echo "---- finding $(basename "$f") (base64) ----"
    base64 -w 76 "$f"
  done
}
