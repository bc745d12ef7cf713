#!/usr/bin/env bash
# The note windows end to end: reminders open notes in one floating window, rescued onto the screen;
# the window keys and a horizontal wheel step through the deck and past its end; Ctrl+W and the
# hide-all hot key; a new note opened into the rolled-up window; a moved window's frame survives a
# relaunch. Then, with one window per note, each reminder opens its own window, and a click on the
# inactive one only activates it; the screen shrinks under them, the settings and the shelf, and a
# rescued window is saved once, where it lands; a rescued window's popover closes.
# Usage (inside scripts/desktop-session.sh): note-windows.sh TARNWICK SEEDER
set -euo pipefail
tarnwick=$1 seeder=$2

source "$(dirname "$0")/../support/session-lib.sh"
session_begin windows app screenshot
start_app() { launch "$tarnwick"; }
note_windows() { xdotool search --onlyvisible --name '^(Alpha|Beta|Gamma|New Note|Head)$' 2>/dev/null || true; }
window_count() { note_windows | grep -c . || true; }
count_is() { [ "$(window_count)" = "$1" ]; }
# Opens the note of the next reminder the daemon shows, as a click on the notification would.
answer_reminder() {
  within 300 has_notification || fail "no reminder was shown"
  dunstctl action 0
  dunstctl close-all
}
press() {
  xdotool key --clearmodifiers "$1"
  sleep 0.4
}

"$seeder" deck || fail "seeding the store"
start_app

# (1) Alpha's reminder opens its window, active, rescued onto the screen, floating on every desktop.
answer_reminder
within 100 active_is Alpha || fail "Alpha's window is not the active window"
win=$(note_windows | head -1)
eval "$(xdotool getwindowgeometry --shell "$win")"
[ "$X" -ge 0 ] && [ "$Y" -ge 0 ] && [ $((X + WIDTH)) -le 1280 ] && [ $((Y + HEIGHT)) -le 800 ] ||
  fail "Alpha's window is not on the screen: $X,$Y ${WIDTH}x$HEIGHT"
states=$(xprop -id "$win" _NET_WM_STATE)
for state in ABOVE SKIP_TASKBAR SKIP_PAGER; do
  [[ "$states" == *"_NET_WM_STATE_$state"* ]] || fail "_NET_WM_STATE lacks $state: $states"
done
# openbox has no sticky state; it puts a window on every desktop through _NET_WM_DESKTOP.
[[ "$states" == *_NET_WM_STATE_STICKY* ]] || xprop -id "$win" _NET_WM_DESKTOP | grep -q 4294967295 ||
  fail "Alpha's window is not on every desktop"

# (2) Beta, then Gamma: still one window, showing the latest.
answer_reminder
within 100 active_is Beta || fail "the window did not move to Beta"
answer_reminder
within 100 active_is Gamma || fail "the window did not move to Gamma"
count_is 1 || fail "expected one note window, found $(window_count)"

# (3) The keyboard steps through the deck and stops at its ends.
press ctrl+Prior
press ctrl+Prior
active_is Alpha || fail "two steps back did not reach Alpha"
press ctrl+Prior
active_is Alpha || fail "a step back from the first note left it"
press ctrl+Next
press ctrl+Next
active_is Gamma || fail "two steps forward did not reach Gamma"

# (4) A horizontal wheel past the last note makes a new note; leaving it empty bins it.
win=$(note_windows | head -1)
xdotool mousemove --window "$win" 150 150
xdotool click --repeat 12 --delay 15 7
within 50 active_is "New Note" || fail "twelve wheel notches past the last note made no new note"
press ctrl+Prior
active_is Gamma || fail "a step back from the new note did not reach Gamma"
settles_to 30 1 sql "SELECT COUNT(*) FROM Note WHERE isTrashed = 1" || fail "the empty note was not binned"

# (5) Ctrl+W takes Gamma off the deck; the window goes back to Beta.
press ctrl+w
active_is Beta || fail "Ctrl+W did not move the window to Beta"

# (6) The hide-all hot key hides every note window, and brings them back.
xdotool key --clearmodifiers alt+shift+h
within 50 count_is 0 || fail "hide-all left $(window_count) note windows viewable"
xdotool key --clearmodifiers alt+shift+h
within 50 count_is 1 || fail "hide-all did not bring the window back"

