#!/usr/bin/env bash
# settings.json that is a named pipe, at launch and put there while Tarnwick runs: the application
# starts (tray icon up), keeps answering (a second launch is told "come forward" within its wait),
# never opens the pipe to read or replaces it, and still quits at once on SIGTERM.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lib.sh"
trap '[ -n "${pid:-}" ] && kill -KILL "$pid" 2>/dev/null; [ -n "$tray_pid" ] && kill "$tray_pid" 2>/dev/null; true' EXIT

settings=$XDG_CONFIG_HOME/tarnwick/settings.json
mkdir -p "$(dirname "$settings")"
ensure_tray

# The main thread answers a second launch over D-Bus; a thread held in open() could not.
answers() {
  timeout 15 "$TARNWICK_EXECUTABLE" >/dev/null 2>&1
}
still_a_pipe() { [ -p "$settings" ] || fail "settings.json is no longer the pipe it was: $(ls -l "$(dirname "$settings")")"; }

echo "== A pipe in place of settings.json at launch"
rm -f "$settings"
mkfifo "$settings"
log=$(mktemp)
"$TARNWICK_EXECUTABLE" >"$log" 2>&1 &
pid=$!
wait_for 20 tray_icon_shown "$pid" || fail "no tray icon with a pipe for settings: $(cat "$log")"
answers || fail "the application does not answer with a pipe for settings: $(cat "$log")"
still_a_pipe
grep -q "Settings file was unreadable and was left as it is: it is not a regular file" "$log" ||
  fail "the pipe was not reported: $(cat "$log")"
terminate_promptly "$pid" 5
pid=
still_a_pipe
rm -f "$settings"

echo "== A pipe put in place of settings.json while the application runs"
"$TARNWICK_EXECUTABLE" >"$log" 2>&1 &
pid=$!
wait_for 20 tray_icon_shown "$pid" || fail "no tray icon: $(cat "$log")"
wait_for 10 test -f "$settings" || true
# Made beside and renamed over the file in one step: the running application may write settings.json
# at any moment, and a remove-then-make would race that write.
mkfifo "$settings.pipe"
mv -f "$settings.pipe" "$settings"
sleep 1  # the folder's watcher has seen the change and looked again
answers || fail "the application stopped answering once settings.json became a pipe: $(cat "$log")"
still_a_pipe
terminate_promptly "$pid" 5
pid=
still_a_pipe
echo "settings-pipe: ok"
