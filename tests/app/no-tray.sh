#!/usr/bin/env bash
# A desktop without a tray: the launch warns on standard error (even a quiet launch) and opens the
# shelf once, so the user sees Tarnwick runs. Runs the real program on an X server of its own with a
# window manager but no tray, beside the session's bus and keyring.
# Usage (inside scripts/desktop-session.sh): no-tray.sh TARNWICK
set -euo pipefail
tarnwick=$1

source "$(dirname "$0")/../support/session-lib.sh"
session_begin no-tray app
unset TARNWICK_LOG QT_LOGGING_RULES

displayfile="$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$displayfile" 2>"$work/xvfb.log" &
xvfb_pid=$!
wm_pid=
# The program stops before its X server goes, or it reports the broken connection as it ends.
trap 'status=$?; stop_app; [ -n "$wm_pid" ] && kill "$wm_pid" 2>/dev/null; kill "$xvfb_pid" 2>/dev/null; (exit $status); session_cleanup' EXIT
within 100 test -s "$displayfile" || fail "no X server of its own"
export DISPLAY=":$(head -n1 "$displayfile")"
# Under load the window manager can lose a race with its new X server and give up: started again then,
# as the desktop session does. The bound is only against a hang.
start_wm() {
  openbox --sm-disable >>"$work/openbox.log" 2>&1 &
  wm_pid=$!
}
wm_up() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }
start_wm
for _ in $(seq 1 600); do
  wm_up && break
  kill -0 "$wm_pid" 2>/dev/null || start_wm
  sleep 0.1
done
wm_up || fail "no window manager: $(tail -5 "$work/openbox.log")"

shelf_shown() { xdotool search --onlyvisible --name '^Tarnwick shelf$' >/dev/null 2>&1; }
launch "$tarnwick"
within 200 shelf_shown || fail "the shelf did not open"
within 50 grep -q "No system tray is available yet" "$log" || fail "no warning about the missing tray"
# Once: closing the shelf leaves it closed.
xdotool windowactivate --sync "$(xdotool search --onlyvisible --name '^Tarnwick shelf$' | head -n1)" 2>/dev/null || true
xdotool key Escape
within 50 bash -c "! xdotool search --onlyvisible --name '^Tarnwick shelf\$' >/dev/null 2>&1" || fail "the shelf did not close"
sleep 1
! shelf_shown || fail "the shelf opened again"
[ "$(grep -c "No system tray is available yet" "$log")" -eq 1 ] || fail "the warning was repeated"
echo "no-tray: ok"
