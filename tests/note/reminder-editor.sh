#!/usr/bin/env bash
# The reminder popover as a desktop keyboard drives it, on the real application in Berlin's time zone:
# a whole time typed where a click left the caret (":" comes with Shift, as xdotool sends it) is the
# time stored; "7:5" is 07:05; "2:30 PM" pasted is 14:30; a day typed into the calendar and Return or
# "Set" at once stores that day of the month shown; and 02:30 on the night the clocks go forward is
# stored as 03:30. With a LOCALE (C, US English, German, Swedish or Bulgarian: day first, month
# first, year first, a word after the date), the application runs in it as its users have it: a day
# and a whole date typed over the days, the month as digits or by name, a time typed with AM or PM,
# a date or a time that cannot be, which stores nothing, and a day or a date typed at once as the
# popover opens.
# Usage (inside scripts/desktop-session.sh): reminder-editor.sh TARNWICK SEEDER [LOCALE]
set -Eeuo pipefail
tarnwick=$1 seeder=$2 lang=${3:-}
export TZ=Europe/Berlin  # for the application, date and sqlite's 'localtime' alike
[ -z "$lang" ] || export LANG=$lang LC_ALL=$lang

source "$(dirname "$0")/../support/session-lib.sh"
session_begin reminder app screenshot
trap 'step_failed $LINENO' ERR

# "Spring": a reminder at noon on the day Berlin's clocks skip from 02:00 to 03:00.
"$seeder" note Spring reminder 2027-03-28T12:00 || fail "preparing the store"
launch "$tarnwick"

note_window() { xdotool search --onlyvisible --name '^Spring$' 2>/dev/null | head -1; }
note_open() { [ -n "$(note_window)" ]; }
# The note from the shelf's search, in $win. A key xdotool could not send (the window it asked about
# went away meanwhile) is tried again with the rest.
open_note() {
  for _ in $(seq 1 10); do
    note_open && break
    xdotool key --clearmodifiers alt+shift+s || true
    sleep 1
    xdotool type --delay 40 Spring || true
    sleep 0.8
    xdotool key --clearmodifiers Down || true
    sleep 0.3
    xdotool key --clearmodifiers Return || true
    within 50 note_open && break
  done
  win=$(note_window)
  [ -n "$win" ] || fail "the Spring note did not open"
}
open_note

# The popover: the application's window 300 wide.
popover() {
  local w
  for w in $(xdotool search --onlyvisible --pid "$app_pid" 2>/dev/null); do
    xdotool getwindowgeometry "$w" 2>/dev/null | grep -q 'Geometry: 300x' && { echo "$w"; return 0; }
  done
  return 1
}
shown() { popover >/dev/null; }
gone() { ! shown; }
click_in() {
  xdotool mousemove --window "$1" "$2" "$3"
  sleep 0.2
  xdotool click "${4:-1}"
  sleep 0.4
}
# "Reminder…" chosen from the note's context menu.
choose_reminder() {
  eval "$(xdotool getwindowgeometry --shell "$win")"
  click_in "$win" $((WIDTH / 2)) $((HEIGHT / 2)) 3
  xdotool key --clearmodifiers --delay 200 Down Down Return
}
# The same, once the popover is up; the popover in $pop.
open_reminder() {
  choose_reminder
  within 50 shown || fail "\"Reminder…\" opened no popover"
  pop=$(popover)
}
stored() { sql "SELECT strftime('%Y-%m-%d %H:%M', reminderDate, 'unixepoch', 'localtime') FROM Note WHERE title = 'Spring'"; }
expect() {
  within 50 gone || fail "$2: the popover stayed open"
  settles_to 50 "$1" stored || fail "$2: stored $(stored), not $1"
}
# The time field spans the popover below the calendar; Set is at its bottom right.
time_x=200 time_y=212 set_x=246 set_y=252

