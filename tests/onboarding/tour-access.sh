#!/usr/bin/env bash
# The tour as a screen reader reads it, with the accessibility bus running before the tour is built:
# the capture page's still capsule is one picture named "Text captured, with undo" with nothing inside
# (no button that does nothing), and the earned key row and the step marks are one element each.
# Usage (inside scripts/desktop-session.sh, accessibility on): tour-access.sh TARNWICK
set -euo pipefail
tarnwick=$1
here=$(dirname "$0")

source "$here/../support/session-lib.sh"
session_begin touraccess app screenshot
settings="${XDG_CONFIG_HOME}/tarnwick/settings.json"
trap 'step_failed $LINENO' ERR
require_pyatspi
source "$here/tour-lib.sh"
read_tree() { timeout 20 /usr/bin/python3 "$here/tour-access.py" "$@"; }
# How many children the object named $1 has on the bus ("none" without one).
children_of() {
  local line
  line=$(read_tree "$1")
  echo "${line##* }"
}

fresh_settings
launch "$tarnwick"
wait_window "Tarnwick tour"
tour=$window
within $long active_is "Tarnwick tour" || fail "the tour is not the active window"

key Return
within $long tour_at 2 || fail "Begin did not lead to the new-note page"
key alt+shift+n
within $long window_shown "New Note" || fail "the new-note key mapped no note"
activate_tour
key Return
within $long tour_at 3 || fail "Next did not lead to the capture page: $(tour_title)"
key ctrl+a
key alt+shift+space
within $long window_shown "Text captured" || fail "no \"Text captured\" capsule"
picture_read() { read_tree "Text captured, with undo"; }
settles_to $long "Text captured, with undo: image 0" picture_read ||
  fail "the still capsule reads as: $(picture_read)"
settles_to $long 0 children_of "*, done" || fail "the earned key row reads as: $(read_tree "*, done")"
[ "$(children_of "Step 2 of 4")" = 0 ] || fail "the step marks read as: $(read_tree "Step 2 of 4")"
echo "tour-access: ok"
