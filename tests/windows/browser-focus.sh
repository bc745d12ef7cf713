#!/usr/bin/env bash
# With a browser open (firefox-esr, clicked last), a window of ours that closes gives the keyboard back
# to the window of ours the user was in, and the words typed next land there, not in the browser: the
# shelf closed by Escape over a note (opened by its hot key, by the tray's "Open Shelf", and over a note
# opened from the shelf with Return), the settings opened over a note from the tray or the shelf, closed
# by Alt+F4, the unlock of a locked note opened from the shelf (the password, then Return), and the
# shelf the replayed tour's finish opens over the settings, closed by Escape. A plain X client
# (xmessage) never asks for the keyboard; a browser the window manager offers it to takes it.
# Usage (inside scripts/desktop-session.sh): browser-focus.sh TARNWICK PAM_WRAPPER_LIBRARY PAM_MODULE_DIR
set -euo pipefail
tarnwick=$1 pam_library=${2:-} pam_modules=${3:-}
here=$(dirname "$0")

source "$here/../support/session-lib.sh"
source "$here/../capture/browser-profile.sh"
session_begin browserfocus app screenshot
trap 'step_failed $LINENO' ERR
require_command firefox-esr
password="right horse battery"
pam_setup "$pam_library" "$pam_modules" "$password"

browser_pid=""
trap 'status=$?; stop_process browser_pid; (exit $status); session_cleanup' EXIT

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
wait_browser_window "$browser_pid" 'Plain page — Mozilla Firefox' "$work/browser.log"
browser=$browser_window

launch_pam "$tarnwick"

