#!/usr/bin/env bash
# The first-run tour finished with the keyboard alone: no click and no activation from outside, only keys
# as a newcomer presses them. After each hot-key page the keyboard comes back to the tour: the new note
# closed with Ctrl+W, the window manager's Alt+Tab, a note hidden by the hide-all key while it is typed
# in, the shelf closed with Escape. At the next launch after a quit, with a note left open, the tour has
# the keyboard. On the new-note and capture pages the chord's key caps are seen going down as it is
# pressed, and sliding over (not jumping) to make room for the check mark. Pictures of the hot-key pages
# are kept in $TARNWICK_TOUR_PICTURES when it is set.
# Usage (inside scripts/desktop-session.sh): tour-keys.sh TARNWICK
set -euo pipefail
tarnwick=$1

source "$(dirname "$0")/../support/session-lib.sh"
session_begin tour-keys app screenshot
settings="${XDG_CONFIG_HOME}/tarnwick/settings.json"
sentence="Select any of these words to wake the keys."
pictures=${TARNWICK_TOUR_PICTURES:-}
trap 'step_failed $LINENO' ERR

source "$(dirname "$0")/tour-lib.sh"
fresh_settings
active() { xdotool getactivewindow 2>/dev/null || true; }
active_name() { xdotool getactivewindow getwindowname 2>/dev/null || true; }

# The tour is on page $1 and has the keyboard.
tour_keyed_at() { [ "$(active)" = "$tour" ] && [ "$(xdotool getwindowname "$tour" 2>/dev/null)" = "$(page_title "$1")" ]; }
expect_tour() {
  within $long tour_keyed_at "$1" ||
    fail "$2: expected the tour on \"$(page_title "$1")\" with the keyboard; the keyboard is with \"$(active_name)\", the tour reads \"$(xdotool getwindowname "$tour" 2>/dev/null)\""
}
# The first window titled $1 that is mapped, in $found.
mapped() { found=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n1) && [ -n "$found" ]; }
gone() { ! xdotool search --onlyvisible --name "^$1\$" >/dev/null 2>&1; }
unmapped() { ! xwininfo -id "$1" 2>/dev/null | grep -q IsViewable; }
# Window $1 has the keyboard.
holds_keys() { [ "$(active)" = "$1" ]; }
picture() { [ -z "$pictures" ] || import -window root "$pictures/$1.png"; }
# Watches the tour's key caps from the moment they stand still, in the background (keycap-rows.py reads
# the screen as fast as the server answers: a press lasts a fifth of a second, the slide a sixth).
watch_keys() {
  mkdir -p "$work/keys"
  rm -f "$work/keys/ready" "$work/keys/stop"
  eval "$(xdotool getwindowgeometry --shell "$tour")"
  python3 "$(dirname "$0")/keycap-rows.py" "$X" "$Y" "$WIDTH" "$HEIGHT" "$work/keys" >"$work/keys/seen.txt" 2>&1 &
  watcher=$!
  within $long test -e "$work/keys/ready" || fail "$1: no key caps to watch: $(cat "$work/keys/seen.txt")"
}
# Once the chord has acted: some reading showed a key of the row 2 px below another, as a pressed key is,
# and some showed the first key between where it stood and where it came to rest.
keys_went_down() {
  touch "$work/keys/stop"
  local rc=0
  wait "$watcher" || rc=$?
  [ "$rc" = 0 ] || fail "$1: the key caps were not seen going down and sliding over: $(cat "$work/keys/seen.txt")"
  echo "$1: $(cat "$work/keys/seen.txt")"
}
# The page shows its "Next" (or other filled) button: Return moves on only then, so one Return is one step.
press_return_on() {
  key Return
  expect_tour "$1" "$2"
}

launch "$tarnwick"
wait_window "Tarnwick tour"
tour=$window
expect_tour 1 "at launch"

# 1. Welcome: Return begins.
press_return_on 2 "Begin"

