#!/usr/bin/env bash
# A note's text in the real application: the "Title" placeholder of a new note, a typed address linked
# once in the stored runs, the find bar's counts and Escape (from its field and from "Done"), a spelling
# suggestion chosen from the text menu and taken back with one undo; then pastes into a second new note: two lines into its title,
# an HTML list, files left out (the note's notice), and the title row of the rolled-up window; a middle-click
# paste onto a body line with the caret in the title; text moved across the end of the title line (a join
# undone, lines pasted into the title, then typing with Ctrl+B or Ctrl+I) leaving no run of the title's style
# in the body, after a relaunch too.
# Usage (inside scripts/desktop-session.sh): text-app.sh TARNWICK
set -euo pipefail
tarnwick=$1

. "$(dirname "$0")/../../support/session-lib.sh"
session_begin text-app app screenshot
trap 'step_failed $LINENO' ERR
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
more_windows_than() { [ "$(visible_windows)" -gt "$1" ]; }

new_note() {
  open_new_note "$1"
  sleep 1
}

launch "$tarnwick"
new_note "note"

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
settles_to 150 $'see https://example.org/a. then recieve\nrecieve again' body_of ||
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
settles_to 150 $'see https://example.org/a. then recieve\nrecieve again!' body_of ||
  fail "after Escape, typing went to: $(printf '%q' "$(body_of)")"
key BackSpace
# Escape from the bar's "Done" (reached by Tab) closes it as well, and the next letter is the note's.
key ctrl+f
sleep 0.5
type_text "r"
key Tab
key Escape
type_text "?"
settles_to 150 $'see https://example.org/a. then recieve\nrecieve again?' body_of ||
  fail "after Tab and Escape in the find bar, typing went to: $(printf '%q' "$(body_of)")"
key BackSpace

# (4) The menu of the first "recieve" (opened with the menu key, the caret inside the word): its
# first item is "receive", and choosing it stores it; Ctrl+Z brings the misspelling back.
key ctrl+Home Down End Left
sleep 0.5
import -window root "$work/marked.png"
windows_before=$(visible_windows)
key Menu
within 50 more_windows_than "$windows_before" || fail "the menu key opened no menu"
sleep 0.3
import -window root "$work/menu.png"
key Down Return
settles_to 150 $'see https://example.org/a. then receive\nrecieve again' body_of ||
  fail "after choosing the first suggestion: $(printf '%q' "$(body_of)")"
key ctrl+z
settles_to 150 $'see https://example.org/a. then recieve\nrecieve again' body_of ||
  fail "after Ctrl+Z: $(printf '%q' "$(body_of)")"

# (5) Two lines pasted into a new note's title: the first is the title, the second the whole body,
# with the caret after it.
new_note "second note"
# The body with an end mark: the shell would drop a trailing line feed.
pasted_body() { q "SELECT body || '|' FROM Note WHERE title = 'TitleP' AND isTrashed = 0"; }
printf 'TitleP\nbody' | xclip -selection clipboard
key ctrl+Home
key ctrl+v
settles_to 150 "body|" pasted_body ||
  fail "after pasting two lines into the title: $(q "SELECT title || '|' || body FROM Note WHERE isTrashed = 0")"
type_text "X"
settles_to 150 "bodyX|" pasted_body || fail "typed after the paste: $(printf '%q' "$(pasted_body)")"

# (6) An HTML list keeps its bullets.
key Return
printf '<ul><li>alpha</li><li>beta</li></ul>' | xclip -selection clipboard -t text/html
key ctrl+v
settles_to 150 $'bodyX\n\xe2\x80\xa2 alpha\n\xe2\x80\xa2 beta|' pasted_body ||
  fail "after pasting an HTML list: $(printf '%q' "$(pasted_body)")"