browser_untouched() {
  [ "$(xdotool getwindowname "$browser" 2>/dev/null)" = "Plain page — Mozilla Firefox" ] ||
    fail "$1: the browser got the keys (it reads \"$(xdotool getwindowname "$browser")\")"
}
# A click in the browser's field, as the user's last move there (at its left edge, which the settings
# window leaves uncovered).
use_browser() {
  xdotool mousemove --window "$browser" 20 300 click 1
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
shown() { [ -n "$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null)" ]; }
gone() { ! shown "$1"; }
shelf_gone() { gone "Tarnwick shelf"; }
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
  within 100 gone "Tarnwick Settings" ||
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
  # The lock panel's Unlock, under the title. The window slides from the note it showed: a click that met
  # that note's body is made again.
  for _ in $(seq 1 10); do
    xdotool mousemove --window "$note" 60 134 click 1
    within 30 active_is "Unlock Note" && break
  done
  within 100 active_is "Unlock Note" || fail "round $round: no password prompt"
  xdotool type --delay 30 "$password"
  xdotool key Return
  within 100 gone "Unlock Note" ||
    fail "round $round: the password prompt stayed open"
  settles_to 100 "$note" xdotool getactivewindow ||
    fail "round $round: after the unlock \"$(xdotool getactivewindow getwindowname 2>/dev/null || echo nothing)\" has the keyboard"
  before=$(updated "$round")
  xdotool type --delay 40 " unlocked$round"
  within 100 changed "$round" "$before" || fail "round $round: the words typed after the unlock did not reach Secret$round"
  browser_untouched "round $round, unlock"
done
echo "== 5. The tour replayed over the settings: its finish opens the shelf over them, closed by Escape"
settings_file="$XDG_CONFIG_HOME/tarnwick/settings.json"
setting() {
  python3 -c 'import json,sys
d = json.load(open(sys.argv[1])); v = d.get(sys.argv[2])
print(v.get("value") if isinstance(v, dict) else v)' "$settings_file" "$1" 2>/dev/null || true
}
tour_window() { tour=$(xdotool search --onlyvisible --name '^Tarnwick tour' 2>/dev/null | head -1) && [ -n "$tour" ]; }
tour_has_keys() { tour_window && [ "$(xdotool getactivewindow 2>/dev/null)" = "$tour" ]; }
# The tour has the keyboard, on step $1 of 4.
tour_on() { tour_has_keys && [ "$(xdotool getwindowname "$tour" 2>/dev/null)" = "Tarnwick tour (Step $1 of 4)" ]; }
use_browser
open_settings_from_tray
# The browser used last, then the settings brought back as a pager does (the window manager's activation).
use_browser
xdotool windowactivate --sync "$settings_win" >/dev/null 2>&1 || true
within 100 active_is "Tarnwick Settings" || fail "the settings did not take the keyboard from the pager"
for _ in 1 2 3 4 5 6 7 8; do
  [ "$(setting settings.selectedTab)" = permissions ] && break
  xdotool key --clearmodifiers ctrl+Tab
  sleep 0.3
done
[ "$(setting settings.selectedTab)" = permissions ] || fail "the Permissions page was not reached"
# "Replay", at the right of the Setup card (the window's size is fixed).
xdotool mousemove --window "$settings_win" 479 415 click 1
within 100 tour_has_keys || fail "Replay showed no tour with the keyboard"
# The pointer out of the way: the capsule of the tour's capture stays while it is under the pointer.
xdotool mousemove 5 795
xdotool key Return
within 100 tour_on 1 || fail "the tour did not begin"
xdotool key --clearmodifiers alt+shift+n
within 100 active_is "New Note" || fail "the tour's new-note step opened no note"
# Back to the tour as a pager would take the user there (the note stays: other notes are open).
xdotool windowactivate --sync "$tour" >/dev/null 2>&1 || true
within 100 tour_on 1 || fail "the tour did not take the keyboard back from the new note"
xdotool key Return
within 100 tour_on 2 || fail "the tour did not move to the capture step"
xdotool key --clearmodifiers ctrl+a
settles_to 100 "Select any of these words to wake the keys." xclip -o -selection primary || fail "the practice words are not selected"
xdotool key --clearmodifiers alt+shift+space
within 100 shown "Text captured" || fail "the tour's capture was not made"
within 100 tour_has_keys || fail "the tour lost the keyboard at the capture"
xdotool key Return
within 100 tour_on 3 || fail "the tour did not move to the hide step"
xdotool key --clearmodifiers alt+shift+h
within 100 tour_on 3 || fail "the tour lost the keyboard at the hide key"
xdotool key Return
within 100 tour_on 4 || fail "the tour did not move to the shelf step"
within 300 gone "Text captured" || fail "the capture's capsule stays"
xdotool key --clearmodifiers alt+shift+s
within 100 active_is "Tarnwick shelf" || fail "the tour's shelf step opened no shelf"
# The first Escape clears the query the shelf kept from before.
for _ in 1 2 3; do
  xdotool key Escape
  within 30 shelf_gone && break
done
within 100 tour_on 4 || fail "the tour did not get the keyboard back from the shelf"
# The notes page, the connections page and the last page's "Start capturing": Return on each while the
# tour is up (each page takes a moment to come in).
tour_gone() { [ -z "$(xdotool search --onlyvisible --name "^Tarnwick tour" 2>/dev/null)" ]; }
for _ in $(seq 1 12); do
  tour_gone && break
  xdotool key Return
  within 15 tour_gone || true
done
within 100 tour_gone || fail "the tour did not finish"
within 100 active_is "Tarnwick shelf" || fail "the tour's finish opened no shelf over the settings"
xdotool key Escape
within 100 shelf_gone || fail "Escape left the shelf open after the tour"
settles_to 100 "$settings_win" xdotool getactivewindow ||
  fail "after the tour's shelf, \"$(xdotool getactivewindow getwindowname 2>/dev/null || echo nothing)\" has the keyboard, not the settings"
stack_place() {
  xprop -root _NET_CLIENT_LIST_STACKING | grep -o '0x[0-9a-f]*' | while read -r id; do echo $((id)); done |
    grep -n "^$1\$" | cut -d: -f1
}
[ "$(stack_place "$settings_win")" -gt "$(stack_place "$browser")" ] || fail "the browser stands above the settings"
browser_untouched "the shelf after the tour"
echo "PASS"
