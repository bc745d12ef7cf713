#!/usr/bin/env bash
# Black-box test of the local MCP endpoint: seeds a store and settings, starts the real application in
# the desktop session, and drives its endpoint with the official MCP SDK client, as an assistant would.
# Usage (inside scripts/desktop-session.sh): endpoint-black-box.sh TARNWICK SEEDER SDK-CLIENT-DIR
set -euo pipefail
tarnwick=$1 seeder=$2 client_dir=$3

if [ ! -d "$client_dir/node_modules/@modelcontextprotocol/sdk" ]; then
  echo "The MCP SDK client is not installed: run scripts/install-deps.sh (npm ci in $client_dir)." >&2
  exit 1
fi

work=$(mktemp -d /tmp/tarnwick-mcp-XXXXXX)
app_pid=""
fail() {
  echo "FAIL: $*" >&2
  [ -f "$work/app.log" ] && { echo "--- application log" >&2; cat "$work/app.log" >&2; }
  exit 1
}
stop_app() {
  [ -n "$app_pid" ] || return 0
  kill -TERM "$app_pid" 2>/dev/null || true
  wait "$app_pid" 2>/dev/null || true
  app_pid=""
}
trap 'stop_app; rm -rf "$work"' EXIT

client="Tarnwick SDK check"
drive() { timeout 60 node "$client_dir/drive-endpoint.mjs" "$@"; }

# The port our application listens on: 48219 unless another process holds it.
listening_port() {
  ss -Hltnp 2>/dev/null | awk -v pid="pid=$app_pid," 'index($0, pid) { n = split($4, a, ":"); print a[n]; exit }'
}

start_app() {
  "$tarnwick" >>"$work/app.log" 2>&1 &
  app_pid=$!
  port=""
  for _ in $(seq 1 200); do
    kill -0 "$app_pid" 2>/dev/null || fail "the application exited at launch"
    port=$(listening_port)
    [ -n "$port" ] && break
    sleep 0.1
  done
  [ -n "$port" ] || fail "the endpoint did not start listening"
  [ "$port" -ge 48219 ] && [ "$port" -le 48231 ] || fail "listening on port $port, outside 48219...48231"
  # The token is where the application keeps it: the keyring item of the endpoint.
  token=$(secret-tool lookup service com.fennmoor.tarnwick.mcp account endpoint-token synchronizable false)
  [[ "$token" =~ ^[A-Za-z0-9]{24}$ ]] || fail "no well-formed endpoint token in the keyring: '$token'"
  url="http://127.0.0.1:$port/mcp/$token"
}

# A card asking about a client; answers it with a key, as the user would.
answer_card() {
  local key=$1 window=""
  for _ in $(seq 1 100); do
    window=$(xdotool search --onlyvisible --name '^Allow access\?$' 2>/dev/null | head -n1 || true)
    [ -n "$window" ] && break
    sleep 0.1
  done
  [ -n "$window" ] || fail "no approval card appeared"
  xdotool windowactivate --sync "$window" >/dev/null 2>&1 || true
  xdotool key --window "$window" --clearmodifiers "$key"
}

"$seeder" "$work/manifest.json" "$client" || fail "seeding the store"

echo "== First launch: tools, searching, listing, reading and creating"
start_app
first_token=$token
drive "$url" "$work/manifest.json" "$client" check "$work/created" || fail "the tools did not answer as expected"

echo "== A wrong token is refused"
drive "http://127.0.0.1:$port/mcp/${token:0:23}X" - "$client" refused || fail "a wrong token was accepted"

echo "== A new client is asked about on the card"
drive "$url" - "Card approved client" connect &
allowed_pid=$!
answer_card Return
wait "$allowed_pid" || fail "the client allowed on the card could not connect"
grep -q "Card approved client" "$XDG_CONFIG_HOME/tarnwick/settings.json" || fail "the allowed client was not remembered"

drive "$url" - "Card denied client" refused &
denied_pid=$!
answer_card Escape
wait "$denied_pid" || fail "the client denied on the card got in"

echo "== Relaunch: the note written over MCP and the approval are still there, under the same token"
stop_app
start_app
[ "$token" = "$first_token" ] || fail "the token changed across launches"
drive "$url" "$work/manifest.json" "$client" reread "$work/created" || fail "the created note did not survive"
# Approved before: no card this time (a card would hold the client until its time-out).
drive "$url" - "Card approved client" connect || fail "the approved client was asked again"
stop_app
echo "== Passed"
