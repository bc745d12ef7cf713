#!/usr/bin/env bash
# The failure handling of the end-to-end scripts' shared library, on small made-up scripts run with its
# ERR trap under set -E: a command that fails inside a substitution is left to the line that used it,
# and only the script's own shell reports a failure (once) and stops the application.
# Usage: SessionLibTest.sh SESSION_LIB
set -uo pipefail
lib=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export XDG_DATA_HOME="$scratch/data" XDG_CONFIG_HOME="$scratch/config"
faults=0

# Runs the script body $2 (after the usual head, with a stand-in application launched); $1 names the case.
# Leaves the output in $out, the status in $status and the stand-in's pid in $app.
run_case() {
  cat >"$scratch/case.sh" <<SCRIPT
set -Eeuo pipefail
source "$lib"
session_begin lib-case
trap 'step_failed \$LINENO' ERR
launch ${stand_in:-sleep 60}
echo "\$app_pid" >"$scratch/app"
$2
SCRIPT
  out=$(bash ${TRACE:+-x} "$scratch/case.sh" 2>&1)
  status=$?
  app=$(cat "$scratch/app" 2>/dev/null || echo 0)
  rm -f "$scratch/app"
}
check() {
  local what=$1
  shift
  "$@" && return 0
  echo "FAULT: $case: $what (status $status, output:)"
  printf '%s\n' "$out" | sed 's/^/  | /'
  faults=$((faults + 1))
}
fails_once() { [ "$status" -ne 0 ] && [ "$(grep -c '^FAIL' <<<"$out")" -eq 1 ]; }
app_stopped() { ! kill -0 "$app" 2>/dev/null; }

case="a window list that fails part way"
run_case "$case" 'for w in $(echo 1; false); do [ "$w" = 1 ]; done
kill -0 "$app_pid"
echo went-on'
check "the script did not go on with the app running" grep -qx went-on <<<"$out"
check "it failed" [ "$status" -eq 0 ]
check "it said FAIL" bash -c '! grep -q FAIL <<<"$1"' _ "$out"

case="a substitution whose status the line uses"
run_case "$case" 'value=$(false)
echo not-reached'
check "it was not reported once" fails_once
check "it went on" bash -c '! grep -q not-reached <<<"$1"' _ "$out"
check "the app still runs" app_stopped

case="fail inside a substitution"
run_case "$case" 'value=$(sleep 0.1; fail "the reason given deep down")
echo not-reached'
check "it was not reported once" fails_once
check "the reason was not said once" [ "$(grep -c 'the reason given deep down' <<<"$out")" -eq 1 ]
check "the app still runs" app_stopped

case="fail in a subshell whose status is dropped"
run_case "$case" '( fail "lost on the way" ) || true
kill -0 "$app_pid"'
check "it passed" [ "$status" -ne 0 ]
check "the reason was not said" grep -q 'FAIL (in a subshell): lost on the way' <<<"$out"
check "the app still runs" app_stopped

case="fail in the script's shell"
run_case "$case" 'fail "plainly"'
check "it was not reported once" fails_once
check "the app still runs" app_stopped

# A SIGTERM sent while the forked child has not yet become the program is lost; the stand-in lasts a
# minute, so a stop that waited on that signal would show here (and in the script's time limit).
case="stop_app right after launch"
start=$SECONDS
run_case "$case" 'stop_app
for _ in $(seq 1 20); do
  launch sleep 60
  stop_app
done
echo stopped'
check "it failed" [ "$status" -eq 0 ]
check "it did not go on" grep -qx stopped <<<"$out"
check "the app still runs" app_stopped
check "a stop waited for the stand-in to end by itself" [ $((SECONDS - start)) -lt 30 ]

case="a program that does not end on SIGTERM"
stand_in="bash -c 'trap \"\" TERM; sleep 60 & wait'" run_case "$case" 'app_stop_seconds=1
sleep 0.5
stop_app'
check "it was not reported once" fails_once
check "the reason was not said" grep -q 'did not end within 1 s of SIGTERM; killed' <<<"$out"
check "the app still runs" app_stopped

[ "$faults" -eq 0 ] && echo "all cases hold"
exit $((faults > 0))
