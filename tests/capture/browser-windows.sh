#!/usr/bin/env bash
# Two windows of one browser side by side, each on a local page of its own: a capture from either
# window keeps that window's address and title, whichever window was opened first and whichever was
# captured from before. The second page's address holds a '|' in its query, as font and search links
# do, and is kept percent-encoded; it also holds a '%' that starts no escape in its path and at its
# end, among valid escapes, and only those '%' are encoded. Run with firefox-esr, and with chromium
# where it is installed.
# Usage (inside scripts/desktop-session.sh): browser-windows.sh TARNWICK
set -euo pipefail
tarnwick=$1
here=$(dirname "$0")

source "$here/../support/session-lib.sh"
source "$here/browser-profile.sh"
session_begin browserwindows app screenshot
trap 'step_failed $LINENO' ERR
require_command firefox-esr

server_pid="" browser_pid=""
stop_browser() { stop_process browser_pid; }
trap 'status=$?; stop_browser; stop_process server_pid; (exit $status); session_cleanup' EXIT

# Each page is one paragraph of its own words, large enough that a click in the middle of its window
# lands on it.
mkdir -p "$work/site"
for page in Alpha Beta; do
  words=$(printf "$page words from a page worth keeping. %.0s" $(seq 1 30))
  printf '<!DOCTYPE html>\n<html><head><meta charset="utf-8"><title>%s page</title></head>\n<body style="margin:0"><p style="font-size:32px;margin:0;padding:8px">%s</p></body></html>\n' \
    "$page" "$words" >"$work/site/${page,,}.html"
done
mkdir -p "$work/site/100%"
mv "$work/site/beta.html" "$work/site/100%/beta b.html"
python3 -u -m http.server 0 --bind 127.0.0.1 --directory "$work/site" >"$work/server.log" 2>&1 &
server_pid=$!
within 100 grep -q ' port ' "$work/server.log" || fail "the page server did not start"
port=$(sed -n 's/.* port \([0-9]*\).*/\1/p' "$work/server.log" | head -1)
alpha="http://127.0.0.1:$port/alpha.html"
beta="http://127.0.0.1:$port/100%/beta%20b.html?family=Roboto|Open+Sans&x=%26y%3D1&p=5%"
beta_stored="http://127.0.0.1:$port/100%25/beta%20b.html?family=Roboto%7COpen+Sans&x=%26y%3D1&p=5%25"

# What the peek's chip opens goes through xdg-open; this one only writes it down.
mkdir -p "$work/bin"
printf '#!/bin/sh\nprintf "%%s\\n" "$*" >>"%s/opened"\n' "$work" >"$work/bin/xdg-open"
chmod +x "$work/bin/xdg-open"

dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress >/dev/null ||
  fail "the accessibility bus did not start"
PATH="$work/bin:$PATH" launch "$tarnwick"

windows() { xdotool search --onlyvisible --name . getwindowname %@ 2>/dev/null | tr '\n' '|'; }
left_edge() { xwininfo -id "$1" | awk '/Absolute upper-left X/ { print $4 }'; }
width() { xwininfo -id "$1" | awk '/Width:/ { print $2 }'; }
right_of() { [ "$(left_edge "$1")" -ge "$2" ] && [ "$(width "$1")" -eq 620 ]; }

# Puts window $1 620 wide at the left or the right half of the screen, and waits until it is there.
place() {
  xdotool windowsize "$1" 620 700 windowmove "$1" "$2" 40
  if [ "$2" -eq 0 ]; then
    within 100 bash -c '[ "$(xwininfo -id '"$1"' | awk "/Width:/ { print \$2 }")" -eq 620 ]' ||
      fail "window $1 was not made narrower"
  else
    within 100 right_of "$1" "$2" || fail "window $1 did not move to the right half"
  fi
}

stored() { sql "SELECT count(*) FROM Capture"; }
more_than() { [ "$(stored)" -gt "$1" ]; }
no_warning() { [ -z "$(xdotool search --onlyvisible --name '^(Nothing|Capture not)' 2>/dev/null)" ]; }
latest() { sql "SELECT $1 FROM Capture ORDER BY createdAt DESC LIMIT 1"; }

