#!/usr/bin/env bash
# Themes end to end: a note's design palette picks a theme, gives the note its own paper, ink and
# typeface through the colour picker, drops them and saves the look as a theme; the theme window edits,
# makes and deletes themes, hides while another application is active and comes back without taking
# the focus; after a relaunch the note still wears its theme.
# Usage (inside scripts/desktop-session.sh): themes.sh TARNWICK PIXEL_PROBE
set -euo pipefail
tarnwick=$1 probe=$2

source "$(dirname "$0")/../support/session-lib.sh"
session_begin themes app screenshot
trap 'step_failed $LINENO' ERR

mapped() { [ -n "$(window_named "$1")" ]; }
unmapped() { [ -z "$(window_named "$1")" ]; }
# The client area of a window (inside any frame) into <prefix>X, <prefix>Y, <prefix>W, <prefix>H.
place_of() {
  local info
  info=$(xwininfo -id "$1")
  eval "${2}X=$(awk '/Absolute upper-left X/ {print $NF}' <<<"$info")"
  eval "${2}Y=$(awk '/Absolute upper-left Y/ {print $NF}' <<<"$info")"
  eval "${2}W=$(awk '/Width:/ {print $NF}' <<<"$info")"
  eval "${2}H=$(awk '/Height:/ {print $NF}' <<<"$info")"
}
click_root() {
  xdotool mousemove "$1" "$2"
  sleep 0.2
  xdotool click "${3:-1}"
  sleep 0.6
}
pixel() { "$probe" "$1" "$2"; }
note_field() { sql "SELECT $1 FROM Note WHERE title = 'Plan'"; }
theme_field() { sql "SELECT $1 FROM NoteTheme WHERE name = '$2'"; }
# The note's paper, near its bottom-left corner, away from any text and from the palette.
note_paper() { place_of "$note" n; pixel $((nX + 40)) $((nY + nH - 40)); }
# Inside the palette (top-left $pX, $pY): the theme grid's cell (column, row) and the rows under it.
# The grid has three columns at the palette's width; cell 0 is "Custom".
cell() { echo $((pX + 50 + $1 * 84)) $((pY + 47 + $2 * 59)); }
open_palette() {
  place_of "$note" n
  # A click on an inactive note window only makes it active (after the theme window closes the note
  # may not be): the note is made active first, and its buttons take clicks a moment after.
  xdotool windowactivate --sync "$note" >/dev/null 2>&1 || true
  within 30 eval '[ "$(xdotool getactivewindow 2>/dev/null)" = "$note" ]' || fail "the note window did not become active"
  sleep 0.3
  click_root $((nX + nW - 20)) $((nY + 15))
  within 30 mapped "Note design" || fail "the design button opened no palette"
  palette=$(window_named "Note design")
  place_of "$palette" p
}
hex_of_components() { sql "SELECT printf('%02X%02X%02X', round($1R*255), round($1G*255), round($1B*255)) FROM NoteTheme WHERE $2"; }

launch "$tarnwick"

# (1) A new note "Plan"; its design button opens "Note design", 270 wide, and nothing is stored.
for _ in $(seq 1 30); do
  xdotool key --clearmodifiers alt+shift+n
  within 10 active_is "New Note" && break
done
active_is "New Note" || fail "the new-note hot key opened no note"
xdotool type --delay 40 "Plan"
within 50 active_is Plan || fail "the note is not named Plan"
settles_to 50 1 sql "SELECT COUNT(*) FROM Note WHERE title = 'Plan'" || fail "Plan was not saved"
note=$(window_named Plan)
look="paperHexOverride IS NULL AND inkHexOverride IS NULL AND fontFamilyOverride IS NULL"
before=$(note_field "themeID || tintRaw || ($look)")
open_palette
[ "$pW" = 270 ] || fail "the palette is $pW wide"
[ "$(note_field "themeID || tintRaw || ($look)")" = "$before" ] || fail "opening the palette stored something"

