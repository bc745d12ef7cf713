#!/usr/bin/env bash
# A normal launch with a fresh home says nothing on stderr: the tray icon shows and the program ends
# cleanly without a line. With TARNWICK_LOG=info, or --verbose, the informational lines appear.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/lib.sh"
work=$(mktemp -d)
trap '[ -n "${pid:-}" ] && kill "$pid" 2>/dev/null; rm -rf "$work"; [ -n "$tray_pid" ] && kill "$tray_pid" 2>/dev/null; true' EXIT
ensure_tray
unset QT_LOGGING_RULES QT_MESSAGE_PATTERN TARNWICK_LOG

# Runs Tarnwick with a home of its own until its tray icon shows, ends it, and leaves its stderr in $err.
launch_fresh() {
  local home=$work/home-$1
  shift
  mkdir -p "$home"
  err=$work/err-$(date +%s%N)
  env HOME="$home" XDG_DATA_HOME="$home/.local/share" XDG_CONFIG_HOME="$home/.config" \
    "$@" "$TARNWICK_EXECUTABLE" "${extra_args[@]}" 2>"$err" >/dev/null &
  pid=$!
  wait_for 20 tray_icon_shown "$pid" || fail "no tray icon: $(cat "$err")"
  # Let the launch's deferred work (first-run tour, keyring, reminders) have its say too.
  sleep 2
  terminate_promptly "$pid" 5 >/dev/null
  pid=
}

extra_args=()
launch_fresh quiet env
[ ! -s "$err" ] || fail "a normal launch printed on stderr:
$(cat "$err")"

launch_fresh info env TARNWICK_LOG=info
grep -q "screen sharing is not supported" "$err" || fail "TARNWICK_LOG=info printed no informational line:
$(cat "$err")"

extra_args=(--verbose)
launch_fresh verbose env
grep -q "screen sharing is not supported" "$err" || fail "--verbose printed no informational line:
$(cat "$err")"
echo "quiet-launch: ok"