# A time typed after a click in the time field (and the keys given), on $day.
day=2027-03-28
type_time() {
  local typed=$1 expected=$2
  shift 2
  open_reminder
  click_in "$pop" $time_x $time_y
  [ $# -gt 0 ] && xdotool key --clearmodifiers --delay 80 "$@"
  xdotool type --delay 80 "$typed"
  xdotool key --clearmodifiers Return
  expect "$day $expected" "\"$typed\" typed after a click${*:+ and $*}"
}

# In the locale given: the days typed over are first clicked on a day in the third week.
type_date() {
  local typed=$1 expected=$2 how=${3:-Return}
  open_reminder
  click_in "$pop" 109 129
  xdotool type --delay 80 "$typed"
  if [ "$how" = Return ]; then xdotool key --clearmodifiers Return; else click_in "$pop" $set_x $set_y; fi
  expect "$expected" "$LANG: \"$typed\" typed over the days and $how"
}
# Typed as the popover opens, with no click and no Tab: the days hold the keyboard from the start.
type_at_once() {
  local typed=$1 expected=$2
  choose_reminder
  xdotool type --delay 80 "$typed"
  within 50 shown || fail "\"Reminder…\" opened no popover"
  xdotool key --clearmodifiers Return
  expect "$expected" "$LANG: \"$typed\" typed as the popover opened, then Return"
}
# A date or a time that cannot be: Return leaves the popover open and stores nothing. Escape drops
# a date typed (a time is mended by typing a time); the next Escape closes the popover.
refused() {
  local before
  before=$(stored)
  xdotool key --clearmodifiers Return
  sleep 0.5
  shown || fail "$LANG: $1: Return closed the popover"
  [ "$(stored)" = "$before" ] || fail "$LANG: $1: stored $(stored)"
}
if [ -n "$lang" ]; then
  at=12:00
  type_date 27 "2027-03-27 $at"
  case $lang in
    C.*)
      type_date "14 04 2027" "2027-04-14 $at" Set
      type_date "15 Apr 2027" "2027-04-15 $at"
      bad_date="28 13 2027" whole="16 04 2027"
      ;;
    en_US.*)
      type_date 4/14/2027 "2027-04-14 $at" Set
      type_date "Apr 15, 2027" "2027-04-15 $at"
      bad_date=13/28/2027 whole=4/16/2027
      ;;
    de_DE.*)
      type_date 14.04.2027 "2027-04-14 $at" Set
      type_date "15. Apr. 2027" "2027-04-15 $at"
      bad_date=31.04.2027 whole=16.04.2027
      ;;
    sv_SE.*)
      type_date 2027-04-14 "2027-04-14 $at" Set
      type_date "15 apr 2027" "2027-04-15 $at"
      bad_date=2027-13-28 whole=2027-04-16
      ;;
    bg_BG.*)
      type_date 14.04.27 "2027-04-14 $at" Set
      type_date "15 апр 2027" "2027-04-15 $at"
      bad_date=31.04.2027 whole="16.04.27 г."
      ;;
  esac
  # The keyboard alone: the days reached by Shift+Tab from the time, a whole date typed, and Tab on
  # to the time takes it; Return there sets it.
  open_reminder
  click_in "$pop" $time_x $time_y
  xdotool key --clearmodifiers shift+Tab
  xdotool type --delay 80 "$whole"
  xdotool key --clearmodifiers --delay 200 Tab Return
  expect "2027-04-16 $at" "$LANG: \"$whole\" typed over the days reached by Shift+Tab, then Tab and Return"

  # A whole date typed with pauses: nothing is taken until Return.
  open_reminder
  click_in "$pop" 109 129
  xdotool type --delay 80 "${bad_date:0:3}"
  sleep 2
  xdotool type --delay 80 "${bad_date:3}"
  refused "\"$bad_date\" typed over the days"
  xdotool key --clearmodifiers Escape
  sleep 0.3
  shown || fail "$LANG: Escape in the date typed closed the popover"
  xdotool key --clearmodifiers Escape
  within 50 gone || fail "$LANG: the second Escape left the popover open"
  [ "$(stored)" = "2027-04-16 $at" ] || fail "$LANG: \"$bad_date\" stored $(stored)"

  day=2027-04-16
  type_time "2:30pm" 14:30 End
  open_reminder
  click_in "$pop" $time_x $time_y
  xdotool key --clearmodifiers ctrl+a
  xdotool type --delay 80 23:60
  refused "\"23:60\" typed"
  xdotool key --clearmodifiers ctrl+a
  xdotool type --delay 80 "12:00 AM"
  xdotool key --clearmodifiers Return
  expect "2027-04-16 00:00" "$LANG: \"12:00 AM\" typed over 23:60"
  type_time "7 PM" 19:00

  # Keys typed at once as the popover opens from the menu: a day of the month shown, then a whole
  # date as the locale writes it short.
  type_at_once 23 "2027-04-23 19:00"
  case $lang in
    C.*) short_date="17 May 2027" ;;
    en_US.*) short_date=5/17/27 ;;
    de_DE.*) short_date=17.05.27 ;;
    sv_SE.*) short_date=2027-05-17 ;;
    bg_BG.*) short_date="17.05.27 г." ;;
  esac
  type_at_once "$short_date" "2027-05-17 19:00"
  echo "reminder editor in $lang: all steps passed"
  exit 0
fi

# (1) The hour the clocks skip: 02:30 typed over the field is the moment that reading names before
# the change, 03:30 summer time; Set clicked with 02:15 stores 03:15.
open_reminder
click_in "$pop" $time_x $time_y
xdotool key --clearmodifiers ctrl+a
xdotool type --delay 80 02:30
xdotool key --clearmodifiers Return
expect "2027-03-28 03:30" "02:30 on the night of the change"
open_reminder
click_in "$pop" $time_x $time_y
xdotool key --clearmodifiers ctrl+a
xdotool type --delay 80 02:15
click_in "$pop" $set_x $set_y
expect "2027-03-28 03:15" "02:15 and Set"

# (2) A whole time typed after a click in the field (the caret at the end), after End, after Home and
# Right; "7:5" after Home is 07:05; "2:30 PM" pasted at the end is 14:30.
type_time 16:45 16:45
type_time 07:30 07:30 End
type_time 23:15 23:15 Home Right
type_time 7:5 07:05 Home
type_time 12:5 12:05 Home
open_reminder
click_in "$pop" $time_x $time_y
printf '%s' "2:30 PM" | xclip -selection clipboard
xdotool key --clearmodifiers ctrl+v
xdotool key --clearmodifiers Return
expect "2027-03-28 14:30" "\"2:30 PM\" pasted"

# (3) A day typed into the calendar (its own small editor shows it) and Return at once; then a day
# typed and Set clicked at once. The days clicked first lie in the third week, before the 22nd.
open_reminder
click_in "$pop" 109 129
xdotool type --delay 80 27
xdotool key --clearmodifiers Return
expect "2027-03-27 14:30" "27 typed into the days and Return"
open_reminder
click_in "$pop" 147 129
xdotool type --delay 80 25
click_in "$pop" $set_x $set_y
expect "2027-03-25 14:30" "25 typed into the days and Set"
# The days reached by the keyboard alone (Shift+Tab from the time), no day clicked: the day typed
# is one of the month shown, not of the month last clicked or of today.
open_reminder
click_in "$pop" $time_x $time_y
xdotool key --clearmodifiers shift+Tab
xdotool type --delay 80 26
xdotool key --clearmodifiers Return
expect "2027-03-26 14:30" "26 typed into the days reached by Shift+Tab"

echo "reminder editor: all steps passed"
