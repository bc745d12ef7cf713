#!/usr/bin/env bash
# A capture from a real browser: firefox-esr shows a local page (python3 -m http.server on
# 127.0.0.1) with its accessibility on, text on it is selected with a triple-click and captured with
# the hot key; the capture keeps the page's address and title, and the peek's chip opens the address
# (a stand-in xdg-open on PATH writes down what it is asked to open). The same capture from a browser
# whose accessibility is off keeps the name and title, no address, and is not held up.
# Usage (inside scripts/desktop-session.sh): browser-capture.sh TARNWICK
set -euo pipefail
tarnwick=$1
here=$(dirname "$0")

source "$here/../support/session-lib.sh"
source "$here/browser-profile.sh"
session_begin browsercapture app screenshot
trap 'step_failed $LINENO' ERR
require_command firefox-esr

server_pid="" firefox_pid=""
stop_browser() { stop_process firefox_pid; }
trap 'status=$?; stop_browser; stop_process server_pid; (exit $status); session_cleanup' EXIT

# The page: one paragraph large enough that a click in the middle of the window lands on it.
mkdir -p "$work/site" "$work/bin"
words=$(printf 'Harvested words from a page worth keeping. %.0s' $(seq 1 40))
printf '<!DOCTYPE html>\n<html><head><meta charset="utf-8"><title>Harvest page</title></head>\n<body style="margin:0"><p style="font-size:32px;margin:0;padding:8px">%s</p></body></html>\n' \
  "$words" >"$work/site/page.html"
python3 -u -m http.server 0 --bind 127.0.0.1 --directory "$work/site" >"$work/server.log" 2>&1 &
server_pid=$!
within 100 grep -q ' port ' "$work/server.log" || fail "the page server did not start"
port=$(sed -n 's/.* port \([0-9]*\).*/\1/p' "$work/server.log" | head -1)
url="http://127.0.0.1:$port/page.html"

# What the peek's chip opens goes through xdg-open; this one only writes it down.
printf '#!/bin/sh\nprintf "%%s\\n" "$*" >>"%s/opened"\n' "$work" >"$work/bin/xdg-open"
chmod +x "$work/bin/xdg-open"

# The accessibility bus runs, as on a desktop with assistive technologies available.
dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress >/dev/null ||
  fail "the accessibility bus did not start"

PATH="$work/bin:$PATH" launch "$tarnwick"

# A fresh profile that opens only the page and asks nothing of the network.
browse() {
  local profile
  profile=$(firefox_profile "$work")
  env "$@" firefox-esr --no-remote --profile "$profile" "$url" >>"$work/firefox.log" 2>&1 &
  firefox_pid=$!
  wait_browser_window "$firefox_pid" 'Harvest page — Mozilla Firefox' "$work/firefox.log"
}

# Selects the paragraph; it is then on PRIMARY, owned by the browser.
select_paragraph() {
  select_paragraph_in "$browser_window" "Harvested words" || fail "the triple-click selected nothing on the page"
}

captures() { sql "SELECT count(*) FROM Capture WHERE text LIKE '%Harvested words%'"; }
latest() { sql "SELECT $1 FROM Capture WHERE text LIKE '%Harvested words%' ORDER BY createdAt DESC LIMIT 1"; }
no_warning() { [ -z "$(xdotool search --onlyvisible --name '^(Nothing|Capture not)' 2>/dev/null)" ]; }
more_than() { [ "$(captures)" -gt "$1" ]; }
windows() { xdotool search --onlyvisible --name . getwindowname %@ 2>/dev/null | tr '\n' '|'; }

# Presses the capture hot key until a capture of the page is stored: a browser busy on a loaded
# machine may miss the time it has to hand the selection over, and the application may not have
# grabbed the key yet. $pressed is when the key that captured was pressed.
capture_page() {
  local before
  before=$(captures)
  for _ in $(seq 1 20); do
    xdotool windowactivate --sync "$browser_window" >/dev/null 2>&1 || true
    pressed=$(date +%s.%N)
    xdotool key --clearmodifiers alt+shift+space
    within 30 more_than "$before" && return 0
    # A warning capsule goes before the next try.
    within 50 no_warning || true
  done
  fail "no capture was stored from $1 (windows: $(windows))"
}

echo "== A page of a browser that exposes it"
browse GNOME_ACCESSIBILITY=1
select_paragraph
capture_page firefox-esr
[ "$(latest sourceURL)" = "$url" ] || fail "the capture's address is '$(latest sourceURL)', not $url"
[ "$(latest sourceTitle)" = "Harvest page" ] || fail "the capture's title is '$(latest sourceTitle)'"
[ -n "$(latest sourceApp)" ] || fail "the capture has no application name"

# The capsule's pill opens the peek; its chip opens the page.
peek_from_capsule capture_page firefox-esr
peek=$window
xdotool mousemove --window "$peek" 34 21 click 1
within 50 test -s "$work/opened" || fail "the chip opened nothing"
[ "$(head -1 "$work/opened")" = "$url" ] || fail "the chip opened '$(head -1 "$work/opened")'"
import -window root "$work/peek.png"
xdotool key Escape
stop_browser

echo "== The same page with the browser's accessibility off"
# Off on the desktop too while the browser starts: it would take the desktop's word for it.
desktop_accessibility() {
  dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.freedesktop.DBus.Properties.Set \
    string:org.a11y.Status string:IsEnabled "variant:boolean:$1" >/dev/null
}
desktop_accessibility false
browse -u GNOME_ACCESSIBILITY
select_paragraph
sleep 2.5  # the first capsule is gone
capture_page "firefox-esr without accessibility"
[ -z "$(latest sourceURL)" ] || fail "an address came from a browser that exposes none: '$(latest sourceURL)'"
[ "$(latest sourceTitle)" = "Harvest page" ] || fail "the title is '$(latest sourceTitle)' without accessibility"
[ -n "$(latest sourceApp)" ] || fail "no application name without accessibility"
desktop_accessibility true
took=$(awk -v stored="$(latest createdAt)" -v pressed="$pressed" 'BEGIN { printf "%.3f", stored - pressed }')
echo "stored $took s after the key press"
awk -v took="$took" 'BEGIN { exit !(took < 1) }' || fail "the capture took $took s to land"
stop_browser

# Chromium shows its page on the bus only when asked twice: the environment variable makes it join
# the bus, the switch builds the page's tree.
if command -v chromium >/dev/null 2>&1; then
  echo "== A page of Chromium"
  ACCESSIBILITY_ENABLED=1 chromium "${chromium_switches[@]}" --user-data-dir="$(mktemp -d "$work/chromium-XXXXXX")" "$url" >>"$work/chromium.log" 2>&1 &
  firefox_pid=$!
  wait_browser_window "$firefox_pid" 'Harvest page - Chromium' "$work/chromium.log"
  select_paragraph
  capture_page chromium
  [ "$(latest sourceURL)" = "$url" ] || fail "the address from chromium is '$(latest sourceURL)', not $url"
  [ "$(latest sourceTitle)" = "Harvest page" ] || fail "the title from chromium is '$(latest sourceTitle)'"
else
  skip_test "chromium is not installed (the page of Firefox was captured)"
fi
echo "PASS"
