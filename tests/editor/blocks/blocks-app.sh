#!/usr/bin/env bash
# The block editor in the real note window: a new note from the hot key, a picture pasted into its
# text, undo and redo, copy of the picture, delete and undo by block id, a copied picture pasted beside
# itself and undone and redone by keys (the undo leaves the keyboard with the body itself), a pasted and
# undone picture collected when the window closes, the same stored bytes after a relaunch, and a
# browser's "Copy Image" (markup holding only the picture, and the picture) pasted as a picture, and Up
# from that picture to the start of the line above; a 1-bit picture over 2048 px stored in its colours,
# and the text at the end of a note kept in place while a picture above it changes height; a triple or
# quadruple click on a to-do box toggles it once; drags from another program onto a body line: a text
# file refused, plain text landing, a picture with a text file taken as the picture alone.
# Usage (inside scripts/desktop-session.sh): blocks-app.sh TARNWICK BLOCK-EDITOR-TEST-HOST
set -euo pipefail
tarnwick=$1 host=$2

. "$(dirname "$0")/../../support/session-lib.sh"
. "$(dirname "$0")/host-drag.sh"
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
  own_selection clipboard image/png "$1"
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
# True when the screen's pixel at $1,$2 is within 12 of the colour $3 (RRGGBB) in each channel.
is_colour() {
  local hex k d
  hex=$(import -window root -crop "1x1+$1+$2" png:- 2>/dev/null | convert png:- -depth 8 -format '%[hex:p{0,0}]' info:)
  for k in 0 2 4; do
    d=$((16#${hex:k:2} - 16#${3:k:2}))
    [ "$d" -ge -12 ] && [ "$d" -le 12 ] || return 1
  done
}
# True when the screen's pixel at $1,$2 is the accent of a selected picture's outline.
is_accent() { is_colour "$1" "$2" B0563A; }

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

# A picture of one colour over 2048 px, which ImageMagick writes as a 1-bit palette, is stored redrawn in
# that colour, not as black and white noise.
convert -size 400x3000 xc:'#B03060' "$work/tall.png"
key ctrl+End
paste_picture "$work/tall.png"
tall_stored() { [ "$(q "SELECT utType || ' ' || pixelWidth || 'x' || pixelHeight FROM NoteImage WHERE pixelHeight = 2048")" = "public.jpeg 273x2048" ]; }
within 50 tall_stored || fail "the tall picture is stored as $(q "SELECT utType, pixelWidth, pixelHeight FROM NoteImage")"
q "SELECT writefile('$work/stored-tall', data) FROM NoteImage WHERE pixelHeight = 2048" >/dev/null
read -r r g b spread < <(convert "$work/stored-tall" -format \
  '%[fx:round(255*mean.r)] %[fx:round(255*mean.g)] %[fx:round(255*mean.b)] %[fx:round(255*standard_deviation)]\n' info:)
[ $((r - 176)) -ge -6 ] && [ $((r - 176)) -le 6 ] && [ $((g - 48)) -ge -6 ] && [ $((g - 48)) -le 6 ] &&
  [ $((b - 96)) -ge -6 ] && [ $((b - 96)) -le 6 ] && [ "$spread" -le 3 ] ||
  fail "the tall picture is stored as mean $r,$g,$b spread $spread, not #B03060"

# At the end of the note, the tall picture above the visible area grows (its "Full width" redone) and
# shrinks (undone): the text being read stays where it is.
key Return
for i in $(seq 1 25); do type_text "line $i"; key Return; done
note_window=$(xdotool getactivewindow)
eval "$(xdotool getwindowgeometry --shell "$note_window")"
# A point of the window where the picture's left side passes, whatever its width.
on_tall() { is_colour $((X + 30)) $((Y + HEIGHT / 2)) B03060; }
xdotool mousemove $((X + 30)) $((Y + HEIGHT / 2))
for _ in $(seq 1 40); do on_tall && break; xdotool click 4; sleep 0.1; done
on_tall || fail "the tall picture did not come into sight"
browser_blocks() { q "SELECT hex(bodyBlocksData) FROM Note WHERE title = 'Browser copy'"; }
blocks_now() { [ "$(browser_blocks)" = "$1" ]; }
blocks_not() { [ "$(browser_blocks)" != "$1" ]; }
fit=$(browser_blocks)
mapped() { xdotool search --onlyvisible --pid "$app_pid" 2>/dev/null | wc -l; }
more_mapped_than() { [ "$(mapped)" -gt "$1" ]; }
windows=$(mapped)
xdotool click 3
within 30 more_mapped_than "$windows" || fail "no menu on a right click on the picture"
key Down Down Return
within 30 blocks_not "$fit" || fail "the picture's menu did not make it full width"
full=$(browser_blocks)
key Down ctrl+End
xdotool mousemove 0 0
# The window without its scroll bar, whose handle follows the body's height.
body_shot() { import -window root -crop "$((WIDTH - 24))x${HEIGHT}+${X}+${Y}" "$work/$1.png"; }
# Only the caret may differ between two shots (it blinks).
same_shot() { { compare -metric AE -fuzz 10% "$work/$1.png" "$work/$2.png" null: 2>&1 || true; } | awk '{ exit !($1 < 300) }'; }
# Twice in a row, so that a shot taken before the change was painted cannot pass for it.
shows() { body_shot "$2" && same_shot "$1" "$2" && sleep 0.2 && body_shot "$2" && same_shot "$1" "$2"; }
# The body at the end, once two shots in a row are alike.
settled() { cp "$work/end.png" "$work/previous.png" && body_shot end && same_shot previous end; }
body_shot end
within 30 settled || fail "the body did not settle at the end of the note"
key ctrl+z
within 30 blocks_now "$fit" || fail "Ctrl+Z did not take the full width back"
within 30 shows end undone || fail "the text moved when the picture above it shrank at the end of the note"
key ctrl+shift+z
within 30 blocks_now "$full" || fail "Ctrl+Shift+Z did not make the picture full width again"
within 30 shows end redone || fail "the text moved when the picture above it grew at the end of the note"

# A to-do line "☐ item one": a click on its box ticks it; three presses 80 ms apart untick it, once;
# four tick it again, once.
for _ in $(seq 1 30); do new_note && break; sleep 0.5; done
active_is "New Note" || fail "Alt+Shift+N opened no note for the to-do"
type_text "Todo"
key Return
type_text "[] item one"
todo_body() { q "SELECT body FROM Note WHERE title = 'Todo'"; }
todo_is() { [ "$(todo_body)" = "$1" ]; }
within 50 todo_is "☐ item one" || fail "the to-do line reads $(printf '%q' "$(todo_body)")"
todo_window=$(xdotool getactivewindow)
# The box: the first glyph of the line under the title.
xdotool mousemove --window "$todo_window" 23 97
sleep 0.3
n=0
for presses in 1 3 4; do
  xdotool click --repeat "$presses" --delay 80 1
  sleep 1
  n=$((n + 1))
  [ $((n % 2)) = 1 ] && want="☑ item one" || want="☐ item one"
  within 30 todo_is "$want" || fail "$presses press(es) on the box left $(printf '%q' "$(todo_body)"), not $want"
done
import -window root "$work/todo.png"

# Drags from another program onto a body line: a text file (its address offered as text beside it, as a
# file manager does) is refused and the body stays as it was; plain text lands where it is dropped; a
# picture dragged with a text file becomes a picture, and no address reaches the text.
for _ in $(seq 1 30); do new_note && break; sleep 0.5; done
active_is "New Note" || fail "Alt+Shift+N opened no note for the drops"
sleep 0.5
type_text "Drops"
for i in 1 2 3 4 5 6; do
  key Return
  type_text "alpha paragraph text $i"
done
within 30 active_is "Drops" || fail "the note for the drops is not titled Drops"
drops_window=$(xdotool getactivewindow)
drops_body() { q "SELECT body FROM Note WHERE title = 'Drops'"; }
lines=$'alpha paragraph text 1\nalpha paragraph text 2\nalpha paragraph text 3\nalpha paragraph text 4\nalpha paragraph text 5\nalpha paragraph text 6'
settles_to 50 "$lines" drops_body || fail "the note for the drops holds $(printf '%q' "$(drops_body)")"
printf 'plain words\n' >"$work/plain.txt"
drag_onto_body() {
  local X Y WIDTH HEIGHT
  eval "$(xdotool getwindowgeometry --shell "$drops_window")"
  # Over the middle of a body line, in the middle of a word.
  host_drag 300 $((X + 75)) $((Y + 150)) "$@"
}
drag_onto_body --drag --text "$work/plain.txt"
drag_onto_body --drag "$work/plain.txt"
settles_to 10 "$lines" drops_body || fail "a dragged text file changed the body: $(printf '%q' "$(drops_body)")"
[ "$(q "SELECT count(*) FROM NoteImage WHERE noteUUID = (SELECT uuid FROM Note WHERE title = 'Drops')")" = 0 ] ||
  fail "a dragged text file was stored as a picture"
drag_onto_body --drag-text "dropped"
within 50 bash -c '[ "$(sqlite3 "file:$0?mode=ro" "SELECT body FROM Note WHERE title = '"'Drops'"'")" != "$1" ]' "$store" "$lines" ||
  fail "plain text dragged onto the body did not land"
body=$(drops_body)
[ "$(tr -d '\n' <<<"$body" | sed 's/dropped//')" = "$(tr -d '\n' <<<"$lines")" ] && [ "$(wc -l <<<"$body")" = 6 ] &&
  ! grep -q '^dropped\|dropped$' <<<"$body" || fail "the dropped text did not land inside a body line: $(printf '%q' "$body")"
lines=$body
drag_onto_body --drag --text "$work/photo.png" "$work/plain.txt"
within 50 bash -c '[ "$(sqlite3 "file:$0?mode=ro" "SELECT count(*) FROM NoteImage WHERE noteUUID = (SELECT uuid FROM Note WHERE title = '"'Drops'"')")" = 1 ]' \
  "$store" || fail "the picture dragged with a text file was not added"
drops_body | grep -q "file:" && fail "an address reached the text: $(printf '%q' "$(drops_body)")"
[ "$(drops_body | tr -d '\n\357\277\274')" = "$(tr -d '\n' <<<"$lines")" ] ||
  fail "the picture's drop changed the text: $(printf '%q' "$(drops_body)")"
stop_app
[ "$(q "SELECT hex(bodyBlocksData) FROM Note WHERE title = 'Packing list'")" = "$envelope" ] ||
  fail "the relaunch changed the stored body"
echo "block editor app test passed"