# (2) "Green": the note's theme and tint, and its paper is Green's swatch colour.
read -r gx gy <<<"$(cell 0 1)"
green=$(pixel $((gx - 30)) "$gy")
click_root "$gx" "$gy"
settles_to 50 "green/green" note_field "themeID || '/' || tintRaw" || fail "Green was not picked: $(note_field "themeID || '/' || tintRaw")"
settles_to 50 "$green" note_paper || fail "the paper is $(note_paper), Green's swatch $green"

# (3) "Customise this note", then Paper's swatch: "Paper" opens on its hex field and writes nothing.
click_root $((pX + 60)) $((pY + 231))
sleep 0.4
click_root $((pX + 224)) $((pY + 262))
within 30 mapped Paper || fail "the paper swatch opened no picker"
sleep 0.5
[ "$(note_field "paperHexOverride IS NULL")" = 1 ] || fail "looking at the picker wrote a paper"
picker=$(window_named Paper)
place_of "$picker" k

# (4) Typing a code writes its three-digit reading, then the whole code; the paper follows.
xdotool type --delay 60 "2b5"
settles_to 50 22BB55 note_field paperHexOverride || fail "after 2b5: $(note_field paperHexOverride)"
xdotool type --delay 60 "c93"
settles_to 50 2B5C93 note_field paperHexOverride || fail "after 2b5c93: $(note_field paperHexOverride)"
settles_to 50 2B5C93 note_paper || fail "the paper shows $(note_paper)"

