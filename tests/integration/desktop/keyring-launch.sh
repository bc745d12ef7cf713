#!/usr/bin/env bash
# A desktop whose keyring has no default collection yet (a fresh keyring folder): Tarnwick shows its
# tray icon within 2 s and ends within 1 s of SIGTERM with status 0, also while its keyring write
# waits on the keyring's "new keyring" prompt; with "mcp.enabled" on, the endpoint comes up once the
# collection exists (the prompt answered).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lib.sh"

if [ -z "${TARNWICK_FRESH_KEYRING:-}" ]; then
  # A bus of its own, so the session's unlocked login keyring is not the one asked.
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  mkdir -p "$work/runtime" "$work/data" "$work/config/tarnwick"
  chmod 700 "$work/runtime"
  export TARNWICK_FRESH_KEYRING=1 XDG_RUNTIME_DIR=$work/runtime XDG_DATA_HOME=$work/data XDG_CONFIG_HOME=$work/config
  printf '{"update.checkAutomatically": {"type": "bool", "value": false},\n "onboarding.completed": {"type": "bool", "value": true},\n "mcp.enabled": {"type": "bool", "value": true}}\n' \
    >"$work/config/tarnwick/settings.json"
  dbus-run-session -- bash "$0"
  exit
fi

trap '[ -n "${pid:-}" ] && kill "$pid" 2>/dev/null; [ -n "$tray_pid" ] && kill "$tray_pid" 2>/dev/null; [ -n "${keyring_pid:-}" ] && kill "$keyring_pid" 2>/dev/null; true' EXIT
ensure_tray
gnome-keyring-daemon --start --foreground --components=secrets >/dev/null 2>&1 &
keyring_pid=$!
wait_for 10 dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
  org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets >/dev/null 2>&1 || fail "no keyring daemon"
[ ! -e "$XDG_DATA_HOME/keyrings/login.keyring" ] || fail "the keyring folder is not fresh"

launch() {
  log=$(mktemp)
  start=$(now_ms)
  # The keyring wait is an informational line: asked for.
  TARNWICK_LOG=info "$TARNWICK_EXECUTABLE" >"$log" 2>&1 &
  pid=$!
}

# 1. The token write waits on the prompt; the tray icon does not.
launch
wait_for 2 tray_icon_shown "$pid" || fail "no tray icon within 2 s: $(cat "$log")"
echo "tray icon after $(($(now_ms) - start)) ms"
wait_for 10 xdotool search --onlyvisible --classname gcr-prompter >/dev/null ||
  fail "the keyring did not ask for a new keyring (is the folder fresh?)"
listening "$pid" && fail "the endpoint started without a stored token"
wait_for 5 grep -q "The MCP endpoint waits for the desktop keyring" "$log" || fail "the wait is not logged: $(cat "$log")"
[ "$(grep -c "waits for the desktop keyring" "$log")" -eq 1 ] || fail "the wait is logged more than once"
terminate_promptly "$pid" 1
no_warnings "$log" || fail "warnings at launch"
pid=

# 2. Launched again, the endpoint comes up once the prompt is answered and the collection exists.
launch
wait_for 2 tray_icon_shown "$pid" || fail "no tray icon within 2 s on the second launch"
answered=0
for _ in 1 2 3; do
  # A prompt left over from the first launch, or this launch's own: each gets the new password.
  w=$(xdotool search --onlyvisible --classname gcr-prompter 2>/dev/null | head -n1) || true
  if [ -n "$w" ]; then
    xdotool windowactivate --sync "$w" >/dev/null 2>&1 || true
    sleep 0.3
    xdotool type --delay 20 'fresh-keyring'
    xdotool key Tab
    xdotool type --delay 20 'fresh-keyring'
    xdotool key Return
    answered=$((answered + 1))
  fi
  wait_for 5 listening "$pid" && break
done
[ "$answered" -gt 0 ] || fail "no keyring prompt to answer"
listening "$pid" || fail "the endpoint did not come up once the collection existed: $(cat "$log")"
secret-tool lookup service com.fennmoor.tarnwick.mcp account endpoint-token synchronizable false >/dev/null ||
  fail "the token is not in the new collection"
terminate_promptly "$pid" 1
pid=
echo "keyring-launch: ok"
