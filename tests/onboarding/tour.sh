#!/usr/bin/env bash
# The first-run tour end to end with the real application: the four hot keys earn their pages, the
# practice sentence is captured on its own, the local connection and launch at login are switched on
# from the tour, finishing opens the shelf and the tour is not offered again. A second run quits with
# Ctrl+Q, leaves no practice words behind for a later capture, and starts afresh after a window-manager
# close.
# Usage (inside scripts/desktop-session.sh): tour.sh TARNWICK
set -euo pipefail
tarnwick=$1

source "$(dirname "$0")/../support/session-lib.sh"
session_begin tour app screenshot
settings="${XDG_CONFIG_HOME}/tarnwick/settings.json"
autostart="${XDG_CONFIG_HOME}/autostart/com.fennmoor.Tarnwick.desktop"
sentence="Select any of these words to wake the keys."
trap 'step_failed $LINENO' ERR

source "$(dirname "$0")/tour-lib.sh"
# Only a check that something does NOT happen gives the application a fixed moment.
moment() { sleep 1; }
expect_tour_at() { within $long tour_at "$1" || fail "expected \"$(page_title "$1")\", the tour reads \"$(tour_title)\""; }
visible() { [ -n "$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n1)" ]; }
# Whether the window titled $1 covers any part of the tour.
covers_tour() {
  local other
  other=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n1)
  [ -n "$other" ] || return 1
  eval "$(xdotool getwindowgeometry --shell "$tour" | sed 's/^/T_/')"
  eval "$(xdotool getwindowgeometry --shell "$other" | sed 's/^/O_/')"
  [ $((O_X)) -lt $((T_X + T_WIDTH)) ] && [ $((T_X)) -lt $((O_X + O_WIDTH)) ] &&
    [ $((O_Y)) -lt $((T_Y + T_HEIGHT)) ] && [ $((T_Y)) -lt $((O_Y + O_HEIGHT)) ]
}
tour_visible() { xwininfo -id "$tour" 2>/dev/null | grep -q IsViewable; }
# The application's icon in the tray: its window that is viewable and not a top-level one.
tray_icon() {
  local w
  for w in $(xdotool search --pid "$app_pid" 2>/dev/null); do
    xwininfo -id "$w" 2>/dev/null | grep -q IsViewable || continue
    xwininfo -tree -id "$w" 2>/dev/null | grep -q "Parent window id: .*(the root window)" && continue
    echo "$w"
    return 0
  done
  return 1
}
click_tray() {
  local icon
  for _ in $(seq 1 "$long"); do icon=$(tray_icon) && break; sleep 0.1; done
  [ -n "${icon:-}" ] || fail "no tray icon"
  xdotool mousemove --window "$icon" 6 6 click 1
  moment
}
start_tour() {
  launch "$tarnwick"
  wait_window "Tarnwick tour"
  tour=$window
  within $long active_is "Tarnwick tour" || fail "the tour is not the active window"
}
listening_on_endpoint() { ss -ltnpH 2>/dev/null | grep "pid=$app_pid," | grep -qE '127\.0\.0\.1:482(19|2[0-9]|3[01]) '; }

fresh_settings
start_tour

# 1. A tray click brings the tour, not the shelf.
click_tray
visible "Tarnwick shelf" && fail "the tray opened the shelf before the tour was done"
tour_at 1 || fail "the tray click changed the tour: $(tour_title)"
tour_visible || fail "the tray click hid the tour"

# 2. Only the new-note key earns the new-note page.
key Return
expect_tour_at 2
key alt+shift+s
within $long visible "Tarnwick shelf" || fail "the shelf key did not open the shelf"
key Escape
within $long bash -c "! xdotool search --onlyvisible --name '^Tarnwick shelf$' >/dev/null 2>&1" || fail "Escape left the shelf"
activate_tour
key Return
moment
tour_at 2 || fail "Return moved on from an unearned page: $(tour_title)"
key alt+shift+n
within $long visible "New Note" || fail "the new-note key mapped no note"
activate_tour
key Return
expect_tour_at 3
covers_tour "New Note" && fail "the new note covers the tour"

# 3. The practice sentence, captured on its own, whatever modifiers are held.
key ctrl+a
settles_to $long "$sentence" xclip -o -selection primary 2>/dev/null || fail "PRIMARY is not the sentence"
notes_before=$(sql "SELECT COUNT(*) FROM Note")
key super+alt+shift+space
within $long visible "Text captured" || fail "no \"Text captured\" capsule"
settles_to $long 1 sql "SELECT COUNT(*) FROM Capture WHERE text = '$sentence' AND sourceApp IS NULL AND sourceBundleID IS NULL AND sourceURL IS NULL AND sourceTitle IS NULL" ||
  fail "no capture of exactly the sentence: $(sql "SELECT text, sourceApp FROM Capture")"
