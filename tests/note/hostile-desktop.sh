#!/usr/bin/env bash
# Hostile files on the desktop and a locked note's words on the X selections, end to end: a desktop
# entry that is a link to a named pipe does not hold a capture, and locking a note takes its selected
# and copied text off PRIMARY and CLIPBOARD (pam_wrapper stands in for the account password).
# Usage (inside scripts/desktop-session.sh): hostile-desktop.sh TARNWICK SEEDER [PAM-WRAPPER-LIB MODULE-DIR]
set -euo pipefail
tarnwick=$1 seeder=$2 pam_library=${3:-} pam_modules=${4:-}

source "$(dirname "$0")/../support/session-lib.sh"
session_begin hostile app screenshot
password="right horse battery"
trap 'step_failed $LINENO' ERR
pam_setup "$pam_library" "$pam_modules" "$password"

apps="$XDG_DATA_HOME/applications"
mkdir -p "$apps"
mkfifo "$work/pipe"
ln -s "$work/pipe" "$apps/hostile.desktop"

"$seeder" || fail "preparing the store"

# Drawings whose inline picture (a data: URL) names a pipe: a pasted file, and an application's icon
# in the shelf's captures. Reading the pipe would hold the main thread for good.
mkfifo "$work/drawn-pipe"
drawing() {
  printf '<svg xmlns="http://www.w3.org/2000/svg" xmlns:xlink="http://www.w3.org/1999/xlink" width="16" height="16">%s</svg>' "$1"
}
inner=$(drawing "<image width=\"16\" height=\"16\" xlink:href=\"$work/drawn-pipe\"/>" | base64 -w0)
drawing "<image width=\"16\" height=\"16\" xlink:href=\"data:image/svg+xml;base64,$inner\"/>" >"$work/nested.svg"
printf '[Desktop Entry]\nType=Application\nName=Drawn\nExec=true\nIcon=%s\n' "$work/nested.svg" >"$apps/drawn.desktop"
sqlite3 "$store" "INSERT INTO Capture (uuid, text, sourceApp, sourceBundleID, createdAt, isPinned)
  VALUES ('6B1D7F3E-2C4A-4E8B-9A1D-3F5E7C9B0A12', 'drawn capture', 'Drawn', 'drawn', $(date +%s), 0)" ||
  fail "seeding the capture"
# The endpoint, on, with a client approved before: a tool call shows whether the main thread answers.
python3 - "$XDG_CONFIG_HOME/tarnwick/settings.json" <<'PY'
import json, sys
path = sys.argv[1]
try:
    values = json.load(open(path))
except FileNotFoundError:
    values = {}
values["mcp.enabled"] = True
values["mcp.approvedClients"] = {"type": "stringList", "value": ["Hostile probe"]}
json.dump(values, open(path, "w"))
PY
launch_pam "$tarnwick"
wait_listening_port
token=$(secret-tool lookup service com.fennmoor.tarnwick.mcp account endpoint-token synchronizable false)
post() {
  timeout "$1" bash -c 'exec 3<>"/dev/tcp/127.0.0.1/$0" || exit 1
    header=""; [ -z "$2" ] || header="Mcp-Session-Id: $2"$'"'"'\r\n'"'"'
    printf "POST /mcp/%s HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n%sContent-Length: %d\r\n\r\n%s" \
      "$1" "$header" "${#3}" "$3" >&3
    cat <&3' "$port" "$token" "${session:-}" "$2" | tr -d '\r'
}
session=""
head=$(post 10 '{"jsonrpc":"2.0","id":1,"method":"initialize","params":{"clientInfo":{"name":"Hostile probe"}}}')
session=$(sed -n 's/^Mcp-Session-Id: \([!-~]*\).*/\1/p' <<<"$head")
[ -n "$session" ] || fail "the approved probe could not initialise: $head"
# A tool call is answered on the main thread; five seconds bound a hang, not the machine's speed.
answers() {
  post 5 '{"jsonrpc":"2.0","id":2,"method":"tools/call","params":{"name":"list_notes","arguments":{}}}' |
    head -n1 | grep -q " 200 "
}
answers || fail "the endpoint does not answer to begin with"

echo "== A pasted drawing whose inline picture names a pipe"
for _ in $(seq 1 30); do
  xdotool key --clearmodifiers alt+shift+n
  within 20 active_is "New Note" && break
