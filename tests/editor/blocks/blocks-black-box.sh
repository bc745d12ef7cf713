#!/usr/bin/env bash
# Black-box test of the block editor: types a note into the block editor test host in the desktop
# session, pastes, copies, deletes, resizes, previews and drops pictures as a user would, and checks the
# stored rows with sqlite3 after each step and after opening the note again.
# Usage (inside scripts/desktop-session.sh): blocks-black-box.sh BLOCK-EDITOR-TEST-HOST
set -euo pipefail
host=$1

work=$(mktemp -d /tmp/tarnwick-blocks-XXXXXX)
export TARNWICK_BLOCKS_GEOMETRY="$work/geometry"
store="$XDG_DATA_HOME/tarnwick/default.store"
host_pid=""
fail() {
  echo "FAIL: $*" >&2
  [ -f "$work/host.log" ] && { echo "--- host log" >&2; cat "$work/host.log" >&2; }
  exit 1
}
stop_host() {
  [ -n "$host_pid" ] || return 0
  kill -TERM "$host_pid" 2>/dev/null || true
  wait "$host_pid" 2>/dev/null || true
  host_pid=""
}
cleanup() {
  stop_host
  [ -n "${owner_pid:-}" ] && kill "$owner_pid" 2>/dev/null || true
  [ -n "${drag_pid:-}" ] && kill "$drag_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
. "$(dirname "$0")/host-drag.sh"

wait_window() {
  for _ in $(seq 1 100); do
    window=$(xdotool search --name "^$1\$" 2>/dev/null | head -n1 || true)
    [ -n "$window" ] && return 0
    sleep 0.1
  done
  fail "no window named \"$1\" (windows: $(xdotool search --name . getwindowname %@ 2>/dev/null | tr '\n' '|'))"
}
start_host() {
  "$host" >>"$work/host.log" 2>&1 &
  host_pid=$!
  wait_window "$1"
  xdotool windowactivate --sync "$window" 2>/dev/null || xdotool windowfocus --sync "$window"
  sleep 0.4
}
type_text() { xdotool type --delay 15 -- "$1"; }
key() { xdotool key --delay 40 "$@"; sleep 0.1; }
q() { sqlite3 "$store" "$1"; }
block_ids() { q "SELECT group_concat(json_extract(b.value, '$.id'), ',') FROM Note, json_each(json_extract(CAST(bodyBlocksData AS TEXT), '$.blocks')) b"; }
# The first picture's frame in window coordinates: x y w h.
picture_frame() { head -n1 "$work/geometry"; }

"$host" --picture 1200 800 "$work/photo.png"
"$host" --picture 640 480 "$work/trip.jpg"
printf 'not a picture' >"$work/notes.txt"
png_hash=$(sha256sum "$work/photo.png" | cut -d' ' -f1)

start_host "New Note"
key ctrl+Home
type_text "Packing list"
key Return
type_text "socks and boots"
wait_window "Packing list"
key Left Left Left Left Left Left Left Left Left Left
xclip -selection clipboard -t image/png -i "$work/photo.png" &
owner_pid=$!
sleep 0.3
key ctrl+v
sleep 0.3
type_text "X"
sleep 0.5

[ "$(q "SELECT title FROM Note")" = "Packing list" ] || fail "stored title: $(q "SELECT title FROM Note")"
body=$(q "SELECT body FROM Note")
[ "$body" = $'socks\n\uFFFC\nX and boots' ] || fail "stored body: $(printf '%q' "$body")"
[ "$(q "SELECT count(*) FROM NoteImage")" = 1 ] || fail "picture rows: $(q "SELECT count(*) FROM NoteImage")"
[ "$(q "SELECT contentHash FROM NoteImage")" = "$png_hash" ] || fail "the stored picture is not the pasted PNG"
row=$(q "SELECT hex(uuid) FROM NoteImage")

key ctrl+z ctrl+z
sleep 0.3
[ "$(q "SELECT body FROM Note")" = "socks and boots" ] || fail "after two undos: $(q "SELECT body FROM Note")"
key ctrl+shift+z
sleep 0.3
[ "$(q "SELECT body FROM Note")" = $'socks\n\uFFFC\n and boots' ] || fail "after redo: $(q "SELECT body FROM Note")"
[ "$(q "SELECT hex(uuid) FROM NoteImage")" = "$row" ] || fail "redo made another row"

# Left from the start of the text after the picture selects it; Ctrl+C copies the stored bytes.
key Left
key ctrl+c
sleep 0.3
xclip -selection clipboard -o -t image/png >"$work/copied.png"
cmp -s "$work/copied.png" "$work/photo.png" || fail "the copied picture is not the stored bytes"

ids=$(block_ids)
key Delete
sleep 0.3
[ "$(q "SELECT body FROM Note")" = "socks
 and boots" ] || fail "after deleting the picture: $(q "SELECT body FROM Note")"
key ctrl+z
sleep 0.3
[ "$(block_ids)" = "$ids" ] || fail "undo of the deletion changed the block ids: $ids / $(block_ids)"

# Dragging the corner handle stores a fraction.
read -r px py pw ph < <(picture_frame)
cx=$((px + pw - 1)); cy=$((py + ph - 1))
xdotool mousemove --window "$window" "$cx" "$cy" sleep 0.2 mousedown 1 sleep 0.2 \
  mousemove --window "$window" $((cx - 60)) $((cy - 40)) sleep 0.2 \
  mousemove --window "$window" $((cx - 120)) $((cy - 80)) sleep 0.2 mouseup 1
sleep 0.4
fraction=$(q "SELECT json_extract(CAST(bodyBlocksData AS TEXT), '$.blocks[1].sizing.fraction') FROM Note")
[ -n "${TARNWICK_BLOCKS_SHOT:-}" ] && import -window root "${TARNWICK_BLOCKS_SHOT%.png}-editor.png"
[ -n "$fraction" ] && awk "BEGIN{exit !($fraction > 0.3 && $fraction < 1)}" ||
  fail "no fraction after dragging the handle: $(q "SELECT CAST(bodyBlocksData AS TEXT) FROM Note")"

# A double click opens the preview: its file is private, and gone when the editor closes.
read -r px py pw ph < <(picture_frame)
xdotool mousemove --window "$window" $((px + pw / 2)) $((py + ph / 2)) click --repeat 2 --delay 80 1
preview_name="tarnwick-$(q "SELECT json_extract(CAST(bodyBlocksData AS TEXT), '$.blocks[1].image') FROM Note").png"
editor=$window
wait_window "$preview_name"
previews="$XDG_RUNTIME_DIR/tarnwick/previews"
[ "$(stat -c %a "$previews")" = 700 ] || fail "preview folder mode $(stat -c %a "$previews")"
[ "$(stat -c %a "$previews/$preview_name")" = 600 ] || fail "preview file mode"
[ -n "${TARNWICK_BLOCKS_SHOT:-}" ] && import -window root "$TARNWICK_BLOCKS_SHOT"
key Escape
sleep 0.3
[ -z "$(xdotool search --name "^$preview_name\$" 2>/dev/null || true)" ] || fail "Escape left the preview open"
window=$editor
xdotool windowactivate --sync "$window" 2>/dev/null || true

# Drops: a JPEG adds a row; a text file and an oversized "picture" store nothing.
drop_file() {
  eval "$(xdotool getwindowgeometry --shell "$window")"
  host_drag 600 $((X + 200)) $((Y + HEIGHT - 30)) --drag "$1"
}
drop_file "$work/trip.jpg"
[ "$(q "SELECT count(*) FROM NoteImage")" = 2 ] || fail "the dropped JPEG was not stored"
envelope=$(q "SELECT hex(bodyBlocksData) FROM Note")
drop_file "$work/notes.txt"
head -c $((70 * 1024 * 1024)) /dev/zero >"$work/huge.png"
drop_file "$work/huge.png"
[ "$(q "SELECT count(*) FROM NoteImage")" = 2 ] || fail "a text file or an oversized picture was stored"
[ "$(q "SELECT hex(bodyBlocksData) FROM Note")" = "$envelope" ] || fail "a refused drop changed the body"

# A picture pasted and undone is collected when the editor closes.
xclip -selection clipboard -t image/png -i "$work/trip.jpg" &
owner_pid=$!
key ctrl+End
"$host" --picture 300 200 "$work/third.png"
kill "$owner_pid" 2>/dev/null || true
xclip -selection clipboard -t image/png -i "$work/third.png" &
owner_pid=$!
sleep 0.3
key ctrl+v
sleep 0.3
[ "$(q "SELECT count(*) FROM NoteImage")" = 3 ] || fail "the third picture was not pasted"
key ctrl+z
sleep 0.3
envelope=$(q "SELECT hex(bodyBlocksData) FROM Note")
stop_host
[ "$(q "SELECT count(*) FROM NoteImage")" = 2 ] || fail "the undone picture's row was kept after closing"
[ -z "$(ls -A "$previews")" ] || fail "preview files left after closing: $(ls "$previews")"

# Opening again reads the same body and writes nothing.
start_host "Packing list"
sleep 0.5
stop_host
[ "$(q "SELECT hex(bodyBlocksData) FROM Note")" = "$envelope" ] || fail "reopening changed the stored body"
echo "block editor black-box test passed"
