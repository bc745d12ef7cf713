#!/usr/bin/env bash
# The block editor in the real note window: a new note from the hot key, a picture pasted into its
# text, undo and redo, copy of the picture, delete and undo by block id, a copied picture pasted beside
# itself and undone and redone by keys (the undo leaves the keyboard with the body itself), a pasted and
# undone picture collected when the window closes, the same stored bytes after a relaunch, and a
# browser's "Copy Image" (markup holding only the picture, and the picture) pasted as a picture, and Up
# from that picture to the start of the line above.
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
block_count() {
  q "SELECT count(*) FROM Note, json_each(json_extract(CAST(bodyBlocksData AS TEXT), '$.blocks'))
     WHERE title = 'Packing list'"
}
blocks_are() { [ "$(block_count)" = "$1" ]; }
# Owns the clipboard as a browser's "Copy Image" does: the markup in $1 and the picture in $2.
browser_copy() {
  [ -n "${owner_pid:-}" ] && { kill "$owner_pid" 2>/dev/null || true; wait "$owner_pid" 2>/dev/null || true; }
  printf '%s' "$1" >"$work/copy.html"
  "$host" --clipboard "$work/copy.html" "$2" &
  owner_pid=$!
  within 100 bash -c '[ "$(xclip -selection clipboard -o -t text/html 2>/dev/null | tr -d "\0")" = "$(cat "$0")" ]' \
    "$work/copy.html" || fail "the clipboard helper did not take the clipboard"
}
paste_picture() {
  [ -n "${owner_pid:-}" ] && kill "$owner_pid" 2>/dev/null || true
  xclip -selection clipboard -t image/png -i "$1" &
  owner_pid=$!
  sleep 0.3
  key ctrl+v
  sleep 0.5
}

# Where the pasted picture shows in the note window $1, in screen coordinates: "x y w h" of the host's
# picture blue, with its first column tinted by an outline but not the outline, the scroll bar or the
# edges of letters.
picture_box() {
  local X Y WIDTH HEIGHT
  eval "$(xdotool getwindowgeometry --shell "$1")"
  import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" png:- 2>/dev/null |
    convert png:- +repage -fuzz 14% -fill black +opaque '#3A7BD5' -fill white -opaque '#3A7BD5' \
      -morphology Open Square:2 -format '%@\n' info: |
    { IFS='x+' read -r w h x y && echo "$((X + x)) $((Y + y)) $w $h"; }
}
# True when the screen's pixel at $1,$2 is the accent of a selected picture's outline.
is_accent() {
  local hex
  hex=$(import -window root -crop "1x1+$1+$2" png:- 2>/dev/null | convert png:- -depth 8 -format '%[hex:p{0,0}]' info:)
  local r=$((16#${hex:0:2})) g=$((16#${hex:2:2})) b=$((16#${hex:4:2}))
  [ $((r - 176)) -ge -12 ] && [ $((r - 176)) -le 12 ] && [ $((g - 86)) -ge -12 ] && [ $((g - 86)) -le 12 ] &&
    [ $((b - 58)) -ge -12 ] && [ $((b - 58)) -le 12 ]
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

# A click selects the picture: its accent outline shows on its left side too, just outside the picture,
# which stays where it was. Right gives the keys back to the text after it.
note_window=$(xdotool getactivewindow)
xdotool mousemove 0 0
sleep 0.3
read -r px py pw ph < <(picture_box "$note_window")
[ "${pw:-0}" -gt 40 ] && [ "${ph:-0}" -gt 20 ] || fail "no picture on the screen: ${px:-} ${py:-} ${pw:-} ${ph:-}"
is_accent $((px - 1)) $((py + ph / 2)) && fail "an outline before the picture was selected"
xdotool mousemove $((px + pw / 2)) $((py + ph / 2)) sleep 0.2 click 1
within 30 is_accent $((px - 1)) $((py + ph / 2)) || fail "no accent left of the selected picture at $((px - 1)),$((py + ph / 2))"
is_accent $((px + pw)) $((py + ph / 2)) || fail "no accent right of the selected picture"
[ -n "${TARNWICK_BLOCKS_SHOT:-}" ] && import -window root "$TARNWICK_BLOCKS_SHOT"
[ "$(picture_box "$note_window")" = "$px $py $pw $ph" ] ||
  fail "selecting the picture moved it: $(picture_box "$note_window"), not $px $py $pw $ph"
key Right

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

# The picture, selected again by the undo, copied and pasted beside itself: two. Undo takes the new one,
# and the keyboard with it; redo and undo still reach the note's history from the body itself.
key ctrl+c
key ctrl+v
within 50 blocks_are 4 || fail "pasting the copied picture: $(block_count) blocks"
for step in "ctrl+z 3" "ctrl+shift+z 4" "ctrl+z 3" "ctrl+shift+z 4"; do
  read -r chord count <<<"$step"
  key "$chord"
  within 50 blocks_are "$count" || fail "after $chord in the sequence: $(block_count) blocks, not $count"
done
[ "$(q "SELECT count(*) FROM NoteImage")" = 1 ] || fail "the pasted copy did not reuse the picture's row"

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

# Relaunched, the note's stored bytes stay as they were. A browser's "Copy Image" pastes the picture
# into another note; markup with words beside a picture pastes the words alone.
launch "$tarnwick"
for _ in $(seq 1 30); do new_note && break; sleep 0.5; done
active_is "New Note" || fail "Alt+Shift+N opened no note after the relaunch"
sleep 0.5
type_text "Browser copy"
key Return
type_text "see"
within 30 active_is "Browser copy" || fail "the second note is not titled Browser copy"
browser_body() { q "SELECT body FROM Note WHERE title = 'Browser copy'"; }
browser_copy '<html><body><!--StartFragment--><img src="https://example.org/cat.png" alt="a cat"><!--EndFragment--></body></html>' \
  "$work/other.png"
key ctrl+v
within 50 bash -c '[ "$(sqlite3 "file:$0?mode=ro" "SELECT count(*) FROM NoteImage WHERE noteUUID = (SELECT uuid FROM Note WHERE title = '"'Browser copy'"')")" = 1 ]' \
  "$store" || fail "the browser's picture was not pasted: $(printf '%q' "$(browser_body)")"
[ "$(browser_body)" = $'see\n\uFFFC' ] || fail "after the browser paste: $(printf '%q' "$(browser_body)")"
browser_copy '<b>Ship</b> it<img src="https://example.org/cat.png">' "$work/other.png"
key ctrl+v
within 50 bash -c '[ "$(sqlite3 "file:$0?mode=ro" "SELECT body FROM Note WHERE title = '"'Browser copy'"'")" = "$1" ]' \
  "$store" $'see\n\uFFFC\nShip it' || fail "markup with words: $(printf '%q' "$(browser_body)")"
[ "$(q "SELECT count(*) FROM NoteImage")" = 2 ] || fail "markup with words pasted a picture too"
# Up from a picture has no caret x to keep: it lands at the start of the line above, as Down does below.
key Home Up
key Up
type_text "U"
within 50 bash -c '[ "$(sqlite3 "file:$0?mode=ro" "SELECT body FROM Note WHERE title = '"'Browser copy'"'")" = "$1" ]' \
  "$store" $'Usee\n\uFFFC\nShip it' || fail "Up from the picture: $(printf '%q' "$(browser_body)")"
stop_app
[ "$(q "SELECT hex(bodyBlocksData) FROM Note WHERE title = 'Packing list'")" = "$envelope" ] ||
  fail "the relaunch changed the stored body"
echo "block editor app test passed"
