#!/usr/bin/env bash
# A note's text in the real application: the "Title" placeholder of a new note, a typed address linked
# once in the stored runs, the find bar's counts and Escape, and a spelling suggestion chosen from the
# text menu and taken back with one undo.
# Usage (inside scripts/desktop-session.sh): text-app.sh TARNWICK
set -euo pipefail
tarnwick=$1

. "$(dirname "$0")/../../support/session-lib.sh"
session_begin text-app app screenshot
trap 'fail "command failed on line $LINENO"' ERR
store="$XDG_DATA_HOME/tarnwick/default.store"
q() { sqlite3 "file:$store?mode=ro" "$1"; }
type_text() { xdotool type --delay 30 -- "$1"; }
key() { xdotool key --clearmodifiers --delay 40 "$@"; sleep 0.2; }
body_of() { q "SELECT body FROM Note WHERE title = 'Trip' AND isTrashed = 0"; }
# The linked ranges of the note's stored runs, as "text" lines, read from the body's envelope.
links_of() {
  q "SELECT CAST(bodyBlocksData AS TEXT) FROM Note WHERE title = 'Trip' AND isTrashed = 0" | python3 -c '
import json, sys
envelope = json.loads(sys.stdin.read())
for block in envelope["blocks"]:
    if block.get("type") != "text":
        continue
    units = block.get("text", "").encode("utf-16-le")
    for run in block.get("runs", []):
        if run.get("link"):
            piece = units[2 * run["loc"]:2 * (run["loc"] + run["len"])].decode("utf-16-le")
            print(piece + "|" + run["link"])
'
}
# How many colours a part of the screen shows: one for bare paper, many for drawn text.
colours() { import -window root -crop "$1" png:- 2>/dev/null | convert png:- -format '%k' info:; }
placeholder_drawn() { [ "$(colours "$title_strip")" -gt "$(($(colours "$paper_strip") + 4))" ]; }
# The application's visible windows (a menu adds one).
visible_windows() { xdotool search --onlyvisible --pid "$app_pid" 2>/dev/null | wc -l; }

launch "$tarnwick"
for _ in $(seq 1 30); do
  xdotool key --clearmodifiers alt+shift+n
  within 20 active_is "New Note" && break
  sleep 0.5
done
active_is "New Note" || fail "Alt+Shift+N opened no note"
sleep 1

# (1) The empty title line shows "Title"; the same strip of paper lower down is bare.
window=$(xdotool getactivewindow)
eval "$(xdotool getwindowgeometry --shell "$window")"
import -window root "$work/new-note.png"
title_strip="90x20+$((X + 12))+$((Y + 66))"
paper_strip="90x20+$((X + 12))+$((Y + 150))"
within 50 placeholder_drawn ||
  fail "no placeholder drawn: $(colours "$title_strip") colours on the title line, $(colours "$paper_strip") on bare paper"

type_text "Trip"
key Return
type_text "see https://example.org/a. then recieve"
key Return
type_text "recieve again"
within 150 test "$(body_of)" = $'see https://example.org/a. then recieve\nrecieve again' ||
  fail "stored body: $(printf '%q' "$(body_of)")"

# (2) One link run, on the address without its full stop.
settles_to 30 "https://example.org/a|https://example.org/a" links_of ||
  fail "links: $(links_of) in $(q "SELECT CAST(bodyBlocksData AS TEXT) FROM Note WHERE title = 'Trip'")"

# (3) The find bar: "1 of 2", Return "2 of 2", Escape closes it and typing goes on at the caret.
key ctrl+f
sleep 1
type_text "recieve"
sleep 0.5
# The query went into the bar, not into the note.
[ "$(body_of)" = $'see https://example.org/a. then recieve\nrecieve again' ] ||
  fail "Ctrl+F opened no find bar; the note reads $(printf '%q' "$(body_of)")"
import -window root "$work/find.png"
key Return
sleep 0.3
import -window root "$work/find-2.png"
key Escape
sleep 0.3
type_text "!"
within 150 test "$(body_of)" = $'see https://example.org/a. then recieve\nrecieve again!' ||
  fail "after Escape, typing went to: $(printf '%q' "$(body_of)")"
key BackSpace

# (4) The menu of the first "recieve" (opened with the menu key, the caret inside the word): its
# first item is "receive", and choosing it stores it; Ctrl+Z brings the misspelling back.
key ctrl+Home Down End Left
sleep 0.5
import -window root "$work/marked.png"
windows_before=$(visible_windows)
key Menu
within 50 test "$(visible_windows)" -gt "$windows_before" || fail "the menu key opened no menu"
sleep 0.3
import -window root "$work/menu.png"
key Down Return
within 150 test "$(body_of)" = $'see https://example.org/a. then receive\nrecieve again' ||
  fail "after choosing the first suggestion: $(printf '%q' "$(body_of)")"
key ctrl+z
within 150 test "$(body_of)" = $'see https://example.org/a. then recieve\nrecieve again' ||
  fail "after Ctrl+Z: $(printf '%q' "$(body_of)")"
if [ -n "${TARNWICK_KEEP_SHOTS:-}" ]; then cp "$work"/*.png "$TARNWICK_KEEP_SHOTS"/; fi
echo "PASS"
