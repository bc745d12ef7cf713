#!/usr/bin/env bash
# The store on a small tmpfs that fills up while Tarnwick runs: create_note answers an error instead of
# an id, a capture over D-Bus answers NotSaved, the shelf shows the "Notes aren't being saved" banner,
# and once space is freed the note typed meanwhile reaches the disk by itself, without another edit,
# while what was answered as not saved never does. A quit with changes the disk refuses ends cleanly.
# A store removed under the running app is written back at its path with every note; a file put in its
# place is left as it was put, and what the app held is kept beside it, where the shelf's banner says.
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

echo "== A quit with changes the disk refuses ends cleanly"
dd if=/dev/zero of="$data/filler" bs=64k >/dev/null 2>&1 || true
refused=$(grep -c "failed" "$log" || true)
open_new_note "note on the full disk"
xdotool type --delay 30 -- Unsaved
within 100 bash -c '[ "$(grep -c failed "$0" || true)" -gt "$1" ]' "$log" "$refused" ||
  fail "the change typed on the full disk was not refused"
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
