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
trap 'fail "command failed on line $LINENO"' ERR

window_named() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1; }
mapped() { [ -n "$(window_named "$1")" ]; }
unmapped() { [ -z "$(window_named "$1")" ]; }
# Geometry of a window into <prefix>X, <prefix>Y, <prefix>W, <prefix>H.
place_of() {
  local id=$1 prefix=$2
  eval "$(xdotool getwindowgeometry --shell "$id")"
  eval "${prefix}X=$X ${prefix}Y=$Y ${prefix}W=$WIDTH ${prefix}H=$HEIGHT"
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
within 50 test "$(sql "SELECT COUNT(*) FROM Note WHERE title = 'Plan'")" = 1 || fail "Plan was not saved"
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
within 30 test "$(note_field "themeID || '/' || tintRaw")" = "green/green" || fail "Green was not picked: $(note_field "themeID || '/' || tintRaw")"
within 20 test "$(note_paper)" = "$green" || fail "the paper is $(note_paper), Green's swatch $green"

# (3) "Customise this note", then Paper's swatch: "Paper" opens on its hex field and writes nothing.
click_root $((pX + 60)) $((pY + 231))
sleep 0.4
click_root $((pX + 224)) $((pY + 262))
within 30 mapped Paper || fail "the paper swatch opened no picker"
[ "$(note_field "paperHexOverride IS NULL")" = 1 ] || fail "looking at the picker wrote a paper"
picker=$(window_named Paper)
place_of "$picker" k

# (4) Typing a code writes its three-digit reading, then the whole code; the paper follows.
xdotool type --delay 60 "2b5"
within 20 test "$(note_field paperHexOverride)" = 22BB55 || fail "after 2b5: $(note_field paperHexOverride)"
xdotool type --delay 60 "c93"
within 20 test "$(note_field paperHexOverride)" = 2B5C93 || fail "after 2b5c93: $(note_field paperHexOverride)"
within 20 test "$(note_paper)" = 2B5C93 || fail "the paper shows $(note_paper)"

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
import -window root "$work/step5.png"
cp "$work/step5.png" /tmp/themes-step5.png
cp "$work/picker.png" /tmp/themes-picker.png
echo "PASS so far"
