#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: unit, widget and integration tests in the
# normal build, then the unit tests and a short run of every fuzzer in the ASan+UBSan build. Both
# builds treat a compiler warning as an error, so the build stays warning-free.
# Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh test

jobs=$(nproc)
fuzz_seconds=${TARNWICK_FUZZ_SECONDS:-15}

echo "== Sanitizer build (ASan + UBSan, clang)"
CC=clang CXX=clang++ cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DTARNWICK_SANITIZE=ON -DTARNWICK_FUZZ=ON -DTARNWICK_BENCH=OFF -DTARNWICK_WERROR=ON >/dev/null
# Only what this build runs: the unit test executables (with the programs they start) and the fuzzers.
cmake --build build-asan -j"$jobs" --target unit_tests fuzzers
export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
(cd build-asan && ctest -L unit --output-on-failure -j"$jobs")

echo "== Fuzzers (${fuzz_seconds}s each, $jobs at a time)"
# Each fuzzer runs on a core of its own for its full time, so running them side by side fuzzes as much.
fuzz_logs=build-asan/fuzz-logs
mkdir -p "$fuzz_logs"
run_fuzzer() {
  local fuzzer=$1 name corpus rc
  name=$(basename "$fuzzer")
  corpus="build-asan/fuzz-corpus/$name"
  mkdir -p "$corpus"
  [ -d "fuzz/corpus/$name" ] && cp -n fuzz/corpus/"$name"/* "$corpus"/ 2>/dev/null || true
  rc=0
  "$fuzzer" -max_total_time="$fuzz_seconds" -print_final_stats=0 "$corpus" >"$fuzz_logs/$name.log" 2>&1 || rc=$?
  echo "$rc" >"$fuzz_logs/$name.rc"
}
fuzzers=()
for fuzzer in build-asan/fuzz/*Fuzzer; do
  [ -x "$fuzzer" ] || continue
  fuzzers+=("$fuzzer")
  run_fuzzer "$fuzzer" &
  while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n || true; done
done
wait
fuzz_failed=0
for fuzzer in "${fuzzers[@]}"; do
  name=$(basename "$fuzzer")
  echo "-- $name"
  if [ "$(cat "$fuzz_logs/$name.rc")" -eq 0 ]; then
    tail -n 3 "$fuzz_logs/$name.log"
  else
    tail -n 60 "$fuzz_logs/$name.log"
    echo "$name failed (whole output: $fuzz_logs/$name.log)"
    fuzz_failed=1
  fi
done
[ "$fuzz_failed" -eq 0 ]
unset ASAN_OPTIONS UBSAN_OPTIONS

echo "== Build (RelWithDebInfo, gcc)"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARNWICK_WERROR=ON >/dev/null
cmake --build build -j"$jobs"
echo "== All tests"
# A test that fails is run once more before the run counts as failed: the desktop-session tests
# share one machine with everything else, and a failure on the second run is a real one. Both runs'
# output stays in the log.
log=build/Testing/all-tests.log
mkdir -p build/Testing
status=0
(cd build && ctest --output-on-failure -j"$jobs" --repeat until-pass:2) 2>&1 | tee "$log" || status=$?
# A test that passed only on its second run is flaky: it is named at the end, so it is seen and mended.
# ctest prints one result line per run of a test: "[i/n] Test #k: name ....   Passed" or "...***Failed".
flaky=$(sed -nE 's/^([0-9]+\/[0-9]+ )?[[:space:]]*Test +#[0-9]+: ([^ ]+) [.]+ *(.*)$/\2 \3/p' "$log" |
  awk '{ if ($2 ~ /^Passed/) passed[$1] = 1; else failed[$1] = 1 } END { for (t in failed) if (t in passed) print t }' |
  sort)
if [ -n "$flaky" ]; then
  echo "== Passed only on their second run (flaky; both runs are in $log):"
  printf '  %s\n' $flaky
fi
exit "$status"
