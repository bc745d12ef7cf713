#!/usr/bin/env bash
# A screen reader's road through a note: the text typed in is named "Note body" and text a dictation
# tool puts in through it is stored like typing, the note view offers
# its named actions on the accessibility bus, the footer's sync badge reads as one label and the count
# not at all (the badge goes while the note is rolled up), "Window opacity" opens the opacity popover,
# "Close note" closes the window and keeps the note; a picture reads as its own frame; a locked note's
# title put in by a dictation tool is stored.
# Usage (inside scripts/desktop-session.sh): note-access.sh TARNWICK SEEDER
set -euo pipefail
tarnwick=$1 seeder=$2
here=$(dirname "$0")

source "$here/../support/session-lib.sh"
session_begin noteaccess app screenshot
trap 'step_failed $LINENO' ERR
require_pyatspi
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
access() { timeout 20 /usr/bin/python3 "$here/note-access.py" "$@"; }

"$seeder" || fail "preparing the store"
launch "$tarnwick"
for _ in $(seq 1 30); do
  xdotool key --clearmodifiers alt+shift+n
  within 20 active_is "New Note" && break
done
active_is "New Note" || fail "the new-note hot key opened no note"
xdotool type --delay 30 -- "Spoken"
within 50 active_is Spoken || fail "the window is not named Spoken"
settles_to 50 1 sql "SELECT COUNT(*) FROM Note WHERE title = 'Spoken'" || fail "Spoken was not saved"

# (1) The text being typed in is named as the note's body.
settles_to 300 "text:Note body" access focused || fail "the focused object reads '$(access focused 2>&1)'"

# (1b) Text put in by a dictation tool (the editable-text interface) is stored, and a key typed next
# lands after it: the window and the store agree.
access insert 'Dictated words' || fail "the insert over the accessibility bus was refused"
settles_to 50 "Dictated words" sql "SELECT body FROM Note WHERE title = 'Spoken'" ||
  fail "the inserted text was not stored: the body reads '$(sql "SELECT body FROM Note WHERE title = 'Spoken'")'"
xdotool type --delay 30 -- "!"
settles_to 50 "Dictated words!" sql "SELECT body FROM Note WHERE title = 'Spoken'" ||
  fail "after a key the body reads '$(sql "SELECT body FROM Note WHERE title = 'Spoken'")'"
[ "$(access shown)" = $'Spoken\nDictated words!' ] || fail "the window reads '$(access shown 2>&1)'"

# (2) The actions, in order.
listed() { [ "$(access list 2>/dev/null | head -4 | tr '\n' '|')" = "Edit title|Note design|Window opacity|Close note|" ]; }
within 300 listed || fail "the note view lists '$(access list 2>&1 | tr '\n' '|')'"

# (2b) The footer: one label for the sync badge, no bare number; rolled up, no badge; unrolled, back.
settles_to 300 "badge=label:0 numbers=0" access footer || fail "the footer reads '$(access footer 2>&1)'"
access press "Roll up to title" || fail "Roll up to title could not be pressed"
settles_to 300 "badge= numbers=0" access footer || fail "rolled up, the footer reads '$(access footer 2>&1)'"
access press "Unroll" || fail "Unroll could not be pressed"
settles_to 300 "badge=label:0 numbers=0" access footer || fail "unrolled, the footer reads '$(access footer 2>&1)'"

# (3) "Window opacity" maps the opacity popover; Escape closes it.
mapped() { xdotool search --onlyvisible --pid "$app_pid" 2>/dev/null | wc -l; }
before=$(mapped)
access do "Window opacity" || fail "Window opacity could not be performed"
popped() { [ "$(mapped)" -gt "$before" ]; }
within 50 popped || fail "no popup mapped after Window opacity"
import -window root "$work/opacity.png"
xdotool key Escape
closed_again() { [ "$(mapped)" -le "$before" ]; }
within 30 closed_again || fail "Escape left the opacity popover open"

