#!/usr/bin/env bash
# The block editor in the real note window: a new note from the hot key, a picture pasted into its
# text, undo and redo, copy of the picture, delete and undo by block id, a pasted and undone picture
# collected when the window closes, and the same stored bytes after a relaunch.
# Usage (inside scripts/desktop-session.sh): blocks-app.sh TARNWICK BLOCK-EDITOR-TEST-HOST
set -euo pipefail
tarnwick=$1 host=$2

. "$(dirname "$0")/../../support/session-lib.sh"
session_begin blocks-app
store="$XDG_DATA_HOME/tarnwick/default.store"
new_note() {
  xdotool key --clearmodifiers alt+shift+n
  within 20 active_is "New Note"
}
type_text() { xdotool type --delay 20 -- "$1"; }
key() { xdotool key --clearmodifiers --delay 40 "$@"; sleep 0.15; }
q() { sqlite3 "file:$store?mode=ro" "$1"; }
note_body() { q "SELECT body FROM Note WHERE title = 'Packing list'"; }
block_ids() {
  q "SELECT group_concat(json_extract(b.value, '$.id'), ',') FROM Note,
     json_each(json_extract(CAST(bodyBlocksData AS TEXT), '$.blocks')) b WHERE title = 'Packing list'"
}
paste_picture() {
  [ -n "${owner_pid:-}" ] && kill "$owner_pid" 2>/dev/null || true
  xclip -selection clipboard -t image/png -i "$1" &
  owner_pid=$!
  sleep 0.3
  key ctrl+v
  sleep 0.5
}

"$host" --picture 1200 800 "$work/photo.png"
"$host" --picture 300 200 "$work/other.png"
png_hash=$(sha256sum "$work/photo.png" | cut -d' ' -f1)

launch "$tarnwick"
for _ in $(seq 1 30); do new_note && break; sleep 0.5; done
active_is "New Note" || fail "Alt+Shift+N opened no note"
sleep 0.5
type_text "Packing list"
key Return
type_text "socks and boots"
within 30 active_is "Packing list" || fail "the window is not titled by the note"
key Left Left Left Left Left Left Left Left Left Left
paste_picture "$work/photo.png"
type_text "X"
sleep 0.8

[ "$(q "SELECT count(*) FROM Note WHERE title = 'Packing list'")" = 1 ] || fail "no note titled Packing list: $(q "SELECT title || '|' || body FROM Note")"
[ "$(note_body)" = $'socks\n\uFFFC\nX and boots' ] || fail "stored body: $(printf '%q' "$(note_body)")"
[ "$(q "SELECT count(*) FROM NoteImage")" = 1 ] || fail "picture rows: $(q "SELECT count(*) FROM NoteImage")"
[ "$(q "SELECT contentHash FROM NoteImage")" = "$png_hash" ] || fail "the stored picture is not the pasted PNG"
row=$(q "SELECT hex(uuid) FROM NoteImage")

key ctrl+z ctrl+z
sleep 0.5
[ "$(note_body)" = "socks and boots" ] || fail "after two undos: $(printf '%q' "$(note_body)")"
key ctrl+shift+z
sleep 0.5
[ "$(note_body)" = $'socks\n\uFFFC\n and boots' ] || fail "after redo: $(printf '%q' "$(note_body)")"
[ "$(q "SELECT hex(uuid) FROM NoteImage")" = "$row" ] || fail "redo did not bring the same row back"

key Left
key ctrl+c
sleep 0.4
xclip -selection clipboard -o -t image/png >"$work/copied.png"
cmp -s "$work/copied.png" "$work/photo.png" || fail "the copied picture is not the stored bytes"

ids=$(block_ids)
key Delete
sleep 0.5
[ "$(note_body)" = $'socks\n and boots' ] || fail "after deleting the picture: $(printf '%q' "$(note_body)")"
key ctrl+z
sleep 0.5
[ "$(block_ids)" = "$ids" ] || fail "undoing the deletion changed the block ids"

# A picture pasted and undone: its row goes when the window closes.
key ctrl+End
paste_picture "$work/other.png"
[ "$(q "SELECT count(*) FROM NoteImage")" = 2 ] || fail "the second picture was not pasted"
key ctrl+z
sleep 0.5
envelope=$(q "SELECT hex(bodyBlocksData) FROM Note WHERE title = 'Packing list'")
key ctrl+w
within 30 bash -c '[ "$(sqlite3 "file:'"$store"'?mode=ro" "SELECT count(*) FROM NoteImage")" = 1 ]' ||
  fail "the undone picture's row outlived the window"
stop_app

# Relaunched, the note's stored bytes stay as they were.
launch "$tarnwick"
sleep 3
stop_app
[ "$(q "SELECT hex(bodyBlocksData) FROM Note WHERE title = 'Packing list'")" = "$envelope" ] ||
  fail "the relaunch changed the stored body"
echo "block editor app test passed"
