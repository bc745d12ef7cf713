#!/usr/bin/env bash
# With a browser open (firefox-esr, clicked last), a window of ours that closes gives the keyboard back
# to the window of ours the user was in, and the words typed next land there, not in the browser: the
# shelf closed by Escape over a note (opened by its hot key, by the tray's "Open Shelf", and over a note
# opened from the shelf with Return), the settings opened over a note from the tray or the shelf, closed
# by Alt+F4, and the unlock of a locked note opened from the shelf (the password, then Return). A plain X client
# (xmessage) never asks for the keyboard; a browser the window manager offers it to takes it.
# Usage (inside scripts/desktop-session.sh): browser-focus.sh TARNWICK PAM_WRAPPER_LIBRARY PAM_MODULE_DIR
set -euo pipefail
tarnwick=$1 pam_library=${2:-} pam_modules=${3:-}
here=$(dirname "$0")

source "$here/../support/session-lib.sh"
source "$here/../capture/browser-profile.sh"
session_begin browserfocus app screenshot
trap 'fail "command failed on line $LINENO"' ERR
command -v firefox-esr >/dev/null 2>&1 || { echo "SKIP: firefox-esr is not installed"; exit 0; }
password="right horse battery"
pam_setup "$pam_library" "$pam_modules" "$password" || { echo "SKIP: pam_wrapper is not installed"; exit 0; }

browser_pid=""
trap 'stop_process browser_pid; session_cleanup' EXIT

# The page's field takes the keyboard when the browser has it, and names the window after what is typed
# into it: a word the browser got shows in its title.
cat >"$work/page.html" <<'HTML'
<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>Plain page</title></head>
<body><textarea autofocus style="width:90%;height:300px"
 oninput="document.title = 'Typed ' + this.value"></textarea></body></html>
HTML
profile=$(firefox_profile "$work" 640x600+600+120)
# The session's accessibility is off, as on most desktops. The browser would start the accessibility bus
# all the same (asked on the session bus): it is given no session bus, which changes nothing of how it
# takes the keyboard.
DBUS_SESSION_BUS_ADDRESS="unix:path=$work/no-bus" GNOME_ACCESSIBILITY=0 NO_AT_BRIDGE=1 firefox-esr --new-instance --profile "$profile" "file://$work/page.html" \
  >>"$work/browser.log" 2>&1 &
browser_pid=$!
browser=""
for _ in $(seq 1 900); do
  browser=$(xdotool search --onlyvisible --name '^Plain page — Mozilla Firefox$' 2>/dev/null | head -1 || true)
  [ -n "$browser" ] && break
  kill -0 "$browser_pid" 2>/dev/null || fail "the browser exited: $(tail -5 "$work/browser.log")"
  sleep 0.1
done
[ -n "$browser" ] || fail "the browser showed no window"

launch_pam "$tarnwick"

browser_untouched() {
  [ "$(xdotool getwindowname "$browser" 2>/dev/null)" = "Plain page — Mozilla Firefox" ] ||
    fail "$1: the browser got the keys (it reads \"$(xdotool getwindowname "$browser")\")"
}
# A click in the browser's field, as the user's last move there.
use_browser() {
  xdotool mousemove --window "$browser" 300 200 click 1
  within 100 active_is "Plain page — Mozilla Firefox" || fail "the browser did not take the keyboard"
}
# A click in the middle of note window $1 (on its title strip with "strip": a locked note's panel holds
# its Unlock button), which has the keyboard afterwards.
use_note() {
  eval "$(xdotool getwindowgeometry --shell "$1")"
  local y=$((HEIGHT / 2))
  [ "${2:-}" = strip ] && y=12
  xdotool mousemove --window "$1" $((WIDTH / 2)) "$y" click 1
  settles_to 100 "$1" xdotool getactivewindow || fail "the note $1 did not take the keyboard at a click"
}
body_of() { sql "SELECT body FROM Note WHERE title = '$1'"; }
body_has() { body_of "$1" | grep -q -- "$2"; }
shelf_shown() { [ -n "$(xdotool search --onlyvisible --name '^Tarnwick shelf$' 2>/dev/null)" ]; }
shelf_gone() { ! shelf_shown; }
# The window $1 (named $2) has the keyboard after $3, and a word typed then lands in note $2.
types_into() {
  settles_to 100 "$1" xdotool getactivewindow ||
    fail "$3: \"$(xdotool getactivewindow getwindowname 2>/dev/null || echo nothing)\" has the keyboard, not $2"
  xdotool type --delay 40 " $4"
  within 100 body_has "$2" "$4" || fail "$3: the word $4 did not reach $2 (its body: $(body_of "$2"))"
  browser_untouched "$3"
}

# Two notes, Alpha and Beta, typed after the new-note key; the window shows Beta.
open_new_note
xdotool type --delay 30 Alpha
xdotool key Return
xdotool type --delay 30 "alpha body"
within 100 active_is Alpha || fail "the first note is not named Alpha"
open_new_note "second note"
xdotool type --delay 30 Beta
xdotool key Return
xdotool type --delay 30 "beta body"
within 100 active_is Beta || fail "the second note is not named Beta"
note=$(xdotool getactivewindow) title=Beta
within 100 body_has Beta "beta body" || fail "Beta was not saved"

