#!/usr/bin/env bash
# Hostile files on the desktop and a locked note's words on the X selections, end to end: a desktop
# entry that is a link to a named pipe does not hold a capture, and locking a note takes its selected
# text off PRIMARY (pam_wrapper stands in for the account password).
# Usage (inside scripts/desktop-session.sh): hostile-desktop.sh TARNWICK SEEDER [PAM-WRAPPER-LIB MODULE-DIR]
set -euo pipefail
tarnwick=$1 seeder=$2 pam_library=${3:-} pam_modules=${4:-}

source "$(dirname "$0")/../support/session-lib.sh"
session_begin hostile app screenshot
password="right horse battery"
trap 'fail "command failed on line $LINENO"' ERR
pam_setup "$pam_library" "$pam_modules" "$password" || { echo "SKIP: pam_wrapper is not installed"; exit 0; }

apps="$XDG_DATA_HOME/applications"
mkdir -p "$apps"
mkfifo "$work/pipe"
ln -s "$work/pipe" "$apps/hostile.desktop"

"$seeder" || fail "preparing the store"
launch_pam "$tarnwick"

offer() {
  [ -n "${owner_pid:-}" ] && kill "$owner_pid" 2>/dev/null || true
  printf '%s' "$1" | xclip -quiet -selection primary -i >/dev/null 2>&1 &
  owner_pid=$!
  sleep 0.3
}
captured() { [ "$(sql "SELECT count(*) FROM Capture WHERE text = '$1'")" -ge 1 ]; }

echo "== A capture with a pipe among the desktop entries"
# Text is captured from the window that has the focus: another application's.
xmessage -title Probe "probe window" >/dev/null 2>&1 &
probe_pid=$!
wait_window Probe
probe=$window
chord() {
  xdotool windowactivate --sync "$probe" >/dev/null 2>&1 || true
  xdotool key --clearmodifiers alt+shift+space
}
offer "first words"
# The chord works once the application has grabbed it; a capture held by the pipe never lands.
for _ in $(seq 1 30); do
  chord
  within 20 captured "first words" && break
done
captured "first words" || fail "no capture was stored: the pipe held it"
sleep 2.5  # the capsule goes
offer "second words"
chord
within 20 captured "second words" || fail "the second capture was not stored within 2 s"
kill -0 "$app_pid" || fail "the application did not survive the captures"
kill "$owner_pid" "$probe_pid" 2>/dev/null || true
owner_pid=""

echo "== Locking a note gives up the selection holding its words"
for _ in $(seq 1 30); do
  xdotool key --clearmodifiers alt+shift+n
  within 20 active_is "New Note" && break
done
active_is "New Note" || fail "the new-note hot key opened no note"
xdotool type --delay 30 -- Secret
xdotool key --clearmodifiers Return
xdotool type --delay 30 -- saffron
within 50 active_is Secret || fail "the note is not named Secret"
xdotool key --clearmodifiers shift+Home
sleep 0.5
[ "$(timeout 5 xclip -o -selection primary 2>/dev/null || true)" = saffron ] ||
  fail "the selected word is not on PRIMARY to begin with"
within 50 bash -c "sqlite3 'file:$store?mode=ro' \"SELECT body FROM Note WHERE title = 'Secret'\" | grep -q saffron" ||
  fail "Secret was not saved"
win=$(xdotool search --onlyvisible --name '^Secret$' | head -1)
eval "$(xdotool getwindowgeometry --shell "$win")"
xdotool mousemove --window "$win" $((WIDTH - 43)) 15
sleep 0.2
xdotool click 1
settles_to 30 1 sql "SELECT isLocked FROM Note WHERE title = 'Secret'" || fail "the lock button did not lock Secret"
sleep 0.5
held=$(timeout 5 xclip -o -selection primary 2>/dev/null || true)
[ "$held" != saffron ] || fail "the locked note's word is still offered on PRIMARY"
kill -0 "$app_pid" || fail "the application did not survive the lock"
echo "== Passed"
