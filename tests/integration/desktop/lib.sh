# Helpers of the desktop integration scripts (sourced). They run inside scripts/desktop-session.sh.

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

now_ms() { echo $(($(date +%s%N) / 1000000)); }

# Waits up to $1 seconds for the command after it to succeed.
wait_for() {
  local seconds=$1
  shift
  local deadline=$(($(now_ms) + seconds * 1000))
  until "$@"; do
    [ "$(now_ms)" -lt "$deadline" ] || return 1
    sleep 0.05
  done
}

# A tray on the test screen, unless the session has one already; its pid is in tray_pid.
tray_pid=
ensure_tray() {
  xdotool search --classname '^trayer$' >/dev/null 2>&1 && return 0
  trayer --edge top --align right --height 24 >/dev/null 2>&1 &
  tray_pid=$!
  wait_for 5 xdotool search --classname '^trayer$' >/dev/null 2>&1 || fail "no tray came up"
}

# True when a window of the program with pid $1 is embedded in the tray and shown.
tray_icon_shown() {
  local w
  for w in $(xdotool search --pid "$1" 2>/dev/null); do
    xwininfo -id "$w" 2>/dev/null | grep -q IsViewable || continue
    xwininfo -tree -id "$w" 2>/dev/null | grep -q "Parent window id: .*(the root window)" && continue
    return 0
  done
  return 1
}

# True when the program with pid $1 listens on a loopback TCP port.
listening() {
  ss -ltnpH 2>/dev/null | grep -q "pid=$1,"
}

# Sends SIGTERM to $1 and checks that it ends within $2 seconds with status 0.
terminate_promptly() {
  local pid=$1 seconds=$2 start rc=0
  start=$(now_ms)
  kill -TERM "$pid"
  wait_for "$seconds" bash -c "! kill -0 $pid 2>/dev/null" || fail "SIGTERM did not end the application within ${seconds}s"
  wait "$pid" || rc=$?
  [ "$rc" -eq 0 ] || fail "exit status $rc after SIGTERM"
  echo "ended $(($(now_ms) - start)) ms after SIGTERM"
}

# Lines are written as "<level> <category>: <message>" (QT_MESSAGE_PATTERN below), so a launch that
# printed nothing at warning level or above has no line starting with one of those levels.
export QT_MESSAGE_PATTERN="%{type} %{category}: %{message}"
# (A port taken by another test of the same run is the one warning these tests may cause themselves.)
no_warnings() {
  ! grep -E "^(warning|critical|fatal) " "$1" | grep -v "MCP port [0-9]* is taken by another process"
}