# (7) A picture and a file too large to add, pasted as files: the picture goes in and the note says
# under its head row which file was left out, for longer than a glance.
key Return Return  # out of the list, so the format row looks the same before and after
sleep 0.5
window=$(xdotool getactivewindow)
eval "$(xdotool getwindowgeometry --shell "$window")"
notice_strip="200x16+$((X + 12))+$((Y + 34))"
import -window root -crop "$notice_strip" "$work/strip-before.png"
# How many pixels of the strip differ from how it looked before the paste.
changed() {
  import -window root -crop "$notice_strip" "$work/strip-now.png"
  compare -metric AE "$work/strip-before.png" "$work/strip-now.png" null: 2>&1 | cut -d' ' -f1 || true
}
notice_shown() { [ "$(changed)" -gt 400 ]; }
convert -size 40x30 xc:'#3366CC' "$work/photo.png"
truncate -s 70M "$work/seventy.png"
printf 'file://%s\nfile://%s\n' "$work/photo.png" "$work/seventy.png" | xclip -selection clipboard -t text/uri-list
key ctrl+v
within 20 notice_shown || fail "no notice under the head row ($(changed) pixels changed)"
sleep 0.6
import -window root "$work/notice.png"
notice_shown || fail "the notice went within a second ($(changed) pixels changed)"
settles_to 150 1 q "SELECT COUNT(*) FROM NoteImage" || fail "the pasted picture was not stored"

# (8) A third note, the caret left in its title: the PRIMARY selection middle-clicked onto the first
# body line lands under the pointer in the body's style (no run of the title's serif), and one undo
# takes it away.
new_note "third note"
type_text "Head"
key Return
type_text "first line"
key Return
type_text "second line"
head_of() { q "SELECT body || '|' || CAST(bodyBlocksData AS TEXT) FROM Note WHERE title = 'Head' AND isTrashed = 0"; }
head_runs() { head_of | python3 -c 'import json, sys; print(json.loads(sys.stdin.read().split("|", 1)[1])["blocks"][0]["runs"])'; }
settles_to 150 $'first line\nsecond line' q "SELECT body FROM Note WHERE title = 'Head'" || fail "Head: $(head_of)"
[ "$(head_runs)" = "[]" ] || fail "typed body lines already carry runs: $(head_runs)"
key ctrl+Home Right
printf 'XYZ' | xclip -selection primary
head_window=$(xdotool getactivewindow)
eval "$(xdotool getwindowgeometry --shell "$head_window" | sed 's/^/HEAD_/')"
# The first body line is 97 pixels below the window's top; the click is past its end.
xdotool mousemove "$((HEAD_X + 200))" "$((HEAD_Y + 97))" click 2
settles_to 150 $'first lineXYZ\nsecond line' q "SELECT body FROM Note WHERE title = 'Head'" ||
  fail "after the middle click: $(head_of)"
[ "$(head_runs)" = "[]" ] || fail "the middle-clicked text took the title's style: $(head_runs)"
key ctrl+z
settles_to 150 $'first line\nsecond line' q "SELECT body FROM Note WHERE title = 'Head'" ||
  fail "after undoing the middle click: $(head_of)"
import -window root "$work/middle-click.png"

# (8b) Text moved across the end of the title line: what ends in the body is in the body's style (no
# run of the title's serif), and Ctrl+Z gives back the note as it was. Backspace at the body's start
# joins its first line to the title; three lines pasted before the title's last letter push "d" down.
head_id=$(q "SELECT _rowid FROM Note WHERE title = 'Head' AND isTrashed = 0")
note_of() { q "SELECT title || '|' || body FROM Note WHERE _rowid = $head_id"; }
runs_of() {
  q "SELECT CAST(bodyBlocksData AS TEXT) FROM Note WHERE _rowid = $head_id" |
    python3 -c 'import json, sys; print(json.loads(sys.stdin.read())["blocks"][0]["runs"])'
}
key ctrl+Home Down Home BackSpace
settles_to 150 'Headfirst line|second line' note_of || fail "after Backspace at the body's start: $(note_of)"
key ctrl+z
settles_to 150 $'Head|first line\nsecond line' note_of || fail "after undoing the join: $(note_of)"
[ "$(runs_of)" = "[]" ] || fail "the undone join left the title's style in the body: $(runs_of)"
printf 'one\ntwo\nthree' | xclip -selection clipboard
key ctrl+Home End Left ctrl+v
settles_to 150 $'Heaone|two\nthreed\nfirst line\nsecond line' note_of ||
  fail "after pasting lines into the title: $(note_of)"