echo "== 1. The shelf over a note, by its hot key and by the tray's Open Shelf, closed by Escape"
for round in 1 2 3; do
  for opener in key tray; do
    use_browser
    use_note "$note"
    if [ "$opener" = key ]; then xdotool key --clearmodifiers alt+shift+s; else tray_menu && press Down Return; fi
    within 100 active_is "Tarnwick shelf" || fail "round $round ($opener): the shelf did not take the keyboard"
    xdotool key Escape
    within 100 shelf_gone || fail "round $round ($opener): Escape left the shelf open"
    types_into "$note" Beta "round $round, shelf by $opener closed by Escape" "shelf$opener$round"
  done
done

echo "== 2. A note opened from the shelf with Return, then the shelf again, closed by Escape"
for round in 1 2 3 4 5; do
  [ $((round % 2)) = 1 ] && title=Alpha || title=Beta
  use_browser
  use_note "$note"
  xdotool key --clearmodifiers alt+shift+s
  within 100 active_is "Tarnwick shelf" || fail "round $round: the shelf did not take the keyboard"
  xdotool key ctrl+a
  xdotool type --delay 40 "$title"
  sleep 0.5
  xdotool key Down Return
  within 100 active_is "$title" || fail "round $round: Return in the shelf did not open $title"
  note=$(xdotool getactivewindow)
  xdotool key --clearmodifiers alt+shift+s
  within 100 active_is "Tarnwick shelf" || fail "round $round: the shelf did not open again over $title"
  xdotool key Escape
  types_into "$note" "$title" "round $round, shelf over $title opened from the shelf" "return$round"
done

echo "== 3. The settings opened over a note, from the tray and from the shelf (Ctrl+,), closed by Alt+F4"
for round in 1 2 3 4; do
  use_browser
  use_note "$note"
  if [ $((round % 2)) = 1 ]; then
    opener=tray
    open_settings_from_tray
  else
    opener=shelf
    xdotool key --clearmodifiers alt+shift+s
    within 100 active_is "Tarnwick shelf" || fail "round $round: the shelf did not take the keyboard"
    xdotool key --clearmodifiers ctrl+comma
  fi
  within 100 active_is "Tarnwick Settings" || fail "round $round: the settings from the $opener did not take the keyboard"
  xdotool key --clearmodifiers alt+F4
  within 100 test -z "$(xdotool search --onlyvisible --name '^Tarnwick Settings$' 2>/dev/null)" ||
    fail "round $round: Alt+F4 left the settings open"
  types_into "$note" "$title" "round $round, settings from the $opener closed by Alt+F4" "settings$opener$round"
done

echo "== 4. A locked note opened from the shelf, unlocked with the password and Return"
# A locked note for each round, locked by its head row's lock button.
for round in 1 2 3; do
  open_new_note "note Secret$round"
  xdotool type --delay 30 "Secret$round"
  xdotool key Return
  xdotool type --delay 30 "hidden words"
  within 100 active_is "Secret$round" || fail "the note is not named Secret$round"
  within 100 body_has "Secret$round" "hidden words" || fail "Secret$round was not saved"
  note=$(xdotool getactivewindow)
  eval "$(xdotool getwindowgeometry --shell "$note")"
  xdotool mousemove --window "$note" $((WIDTH - 43)) 15 click 1
  settles_to 100 1 sql "SELECT isLocked FROM Note WHERE title = 'Secret$round'" || fail "the lock button did not lock Secret$round"
done
updated() { sql "SELECT updatedAt FROM Note WHERE title = 'Secret$1'"; }
changed() { [ "$(updated "$1")" != "$2" ]; }
for round in 1 2 3; do
  use_browser
  use_note "$note" strip
  xdotool key --clearmodifiers alt+shift+s
  within 100 active_is "Tarnwick shelf" || fail "round $round: the shelf did not open"
  xdotool key ctrl+a
  xdotool type --delay 40 "Secret$round"
  sleep 0.5
  xdotool key Down Return
  within 100 active_is "Secret$round" || fail "round $round: the shelf did not open the locked Secret$round"
  note=$(xdotool getactivewindow)
  # The head row's lock, which unlocks a locked note (alone at the right end of a locked note's row). The
  # window slides from the note it showed: a click that met the other note's button there is made again.
  eval "$(xdotool getwindowgeometry --shell "$note")"
  for _ in $(seq 1 10); do
    xdotool mousemove --window "$note" $((WIDTH - 20)) 15 click 1
    within 30 active_is "Unlock Note" && break
  done
  within 100 active_is "Unlock Note" || fail "round $round: no password prompt"
  xdotool type --delay 30 "$password"
  xdotool key Return
  within 100 test -z "$(xdotool search --onlyvisible --name '^Unlock Note$' 2>/dev/null)" ||
    fail "round $round: the password prompt stayed open"
  settles_to 100 "$note" xdotool getactivewindow ||
    fail "round $round: after the unlock \"$(xdotool getactivewindow getwindowname 2>/dev/null || echo nothing)\" has the keyboard"
  before=$(updated "$round")
  xdotool type --delay 40 " unlocked$round"
  within 100 changed "$round" "$before" || fail "round $round: the words typed after the unlock did not reach Secret$round"
  browser_untouched "round $round, unlock"
done
echo "PASS"
