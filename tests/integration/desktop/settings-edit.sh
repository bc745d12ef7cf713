#!/usr/bin/env bash
# settings.json edited by a script while Tarnwick runs: a key is added and "mcp.enabled" turned on;
# the endpoint starts without a restart, and after the application writes another setting (it moves
# a legacy token out of the file into the keyring) the added key is still in the file.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lib.sh"
trap '[ -n "${pid:-}" ] && kill "$pid" 2>/dev/null; [ -n "$tray_pid" ] && kill "$tray_pid" 2>/dev/null; true' EXIT

settings=$XDG_CONFIG_HOME/tarnwick/settings.json
ensure_tray
log=$(mktemp)
"$TARNWICK_EXECUTABLE" >"$log" 2>&1 &
pid=$!
wait_for 20 tray_icon_shown "$pid" || fail "no tray icon: $(cat "$log")"
listening "$pid" && fail "the endpoint runs although it is switched off"

# As a person or a script would write it: typed entries and a plain one, replaced in one step.
cat >"$settings.new" <<'JSON'
{
  "update.checkAutomatically": {"type": "bool", "value": false},
  "mcp.enabled": {"type": "bool", "value": true},
  "mcp.token": {"type": "string", "value": "HandWrittenToken"},
  "test.addedByHand": "still here"
}
JSON
mv "$settings.new" "$settings"

wait_for 10 listening "$pid" || fail "the endpoint did not start: $(cat "$log")"
# The application's own write: the legacy token leaves the file for the keyring.
wait_for 10 bash -c "! grep -q mcp.token '$settings'" || fail "the application did not write: $(cat "$settings")"
grep -q '"test.addedByHand"' "$settings" || fail "the added key was lost: $(cat "$settings")"
grep -A2 '"mcp.enabled"' "$settings" | grep -q '"value": true' || fail "mcp.enabled was lost: $(cat "$settings")"
[ "$(secret-tool lookup service com.fennmoor.tarnwick.mcp account endpoint-token synchronizable false)" = HandWrittenToken ] ||
  fail "the token did not move into the keyring"

# The endpoint answers with that token (401 without it).
port=$(ss -ltnpH | grep "pid=$pid," | sed -n 's/.*127\.0\.0\.1:\([0-9]*\) .*/\1/p' | head -n1)
status_of() {
  exec 3<>"/dev/tcp/127.0.0.1/$port"
  printf 'POST %s HTTP/1.1\r\nHost: 127.0.0.1:%s\r\nContent-Type: application/json\r\nAccept: application/json, text/event-stream\r\nContent-Length: 40\r\nConnection: close\r\n\r\n{"jsonrpc":"2.0","method":"ping","id":1}' "$1" "$port" >&3
  head -n1 <&3 | awk '{print $2}'
  exec 3>&-
}
[ "$(status_of /mcp/WrongToken)" = 401 ] || fail "a wrong token was not refused"
[ "$(status_of /mcp/HandWrittenToken)" != 401 ] || fail "the hand-written token was refused"

no_warnings "$log" || fail "warnings at launch"
terminate_promptly "$pid" 5
pid=

# Written plainly before a launch: a list, a token and Booleans, beside entries this release cannot read.
# The client in the plain list is approved (no card: it connects at once), and when the application
# writes the file (the token moves into the keyring) the list and the unreadable entries stay in it.
secret-tool clear service com.fennmoor.tarnwick.mcp account endpoint-token synchronizable false
cat >"$settings" <<'JSON'
{
  "update.checkAutomatically": false,
  "mcp.enabled": true,
  "mcp.readOnly": true,
  "mcp.token": "PlainWrittenToken",
  "mcp.approvedClients": ["bars-client"],
  "test.laterKind": {"type": "colour", "value": "#ffffff"},
  "test.numbers": [1, 2, 3]
}
JSON
"$TARNWICK_EXECUTABLE" >"$log" 2>&1 &
pid=$!
wait_for 20 listening "$pid" || fail "the endpoint did not start from the plain file: $(cat "$log")"
wait_for 10 bash -c "! grep -q mcp.token '$settings'" || fail "the application did not write: $(cat "$settings")"
kept() {
  grep -q '"bars-client"' "$settings" || fail "$1: the plain list of approved clients was lost: $(cat "$settings")"
  grep -q '"#ffffff"' "$settings" && grep -q '"test.numbers"' "$settings" ||
    fail "$1: an entry the application cannot read was removed: $(cat "$settings")"
}
kept "after a write"
port=$(ss -ltnpH | grep "pid=$pid," | sed -n 's/.*127\.0\.0\.1:\([0-9]*\) .*/\1/p' | head -n1)
init='{"jsonrpc":"2.0","id":1,"method":"initialize","params":{"clientInfo":{"name":"bars-client"}}}'
# An unknown client would wait on the approval card; the approved one is answered at once.
answer=$(timeout 10 curl -sS -D - -o /dev/null -H 'Content-Type: application/json' \
  -H 'Accept: application/json, text/event-stream' --data-binary "$init" \
  "http://127.0.0.1:$port/mcp/PlainWrittenToken" 2>&1 | tr -d '\r' | head -n1 || true)
[ "$(awk '{print $2}' <<<"$answer")" = 200 ] || fail "the client in the plain list was not let in: '$answer'"
no_warnings "$log" || fail "warnings at the launch with a plain file"
terminate_promptly "$pid" 5
pid=
kept "after the run"
echo "settings-edit: ok"
