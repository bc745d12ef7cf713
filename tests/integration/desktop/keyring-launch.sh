#!/usr/bin/env bash
# A desktop whose keyring has no default collection yet (a fresh keyring folder): Tarnwick shows its
# tray icon and ends on SIGTERM with status 0 while its keyring write waits on the keyring's "new
# keyring" prompt, neither waiting on the prompt (the times are printed; the bounds only catch a
# wait on a prompt nobody answers); with "mcp.enabled" on, the endpoint comes up once the collection
# exists (the prompt answered).
# Then a desktop with no keyring at all (the file keyring is used) whose file is locked by another
# process: an endpoint token still in the settings file from an older version stays there, and keeps
# working, until a later launch has moved it into the keyring.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lib.sh"

if [ -z "${TARNWICK_FRESH_KEYRING:-}" ]; then
  # A bus of its own, so the session's unlocked login keyring is not the one asked.
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  for run in fresh file; do
    mkdir -p "$work/$run/runtime" "$work/$run/data" "$work/$run/config/tarnwick"
    chmod 700 "$work/$run/runtime"
  done
  printf '{"update.checkAutomatically": {"type": "bool", "value": false},\n "onboarding.completed": {"type": "bool", "value": true},\n "mcp.enabled": {"type": "bool", "value": true}}\n' \
    >"$work/fresh/config/tarnwick/settings.json"
  TARNWICK_FRESH_KEYRING=fresh XDG_RUNTIME_DIR=$work/fresh/runtime XDG_DATA_HOME=$work/fresh/data \
    XDG_CONFIG_HOME=$work/fresh/config dbus-run-session -- bash "$0"
  # A bus that offers no Secret Service, not even one it could start.
  cat >"$work/bus.conf" <<'CONF'
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig><type>session</type><listen>unix:tmpdir=/tmp</listen><auth>EXTERNAL</auth>
<policy context="default"><allow send_destination="*" eavesdrop="true"/><allow eavesdrop="true"/><allow own="*"/></policy>
</busconfig>
CONF
  printf '{"update.checkAutomatically": {"type": "bool", "value": false},\n "onboarding.completed": {"type": "bool", "value": true},\n "mcp.enabled": {"type": "bool", "value": true},\n "mcp.token": "Legacy0token0of0an0older0version"}\n' \
    >"$work/file/config/tarnwick/settings.json"
  TARNWICK_FRESH_KEYRING=file XDG_RUNTIME_DIR=$work/file/runtime XDG_DATA_HOME=$work/file/data \
    XDG_CONFIG_HOME=$work/file/config dbus-run-session --config-file="$work/bus.conf" -- bash "$0"
  exit
fi

# Ends the launch with SIGTERM. A quit that waited on the keyring is ended by the application's own
# watchdog after 3 s, with status 0 but with its line in the log.
stop_launch() {
  terminate_promptly "$pid" 10
  ! grep -q "ending without waiting for a call that did not return" "$log" ||
    fail "the quit waited on the keyring: $(cat "$log")"
  pid=
}

launch() {
  log=$(mktemp)
  start=$(now_ms)
  # The keyring wait is an informational line: asked for.
  TARNWICK_LOG=info "$TARNWICK_EXECUTABLE" >"$log" 2>&1 &
  pid=$!
}

if [ "$TARNWICK_FRESH_KEYRING" = file ]; then
  trap '[ -n "${pid:-}" ] && kill "$pid" 2>/dev/null; [ -n "$tray_pid" ] && kill "$tray_pid" 2>/dev/null; [ -n "${holder:-}" ] && kill "$holder" 2>/dev/null; true' EXIT
  ensure_tray
  legacy=Legacy0token0of0an0older0version
  settings=$XDG_CONFIG_HOME/tarnwick/settings.json
  keyring=$XDG_DATA_HOME/tarnwick/keychain.json
  port() { ss -Hltnp 2>/dev/null | awk -v pid="pid=$pid," 'index($0, pid) { n = split($4, a, ":"); print a[n]; exit }'; }
  answer() {
    curl -s -o /dev/null -w '%{http_code}' -X POST -H 'Content-Type: application/json' \
      -d '{"jsonrpc":"2.0","method":"ping","id":1}' "http://127.0.0.1:$(port)/mcp/$1"
  }
  # "mcp.token" as the settings file holds it, written plainly or with its type; "absent" without it.
  settings_token() {
    python3 -c 'import json, sys
v = json.load(open(sys.argv[1])).get("mcp.token", "absent")
print(v["value"] if isinstance(v, dict) else v)' "$settings"
  }
  legacy_in_settings() { [ "$(settings_token)" = "$legacy" ]; }

  # 1. The keyring file is locked by another live process (as Qt's lock files name their holder): the
  #    token cannot be stored, so the settings file keeps it, and clients set up with it get in.
  mkdir -p "$(dirname "$keyring")"
  sleep 600 &
  holder=$!
  printf '%s\nsleep\n%s\n' "$holder" "$(hostname)" >"$keyring.lock"
  launch
  wait_for 30 listening "$pid" || fail "the endpoint did not come up with the keyring locked: $(cat "$log")"
  grep -q "Could not store the MCP token in the keyring: .*locked by another process" "$log" ||
    fail "the refused write is not logged: $(cat "$log")"
  grep -q "Moved the MCP token" "$log" && fail "a move the keyring refused is logged as done: $(cat "$log")"
  legacy_in_settings || fail "the only copy of the token left the settings file: $(cat "$settings")"
  [ "$(answer "$legacy")" != 401 ] || fail "the token of the settings file is refused"
  [ "$(answer WrongToken0000000000000000)" = 401 ] || fail "a wrong token is let in"
  stop_launch

  # 2. The lock gone, the next launch moves the token, which still works, and says so.
  kill "$holder"
  holder=
  rm -f "$keyring.lock"
  launch
  wait_for 30 listening "$pid" || fail "the endpoint did not come up: $(cat "$log")"
  wait_for 10 grep -q "Moved the MCP token out of the settings file into the keyring." "$log" ||
    fail "the token was not moved: $(cat "$log")"
  grep -q "$legacy" "$keyring" 2>/dev/null || grep -q "$(printf '%s' "$legacy" | base64)" "$keyring" ||
    fail "the keyring does not hold the token"
  token_moved() { [ "$(settings_token)" = absent ]; }
  wait_for 5 token_moved || fail "the settings file keeps the token once moved: $(cat "$settings")"
  [ "$(answer "$legacy")" != 401 ] || fail "the moved token is refused"
  stop_launch
  echo "keyring-launch (file keyring): ok"
  exit 0