# (7) A window moved by the window manager keeps its place across a relaunch.
win=$(note_windows | head -1)
xdotool windowmove "$win" 300 200
sleep 1
eval "$(xdotool getwindowgeometry --shell "$win")"

# (8) A new note opened into the window rolled up on Beta opens it out again and takes every key
# typed; Beta keeps the frame it was moved to.
full=$HEIGHT
height_of() { xdotool getwindowgeometry --shell "$win" | sed -n 's/^HEIGHT=//p'; }
xdotool mousemove "$((X + 35))" "$((Y + 15))" click 1
within 30 eval '[ "$(height_of)" -lt "$full" ]' || fail "the roll-up dot did not roll Beta's window up"
xdotool key --clearmodifiers alt+shift+n
within 50 active_is "New Note" || fail "the new-note hot key opened no note"
within 20 eval '[ "$(height_of)" = "$full" ]' ||
  fail "the new note's window is $(height_of) high, not $full: still rolled up"
xdotool type --delay 100 "Head"
settles_to 30 1 sql "SELECT COUNT(*) FROM Note WHERE title = 'Head'" ||
  fail "typing Head left the titles $(sql "SELECT group_concat(title, '|') FROM Note")"
count_is 1 || fail "expected one note window, found $(window_count)"
stop_app
saved=$(sql "SELECT CAST(frameX AS INTEGER) || ',' || CAST(frameY AS INTEGER) FROM Note WHERE title = 'Beta'")
[ "$saved" = "$X,$Y" ] || fail "Beta's saved frame is $saved, the window was at $X,$Y"

# One window per note: each reminder opens its own window; Ctrl+W closes one.
"$seeder" separate || fail "reseeding the reminders"
start_app
answer_reminder
within 100 active_is Alpha || fail "Alpha's own window did not open"
answer_reminder
within 100 active_is Beta || fail "Beta's own window did not open"
count_is 2 || fail "expected two note windows, found $(window_count)"

# A click where the lock button would be on Alpha's window, inactive beside Beta's (grey dots, no
# buttons): it only makes Alpha's window active; the note is not locked.
alpha=$(xdotool search --onlyvisible --name '^Alpha$' | head -1)
beta=$(xdotool search --onlyvisible --name '^Beta$' | head -1)
eval "$(xdotool getwindowgeometry --shell "$beta")"
beta_x=$X beta_y=$Y
xdotool windowmove "$alpha" 100 100
xdotool windowmove "$beta" 600 300
xdotool windowactivate --sync "$beta" >/dev/null 2>&1 || true
within 50 active_is Beta || fail "Beta's window did not take the focus back"
eval "$(xdotool getwindowgeometry --shell "$alpha")"
sleep 0.5
xdotool mousemove "$((X + WIDTH - 43))" "$((Y + 15))" click 1
within 50 active_is Alpha || fail "a click on Alpha's inactive window did not make it active"
sleep 0.5
[ "$(sql "SELECT isLocked FROM Note WHERE title = 'Alpha'")" = 0 ] || fail "a click on Alpha's inactive window locked it"
xdotool windowmove "$beta" "$beta_x" "$beta_y"

