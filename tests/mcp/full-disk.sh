#!/usr/bin/env bash
# The store on a small tmpfs that fills up while Tarnwick runs: create_note answers an error instead of
# an id, a capture over D-Bus answers NotSaved, the shelf shows the "Notes aren't being saved" banner,
# and once space is freed the note typed meanwhile reaches the disk by itself, without another edit,
# while what was answered as not saved never does. Quit from the tray or the shelf with changes the
# disk refuses asks first, and Cancel (after a Save Again that fails again, too) gives the keyboard back
# to the note; a quit with such changes ends cleanly, and a store removed under the running app takes
# no note it would lose.
# Usage (inside scripts/desktop-session.sh): full-disk.sh TARNWICK SEEDER
set -euo pipefail
tarnwick=$1 seeder=$2

data=$(mktemp -d /tmp/tarnwick-full-data-XXXXXX)
if ! mount -t tmpfs -o size=8m tmpfs "$data" 2>/dev/null; then
  rmdir "$data"
  echo "SKIP: a tmpfs cannot be mounted here"
  exit 0
fi
export XDG_DATA_HOME=$data
source "$(dirname "$0")/../support/session-lib.sh"
session_begin full-disk app screenshot
unmount() { session_cleanup; umount "$data" 2>/dev/null || true; rmdir "$data" 2>/dev/null || true; }
trap unmount EXIT
trap 'fail "command failed on line $LINENO"' ERR

# The banner is looked for on the accessibility bus.
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
client="Full disk probe"
"$seeder" "$work/manifest.json" "$client" || fail "seeding the store"
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
create "Room enough" | grep -q '"id"' || fail "create_note failed with room on the disk"

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
/usr/bin/python3 - <<'PY' || fail "no banner saying notes aren't being saved"
import sys, time
import pyatspi
deadline = time.time() + 10
def find(node, depth=0):
    if node is None or depth > 30:
        return False
    try:
        if "being saved" in (node.name or ""):
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

echo "== A quit with changes the disk refuses ends cleanly"
dd if=/dev/zero of="$data/filler" bs=64k >/dev/null 2>&1 || true
refused=$(grep -c "failed" "$log" || true)
open_new_note "note on the full disk"
xdotool type --delay 30 -- Unsaved
within 100 bash -c '[ "$(grep -c failed "$0" || true)" -gt "$1" ]' "$log" "$refused" ||
  fail "the change typed on the full disk was not refused"

echo "== Cancel at the quit question gives the keyboard back to the note"
question() {
  for _ in $(seq 1 100); do
    if xdotool search --onlyvisible --name '^Tarnwick$' >/dev/null 2>&1 && active_is Tarnwick; then
      sleep 0.5  # mapped and active; its keys are taken once the toolkit has seen it so
      return 0
    fi
    sleep 0.1
  done
  fail "no question before quitting with unsaved changes (active: $(xdotool getactivewindow getwindowname 2>/dev/null))"
}
# Quit from the tray menu, then Escape: the note has the keyboard again, and what is typed reaches it.
# (Once the capture's capsule has gone: while it shows, Escape is its own.)
within 150 bash -c '! xdotool search --onlyvisible --name "^Capture not saved" >/dev/null 2>&1' ||
  fail "the capsule of the refused capture stayed up"
tray_menu
press Up Return
question
xdotool key --clearmodifiers Escape
within 50 active_is Unsaved || fail "after Cancel, \"$(xdotool getactivewindow getwindowname 2>/dev/null)\" has the keyboard, not the note"
xdotool type --delay 30 -- " one"
within 50 active_is "Unsaved one" || fail "the letters typed after Cancel did not reach the note"
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
xdotool key --clearmodifiers Escape
within 50 active_is "Unsaved one" ||
  fail "after Save Again and Cancel, \"$(xdotool getactivewindow getwindowname 2>/dev/null)\" has the keyboard, not the note"
xdotool type --delay 30 -- " two"
within 50 active_is "Unsaved one two" || fail "the letters typed after Cancel from the shelf did not reach the note"
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

echo "== The store removed under the running app"
initialize
create "Before removal" | grep -q '"id"' || fail "create_note failed after the relaunch"
rm -f "$store" "$store-wal" "$store-shm"
answer=$(create "After removal")
grep -q "Tarnwick couldn't save the note" <<<"$answer" ||
  fail "create_note answered success into a store no longer on disk: $answer"
answer=$(capture "Capture after removal") && fail "a capture into a removed store was answered as saved: $answer"
stop_app
echo "== Passed"
