#!/usr/bin/env bash
# Editor faults a user met, driven on the real application: choosing "Lock · Password" from the slash
# menu, pasting a named pipe (and a socket and /dev/zero) from the clipboard, and typing after making a
# selection bold. Tarnwick must still be running after each, answer on its bus name, and have stored
# what was typed.
# Usage (inside scripts/desktop-session.sh): editor-faults.sh TARNWICK SEEDER PAM_WRAPPER_LIBRARY PAM_MODULE_DIR
set -euo pipefail
tarnwick=$1 seeder=$2 pam_library=${3:-} pam_modules=${4:-}

source "$(dirname "$0")/../../support/session-lib.sh"
session_begin editorfaults app screenshot
trap 'fail "command failed on line $LINENO"' ERR

# Locking needs an account password to check against later: pam_matrix knows one.
pam_setup "$pam_library" "$pam_modules" "secret words" || { echo "SKIP: pam_wrapper is not installed"; exit 0; }
"$seeder" || fail "preparing the store"
launch_pam "$tarnwick"

running() { kill -0 "$app_pid" 2>/dev/null || fail "Tarnwick is no longer running"; }
answers() {
  timeout 1 dbus-send --session --print-reply --dest=com.fennmoor.Tarnwick /com/fennmoor/Tarnwick \
    org.freedesktop.DBus.Introspectable.Introspect >/dev/null 2>&1
}
new_note() {
  for _ in $(seq 1 30); do
    xdotool key --clearmodifiers alt+shift+n
    within 20 active_is "New Note" && return 0
    sleep 0.5
  done
  fail "the new-note hot key opened no note"
}
keys() {
  for key in "$@"; do
    xdotool key --clearmodifiers "$key"
    sleep 0.15
  done
}
body_of() { sql "SELECT body FROM Note WHERE title = '$1' AND isTrashed = 0"; }

# (1) "a", Return, "b", Return, "/", then "Lock · Password" (the menu's last item) with the keys.
new_note
xdotool type --delay 40 "a"
keys Return
xdotool type --delay 40 "b"
keys Return slash
sleep 0.6
keys Up Return
sleep 1
running
settles_to 150 1 sql "SELECT isLocked FROM Note WHERE title = 'a'" || fail "the slash menu did not lock the note"
within 20 answers || fail "Tarnwick does not answer on its bus name after the lock"

# (2) A named pipe, a socket and /dev/zero on the clipboard: a paste comes back at once, pastes
# nothing and loses nothing typed after it.
mkfifo "$work/p"
python3 -c 'import socket,sys; s=socket.socket(socket.AF_UNIX); s.bind(sys.argv[1])' "$work/s.sock"
new_note
xdotool type --delay 40 "Pipe"
keys Return
for target in "$work/p" "$work/s.sock" /dev/zero; do
  printf 'file://%s\n' "$target" | xclip -selection clipboard -t text/uri-list
  sleep 0.3
  keys ctrl+v
  sleep 0.5
  running
  within 10 answers || fail "Tarnwick hangs after pasting $target"
done
xdotool type --delay 40 "ok"
settles_to 150 "ok" body_of Pipe || fail "the Pipe note holds '$(body_of Pipe)', not 'ok'"

# (3) "word", Home, Shift+End, Ctrl+B, End, "Z": the bold word stays and Z follows it.
new_note
xdotool type --delay 40 "Bold"
keys Return
xdotool type --delay 40 "word"
keys Home shift+End ctrl+b End
xdotool type --delay 40 "Z"
settles_to 150 "wordZ" body_of Bold || fail "the Bold note holds '$(body_of Bold)', not 'wordZ'"
import -window root "$work/bold.png"
# Undo and redo as fast as a held key: 300 presses 8 ms apart leave the same text.
xdotool key --clearmodifiers --delay 8 --repeat 150 ctrl+z ctrl+shift+z
sleep 1
running
settles_to 150 "wordZ" body_of Bold || fail "undo and redo at speed left '$(body_of Bold)'"

running
answers || fail "Tarnwick does not answer on its bus name"
# What was typed is in the store after a relaunch, too.
stop_app
launch_pam "$tarnwick"
within 100 answers || fail "Tarnwick did not start again"
[ "$(body_of Bold)" = "wordZ" ] && [ "$(body_of Pipe)" = "ok" ] || fail "the typed bodies did not survive a relaunch"
if [ -n "${TARNWICK_KEEP_SHOTS:-}" ]; then cp "$work"/*.png "$TARNWICK_KEEP_SHOTS"/; fi
echo "PASS"
