#!/usr/bin/env bash
# The settings window and the approval card on a small screen (1024 x 600) under a window manager
# without a compositor, as a screen reader and the window manager meet them: switches toggled over
# the accessibility bus are stored (the launch-at-login one makes the autostart entry), the settings
# window's frame lies on the work area with its last control in reach, and the approval card's window
# is shaped to its rounded corners. With TARNWICK_SHOTS set to a folder, pictures of the screen are
# left there.
# Usage (inside scripts/desktop-session.sh with TARNWICK_SESSION_SCREEN=1024x600): small-screen.sh TARNWICK
set -euo pipefail
tarnwick=$1
here=$(dirname "$0")

source "$here/../support/session-lib.sh"
session_begin smallscreen app screenshot
trap 'step_failed $LINENO' ERR
require_pyatspi
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1

settings_file=$XDG_CONFIG_HOME/tarnwick/settings.json
reader() { timeout 30 /usr/bin/python3 "$here/small-screen.py" "$@"; }
setting() {
  python3 -c 'import json,sys
d = json.load(open(sys.argv[1])); v = d.get(sys.argv[2])
print(json.dumps(v.get("value") if isinstance(v, dict) else v))' "$settings_file" "$1" 2>/dev/null || true
}
shot() { [ -z "${TARNWICK_SHOTS:-}" ] || import -window root "$TARNWICK_SHOTS/$1.png"; }
# x y width height of a window's frame: its client's place grown by the window manager's frame extents.
frame_of() {
  local x y w h left right top bottom
  read -r x y w h < <(xwininfo -id "$1" | awk '/Absolute upper-left X/ { x = $NF } /Absolute upper-left Y/ { y = $NF }
    /^  Width:/ { w = $NF } /^  Height:/ { h = $NF } END { print x, y, w, h }')
  read -r left right top bottom < <(xprop -id "$1" _NET_FRAME_EXTENTS | sed 's/.*= //; s/,/ /g')
  echo $((x - left)) $((y - top)) $((w + left + right)) $((h + top + bottom))
}
# Whether the box "x y w h" in $1 lies wholly inside the box in $2.
inside() {
  local x y w h ax ay aw ah
  read -r x y w h <<<"$1"
  read -r ax ay aw ah <<<"$2"
  [ "$x" -ge "$ax" ] && [ "$y" -ge "$ay" ] && [ $((x + w)) -le $((ax + aw)) ] && [ $((y + h)) -le $((ay + ah)) ]
}
work_area() { xprop -root _NET_WORKAREA | sed 's/.*= //; s/,/ /g' | awk '{ print $1, $2, $3, $4 }'; }
framed_on_work_area() {
  [ -n "$(xprop -id "$settings_win" _NET_FRAME_EXTENTS | sed -n 's/.*= //p')" ] && inside "$(frame_of "$settings_win")" "$(work_area)"
}

read -r screen_w screen_h < <(xdotool getdisplaygeometry)
[ "$screen_w" = 1024 ] && [ "$screen_h" = 600 ] || fail "the screen is ${screen_w}x$screen_h, not 1024x600"
python3 - "$settings_file" <<'PY'
import json, sys
path = sys.argv[1]
d = json.load(open(path))
d["mcp.enabled"] = {"type": "bool", "value": True}
json.dump(d, open(path, "w"))
PY

echo "== 1. The settings window's frame lies on the 1024 x 600 work area; the Note tab's last control is in reach"
launch "$tarnwick"
open_settings_from_tray
within 100 framed_on_work_area ||
  fail "the frame ($(frame_of "$settings_win")) is not on the work area ($(work_area))"
within 50 active_is "Tarnwick Settings" || fail "the settings window is not active"
press ctrl+Tab
settles_to 30 '"note"' setting settings.selectedTab || fail "the Note tab was not reached: $(setting settings.selectedTab)"
press shift+Tab  # backwards from the first control: the page's last one
last=""
for _ in $(seq 1 30); do
  last=$(reader focused || true)
  [ -n "$last" ] && inside "$last" "$(frame_of "$settings_win")" && break
  sleep 0.1
done
[ -n "$last" ] && inside "$last" "$(frame_of "$settings_win")" ||
  fail "the focused control ($last) is outside the window ($(frame_of "$settings_win"))"
shot settings-note-small-screen
press ctrl+shift+Tab

echo "== 2. Switches toggled by a screen reader are stored"
reader toggle "Show in the taskbar" || fail "no taskbar switch to toggle"
settles_to 50 true setting general.showDockIcon || fail "general.showDockIcon is $(setting general.showDockIcon)"
reader toggle "Launch Tarnwick at login" || fail "no launch-at-login switch to toggle"
within 50 test -f "$XDG_CONFIG_HOME/autostart/com.fennmoor.Tarnwick.desktop" || fail "no autostart entry was made"
settles_to 50 true setting general.launchAtLogin || fail "general.launchAtLogin is $(setting general.launchAtLogin)"
reader toggle "Read & write" || fail "no Read & write segment to toggle"
settles_to 50 false setting mcp.readOnly || fail "mcp.readOnly is $(setting mcp.readOnly)"
shot settings-general-toggled

echo "== 3. The approval card's window is shaped to its corners"
wait_listening_port
token=$(secret-tool lookup service com.fennmoor.tarnwick.mcp account endpoint-token synchronizable false)
[ -n "$token" ] || fail "no endpoint token in the keyring"
client="A client with a very long name that goes on and on, and on, to its very end"
body=$(printf '{"jsonrpc":"2.0","id":1,"method":"initialize","params":{"clientInfo":{"name":"%s"}}}' "$client")
timeout 90 curl -sS -o /dev/null -H 'Content-Type: application/json' --data-binary "$body" \
  "http://127.0.0.1:$port/mcp/$token" &
asking=$!
wait_card
within 50 bash -c "xwininfo -id $card -shape | grep -q 'Window shape extents'" ||
  fail "the card has no window shape: $(xwininfo -id "$card" -shape | tr "\n" "|")"
shot approval-card
press_in "$card" Escape
wait "$asking" || true
within 50 window_gone 'Allow access\?' || fail "the card stayed"
echo "PASS"