done
active_is "New Note" || fail "the new-note hot key opened no note"
xdotool key --clearmodifiers Return
printf 'file://%s\r\n' "$work/nested.svg" >"$work/uri-list"
own_selection clipboard text/uri-list "$work/uri-list"
xdotool key --clearmodifiers ctrl+v
sleep 0.5
answers || fail "the application stopped answering after the paste"
[ "$(sql "SELECT count(*) FROM NoteImage")" = 0 ] || fail "the drawing was stored as a picture"
kill "$owner_pid" 2>/dev/null || true
owner_pid=""
xdotool key --clearmodifiers Escape

echo "== An application icon whose inline picture names a pipe, in the shelf's captures"
xdotool key --clearmodifiers alt+shift+s
wait_window "Tarnwick shelf"
within 30 active_is "Tarnwick shelf" || true
xdotool type --delay 30 -- "drawn"
sleep 1
answers || fail "the application stopped answering with the icon in the shelf"
xdotool key --clearmodifiers Escape
kill -0 "$app_pid" || fail "the application did not survive the drawings"

offer() {
  printf '%s' "$1" >"$work/offered"
  own_selection primary UTF8_STRING "$work/offered"
}
captured() { [ "$(sql "SELECT count(*) FROM Capture WHERE text = '$1'")" -ge 1 ]; }

echo "== A capture with a pipe among the desktop entries"
# Text is captured from the window that has the focus: another application's.
xmessage -title Probe "probe window" >/dev/null 2>&1 &
probe_pid=$!
wait_window Probe
probe=$window
chord() {
  xdotool windowactivate --sync "$probe" >/dev/null 2>&1 || true
  xdotool key --clearmodifiers alt+shift+space
}
offer "first words"
# The chord works once the application has grabbed it; a capture held by the pipe never lands.
for _ in $(seq 1 30); do
  chord
  within 20 captured "first words" && break
done
captured "first words" || fail "no capture was stored: the pipe held it"
sleep 2.5  # the capsule goes
offer "second words"
chord
within 20 captured "second words" || fail "the second capture was not stored within 2 s"
kill -0 "$app_pid" || fail "the application did not survive the captures"
kill "$owner_pid" "$probe_pid" 2>/dev/null || true
owner_pid=""

echo "== Locking a note gives up the selection holding its words"
for _ in $(seq 1 30); do
  xdotool key --clearmodifiers alt+shift+n
  within 20 active_is "New Note" && break
done
active_is "New Note" || fail "the new-note hot key opened no note"
xdotool type --delay 30 -- Secret
xdotool key --clearmodifiers Return
xdotool type --delay 30 -- saffron
within 50 active_is Secret || fail "the note is not named Secret"
xdotool key --clearmodifiers shift+Home
sleep 0.5
[ "$(timeout 5 xclip -o -selection primary 2>/dev/null || true)" = saffron ] ||
  fail "the selected word is not on PRIMARY to begin with"
within 50 bash -c "sqlite3 'file:$store?mode=ro' \"SELECT body FROM Note WHERE title = 'Secret'\" | grep -q saffron" ||
  fail "Secret was not saved"
# Everything selected and copied: the title and the body on CLIPBOARD, then the selection given up
# (the copy no longer matches any one piece of the note's text as stored).
xdotool key --clearmodifiers ctrl+a
sleep 0.3
xdotool key --clearmodifiers ctrl+c
within 50 bash -c "timeout 5 xclip -o -selection clipboard 2>/dev/null | grep -q saffron" ||
  fail "Ctrl+A, Ctrl+C did not copy the note"
xdotool key --clearmodifiers End
win=$(xdotool search --onlyvisible --name '^Secret$' | head -1)
eval "$(xdotool getwindowgeometry --shell "$win")"
xdotool mousemove --window "$win" $((WIDTH - 43)) 15
sleep 0.2
xdotool click 1
settles_to 30 1 sql "SELECT isLocked FROM Note WHERE title = 'Secret'" || fail "the lock button did not lock Secret"
sleep 0.5
for selection in primary clipboard; do
  held=$(timeout 5 xclip -o -selection $selection 2>/dev/null || true)
  if grep -q -e saffron -e Secret <<<"$held"; then fail "the locked note's words are still offered on $selection: $held"; fi
done
kill -0 "$app_pid" || fail "the application did not survive the lock"
echo "== Passed"