# (5) A drag from the wheel's centre past its top rim makes the paper red; the field shows that code,
# so Return keeps it. Escape closes the picker only.
import -window root "$work/picker.png"
wx=$((kX + 12 + 42)) wy=$((kY + kH - 12 - 42))
xdotool mousemove "$wx" "$wy" mousedown 1
for step in 10 20 30 40 50 60; do xdotool mousemove "$wx" $((wy - step)); sleep 0.05; done
xdotool mouseup 1
sleep 0.5
red=$(note_field paperHexOverride)
r=$((16#${red:0:2})) g=$((16#${red:2:2})) b=$((16#${red:4:2}))
[ "$r" -gt 60 ] && [ "$g" -lt 8 ] && [ "$b" -lt 8 ] || fail "the wheel's top is not red: $red"
xdotool key --clearmodifiers ctrl+a ctrl+c
sleep 0.3
[ "$(xclip -o -selection clipboard)" = "$red" ] || fail "the field shows $(xclip -o -selection clipboard), the paper $red"
xdotool key --clearmodifiers Return
sleep 0.5
[ "$(note_field paperHexOverride)" = "$red" ] || fail "Return brought back $(note_field paperHexOverride)"
xdotool key --clearmodifiers Escape
within 20 unmapped Paper || fail "Escape left the picker open"
mapped "Note design" || fail "Escape closed the palette too"
# A click elsewhere in the palette closes the picker only, too.
click_root $((pX + 224)) $((pY + 262))
within 30 mapped Paper || fail "the paper swatch opened no picker again"
click_root $((pX + 30)) $((pY + 18))
within 20 unmapped Paper || fail "a click in the palette left the picker open"
mapped "Note design" || fail "a click in the palette closed the palette"

# (6) Escape in the open Typeface menu, opened by a click and by the keyboard, closes the menu only.
# Then typeface "DejaVu Serif" becomes the note's own; "Reset to the theme" drops all three.
click_root $((pX + 130)) $((pY + 369))
sleep 0.5
xdotool key --clearmodifiers Escape
sleep 0.5
mapped "Note design" || fail "Escape in the open Typeface menu closed the palette"
xdotool key --clearmodifiers alt+Down
sleep 0.5
xdotool key --clearmodifiers Down Escape
sleep 0.5
mapped "Note design" || fail "Escape in the Typeface menu opened by Alt+Down closed the palette"
[ "$(note_field "fontFamilyOverride IS NULL")" = 1 ] || fail "a menu closed by Escape stored $(note_field fontFamilyOverride)"
click_root $((pX + 130)) $((pY + 369))
xdotool type --delay 30 "DejaVu Se"
xdotool key --clearmodifiers Return
# Typing searches the closed list: each letter may pick (and store) a face on the way.
settles_to 150 "DejaVu Serif" note_field fontFamilyOverride || fail "the typeface is $(note_field fontFamilyOverride)"
click_root $((pX + 60)) $((pY + 412))
settles_to 50 1 note_field "($look)" || fail "Reset left $(note_field "paperHexOverride || '/' || inkHexOverride || '/' || fontFamilyOverride")"

# (7) Ink 9E3B2E, then "Save as a theme…" named "Harbour": a new theme with that ink, worn by the
# note, which has no overrides left.
click_root $((pX + 224)) $((pY + 307))
within 30 mapped Ink || fail "the ink swatch opened no picker"
sleep 0.5
xdotool type --delay 40 "9E3B2E"
settles_to 50 9E3B2E note_field inkHexOverride || fail "the ink is $(note_field inkHexOverride)"
xdotool key --clearmodifiers Escape
within 20 unmapped Ink || fail "Escape left the ink picker open"
click_root $((pX + 220)) $((pY + 450))
within 30 mapped "Name this theme" || fail "Save as a theme opened no naming popup"
sleep 0.5
xdotool type --delay 40 "Harbour"
xdotool key --clearmodifiers Return
settles_to 50 1 theme_field "COUNT(*)" Harbour || fail "no Harbour theme"
[ "$(theme_field revision Harbour)" = 0 ] || fail "Harbour's revision is $(theme_field revision Harbour)"
[ "$(hex_of_components ink "name = 'Harbour'")" = 9E3B2E ] || fail "Harbour's ink is $(hex_of_components ink "name = 'Harbour'")"
harbour=$(theme_field id Harbour)
[ "$(note_field themeID)" = "$harbour" ] || fail "the note wears $(note_field themeID), not Harbour"
[ "$(note_field "($look)")" = 1 ] || fail "the note kept overrides after saving its look"

# (8) "Edit…" on Harbour's tile opens "Theme" (704 wide, above other windows) on it; a new name and
# "Airy", then Return: saved, revision 1, and the note still wears it.
read -r hx hy <<<"$(cell 1 2)"
click_root "$hx" "$hy" 3
xdotool key --clearmodifiers Down Return
within 30 mapped Theme || fail "Edit… opened no theme window"
theme=$(window_named Theme)
place_of "$theme" t
# 704 wide, and on this 800-high screen tall enough for the whole form: more than the least 460.
[ "$tW" = 704 ] && [ "$tH" -gt 460 ] && [ "$tH" -le 800 ] || fail "the theme window's content is ${tW}x${tH}"
xprop -id "$theme" _NET_WM_STATE | grep -q _NET_WM_STATE_ABOVE || fail "the theme window is not kept above"
unmapped "Note design" || fail "the palette stayed open over the theme window"
xdotool key --clearmodifiers ctrl+a
xdotool type --delay 30 "Harbour & <b>co</b>"
click_root $((tX + 285)) $((tY + 320))
xdotool key --clearmodifiers End Return
sleep 0.4
xdotool key --clearmodifiers Return
within 30 unmapped Theme || fail "Return left the theme window open"
[ "$(sql "SELECT name || '|' || lineHeight || '|' || revision FROM NoteTheme WHERE id = '$harbour'")" = "Harbour & <b>co</b>|1.8|1" ] ||
  fail "Harbour was saved as $(sql "SELECT name || '|' || lineHeight || '|' || revision FROM NoteTheme WHERE id = '$harbour'")"
[ "$(note_field themeID)" = "$harbour" ] || fail "editing the theme changed the note's theme"

# (9) "Custom" in the palette, then Return: the window comes back where it was and makes "My theme",
# which the note now wears.
open_palette
read -r cx cy <<<"$(cell 0 0)"
click_root "$cx" "$cy"
within 30 mapped Theme || fail "Custom opened no theme window"
place_of "$(window_named Theme)" u
[ "$uX,$uY" = "$tX,$tY" ] || fail "the theme window moved from $tX,$tY to $uX,$uY"
# Over the accessibility bus (running before the application, as on a desktop), the Font and Line
# height menus' choices read as on screen only while their menu is open.
reach() { timeout 30 /usr/bin/python3 "$(dirname "$0")/../settings/window-reach.py" "$@"; }
menus() { reach menus Theme; }
two_menus() { [ "$(menus | wc -l)" = 2 ]; }
within 300 two_menus || fail "the theme window's menus over the accessibility bus: $(menus | tr '\n' ' ')"
# Each line: "name|choices on screen|choices"; the Font menu comes first, then Line height.
closed() { [ -z "$(menus | awk -F'|' '$2 != 0 || $3 < 2')" ]; }
closed || fail "with both menus closed, their choices read as on screen: $(menus | tr '\n' ' ')"
line_height=$(menus | sed -n 2p | cut -d'|' -f1)
reach press "$line_height" Theme || fail "the Line height menu ($line_height) did not open"
line_open() { menus | sed -n 2p | awk -F'|' '$2 == $3 { ok = 1 } END { exit !ok }' && menus | sed -n 1p | grep -q '|0|'; }
within 300 line_open || fail "with Line height open, the menus read as: $(menus | tr '\n' ' ')"
xdotool key --clearmodifiers Escape
within 300 closed || fail "with the Line height menu closed again, its choices read as on screen: $(menus | tr '\n' ' ')"
within 20 mapped Theme || fail "Escape in the menu closed the theme window"
# Return in an open menu picks its entry and closes the menu alone, opened over the bus or by the
# keyboard: nothing is stored before Save.
reach press "$line_height" Theme || fail "the Line height menu ($line_height) did not open again"
within 300 line_open || fail "Line height did not open again: $(menus | tr '\n' ' ')"
xdotool key --clearmodifiers Up Return
within 300 closed || fail "Return left the Line height menu open: $(menus | tr '\n' ' ')"
picked=$(menus | sed -n 2p | cut -d'|' -f1)
for _ in $(seq 1 12); do
  [ "$(reach focused)" = "combo box:$picked" ] && break
  xdotool key --clearmodifiers Tab
  sleep 0.3
done
[ "$(reach focused)" = "combo box:$picked" ] || fail "Tab never reached the Line height menu ($(reach focused))"
xdotool key --clearmodifiers alt+Down
within 300 line_open || fail "Alt+Down did not open the Line height menu: $(menus | tr '\n' ' ')"
xdotool key --clearmodifiers Up KP_Enter
within 300 closed || fail "Enter left the Line height menu open: $(menus | tr '\n' ' ')"
sleep 0.5
mapped Theme || fail "Return in the open Line height menu closed the theme window"
[ "$(theme_field "COUNT(*)" "My theme")" = 0 ] || fail "Return in the open menu stored \"My theme\""
picked=$(menus | sed -n 2p | cut -d'|' -f1)
[ "$picked" = Normal ] || fail "Up and Enter from Relaxed picked $picked"
# Return in the Paper picker's hex field applies the code: the picker and the window stay, nothing is
# stored. Escape closes the picker alone; Return in the form then saves the new theme with that paper.
click_root $((uX + 300)) $((uY + 145))
within 30 mapped Paper || fail "the theme window's paper swatch opened no picker"
sleep 0.5
xdotool key --clearmodifiers ctrl+a
xdotool type --delay 40 abc
xdotool key --clearmodifiers Return
sleep 0.6
mapped Paper || fail "Return in the hex field closed the picker"
mapped Theme || fail "Return in the hex field closed the theme window"
[ "$(theme_field "COUNT(*)" "My theme")" = 0 ] || fail "Return in the hex field stored \"My theme\""
xdotool key --clearmodifiers Escape
within 20 unmapped Paper || fail "Escape left the theme window's picker open"
sleep 0.3
mapped Theme || fail "Escape in the picker closed the theme window"
xdotool key --clearmodifiers Return
within 30 unmapped Theme || fail "Return left the new theme's window open"
[ "$(theme_field "COUNT(*)" "My theme")" = 1 ] || fail "no \"My theme\""
[ "$(hex_of_components paper "name = 'My theme'")" = AABBCC ] || fail "My theme's paper is $(hex_of_components paper "name = 'My theme'")"
[ "$(theme_field lineHeight "My theme")" = 1.45 ] || fail "My theme's line height is $(theme_field lineHeight "My theme"), not Normal's"
[ "$(theme_field revision "My theme")" = 1 ] || fail "My theme's revision is $(theme_field revision "My theme")"
mine=$(theme_field id "My theme")
[ "$(note_field themeID)" = "$mine" ] || fail "the note does not wear My theme"

# (10) While another application is active the theme window hides; a click on the note brings it back
# and the note keeps the focus.
open_palette
read -r hx hy <<<"$(cell 1 2)"
click_root "$hx" "$hy" 3
xdotool key --clearmodifiers Down Return
within 30 mapped Theme || fail "Edit… opened no theme window"
xmessage -center "elsewhere" &
other=$!
within 50 mapped xmessage || fail "no xmessage"
xdotool windowactivate --sync "$(window_named xmessage)" 2>/dev/null || true
within 30 unmapped Theme || fail "the theme window stayed while another application was active"
place_of "$note" n
click_root $((nX + 40)) $((nY + nH - 40))
within 30 mapped Theme || fail "the theme window did not come back"
sleep 0.5
active_is Plan || fail "the theme window took the focus: $(xdotool getactivewindow getwindowname)"
kill "$other" 2>/dev/null || true

# (11) "Delete Theme" removes the theme. (Under load the focus handed back to Plan can leave the
# application inactive for a moment, and the theme window with it: a click then meets the desktop and
# deletes nothing, and is made again.)
for try in 1 2 3; do
  within 30 mapped Theme || fail "the theme window did not stay"
  theme=$(window_named Theme)
  place_of "$theme" t
  click_root $((tX + 66)) $((tY + tH - 26))
  within 30 unmapped Theme && break
  [ "$(sql "SELECT COUNT(*) FROM NoteTheme WHERE id = '$harbour'")" = 1 ] || fail "Delete Theme left the window open"
  [ "$try" -lt 3 ] || fail "three clicks on Delete Theme left the window open and the theme stored"
done
settles_to 50 0 sql "SELECT COUNT(*) FROM NoteTheme WHERE id = '$harbour'" || fail "Harbour is still stored"

# (12) After a relaunch, Plan opened from the shelf wears My theme's paper.
paper=$(hex_of_components paper "id = '$mine'")
stop_app
launch "$tarnwick"
for _ in $(seq 1 30); do
  xdotool key --clearmodifiers alt+shift+s
  within 10 mapped "Tarnwick shelf" && break
done
mapped "Tarnwick shelf" || fail "the shelf hot key opened no shelf"
xdotool type --delay 40 "Plan"
sleep 0.8
xdotool key --clearmodifiers --delay 150 Down Return
within 50 mapped Plan || fail "the shelf opened no Plan"
note=$(window_named Plan)
settles_to 50 "$paper" note_paper || fail "Plan's paper is $(note_paper), My theme's $paper"

# (13) With another application's window on the desktop, the theme window opened from the settings' Note
# tab gives the keyboard back to the settings however it goes (Save by Return, the window manager's
# close), not to that window: the next key reaches the settings' "New Theme…" again.
xmessage -geometry +40+500 "another application" &
other=$!
within 50 mapped xmessage || fail "no xmessage"
xdotool windowactivate --sync "$(window_named xmessage)" 2>/dev/null || true
within 50 active_is xmessage || fail "xmessage did not become active"
open_settings_from_tray
within 50 active_is "Tarnwick Settings" || fail "the settings did not take the keyboard"
press ctrl+Tab Tab # the Note tab, then from its theme grid to "New Theme…"
for closing in Return alt+F4 alt+F4; do
  press space
  within 50 active_is Theme ||
    fail "the key after the theme window closed did not reach New Theme… ($(xdotool getactivewindow getwindowname 2>/dev/null) is active)"
  [ "$closing" = Return ] && xdotool key --clearmodifiers ctrl+a && xdotool type --delay 30 Keyed
  xdotool key --clearmodifiers "$closing"
  within 30 unmapped Theme || fail "$closing left the theme window open"
  within 50 active_is "Tarnwick Settings" ||
    fail "after $closing in the theme window, \"$(xdotool getactivewindow getwindowname 2>/dev/null)\" has the keyboard, not the settings"
done
settles_to 50 1 theme_field "COUNT(*)" Keyed || fail "the new theme Keyed was not saved"
kill "$other" 2>/dev/null || true
