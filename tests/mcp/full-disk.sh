#!/usr/bin/env bash
# The store on a small tmpfs that fills up while Tarnwick runs: create_note answers an error instead of
# an id, a capture over D-Bus answers NotSaved, the shelf shows the "Notes aren't being saved" banner,
# and once space is freed the note typed meanwhile reaches the disk by itself, without another edit,
# while what was answered as not saved never does (a long capture as a new note included). A note
# locked on a nearly full disk leaves the store's log once space returns. Quit from the tray or the
# shelf with changes the disk refuses asks first, above the settings and the notes, and Cancel (after a
# Save Again that fails again, too) gives the keyboard back to the note, also when the tray menu was
# opened over the shelf; a quit with such changes ends cleanly. A store removed under the
# running app is written back at its path with every note (on a full disk, tried again on the retry
# schedule, with a quit question that says every note would be lost, also for a quit well under a
# second after the removal and while another program keeps changing the folder); a file put in its
# place is left as it was put, and what the app held is kept beside it, where the shelf's banner says.
# Usage (inside scripts/desktop-session.sh): full-disk.sh TARNWICK SEEDER
set -euo pipefail
tarnwick=$1 seeder=$2

source "$(dirname "$0")/../support/session-lib.sh"
session_begin full-disk app screenshot
busy_pid=""
data_on_tmpfs full busy_pid
trap 'step_failed $LINENO' ERR

# The banner is looked for on the accessibility bus.
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
client="Full disk probe"
"$seeder" "$work/manifest.json" "$client" || fail "seeding the store"
# Whether a window of the application shows the text $1 (looked for on the accessibility bus) within 10 s.
shows_text() {
  /usr/bin/python3 - "$1" <<'PY'
import sys, time
import pyatspi
deadline = time.time() + 10
def find(node, depth=0):
    if node is None or depth > 30:
        return False
    try:
        if sys.argv[1] in (node.name or ""):
            return True
        return any(find(node.getChildAtIndex(i), depth + 1) for i in range(node.childCount))
    except Exception:
        return False
while time.time() < deadline:
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        if app is not None and "tarnwick" in (app.name or "").lower() and find(app):
            sys.exit(0)
    time.sleep(0.5)
sys.exit(1)
PY
}
id=com.fennmoor.Tarnwick
capture() {
  dbus-send --session --print-reply --reply-timeout=10000 --dest=$id /com/fennmoor/Tarnwick $id.CaptureText "string:$1" 2>&1
}
launch "$tarnwick"
wait_listening_port
token=$(secret-tool lookup service com.fennmoor.tarnwick.mcp account endpoint-token synchronizable false)
post() {
  timeout 10 bash -c 'exec 3<>"/dev/tcp/127.0.0.1/$0" || exit 1
    header=""; [ -z "$2" ] || header="Mcp-Session-Id: $2"$'"'"'\r\n'"'"'
    printf "POST /mcp/%s HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n%sContent-Length: %d\r\n\r\n%s" \
      "$1" "$header" "${#3}" "$3" >&3
    cat <&3' "$port" "$token" "${session:-}" "$1" | tr -d '\r'
}
initialize() {
  session=""
  head=$(post "{\"jsonrpc\":\"2.0\",\"id\":1,\"method\":\"initialize\",\"params\":{\"clientInfo\":{\"name\":\"$client\"}}}")
  session=$(sed -n 's/^Mcp-Session-Id: \([!-~]*\).*/\1/p' <<<"$head")
  [ -n "$session" ] || fail "the approved client could not initialise: $head"
}
initialize
create() {
  post "{\"jsonrpc\":\"2.0\",\"id\":2,\"method\":\"tools/call\",\"params\":{\"name\":\"create_note\",\"arguments\":{\"title\":\"$1\",\"body\":\"b\"}}}"
}
# Saved: answered with the note's fields (an error answers with text alone).
created() { create "$1" | grep -q '"structuredContent"'; }
create "Room enough" | grep -q '"id"' || fail "create_note failed with room on the disk"

