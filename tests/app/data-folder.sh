#!/usr/bin/env bash
# The data folder on a small tmpfs, with the keyboard alone and accessibility off, as most users have it.
# The folder removed, or moved away, under the running app (while another program holds a file of it
# open) is written back and watched as the first one was: a later removal of the notes file is written
# back within seconds, and with no room it is tried on the retry schedule. While the quit question waits
# (the disk full), minimised, under another program's window or in view, every hot key brings it to the
# front with the keyboard and opens, hides or shows nothing behind it, as does a second start of the app;
# after Cancel the keyboard is back in the note.
# Usage (inside scripts/desktop-session.sh, as root for the mount): data-folder.sh TARNWICK
set -euo pipefail
tarnwick=$1

source "$(dirname "$0")/../support/session-lib.sh"
session_begin data-folder app screenshot
other_pid="" holder_pid=""
data_on_tmpfs folder other_pid holder_pid
trap 'step_failed $LINENO' ERR

folder=$(dirname "$store")
fill_disk() { dd if=/dev/zero of="$data/filler" bs=64k >/dev/null 2>&1 || true; }
remove_store() { rm -f "$store" "$store-wal" "$store-shm"; }
written_back() { within 100 test -s "$store"; }
tries() { grep -c "^warning store: the notes file was removed and could not be written again" "$log" || true; }
tried_since() { [ "$(tries)" -gt "$1" ]; }

mkdir -p "$XDG_CONFIG_HOME/tarnwick"
echo '{"onboarding.completed": {"type": "bool", "value": true}}' >"$XDG_CONFIG_HOME/tarnwick/settings.json"
launch "$tarnwick"
open_new_note "first note"
xdotool type --delay 30 -- Kept
within 50 active_is Kept || fail "the note is not named Kept"
settles_to 100 1 sql "SELECT count(*) FROM Note WHERE title = 'Kept'" || fail "Kept was not saved"
note_win=$(xdotool search --onlyvisible --name '^Kept$' | head -1)

echo "== The data folder written back is watched again"
# Takes the folder away ($1: removed or moved) while another program (a shell, a viewer) holds a file of
# it open, so that its removal is told only once that program lets go, after the folder was written back.
take_folder_away() {
  sleep 600 >"$folder/held.log" &
  holder_pid=$!
  # The holder opens the file as it starts, which on a busy machine can come after the next line.
  within 50 test -e "$folder/held.log" || fail "the holder did not open its file"
  if [ "$1" = removed ]; then rm -rf "$folder"; else mv "$folder" "$data/moved-away"; fi
  written_back || fail "the data folder $1 under the app was not written back"
  kill "$holder_pid"
  wait "$holder_pid" 2>/dev/null || true
  holder_pid=""
  rm -rf "$data/moved-away"
  sleep 4 # what the holder's going shows is looked at first (within three seconds)
}
for how in removed moved; do
  take_folder_away "$how"
  for again in 1 2; do
    remove_store
    written_back || fail "removal $again of the notes file, after the folder $how was written back, was not written back within 10 s"
  done
done
[ "$(sql "SELECT count(*) FROM Note WHERE title = 'Kept'")" = 1 ] || fail "the notes file written back lost the note"
echo "== ... and with no room, a removal is tried on the retry schedule"
take_folder_away removed
fill_disk
before=$(tries)
remove_store
within 100 tried_since "$before" || fail "the notes file removed from the folder written back, with no room, was not tried within 10 s"
rm -f "$data/filler"
written_back || fail "the notes file was not written back within 10 s of space returning"
[ "$(sql "SELECT count(*) FROM Note WHERE title = 'Kept'")" = 1 ] || fail "the notes file written back lost the note"

echo "== While the quit question waits, every hot key brings it forward and starts nothing else"
fill_disk
refused=$(grep -c failed "$log" || true)
xdotool windowactivate --sync "$note_win" >/dev/null 2>&1 || true
within 50 active_is Kept || fail "the note did not take the keyboard"
xdotool type --delay 30 -- " unsaved"
within 100 bash -c '[ "$(grep -c failed "$0" || true)" -gt "$1" ]' "$log" "$refused" ||
  fail "the change typed on the full disk was not refused"
shown() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1 || true; }
# Nothing was started behind the question: no new note, no shelf, the note still shown, one question.
nothing_behind() {
  [ -z "$(shown 'New Note')" ] || fail "$1 opened a new note behind the quit question"
  [ -z "$(shown 'Tarnwick shelf')" ] || fail "$1 opened the shelf behind the quit question"
  [ -n "$(shown 'Kept unsaved')" ] || fail "$1 hid the note behind the quit question"
  [ "$(xdotool search --onlyvisible --name '^Tarnwick$' | wc -l)" = 1 ] || fail "$1 asked a second question"
}
tray_menu
press Up Return
question "no question before quitting with unsaved changes"
asked=$(shown Tarnwick)
for key in alt+shift+n alt+shift+s alt+shift+h alt+shift+space; do
  xdotool windowminimize "$asked"
  within 50 bash -c '! xdotool search --onlyvisible --name "^Tarnwick$" >/dev/null 2>&1' ||
    fail "the quit question was not minimised"
  xdotool key --clearmodifiers "$key"
  question "$key did not bring the minimised quit question forward"
  nothing_behind "$key with the question minimised"
done
# Tarnwick started again (its menu entry) is a way in too.
xdotool windowminimize "$asked"
within 50 bash -c '! xdotool search --onlyvisible --name "^Tarnwick$" >/dev/null 2>&1' ||
  fail "the quit question was not minimised"
timeout 30 "$tarnwick" >/dev/null 2>&1 || fail "a second start of the application did not hand over and end"
question "a second start did not bring the minimised quit question forward"
nothing_behind "a second start with the question minimised"
xmessage -geometry +40+300 "another program" >/dev/null 2>&1 &
other_pid=$!
wait_window xmessage
for key in alt+shift+s alt+shift+n; do
  xdotool windowactivate --sync "$window" >/dev/null 2>&1 || true
  within 50 active_is xmessage || fail "the other program's window did not take the keyboard"
  xdotool key --clearmodifiers "$key"
  question "$key did not bring the quit question forward over another program"
  nothing_behind "$key with another program in front"
done
kill "$other_pid" 2>/dev/null || true
other_pid=""
xdotool key --clearmodifiers alt+shift+n
sleep 1
nothing_behind "Alt+Shift+N at the question"
xdotool key --clearmodifiers Escape
within 50 active_is "Kept unsaved" ||
  fail "after Cancel, \"$(xdotool getactivewindow getwindowname 2>/dev/null)\" has the keyboard, not the note"
xdotool type --delay 30 -- " typed"
within 50 active_is "Kept unsaved typed" || fail "the letters typed after Cancel did not reach the note"
rm -f "$data/filler"
settles_to 100 1 sql "SELECT count(*) FROM Note WHERE title = 'Kept unsaved typed'" ||
  fail "the note typed on the full disk was not saved once space returned"
kill -0 "$app_pid" || fail "the application did not survive"
stop_app
echo "== Passed"
