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

source "$(dirname "$0")/../support/session-lib.sh"
session_begin mcp

client="Tarnwick SDK check"
drive() { timeout 60 node "$client_dir/drive-endpoint.mjs" "$@"; }

start_app() {
  # The common umask: our files must still be the user's alone.
  local mask
  mask=$(umask)
  umask 022
  launch "$tarnwick"
  umask "$mask"
  wait_listening_port
  [ "$port" -ge 48219 ] && [ "$port" -le 48231 ] || fail "listening on port $port, outside 48219...48231"
  # The token is where the application keeps it: the keyring item of the endpoint.
  token=$(secret-tool lookup service com.fennmoor.tarnwick.mcp account endpoint-token synchronizable false)
  [[ "$token" =~ ^[A-Za-z0-9]{24}$ ]] || fail "no well-formed endpoint token in the keyring: '$token'"
  url="http://127.0.0.1:$port/mcp/$token"
}

# One raw POST to the endpoint; prints the response head. Any arguments before the body are the command
# to run the client with (another user's, for example); the body is the last argument, and
# $session, when set, goes in the Mcp-Session-Id header.
raw_post() {
  local body=${*: -1} runner=("${@:1:$#-1}")
  timeout 20 "${runner[@]}" bash -c 'exec 3<>"/dev/tcp/127.0.0.1/$0" || exit 1
    header=""; [ -z "$2" ] || header="Mcp-Session-Id: $2"$'"'"'\r\n'"'"'
    printf "POST /mcp/%s HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n%sContent-Length: %d\r\n\r\n%s" \
      "$1" "$header" "${#3}" "$3" >&3
    cat <&3' "$port" "$token" "$session" "$body" | tr -d '\r'
}
status_of() { head -n1 | awk '{ print $2 }'; }

# Every file of ours private, every folder ours alone.
check_private() {
  local loose
  loose=$(find "$XDG_DATA_HOME/tarnwick" "$XDG_CONFIG_HOME/tarnwick" \( -type f ! -perm 600 \) -o \( -type d ! -perm 700 \))
  [ -z "$loose" ] || fail "readable by others after $1: $loose"
}


"$seeder" "$work/manifest.json" "$client" || fail "seeding the store"
# As after an update that changed the stored schema: the launch takes a snapshot first, while the
# seeded locked note still holds its text in the clear (as a crash while it was revealed leaves it).
printf 'an older fingerprint' >"$XDG_DATA_HOME/tarnwick/TarnwickSnapshots/schema-fingerprint"

echo "== First launch: tools, searching, listing, reading and creating"
start_app
first_token=$token
drive "$url" "$work/manifest.json" "$client" check "$work/created" || fail "the tools did not answer as expected"

echo "== Files are private, and the snapshot holds no private note in the clear"
check_private "a launch and a snapshot"
snapshot=$(find "$XDG_DATA_HOME/tarnwick/TarnwickSnapshots" -mindepth 1 -maxdepth 1 -type d | head -n1)
[ -n "$snapshot" ] || fail "no snapshot was taken on the schema change"
grep -aq "needs new paint" "$snapshot"/default.store* || fail "the snapshot does not hold the notes"
! grep -aq "4417" "$snapshot"/default.store* || fail "the snapshot holds the locked note in the clear"