[ "$(runs_of)" = "[]" ] || fail "the lines pasted into the title took its style in the body: $(runs_of)"
# The caret is in the body now and types in the body's style, with Ctrl+B (or Ctrl+I after markup that
# names its own family): one run of its own trait, none in the title's family or size.
key ctrl+b
type_text "typed"
settles_to 150 $'Heaone|two\nthreetypedd\nfirst line\nsecond line' note_of ||
  fail "typing after the paste: $(note_of)"
[ "$(runs_of)" = "[{'b': True, 'len': 5, 'loc': 9}]" ] || fail "typed after the paste: $(runs_of)"
key ctrl+z ctrl+z
settles_to 150 $'Head|first line\nsecond line' note_of || fail "after undoing the paste: $(note_of)"
[ "$(runs_of)" = "[]" ] || fail "the undone paste left runs: $(runs_of)"
printf '<span style="font-family:Arial">one</span><br>two' | xclip -selection clipboard -t text/html
key ctrl+Home End Left ctrl+v ctrl+i
type_text "typed"
settles_to 150 $'Heaone|twotypedd\nfirst line\nsecond line' note_of || fail "typing after markup: $(note_of)"
[ "$(runs_of)" = "[{'i': True, 'len': 5, 'loc': 3}]" ] || fail "typed after markup: $(runs_of)"
key ctrl+z ctrl+z
settles_to 150 $'Head|first line\nsecond line' note_of || fail "after undoing the markup: $(note_of)"
[ "$(runs_of)" = "[]" ] || fail "the undone markup left runs: $(runs_of)"

# (9) Rolled up with the yellow dot, the window keeps a title row that shows the title.
sleep 3
window=$head_window
eval "$(xdotool getwindowgeometry --shell "$window")"
xdotool mousemove "$((X + 35))" "$((Y + 15))" click 1
sleep 1
eval "$(xdotool getwindowgeometry --shell "$window")"
[ "$HEIGHT" -lt 120 ] || fail "the window did not roll up (height $HEIGHT)"
import -window root "$work/rolled.png"
rolled_title="60x20+$((X + 12))+$((Y + 38))"
rolled_paper="60x20+$((X + 120))+$((Y + 38))"
[ "$(colours "$rolled_title")" -gt "$(($(colours "$rolled_paper") + 4))" ] ||
  fail "the rolled-up title row is blank: $(colours "$rolled_title") colours, $(colours "$rolled_paper") on paper"

# (10) Relaunched: the body was stored without a run of the title's style, and opening the note again
# changes nothing.
stop_app
[ "$(runs_of)" = "[]" ] || fail "stored at quit: $(runs_of)"
launch "$tarnwick"
head_shown() { [ -n "$(xdotool search --onlyvisible --name '^Head$' 2>/dev/null)" ]; }
for _ in $(seq 1 10); do
  # Opened from the shelf's search (the hot key may not be grabbed yet at launch).
  xdotool key --clearmodifiers alt+shift+s
  within 20 active_is "Tarnwick shelf" && break
done
type_text "Head"
sleep 0.8
key Down Return
within 150 head_shown || fail "Head did not open again"
import -window root "$work/relaunched.png"
[ "$(note_of)|$(runs_of)" = $'Head|first line\nsecond line|[]' ] || fail "after the relaunch: $(note_of) $(runs_of)"

if [ -n "${TARNWICK_KEEP_SHOTS:-}" ]; then cp "$work"/*.png "$TARNWICK_KEEP_SHOTS"/; fi
echo "PASS"
