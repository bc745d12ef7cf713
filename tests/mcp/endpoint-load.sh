#!/usr/bin/env bash
# The endpoint under hostile connections: while 80 connections that send nothing are reopened as fast
# as they are closed and 16 trickle a body one byte every 5 s, a real client's pings must still be
# answered.
# Usage (inside scripts/desktop-session.sh): endpoint-load.sh TARNWICK SEEDER
set -euo pipefail
tarnwick=$1 seeder=$2

source "$(dirname "$0")/../support/session-lib.sh"
session_begin mcpload

client="Tarnwick load check"

"$seeder" "$work/manifest.json" "$client" || fail "seeding the store"
settings_before=$(sha256sum "$XDG_CONFIG_HOME/tarnwick/settings.json" | cut -d' ' -f1)
launch "$tarnwick"
wait_listening_port
token=$(secret-tool lookup service com.fennmoor.tarnwick.mcp account endpoint-token synchronizable false)
[[ "$token" =~ ^[A-Za-z0-9]{24}$ ]] || fail "no well-formed endpoint token in the keyring"

echo "== 80 silent reconnecting connections and 16 slow bodies against 100 pings"
timeout 600 python3 "$(dirname "$0")/endpoint-load.py" "$port" "$token" "$client" || fail "the real client was held up"
kill -0 "$app_pid" 2>/dev/null || fail "the application did not survive the load"

echo "== Nothing of the user's changed"
stop_app
[ "$(sha256sum "$XDG_CONFIG_HOME/tarnwick/settings.json" | cut -d' ' -f1)" = "$settings_before" ] ||
  grep -q "$client" "$XDG_CONFIG_HOME/tarnwick/settings.json" || fail "the settings lost the approved client"
echo "== Passed"