fi

trap '[ -n "${pid:-}" ] && kill "$pid" 2>/dev/null; [ -n "$tray_pid" ] && kill "$tray_pid" 2>/dev/null; [ -n "${keyring_pid:-}" ] && kill "$keyring_pid" 2>/dev/null; true' EXIT
ensure_tray
gnome-keyring-daemon --start --foreground --components=secrets >/dev/null 2>&1 &
keyring_pid=$!
wait_for 10 dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
  org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets >/dev/null 2>&1 || fail "no keyring daemon"
[ ! -e "$XDG_DATA_HOME/keyrings/login.keyring" ] || fail "the keyring folder is not fresh"

# 1. The token write waits on the prompt; the tray icon does not.
launch
wait_for 20 tray_icon_shown "$pid" || fail "no tray icon within 20 s: $(cat "$log")"
echo "tray icon after $(($(now_ms) - start)) ms"
wait_for 10 xdotool search --onlyvisible --classname gcr-prompter >/dev/null ||
  fail "the keyring did not ask for a new keyring (is the folder fresh?)"
listening "$pid" && fail "the endpoint started without a stored token"
wait_for 5 grep -q "The MCP endpoint waits for the desktop keyring" "$log" || fail "the wait is not logged: $(cat "$log")"
[ "$(grep -c "waits for the desktop keyring" "$log")" -eq 1 ] || fail "the wait is logged more than once"
stop_launch
no_warnings "$log" || fail "warnings at launch"

# 2. Launched again, the endpoint comes up once the prompt is answered and the collection exists.
# The keyring takes back the prompt of a caller that has gone. Keys typed while that prompt goes
# land in this launch's own, half a password or a lone Return (a blank password, so "Store
# passwords unencrypted?", which the rest of the typing cancels), so the old one is waited out first.
prompt_withdrawn() { ! xdotool search --onlyvisible --classname gcr-prompter >/dev/null 2>&1; }
wait_for 30 prompt_withdrawn || echo "the first launch's prompt is still shown"
launch
wait_for 20 tray_icon_shown "$pid" || fail "no tray icon within 20 s on the second launch: $(cat "$log")"
answered=0
for _ in 1 2 3; do
  w=$(xdotool search --onlyvisible --classname gcr-prompter 2>/dev/null | head -n1) || true
  if [ -n "$w" ]; then
    xdotool windowactivate --sync "$w" >/dev/null 2>&1 || true
    sleep 0.3
    # Each field is selected first, so a prompt typed into before holds the password once.
    xdotool key ctrl+a
    xdotool type --delay 20 'fresh-keyring'
    xdotool key Tab ctrl+a
    xdotool type --delay 20 'fresh-keyring'
    xdotool key Return
    answered=$((answered + 1))
  fi
  wait_for 5 listening "$pid" && break
done
[ "$answered" -gt 0 ] || fail "no keyring prompt to answer"
listening "$pid" || fail "the endpoint did not come up once the collection existed: $(cat "$log")"
grep -q "Could not store the MCP token" "$log" && fail "the prompt was answered but the token not stored: $(cat "$log")"
secret-tool lookup service com.fennmoor.tarnwick.mcp account endpoint-token synchronizable false >/dev/null ||
  fail "the token is not in the new collection: $(cat "$log")"
stop_launch
echo "keyring-launch: ok"