# Selects the paragraph of window $1 (words starting with $2) and captures it with the hot key; the
# capture must keep address $3 and title $4. The key is pressed again while a busy browser misses its
# time to hand the selection over, or before the application has grabbed it.
capture_from() {
  local window=$1 words=$2 address=$3 title=$4 before
  select_paragraph_in "$window" "^$words words" || fail "the triple-click selected nothing in the $title window"
  before=$(stored)
  for _ in $(seq 1 20); do
    xdotool windowactivate --sync "$window" >/dev/null 2>&1 || true
    xdotool key --clearmodifiers alt+shift+space
    within 30 more_than "$before" && break
    within 50 no_warning || true
  done
  more_than "$before" || fail "no capture was stored from the $title window (windows: $(windows))"
  [[ "$(latest text)" == "$words words"* ]] || fail "the capture from the $title window holds '$(latest text)'"
  [ "$(latest sourceURL)" = "$address" ] ||
    fail "the capture from the $title window has the address '$(latest sourceURL)', not $address"
  [ "$(latest sourceTitle)" = "$title" ] || fail "the capture from the $title window is titled '$(latest sourceTitle)'"
  echo "$title: $address"
}

# The capsule of the capture just made opens its peek, whose chip opens address $1; the capture is
# made again with the rest of the line when its capsule went before the click.
open_from_peek() {
  local pill peek address=$1
  shift
  peek_from_capsule "$@"
  peek=$window
  xdotool mousemove --window "$peek" 34 21 click 1
  within 50 test -s "$work/opened" || fail "the chip opened nothing"
  [ "$(tail -1 "$work/opened")" = "$address" ] || fail "the chip opened '$(tail -1 "$work/opened")', not $address"
  xdotool key Escape
  within 50 bash -c '[ -z "$(xdotool search --onlyvisible --name "^Capture preview\$" 2>/dev/null)" ]' ||
    fail "the peek did not close"
}

# Both orders: the second window after the first, and the first after the second.
capture_each_in_turn() {
  capture_from "$1" Alpha "$alpha" "Alpha page"
  capture_from "$2" Beta "$beta_stored" "Beta page"
  [ -z "${3:-}" ] || open_from_peek "$beta_stored" capture_from "$2" Beta "$beta_stored" "Beta page"
  capture_from "$1" Alpha "$alpha" "Alpha page"
}

echo "== Two windows of firefox-esr"
profile=$(firefox_profile "$work" 620x700+0+40)
GNOME_ACCESSIBILITY=1 firefox-esr --new-instance --profile "$profile" "$alpha" >>"$work/browser.log" 2>&1 &
browser_pid=$!
wait_browser_window "$browser_pid" "Alpha page — Mozilla Firefox" "$work/browser.log"
first=$browser_window
# The second window comes from the running browser, which the second command asks and leaves.
GNOME_ACCESSIBILITY=1 firefox-esr --profile "$profile" --new-window "$beta" >>"$work/browser.log" 2>&1
wait_browser_window "$browser_pid" "Beta page — Mozilla Firefox" "$work/browser.log"
second=$browser_window
place "$first" 0
place "$second" 640
capture_each_in_turn "$first" "$second" peek
import -window root "$work/firefox.png"
stop_browser

if command -v chromium >/dev/null 2>&1; then
  echo "== Two windows of chromium"
  data=$(mktemp -d "$work/chromium-XXXXXX")
  ACCESSIBILITY_ENABLED=1 chromium "${chromium_switches[@]}" --user-data-dir="$data" --window-size=620,700 \
    --window-position=0,40 "$alpha" >>"$work/browser.log" 2>&1 &
  browser_pid=$!
  wait_browser_window "$browser_pid" "Alpha page - Chromium" "$work/browser.log"
  first=$browser_window
  ACCESSIBILITY_ENABLED=1 chromium "${chromium_switches[@]}" --user-data-dir="$data" --new-window "$beta" \
    >>"$work/browser.log" 2>&1
  wait_browser_window "$browser_pid" "Beta page - Chromium" "$work/browser.log"
  second=$browser_window
  place "$first" 0
  place "$second" 640
  capture_each_in_turn "$first" "$second"
  stop_browser
else
  skip_test "chromium is not installed (the windows of Firefox passed)"
fi
echo "PASS"