# The screen shrinks to 800 x 600 under Alpha's window (near the right edge), Beta's zoomed window,
# the settings and the shelf: each comes onto the smaller screen, and Alpha's saved frame is the one
# it was moved to.
tray_menu
xdotool key --clearmodifiers Down Down Return
wait_window "Tarnwick Settings"
settings_win=$window
xdotool windowmove "$alpha" 860 80
saved_frame() { sql "SELECT CAST(frameX AS INTEGER) || ',' || CAST(frameY AS INTEGER) FROM Note WHERE title = '$1'"; }
settles_to 50 860,80 saved_frame Alpha || fail "Alpha's frame was saved at $(saved_frame Alpha), not 860,80"
width_of() { xdotool getwindowgeometry --shell "$1" | sed -n 's/^WIDTH=//p'; }
eval "$(xdotool getwindowgeometry --shell "$beta")"
xdotool mousemove "$((X + 53))" "$((Y + 15))" click 1
within 30 eval '[ "$(width_of "$beta")" -gt 1000 ]' || fail "the zoom dot did not zoom Beta's window"
xdotool key --clearmodifiers ctrl+shift+f
within 50 active_is "Tarnwick shelf" || fail "Ctrl+Shift+F in Beta opened no shelf"
shelf=$(xdotool search --onlyvisible --name '^Tarnwick shelf$' | head -1)
output=$(xrandr | awk '/ connected/ { print $1; exit }')
large_mode=$(xrandr | awk '/\*/ { print $1; exit }')
xrandr --newmode 800x600_b 40 800 840 968 1056 600 601 605 628
xrandr --addmode "$output" 800x600_b
# The saved frame of $1 as it changes over the next two seconds, one value a line.
watch_saved_frame() {
  for _ in $(seq 1 100); do
    saved_frame "$1"
    sleep 0.02
  done | uniq >"$work/saved-frames"
}
watch_saved_frame Alpha &
watcher=$!
xrandr --output "$output" --mode 800x600_b
# The client area as the X server has it (xdotool misplaces a decorated window by its frame).
on_small_screen() {
  read -r X Y WIDTH HEIGHT < <(xwininfo -id "$1" | awk '/Absolute upper-left X/ { x = $NF }
    /Absolute upper-left Y/ { y = $NF } /^ *Width:/ { w = $NF } /^ *Height:/ { h = $NF } END { print x, y, w, h }')
  [ "$X" -ge 0 ] && [ "$Y" -ge 0 ] && [ $((X + WIDTH)) -le 800 ] && [ $((Y + HEIGHT)) -le 600 ]
}
for name in alpha beta shelf settings_win; do
  within 50 on_small_screen "${!name}" || fail "$name is not on the 800 x 600 screen: $X,$Y ${WIDTH}x$HEIGHT"
done
on_small_screen "$alpha"
settles_to 30 "$X,$Y" saved_frame Alpha || fail "Alpha's window landed at $X,$Y, its saved frame is $(saved_frame Alpha)"
# Stored once, where it landed: never where the window manager nudged it on the way.
wait "$watcher"
[ "$(tr '\n' ' ' <"$work/saved-frames")" = "860,80 $X,$Y " ] ||
  fail "Alpha's saved frame went $(tr '\n' ' ' <"$work/saved-frames")on its way to $X,$Y"
# The zoom dot still knows the frame Beta had before it was zoomed.
press Escape
within 50 active_is Beta || fail "Escape in the shelf did not give Beta the keyboard back"
eval "$(xdotool getwindowgeometry --shell "$beta")"
xdotool mousemove "$((X + 53))" "$((Y + 15))" click 1
within 30 eval '[ "$(width_of "$beta")" -lt 500 ]' || fail "the zoom dot did not bring Beta back from the zoom"
press ctrl+w
within 30 count_is 1 || fail "Ctrl+W did not close one window"

# The screen grows back and shrinks again under Alpha's window with its "Note design" popover open:
# the popover closes with the rescue rather than stay where the larger screen was.
xrandr --output "$output" --mode "$large_mode"
xdotool windowmove "$alpha" 860 300
settles_to 50 860,300 saved_frame Alpha || fail "Alpha's frame was saved at $(saved_frame Alpha), not 860,300"
xdotool windowactivate --sync "$alpha" >/dev/null 2>&1 || true
within 50 active_is Alpha || fail "Alpha's window did not take the focus"
popover=""
eval "$(xdotool getwindowgeometry --shell "$alpha")"
xdotool mousemove "$((X + WIDTH - 20))" "$((Y + 15))" click 1
for _ in $(seq 1 50); do
  popover=$(xdotool search --onlyvisible --name '^Note design$' 2>/dev/null | head -1 || true)
  [ -n "$popover" ] && break
  sleep 0.1
done
[ -n "$popover" ] || fail "the design button of Alpha's window opened no popover"
xrandr --output "$output" --mode 800x600_b
within 50 on_small_screen "$alpha" || fail "alpha is not on the 800 x 600 screen: $X,$Y ${WIDTH}x$HEIGHT"
popover_gone() { ! xwininfo -id "$popover" 2>/dev/null | grep -q IsViewable || on_small_screen "$popover"; }
within 50 popover_gone || fail "Alpha's popover stayed at $X,$Y ${WIDTH}x$HEIGHT, off the 800 x 600 screen"
echo "note windows: all steps passed"