echo "== A note locked on a full disk leaves the store's log once space returns"
# A new note titled $1 with body $2 (and the text of file $3 pasted after it), saved.
new_saved_note() {
  open_new_note "note $1"
  xdotool type --delay 30 -- "$1"
  xdotool key --clearmodifiers Return
  xdotool type --delay 30 -- "$2"
  if [ -n "${3:-}" ]; then
    xclip -selection clipboard -i "$3"
    sleep 0.3
    xdotool key --clearmodifiers ctrl+v
  fi
  within 50 active_is "$1" || fail "the note is not named $1"
  local least=$((${#2} + $(wc -c <"${3:-/dev/null}")))
  settles_to 50 1 sql "SELECT count(*) FROM Note WHERE body LIKE '$2%' AND length(body) >= $least" ||
    fail "$1 was not saved"
}
# Locks the note titled $1 by its lock button, with $2 blocks left free on the disk (all: as it is).
lock_with_free() {
  if [ "$2" != all ]; then
    dd if=/dev/zero of="$data/filler" bs=64k >/dev/null 2>&1 || true
    [ "$2" = 0 ] || truncate -s -$(($2 * 4096)) "$data/filler"
  fi
  local win
  win=$(xdotool search --onlyvisible --name "^$1\$" | head -1)
  eval "$(xdotool getwindowgeometry --shell "$win")"
  xdotool mousemove --window "$win" $((WIDTH - 43)) 15
  sleep 0.2
  xdotool click 1
}
refusals() { grep -c -e "clear the store's log after sealing" -e "save failed" "$log" || true; }
refused_more() { [ "$(refusals)" -gt "$refused" ]; }
unclearable() { grep -c "clear the store's log after sealing" "$log" || true; }
words_gone() { ! grep -aq "$1" "$store" "$store-wal" 2>/dev/null; }
# The first lock of a run reads the lock keys: done with room on the disk.
new_saved_note Warmup dingo1123
lock_with_free Warmup all
settles_to 50 1 sql "SELECT count(*) FROM Note WHERE title = 'Warmup' AND isLocked = 1" || fail "Warmup was not locked"
# No room at all: the seal is not written, and the log is emptied once the store's retry writes it.
new_saved_note Sealed marmot7740
refused=$(refusals)
lock_with_free Sealed 0
within 50 refused_more || fail "the lock on a full disk was refused nothing: nothing is tested"
grep -aq marmot7740 "$store-wal" || fail "the words were not in the log on the full disk: nothing is tested"
rm -f "$data/filler"
within 100 words_gone marmot7740 || fail "the words of a note locked on a full disk stayed in the store's files 10 s after space returned"
[ "$(sql "SELECT isLocked || length(body) FROM Note WHERE title = 'Sealed'")" = 10 ] || fail "Sealed is not stored sealed"
# A few blocks left: the seal is written but the log cannot be emptied, as the database must grow to
# take in what it holds (a long note saved since the last time it was emptied). How many blocks that
# takes depends on what was written before: a few counts are tried, until one leaves the words in the log.
yes "a long note that grows the store" | head -c 20000 >"$work/grow.txt" || true
tested=""
for free in 1 2 3 4; do
  new_saved_note "Grow$free" "growing " "$work/grow.txt"
  new_saved_note "Sealed$free" "marmot774$free"
  refused=$(refusals) uncleared=$(unclearable)
  lock_with_free "Sealed$free" "$free"
  if within 50 refused_more && [ "$(unclearable)" -gt "$uncleared" ] && grep -aq "marmot774$free" "$store-wal"; then
    tested=$free
    break
  fi
  rm -f "$data/filler"
  within 100 words_gone "marmot774$free" || fail "the words of Sealed$free stayed in the store's files"
done
[ -n "$tested" ] || fail "no lock on a nearly full disk left the log uncleared: nothing is tested"
echo "(the log not cleared with $tested blocks free)"
rm -f "$data/filler"
within 100 words_gone "marmot774$tested" ||
  fail "the locked note's words stayed in the store's files 10 s after space returned ($tested blocks free)"
[ "$(sql "SELECT isLocked || length(body) FROM Note WHERE title = 'Sealed$tested'")" = 10 ] ||
  fail "Sealed$tested is not stored sealed"

echo "== The disk fills up"
dd if=/dev/zero of="$data/filler" bs=64k >/dev/null 2>&1 || true
answer=$(create "No room")
grep -q "Tarnwick couldn't save the note" <<<"$answer" || fail "create_note did not answer an error on a full disk: $answer"
grep -q '"structuredContent"' <<<"$answer" && fail "create_note answered success on a full disk: $answer"

echo "== A note typed while the disk is full"
for _ in $(seq 1 30); do
  xdotool key --clearmodifiers alt+shift+n
  within 20 active_is "New Note" && break
done
active_is "New Note" || fail "the new-note hot key opened no note"
xdotool type --delay 30 -- Kept
within 50 active_is Kept || fail "the note is not named Kept"

echo "== The shelf says notes are not being saved"
xdotool key --clearmodifiers alt+shift+s
wait_window "Tarnwick shelf"
shows_text "being saved" || fail "no banner saying notes aren't being saved"
xdotool key --clearmodifiers Escape

echo "== A capture over D-Bus is answered not saved"
answer=$(capture "Refused capture") && fail "a capture on a full disk was answered as saved: $answer"
grep -q "Error.NotSaved" <<<"$answer" || fail "a capture on a full disk was not answered NotSaved: $answer"

echo "== Room again: the note reaches the disk by itself"
rm -f "$data/filler"
settles_to 100 1 sql "SELECT count(*) FROM Note WHERE title = 'Kept'" ||
  fail "the note typed on the full disk was not saved within 10 s of freeing space"
[ "$(sql "SELECT count(*) FROM Note WHERE title = 'No room'")" = 0 ] ||
  fail "the note create_note refused was stored after all"
[ "$(sql "SELECT count(*) FROM Capture WHERE text = 'Refused capture'")" = 0 ] ||
  fail "the capture answered NotSaved was stored after all"
[ "$(sql "SELECT count(*) FROM Note WHERE body LIKE '%Refused capture%'")" = 0 ] ||
  fail "the capture answered NotSaved was appended to a note after all"
kill -0 "$app_pid" || fail "the application did not survive the full disk"

echo "== A long capture filed as a new note on a full disk: answered not saved, and never kept"
xmessage -title Probe "probe window" >/dev/null 2>&1 &
probe_pid=$!
wait_window Probe
probe=$window
{ echo "Longcapture"; yes "words of a long capture" | head -c 1600000 || true; } >"$work/long.txt"
dd if=/dev/zero of="$data/filler" bs=64k >/dev/null 2>&1 || true
own_selection primary UTF8_STRING "$work/long.txt"
xdotool windowactivate --sync "$probe" >/dev/null 2>&1 || true
xdotool key --clearmodifiers super+alt+shift+space
within 150 bash -c 'xdotool search --name "^Capture not saved" >/dev/null 2>&1' ||
  fail "the long capture on a full disk was not answered not saved"
sleep 2
[ -z "$(xdotool search --onlyvisible --name '^Longcapture$' 2>/dev/null || true)" ] ||
  fail "the long capture answered not saved opened its note's window"
rm -f "$data/filler"
sleep 7  # the store's retries, 1 s then 2 s then 4 s
[ "$(sql "SELECT count(*) FROM Note WHERE title = 'Longcapture'") $(sql "SELECT count(*) FROM Capture WHERE length(text) > 1000000")" = "0 0" ] ||
  fail "the long capture answered not saved was stored once space returned"
kill "$owner_pid" "$probe_pid" 2>/dev/null || true
owner_pid=""

echo "== A quit with changes the disk refuses ends cleanly"
dd if=/dev/zero of="$data/filler" bs=64k >/dev/null 2>&1 || true
refused=$(grep -c "failed" "$log" || true)
open_new_note "note on the full disk"
xdotool type --delay 30 -- Unsaved
within 100 bash -c '[ "$(grep -c failed "$0" || true)" -gt "$1" ]' "$log" "$refused" ||
  fail "the change typed on the full disk was not refused"

echo "== Cancel at the quit question gives the keyboard back to the note"
# Escape at the question: the note titled $1 has the keyboard again, and $2 typed reaches it ($3: after what).
cancel_back_to_note() {
  xdotool key --clearmodifiers Escape
  within 50 active_is "$1" ||
    fail "after Cancel $3, \"$(xdotool getactivewindow getwindowname 2>/dev/null)\" has the keyboard, not the note"
  xdotool type --delay 30 -- "$2"
  within 50 active_is "$1$2" || fail "the letters typed after Cancel $3 did not reach the note"
}
# Quit from the tray menu, then Escape: the note has the keyboard again, and what is typed reaches it.
# (Once the capture's capsule has gone: while it shows, Escape is its own.)
within 150 bash -c '! xdotool search --onlyvisible --name "^Capture not saved" >/dev/null 2>&1' ||
  fail "the capsule of the refused capture stayed up"
tray_menu
press Up Return
question
cancel_back_to_note Unsaved " one" "from the tray"
# Quit from the shelf opened over the note: Save Again fails again, then Escape.
xdotool key --clearmodifiers alt+shift+s
wait_window "Tarnwick shelf"
eval "$(xdotool getwindowgeometry --shell "$window")"
sleep 0.5
xdotool mousemove $((X + WIDTH - 25)) $((Y + HEIGHT - 19)) click 1
question
xdotool key --clearmodifiers Return
sleep 1
question
cancel_back_to_note "Unsaved one" " two" "after Save Again from the shelf"
# Quit from the tray menu with the shelf open over the note: the shelf closes as the menu opens, and
# Cancel gives the keyboard to the note it was opened over.
xdotool key --clearmodifiers alt+shift+s
wait_window "Tarnwick shelf"
within 50 active_is "Tarnwick shelf" || fail "the shelf did not take the keyboard"
tray_menu
press Up Return
question
cancel_back_to_note "Unsaved one two" " three" "from the tray over the shelf"

echo "== The quit question comes up above the settings and the notes"
# Window $1's place in the window manager's stacking order, bottom first (0: not there).
stack_place() {
  local i=0 id
  for id in $(xprop -root _NET_CLIENT_LIST_STACKING | sed 's/.*# //; s/,//g'); do
    i=$((i + 1))
    [ "$((id))" = "$1" ] && echo "$i" && return 0
  done
  echo 0
}
question_above() {
  local asked
  asked=$(stack_place "$1")
  for other in "${@:2}"; do [ "$asked" -gt "$(stack_place "$other")" ] || return 1; done
}
note_win=$(xdotool search --onlyvisible --name '^Unsaved one two three$' | head -1)
open_settings_from_tray
within 50 active_is "Tarnwick Settings" || fail "the settings did not take the keyboard"
tray_menu
press Up Return
question
asked=$(xdotool search --onlyvisible --name '^Tarnwick$' | head -1)
within 50 question_above "$asked" "$settings_win" "$note_win" ||
  fail "the quit question stands below the settings or the note: $(xprop -root _NET_CLIENT_LIST_STACKING)"
xdotool key --clearmodifiers Escape
within 50 active_is "Tarnwick Settings" ||
  fail "after Cancel, \"$(xdotool getactivewindow getwindowname 2>/dev/null)\" has the keyboard, not the settings"

echo "== The quit question closed by its window is a Cancel; out of sight, the tray icon brings it back"
# The window manager's close (Alt+F4) gives the keyboard back as Cancel does: to the settings, then to
# the note, where the next letters land. Minimised, or under another program's window, a click on the
# tray icon (or any entry of its menu) brings the question to the front with the keyboard, and opens
# nothing behind it.
question_closed_by_window() {
  local asked_over=$1 note_title=$2
  tray_menu
  press Up Return
  question
  asked=$(xdotool search --onlyvisible --name '^Tarnwick$' | head -1)
  xdotool windowminimize "$asked"
  within 50 bash -c '! xdotool search --onlyvisible --name "^Tarnwick$" >/dev/null 2>&1' ||
    fail "the quit question was not minimised"
  tray_icon
  xdotool mousemove --window "$icon" 6 6 click 1
  question
  xmessage -geometry +40+300 "another program" >/dev/null 2>&1 &
  other=$!
  wait_window xmessage
  xdotool windowactivate --sync "$window" >/dev/null 2>&1 || true
  within 50 active_is xmessage || fail "the other program's window did not take the keyboard"
  xdotool mousemove --window "$icon" 6 6 click 1
  question
  xdotool windowactivate --sync "$window" >/dev/null 2>&1 || true
  within 50 active_is xmessage || fail "the other program's window did not take the keyboard again"
  tray_menu
  press Down Return # "Open Shelf"
  question
  [ -z "$(xdotool search --onlyvisible --name '^Tarnwick shelf$' 2>/dev/null || true)" ] ||
    fail "the tray opened the shelf behind the quit question"
  [ "$(xdotool search --onlyvisible --name '^Tarnwick$' | wc -l)" = 1 ] || fail "a second question was asked"
  xdotool key --clearmodifiers alt+F4
  within 50 active_is "$asked_over" ||
    fail "after Alt+F4 at the question, \"$(xdotool getactivewindow getwindowname 2>/dev/null)\" has the keyboard, not $asked_over"
  kill "$other" 2>/dev/null || true
  kill -0 "$app_pid" || fail "closing the question by its window ended the application"
  [ -z "$note_title" ] && return 0
  xdotool type --delay 30 -- " four"
  within 50 active_is "$note_title four" || fail "the letters typed after Alt+F4 at the question did not reach the note"
}
question_closed_by_window "Tarnwick Settings" ""
# With the question gone, a click on the tray icon opens the shelf again.
shelf_shown() { xdotool search --onlyvisible --name '^Tarnwick shelf$' >/dev/null 2>&1; }
shelf_gone() { ! shelf_shown; }
tray_icon
xdotool mousemove --window "$icon" 6 6 click 1
within 50 shelf_shown || fail "after the question closed, a click on the tray icon opened no shelf"
xdotool key --clearmodifiers Escape
within 50 shelf_gone || fail "Escape left the shelf open"
xdotool windowactivate --sync "$note_win" >/dev/null 2>&1 || true
within 50 active_is "Unsaved one two three" || fail "the note did not take the keyboard"
question_closed_by_window "Unsaved one two three" "Unsaved one two three"
kill -0 "$app_pid" || fail "Cancel ended the application"
kill -TERM "$app_pid"
status=0
wait "$app_pid" || status=$?
app_pid=""
[ "$status" = 0 ] || fail "the quit with unsaved changes ended with status $status"
[ "$(sql "SELECT count(*) FROM Note WHERE title = 'Kept'")" = 1 ] || fail "the saved note was lost at the quit"

echo "== A launch on the full disk keeps the schema record whole"
fingerprint="$data/tarnwick/TarnwickSnapshots/schema-fingerprint"
[ -s "$fingerprint" ] || fail "no schema record before the launch"
launch "$tarnwick"
wait_listening_port
[ -s "$fingerprint" ] || fail "the launch on a full disk left the schema record empty"
rm -f "$data/filler"

echo "== The store removed under the running app: the notes are written back at its path"
initialize
created "Before removal" || fail "create_note failed after the relaunch"
rm -f "$store" "$store-wal" "$store-shm"
within 100 test -s "$store" || fail "the notes file was not written again at its path without a save"
rm -f "$store" "$store-wal" "$store-shm"
answer=$(create "After removal")
grep -q '"structuredContent"' <<<"$answer" || fail "create_note after the removal was not saved: $answer"
answer=$(capture "Capture after removal") || fail "a capture after the removal was not saved: $answer"
[ -s "$store" ] || fail "the notes file was not written again at its path"
[ "$(sql "SELECT count(*) FROM Note WHERE title IN ('Kept', 'Before removal', 'After removal')")" = 3 ] ||
  fail "the notes file written again does not hold every note"

echo "== Where the notes cannot be written again, the banner and the quit question say why"
rm -rf "$data/tarnwick"
echo "in the way" >"$data/tarnwick"
answer=$(create "Nowhere to go")
grep -q "could not be written again" <<<"$answer" || fail "create_note did not say why it could not save: $answer"
xdotool key --clearmodifiers alt+shift+s
wait_window "Tarnwick shelf"
shows_text "could not be written again: a new file cannot be made there: Not a directory" ||
  fail "the shelf's banner does not name why the notes are not saved"
xdotool key --clearmodifiers Escape
open_new_note "note with nowhere to go"
xdotool type --delay 30 -- Stranded
within 50 active_is Stranded || fail "the note is not named Stranded"
tray_menu
xdotool key --clearmodifiers Up Return
shows_text "could not be written again: a new file cannot be made there: Not a directory. Put that right and save again" ||
  fail "the quit question does not name why the changes are not saved"
xdotool key --clearmodifiers Escape
rm "$data/tarnwick"
settles_to 100 2 sql "SELECT count(*) FROM Note WHERE title IN ('After removal', 'Stranded')" ||
  fail "the notes were not written again once the way was clear"
stop_app
launch "$tarnwick"
wait_listening_port
initialize
list=$(post '{"jsonrpc":"2.0","id":3,"method":"tools/call","params":{"name":"list_notes","arguments":{}}}')
for title in Kept "Before removal" "After removal" Stranded; do
  grep -q "$title" <<<"$list" || fail "the relaunch does not show the note '$title': $list"
done
[ "$(sql "SELECT count(*) FROM Capture WHERE text = 'Capture after removal'")" = 1 ] ||
  fail "the capture saved after the removal is not in the store after the relaunch"

echo "== A removed notes file with no room to write it back: tried on the retry schedule, not at every change of its folder"
# nor at every move of a note window
open_new_note "note to move"
moved_win=$(xdotool search --onlyvisible --name '^New Note$' | head -1)
dd if=/dev/zero of="$data/filler" bs=64k >/dev/null 2>&1 || true
writebacks() { grep -c "^warning store: the notes file was removed and could not be written again" "$log" || true; }
before=$(writebacks)
removed_at=${EPOCHREALTIME/[.,]/}
rm -f "$store" "$store-wal" "$store-shm"
within 100 bash -c '[ "$(grep -c "^warning store: the notes file was removed and could not be written" "$0")" -gt "$1" ]' \
  "$log" "$before" || fail "the removed notes file was not tried again on a full disk: nothing is tested"
first=$(writebacks)
# For about 6 s, the note window is moved twelve times, and each copy changed the folder. The tries
# after the first follow it by 1 s, 3 s, 7 s...: however long a busy machine stretches these steps, no
# more of them are due than fit between the removal (before the first try) and the last look.
for step in $(seq 1 12); do
  xdotool windowmove "$moved_win" $((300 + step % 2 * 40)) 300
  sleep 0.5
done
tried=$(($(writebacks) - first))
span_ms=$(((${EPOCHREALTIME/[.,]/} - removed_at) / 1000))
scheduled=0
while [ $(((2 ** (scheduled + 1) - 1) * 1000)) -le "$span_ms" ]; do scheduled=$((scheduled + 1)); done
[ "$tried" -le "$scheduled" ] ||
  fail "the write-back was tried $tried more times in $span_ms ms since the removal, where $scheduled are due: its own copies or the window's moves start tries"
echo "== The quit question says every note would be lost, with nothing typed since"
tray_menu
xdotool key --clearmodifiers Up Return
shows_text "if you quit now, every note is lost" || fail "the quit question does not say every note would be lost"
xdotool key --clearmodifiers Escape
kill -0 "$app_pid" || fail "Cancel at the quit question ended the application"
rm -f "$data/filler"
within 100 test -s "$store" || fail "the notes file was not written back within 10 s of space returning"
[ "$(sql "SELECT count(*) FROM Note WHERE title IN ('After removal', 'Stranded')")" = 2 ] ||
  fail "the notes file written back does not hold every note"

echo "== A quit just after the notes file was removed, with no room to write it back, asks first"
# The menu is opened first, so the quit comes well under a second after the removal, before the
# folder's watch would look.
dd if=/dev/zero of="$data/filler" bs=64k >/dev/null 2>&1 || true
tray_menu
rm -f "$store" "$store-wal" "$store-shm"
xdotool key --clearmodifiers Up Return
within 100 bash -c 'xdotool search --onlyvisible --name "^Tarnwick\$" >/dev/null 2>&1 || ! kill -0 "$0"' "$app_pid"
kill -0 "$app_pid" 2>/dev/null || fail "the quit just after the removal asked nothing and ended the application"
question
shows_text "if you quit now, every note is lost" || fail "the quit question just after the removal does not say every note would be lost"
xdotool key --clearmodifiers Escape
rm -f "$data/filler"
within 100 test -s "$store" || fail "the notes file was not written back within 10 s of space returning"

echo "== A removed notes file is tried within seconds while another program keeps changing its folder"
dd if=/dev/zero of="$data/filler" bs=64k >/dev/null 2>&1 || true
bash -c 'while :; do echo busy >"$0/busy.tmp" 2>/dev/null; rm -f "$0/busy.tmp"; sleep 0.4; done' "$(dirname "$store")" &
busy_pid=$!
before=$(writebacks)
rm -f "$store" "$store-wal" "$store-shm"
within 100 bash -c '[ "$(grep -c "^warning store: the notes file was removed and could not be written" "$0")" -gt "$1" ]' \
  "$log" "$before" || fail "the removed notes file was not tried within 10 s while its folder kept changing"
xdotool key --clearmodifiers alt+shift+s
wait_window "Tarnwick shelf"
shows_text "could not be written again" || fail "the shelf's banner does not say the notes file could not be written again"
xdotool key --clearmodifiers Escape
tray_menu
xdotool key --clearmodifiers Up Return
question
shows_text "if you quit now, every note is lost" || fail "the quit question with a busy folder does not say every note would be lost"
xdotool key --clearmodifiers Escape
kill "$busy_pid" 2>/dev/null || true
wait "$busy_pid" 2>/dev/null || true
busy_pid=""
rm -f "$data/filler" "$(dirname "$store")/busy.tmp"
within 100 test -s "$store" || fail "the notes file was not written back within 10 s of space returning"
[ "$(sql "SELECT count(*) FROM Note WHERE title IN ('After removal', 'Stranded')")" = 2 ] ||
  fail "the notes file written back does not hold every note"

echo "== Another file put in the store's place is left as it was put"
created "Before the copy" || fail "create_note failed before the copy"
sqlite3 "file:$store?mode=ro" ".backup '$work/copy.store'"
sqlite3 "$work/copy.store" "PRAGMA journal_mode = DELETE; CREATE TABLE Mine (x); INSERT INTO Mine VALUES ('its own');" \
  >/dev/null
created "After the copy" || fail "create_note failed after the copy"
cp "$work/copy.store" "$store.restoring"
put=$(sha256sum <"$store.restoring")
mv "$store.restoring" "$store"
within 100 bash -c 'ls "$0"/default-kept-*.store' "$data/tarnwick" >/dev/null 2>&1 ||
  fail "what the app held was not kept in a file of its own without a save"
kept=$(ls "$data/tarnwick"/default-kept-*.store | head -1)
xdotool key --clearmodifiers alt+shift+s
wait_window "Tarnwick shelf"
shows_text "kept in $kept" || fail "the shelf's banner does not say where the notes are kept ($kept)"
xdotool key --clearmodifiers Escape
answer=$(create "After the replacement")
grep -q '"structuredContent"' <<<"$answer" || fail "create_note after the replacement was not saved: $answer"
stop_app
[ "$(sha256sum <"$store")" = "$put" ] || fail "the file put in the store's place was changed by the quit"
[ ! -s "$store-wal" ] || fail "the app's log was left beside the file put in its place"
launch "$tarnwick"
wait_listening_port
cp "$store" "$work/check.store"
[ "$(sqlite3 "$work/check.store" "PRAGMA integrity_check")" = ok ] || fail "the file put in place is damaged"
[ "$(sqlite3 "$work/check.store" "SELECT x FROM Mine")" = "its own" ] || fail "the file put in place lost its own table"
[ "$(sqlite3 "$work/check.store" "SELECT count(*) FROM Note WHERE title IN ('After the copy', 'After the replacement')")" = 0 ] ||
  fail "the file put in place took in notes written after it was copied"
[ "$(sqlite3 "$work/check.store" "SELECT count(*) FROM Note WHERE title = 'Before the copy'")" = 1 ] ||
  fail "the file put in place does not open as it was put"
cp "$kept" "$work/kept.store"
[ "$(sqlite3 "$work/kept.store" "SELECT count(*) FROM Note WHERE title IN ('Before the copy', 'After the copy', 'After the replacement')")" = 3 ] ||
  fail "the kept file does not hold what the app held"
stop_app
echo "== Passed"