echo "== Raw requests: a session is needed, and another user is refused"
read_pinned=$(printf '{"jsonrpc":"2.0","id":3,"method":"tools/call","params":{"name":"read_note","arguments":{"id":"%s"}}}' \
  "$(sed -n 's/.*"pinnedID": *"\([^"]*\)".*/\1/p' "$work/manifest.json")")
session="" ; [ "$(raw_post "$read_pinned" | status_of)" = 400 ] || fail "a tool call without a session was answered"
session="made-up" ; [ "$(raw_post "$read_pinned" | status_of)" = 404 ] || fail "an unknown session was accepted"
init=$(printf '{"jsonrpc":"2.0","id":1,"method":"initialize","params":{"clientInfo":{"name":"%s"}}}' "$client")
session=""
head=$(raw_post "$init")
[ "$(status_of <<<"$head")" = 200 ] || fail "the approved client could not initialise: $head"
session=$(sed -n 's/^Mcp-Session-Id: \([!-~]*\).*/\1/p' <<<"$head")
[ -n "$session" ] || fail "initialize gave no session: $head"
[ "$(raw_post "$read_pinned" | status_of)" = 200 ] || fail "a call in the session was refused"
[ "$(raw_post setpriv --reuid=nobody --regid=nogroup --clear-groups "$read_pinned" | status_of)" = 403 ] ||
  fail "another user's connection was served"
session=""
[ "$(raw_post runuser -u nobody -- "$init" | status_of)" = 403 ] || fail "another user could initialise"

echo "== A body sent in chunks (as curl sends one from a pipe) is read; framing that could be read two ways is not"
head=$(printf '%s' "$init" | timeout 20 curl -sS -D - -o /dev/null -H 'Transfer-Encoding: chunked' \
  -H 'Content-Type: application/json' --data-binary @- "$url" | tr -d '\r')
[ "$(status_of <<<"$head")" = 200 ] || fail "a chunked initialize was not answered: $head"
grep -q '^Mcp-Session-Id: [!-~]' <<<"$head" || fail "a chunked initialize gave no session: $head"
smuggled=$(timeout 20 bash -c 'exec 3<>"/dev/tcp/127.0.0.1/$0" || exit 1
  printf "POST /mcp/%s HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 4\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n" "$1" >&3
  cat <&3' "$port" "$token" | tr -d '\r')
[ "$(status_of <<<"$smuggled")" = 400 ] || fail "a request with both Content-Length and chunked was not refused: $smuggled"

echo "== A wrong token is refused"
# The last character changed (to X, or to Y when it is an X already).
wrong="${token:0:23}X"
[ "$wrong" != "$token" ] || wrong="${token:0:23}Y"
drive "http://127.0.0.1:$port/mcp/$wrong" - "$client" refused || fail "a wrong token was accepted"

echo "== A new client is asked about on the card, while a note is being typed in"
open_new_note
note_window=$(xdotool getactivewindow)
xdotool type --delay 30 "Card keys"
xdotool key --clearmodifiers Return
# The card gives the keyboard back to the note: the letters typed next are the note's.
typing_goes_on() {
  within 100 bash -c "[ \"\$(xdotool getactivewindow 2>/dev/null)\" = $note_window ]" ||
    fail "after the card's $1 the keyboard is with \"$(xdotool getactivewindow getwindowname 2>/dev/null)\", not the note"
  xdotool type --delay 30 "$2"
}
card_note() { sqlite3 "file:$XDG_DATA_HOME/tarnwick/default.store?mode=ro" "SELECT body FROM Note WHERE title = 'Card keys'"; }

drive "$url" - "Card approved client" connect &
allowed_pid=$!
answer_card Return
wait "$allowed_pid" || fail "the client allowed on the card could not connect"
grep -q "Card approved client" "$XDG_CONFIG_HOME/tarnwick/settings.json" || fail "the allowed client was not remembered"
typing_goes_on Allow "after "

drive "$url" - "Card denied client" refused &
denied_pid=$!
answer_card Escape
wait "$denied_pid" || fail "the client denied on the card got in"
typing_goes_on Escape "both"

# Ctrl+period as xdotool presses it, Ctrl let go before the period: still a denial.
drive "$url" - "Card denied by keys client" refused &
denied_pid=$!
answer_card ctrl+period
wait "$denied_pid" || fail "the client denied with Ctrl+period got in"
typing_goes_on Ctrl+period " keys"
! grep -q "Card denied" "$XDG_CONFIG_HOME/tarnwick/settings.json" || fail "a denied client was remembered"
settles_to 150 "after both keys" card_note || fail "the note typed in around the cards reads '$(card_note)'"

echo "== Two new clients a second apart: each gets its card in turn, neither is refused unasked"
drive "$url" - "Queued client one" connect &
first_pid=$!
sleep 1
drive "$url" - "Queued client two" connect &
second_pid=$!
answer_card Return
wait "$first_pid" || fail "the first of two clients could not connect"
answer_card Return
wait "$second_pid" || fail "the second of two clients was refused instead of waiting for its card"

echo "== Relaunch: the note written over MCP and the approval are still there, under the same token"
stop_app
start_app
[ "$token" = "$first_token" ] || fail "the token changed across launches"
check_private "a relaunch"
drive "$url" "$work/manifest.json" "$client" reread "$work/created" || fail "the created note did not survive"
# Approved before: no card this time (a card would hold the client until its time-out).
drive "$url" - "Card approved client" connect || fail "the approved client was asked again"
stop_app
echo "== Passed"