# (4) "Close note" closes the window; the note stays stored.
access do "Close note" || fail "Close note could not be performed"
within 50 window_gone Spoken || fail "the Spoken window is still mapped"
[ "$(sql "SELECT COUNT(*) FROM Note WHERE title = 'Spoken' AND isTrashed = 0")" = 1 ] || fail "Spoken is no longer stored"
# (5) A pasted picture's preview stands above the note window; Escape gives the note the keyboard.
convert -size 120x80 xc:tomato "$work/picture.png"
xdotool key --clearmodifiers alt+shift+n
within 50 active_is "New Note" || fail "the new-note hot key opened no second note"
xdotool type --delay 30 -- "Pictured"
xdotool key --clearmodifiers Return
xclip -selection clipboard -t image/png -i "$work/picture.png"
sleep 0.3
xdotool key --clearmodifiers ctrl+v
within 50 active_is Pictured || fail "the window is not named Pictured"
win=$(window_named Pictured)
sleep 1
import -window root "$work/pasted.png"
eval "$(xdotool getwindowgeometry --shell "$win")"
xdotool mousemove --window "$win" 70 $((30 + 30 + 40 + 45))
sleep 0.2
xdotool click --repeat 2 --delay 80 1
# The preview is named after its file.
png_preview() { xdotool search --onlyvisible --name '\.png$' 2>/dev/null | head -1; }
preview_shown() { [ -n "$(png_preview)" ]; }
preview_gone() { [ -z "$(png_preview)" ]; }
within 50 preview_shown ||
  fail "no preview after a double-click on the picture"
preview=$(xdotool search --onlyvisible --name '\.png$' | head -1)
import -window root "$work/preview.png"
stacking=$(xprop -root _NET_CLIENT_LIST_STACKING | grep -o '0x[0-9a-f]*' | while read -r id; do echo $((id)); done)
above=$(echo "$stacking" | grep -n "^$preview\$" | cut -d: -f1)
below=$(echo "$stacking" | grep -n "^$win\$" | cut -d: -f1)
[ -n "$above" ] && [ -n "$below" ] && [ "$above" -gt "$below" ] || fail "the preview is not above the note (at $above, note at $below)"
owner=$(xprop -id "$preview" WM_TRANSIENT_FOR | grep -o '0x[0-9a-f]*' || true)
[ -n "$owner" ] && [ $((owner)) = "$win" ] || fail "the preview is transient for '$owner', not the note $win"
xdotool key Escape
within 30 preview_gone || fail "Escape left the preview open"
settles_to 30 "$win" xdotool getactivewindow 2>/dev/null || fail "the note did not get the focus back"
# (6) The picture reads as its own frame on the screen, not its block's with the margins around it. (Up
# gives the keys back to the title, and the pointer goes, so that no outline tints the picture's edge.)
xdotool mousemove 0 0 key --clearmodifiers Up
drawn_whole() {
  drawn=$(import -window root png:- | convert png:- -fuzz 5% -fill black +opaque tomato -fill white -opaque tomato \
    -format '%@\n' info: | { IFS='x+' read -r w h x y && echo "$x $y $w $h"; })
  [[ "$drawn" == *" 120 80" ]]
}
# The title's caret may still scroll the body back to its top: both are read again until they agree.
reads_as_drawn() { drawn_whole && [ "$(access picture 2>/dev/null)" = "$drawn" ]; }
within 300 reads_as_drawn || fail "the picture reads as '$(access picture 2>&1)', drawn at '$drawn'"
# (7) A locked note's title, put in by a dictation tool, is the note's title: stored as shown.
xdotool key --clearmodifiers alt+shift+n
within 50 active_is "New Note" || fail "the new-note hot key opened no third note"
xdotool type --delay 30 -- "Hidden"
xdotool key --clearmodifiers Return
xdotool type --delay 30 -- "words"
within 50 active_is Hidden || fail "the window is not named Hidden"
win=$(window_named Hidden)
eval "$(xdotool getwindowgeometry --shell "$win")"
xdotool mousemove --window "$win" $((WIDTH - 43)) 15 click 1
settles_to 50 1 sql "SELECT isLocked FROM Note WHERE title = 'Hidden'" || fail "the lock button did not lock Hidden"
within 300 access insert-into "Locked note title" "Dictated " || fail "no locked title took the insert"
settles_to 50 1 sql "SELECT COUNT(*) FROM Note WHERE title = 'Dictated Hidden' AND isLocked = 1" ||
  fail "the locked note's title is stored as '$(sql "SELECT title FROM Note WHERE isLocked = 1")'"
echo "PASS"