[ "$(sql "SELECT COUNT(*) FROM Capture")" = 1 ] || fail "more than one capture"
[ "$(sql "SELECT COUNT(*) FROM Note")" = "$notes_before" ] || fail "the practice capture made a note"
key Return
expect_tour_at 4

# 4. Hide everything, then the shelf page, then on to the connections page.
key alt+shift+h
within $long bash -c "! xdotool search --onlyvisible --name '^New Note$' >/dev/null 2>&1" || fail "the hide key left the note"
activate_tour
key Return
expect_tour_at 5
key alt+shift+s
within $long visible "Tarnwick shelf" || fail "the shelf key did not open the shelf"
covers_tour "Tarnwick shelf" && fail "the shelf covers the tour"
# While the capture's capsule shows, Escape is the capsule's.
within $long bash -c "! xdotool search --onlyvisible --name '^Text captured$' >/dev/null 2>&1" || fail "the capsule stays"
key Escape
within $long bash -c "! xdotool search --onlyvisible --name '^Tarnwick shelf$' >/dev/null 2>&1" || fail "Escape left the shelf"
activate_tour
key Return
expect_tour_at 6
key Return
expect_tour_at 7

# 5. The local connection, switched on from the tour, reads only as before.
key Tab
key space
settles_to $long true setting mcp.enabled || fail "mcp.enabled is $(setting mcp.enabled)"
within $long listening_on_endpoint || fail "the endpoint does not answer"
[ "$(setting mcp.readOnly)" = absent ] || fail "mcp.readOnly was written: $(setting mcp.readOnly)"
key Return
expect_tour_at 8

# 6. Launch at login, then the last button: the tour goes and the shelf comes within a second.
key Tab
key space
within $long test -f "$autostart" || fail "no autostart entry"
[ "$(setting general.launchAtLogin)" = true ] || fail "general.launchAtLogin is $(setting general.launchAtLogin)"
xdotool key --clearmodifiers Return
within $long bash -c "! xwininfo -id $tour 2>/dev/null | grep -q IsViewable" || fail "the tour is still shown"
within $long visible "Tarnwick shelf" || fail "no shelf within a second of finishing"
[ "$(setting onboarding.completed)" = true ] || fail "onboarding.completed is $(setting onboarding.completed)"

# 7. Relaunched: no tour; the tray opens the shelf.
stop_app
launch "$tarnwick"
within $long tray_icon >/dev/null || fail "no tray icon after the relaunch"
moment
visible "Tarnwick tour" && fail "the tour came back after it was finished"
click_tray
within $long visible "Tarnwick shelf" || fail "the tray did not open the shelf"
stop_app
rm -f "$autostart"

# A second run: Ctrl+Q quits without completing.
fresh_settings
start_tour
key ctrl+q
rc=0
wait "$app_pid" || rc=$?
app_pid=""
[ "$rc" = 0 ] || fail "Ctrl+Q ended the application with status $rc"
[ "$(setting onboarding.completed)" = absent ] || fail "Ctrl+Q wrote onboarding.completed"
start_tour

# Practice words left on a skipped page never reach a later capture.
key Return
expect_tour_at 2
key Tab
key space
expect_tour_at 3
key ctrl+a
key Tab
key space
expect_tour_at 4
xmessage -geometry +40+500 "probe window" &
probe_pid=$!
within $long active_is "xmessage" || xdotool search --sync --name '^xmessage$' windowactivate --sync >/dev/null 2>&1 || true
printf 'outside words' | xclip -selection primary -quiet &
owner_pid=$!
settles_to $long "outside words" xclip -o -selection primary || fail "xclip does not own PRIMARY"
key alt+shift+space
settles_to $long 1 sql "SELECT COUNT(*) FROM Capture WHERE text = 'outside words'" ||
  fail "the capture did not store the outside words: $(sql "SELECT text FROM Capture")"
[ "$(sql "SELECT COUNT(*) FROM Capture WHERE text = '$sentence'")" = 1 ] || fail "the practice words were captured again"
kill "$probe_pid" 2>/dev/null || true

# A window-manager close ends the tour; the tray starts it afresh.
activate_tour
key alt+F4
within $long bash -c "! xwininfo -id $tour 2>/dev/null | grep -q IsViewable" || fail "Alt+F4 left the tour"
click_tray
wait_window "Tarnwick tour"
[ "$(setting onboarding.completed)" = absent ] || fail "the close wrote onboarding.completed"
echo "tour: all steps passed"