# 2. New note: the keys go down; the note takes the keyboard; Ctrl+W closes it and gives the keyboard back
# to the tour.
watch_keys "the new-note page"
key alt+shift+n
within $long mapped "New Note" || fail "the new-note key mapped no note"
note=$found
keys_went_down "the new-note key"
within $long holds_keys "$note" || fail "the new note did not take the keyboard (it is with \"$(active_name)\")"
picture 2-new-note
xdotool type --delay 40 "keys only"
key ctrl+w
within $long unmapped "$note" || fail "Ctrl+W left the note"
expect_tour 2 "after Ctrl+W in the new note"
press_return_on 3 "Next after the new note"

# 3. Capture: the practice sentence, selected and captured by keys, and the keys go down.
key ctrl+a
settles_to $long "$sentence" xclip -o -selection primary || fail "PRIMARY is not the sentence"
watch_keys "the capture page"
key alt+shift+space
within $long mapped "Text captured" || fail "no \"Text captured\" capsule"
keys_went_down "the capture key"
picture 3-capture
expect_tour 3 "after the capture"
press_return_on 4 "Next key"

# 4. Hide everything. A note opened here takes the keyboard; Alt+Tab brings the tour back; the hide-all
# key hides the note, and its second press brings the note back with the keyboard; the third hides it
# while it is typed in, and the keyboard comes back to the tour.
key alt+shift+n
within $long mapped "New Note" || fail "the new-note key mapped no note on the hide page"
note=$found
within $long holds_keys "$note" || fail "the note did not take the keyboard (it is with \"$(active_name)\")"
key alt+Tab
expect_tour 4 "after Alt+Tab from the note"
key alt+shift+h
within $long gone "New Note" || fail "the hide key left the note"
picture 4-hide
expect_tour 4 "after hiding the notes from the tour"
key alt+shift+h
within $long mapped "New Note" || fail "the second hide key did not bring the note back"
within $long holds_keys "$note" || fail "the restored note has no keyboard (it is with \"$(active_name)\")"
key alt+shift+h
within $long gone "New Note" || fail "the third hide key left the note"
expect_tour 4 "after hiding the note that had the keyboard"
press_return_on 5 "Next after hiding"

# 5. The shelf takes the keyboard with its search field; Escape closes it and the tour has the keys. While
# the capture's capsule still shows, Escape is the capsule's: it goes first.
within $long gone "Text captured" || fail "the capture's capsule stays"
key alt+shift+s
within $long mapped "Tarnwick shelf" || fail "the shelf key did not open the shelf"
shelf=$found
within $long holds_keys "$shelf" || fail "the shelf did not take the keyboard (it is with \"$(active_name)\")"
picture 5-shelf
key Escape
within $long unmapped "$shelf" || fail "Escape left the shelf (the keyboard is with \"$(active_name)\")"
expect_tour 5 "after Escape in the shelf"
press_return_on 6 "Next after the shelf"

# 6-8. The notes page, the connections page and the last page.
press_return_on 7 "Next on the notes page"
press_return_on 8 "Next on the connections page"
key Return
within $long unmapped "$tour" || fail "\"Start capturing\" left the tour"
settles_to $long true setting onboarding.completed || fail "onboarding.completed is $(setting onboarding.completed)"
within $long mapped "Tarnwick shelf" || fail "no shelf after the tour"

# The next first launch, with a note left open when the application quit, starts with the tour holding
# the keyboard.
stop_app
fresh_settings
launch "$tarnwick"
wait_window "Tarnwick tour"
tour=$window
expect_tour 1 "at the second launch"
press_return_on 2 "Begin at the second launch"
key alt+shift+n
within $long mapped "New Note" || fail "no note at the second launch"
within $long holds_keys "$found" || fail "the note did not take the keyboard"
key alt+Tab
expect_tour 2 "after Alt+Tab at the second launch"
key ctrl+q
rc=0
wait "$app_pid" || rc=$?
app_pid=""
[ "$rc" = 0 ] || fail "Ctrl+Q ended the application with status $rc"
launch "$tarnwick"
wait_window "Tarnwick tour"
tour=$window
expect_tour 1 "at the launch after a quit with a note open"
echo "tour-keys: all steps passed"
