#!/usr/bin/env bash
# Runs a command inside a throw-away desktop session: its own session bus (dbus-run-session), an X
# server (Xvfb) with a window manager (openbox), a notification daemon (dunst), a system tray (trayer),
# an unlocked Secret Service keyring (gnome-keyring) and, when asked for, the accessibility bus (at-spi).
# Nothing of the user's session or files is touched.
# Usage: scripts/desktop-session.sh COMMAND [ARGS...]
# Exits with the command's status (77 from a test that skipped included, for ctest's SKIP_RETURN_CODE),
# or 1 when the session failed it (see the end of this script).
# TARNWICK_SESSION_SCREEN sets the screen's size (WIDTHxHEIGHT, 1280x800 when unset), for a small screen.
# TARNWICK_SESSION_ACCESSIBILITY is "off" (when unset) or "on":
#   off  as on most users' desktops: the accessibility bus is not started and an application stays off
#        it (QT_LINUX_ACCESSIBILITY_ALWAYS_ON and its kin are cleared). The session fails the command
#        if the bus was started or switched on all the same (a test that reads the accessibility tree
#        belongs to the other kind).
#   on   as on a desktop with assistive technologies: the accessibility bus runs, switched on, before
#        the command starts, so an application serves it from its first window on.
# The mode is exported to the command as TARNWICK_SESSION_ACCESSIBILITY (on or off).
set -euo pipefail

case "${TARNWICK_SESSION_ACCESSIBILITY:-off}" in
  on | off) export TARNWICK_SESSION_ACCESSIBILITY=${TARNWICK_SESSION_ACCESSIBILITY:-off} ;;
  *) echo "desktop-session: TARNWICK_SESSION_ACCESSIBILITY is neither on nor off" >&2; exit 2 ;;
esac
# Variables that would put an application on the accessibility bus whatever the desktop's switch says.
if [ "$TARNWICK_SESSION_ACCESSIBILITY" = off ]; then
  unset QT_LINUX_ACCESSIBILITY_ALWAYS_ON QT_ACCESSIBILITY GNOME_ACCESSIBILITY GTK_MODULES ACCESSIBILITY_ENABLED
fi

if [ -z "${TARNWICK_IN_DESKTOP_SESSION:-}" ]; then
  export TARNWICK_IN_DESKTOP_SESSION=1
  # When the test's time limit began (ms since the epoch): its set-up may wait as long as what is left.
  TARNWICK_SESSION_STARTED_MS=$(date +%s%3N)
  export TARNWICK_SESSION_STARTED_MS
  scratch=$(mktemp -d /tmp/tarnwick-session-XXXXXX)
  chmod 700 "$scratch"
  mkdir -p "$scratch/runtime" "$scratch/home" "$scratch/config" "$scratch/data"
  chmod 700 "$scratch/runtime"
  export TARNWICK_SESSION_SCRATCH="$scratch"
  export XDG_RUNTIME_DIR="$scratch/runtime" HOME="$scratch/home"
  export XDG_CONFIG_HOME="$scratch/config" XDG_DATA_HOME="$scratch/data"
  # Nothing started in the session checks for updates: tests send no traffic off this machine. The
  # first-run tour is taken as done; the tour's own tests write settings without that key.
  mkdir -p "$scratch/config/tarnwick"
  printf '{"update.checkAutomatically": {"type": "bool", "value": false},\n "onboarding.completed": {"type": "bool", "value": true}}\n' \
    >"$scratch/config/tarnwick/settings.json"
  unset DBUS_SESSION_BUS_ADDRESS DISPLAY WAYLAND_DISPLAY AT_SPI_BUS_ADDRESS
  rc=0
  dbus-run-session -- "$0" "$@" || rc=$?
  rm -rf "$scratch"
  exit $rc
fi

pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
}
trap cleanup EXIT

# X server on the first free display number; -displayfd tells us which.
displayfile="$TARNWICK_SESSION_SCRATCH/display"
screen_size=${TARNWICK_SESSION_SCREEN:-1280x800}
[[ "$screen_size" =~ ^[0-9]+x[0-9]+$ ]] || { echo "desktop-session: TARNWICK_SESSION_SCREEN is not WIDTHxHEIGHT" >&2; exit 2; }
Xvfb -displayfd 3 -screen 0 "${screen_size}x24" -nolisten tcp 3>"$displayfile" 2>"$TARNWICK_SESSION_SCRATCH/xvfb.log" &
pids+=($!)
# The bounds of these start-up waits only catch a hang: on a loaded machine (a CI run on two busy cores)
# the X server and the daemons can take many seconds to come up, and each wait ends as soon as they do.
startup_bound=${TARNWICK_SESSION_STARTUP_SECONDS:-90}
deadline=$((SECONDS + startup_bound))
while [ ! -s "$displayfile" ] && [ $SECONDS -lt $deadline ]; do
  sleep 0.05
done
if [ ! -s "$displayfile" ]; then
  echo "desktop-session: Xvfb did not start" >&2
  cat "$TARNWICK_SESSION_SCRATCH/xvfb.log" >&2 || true
  exit 1
fi
export DISPLAY=":$(head -n1 "$displayfile")"
export QT_QPA_PLATFORM=xcb

# The window manager, the notification daemon and the tray, each started again should it exit while the
# session comes up (under load a daemon can lose a race with the X server or the bus and give up).
declare -A daemon_pid=()
start_daemon() {
  case "$1" in
    openbox) openbox --sm-disable >>"$TARNWICK_SESSION_SCRATCH/openbox.log" 2>&1 & ;;
    dunst) dunst >>"$TARNWICK_SESSION_SCRATCH/dunst.log" 2>&1 & ;;
    # A system tray (XEmbed) at the top right, where a panel's tray usually sits.
    trayer) trayer --edge top --align right --height 24 >>"$TARNWICK_SESSION_SCRATCH/trayer.log" 2>&1 & ;;
  esac
  daemon_pid[$1]=$!
  pids+=($!)
}
for daemon in openbox dunst trayer; do start_daemon "$daemon"; done
restart_exited_daemons() {
  for daemon in openbox dunst trayer; do
    kill -0 "${daemon_pid[$daemon]}" 2>/dev/null || start_daemon "$daemon"
  done
}

# Services the bus starts on demand (the keyring's prompter, for one) must find the X server too.
dbus-update-activation-environment DISPLAY XDG_RUNTIME_DIR >/dev/null 2>&1 || true

# An unlocked login keyring, made before anything asks for a secret. The daemon only creates and
# unlocks it when given a non-empty password on standard input; the keyring is thrown away afterwards.
unlock_keyring() {
  printf 'tarnwick-session' | gnome-keyring-daemon --unlock --components=secrets >/dev/null 2>&1 || true
}
unlock_keyring

has_owner() {
  dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.NameHasOwner "string:$1" 2>/dev/null | grep -q true
}

# A desktop session with accessibility on runs its accessibility bus before any application starts, and
# an application then serves it from its first window on: started here and switched on, so every test
# of that kind meets that order (the bus would otherwise start only when the first client asks, after
# the windows are built). With accessibility off nothing here asks for the bus: any question to
# org.a11y.Bus would start it.
start_accessibility_bus() {
  dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress >/dev/null 2>&1 || true
  dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.freedesktop.DBus.Properties.Set \
    string:org.a11y.Status string:IsEnabled variant:boolean:true >/dev/null 2>&1 || true
}
accessibility_on() {
  dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.freedesktop.DBus.Properties.Get \
    string:org.a11y.Status string:IsEnabled 2>/dev/null | grep -q 'boolean true'
}
# What of the accessibility bus is in the session, asked without starting it: empty when nothing is.
accessibility_traces() {
  local traces=()
  if has_owner org.a11y.Bus; then
    traces+=("the accessibility bus was started")
    ! accessibility_on || traces+=("switched on")
  fi
  ! xprop -root AT_SPI_BUS 2>/dev/null | grep -q '=' || traces+=("its address was put on the root window")
  local IFS=,
  echo "${traces[*]}" | sed 's/,/, /g'
}
[ "$TARNWICK_SESSION_ACCESSIBILITY" = off ] || start_accessibility_bus

# Wait until the window manager manages the screen and the daemons are on the bus.
missing_parts() {
  local missing=()
  xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' || missing+=("window manager")
  xdotool search --class trayer >/dev/null 2>&1 || missing+=("tray")
  has_owner org.freedesktop.Notifications || missing+=("notification daemon")
  has_owner org.freedesktop.secrets || missing+=("keyring")
  [ "$TARNWICK_SESSION_ACCESSIBILITY" = off ] || accessibility_on || missing+=("accessibility bus")
  echo "${missing[*]}"
}
deadline=$((SECONDS + startup_bound))
missing=$(missing_parts)
keyring_retry=$((SECONDS + 15))
while [ -n "$missing" ] && [ $SECONDS -lt $deadline ]; do
  sleep 0.1
  restart_exited_daemons
  # A keyring daemon that did not reach the bus is asked once more.
  if [[ "$missing" == *keyring* ]] && [ $SECONDS -ge $keyring_retry ]; then
    unlock_keyring
    keyring_retry=$((SECONDS + 15))
  fi
  [[ "$missing" != *accessibility* ]] || start_accessibility_bus
  missing=$(missing_parts)
done
if [ -n "$missing" ]; then
  echo "desktop-session: not up after ${startup_bound} s: $missing" >&2
  cat "$TARNWICK_SESSION_SCRATCH/openbox.log" "$TARNWICK_SESSION_SCRATCH/dunst.log" \
    "$TARNWICK_SESSION_SCRATCH/trayer.log" >&2 || true
  exit 1
fi

# The keyring daemon detached itself; stop it with the session (found through the bus, never by name,
# so another session's daemon is left alone).
kpid=$(dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
  org.freedesktop.DBus.GetConnectionUnixProcessID string:org.freedesktop.secrets 2>/dev/null |
  awk '/uint32/ {print $2}')
[ -n "$kpid" ] && pids+=("$kpid")

if [ "$TARNWICK_SESSION_ACCESSIBILITY" = off ]; then
  traces=$(accessibility_traces)
  if [ -n "$traces" ]; then
    echo "desktop-session: accessibility is to be off, but before the command started $traces" >&2
    exit 1
  fi
fi

set +e
"$@"
rc=$?
set -e

# A command that started the accessibility bus in a session without accessibility reads the accessibility
# tree (pyatspi starts the bus with its first question) or switched it on: it ran, from then on, on a
# desktop of the other kind, and says nothing of one with accessibility off.
if [ "$TARNWICK_SESSION_ACCESSIBILITY" = off ]; then
  traces=$(accessibility_traces)
  if [ -n "$traces" ]; then
    echo "desktop-session: FAIL: accessibility is off in this session, but during the command $traces" \
      "(a test that reads the accessibility tree runs with TARNWICK_SESSION_ACCESSIBILITY=on)" >&2
    [ "$rc" -ne 0 ] || rc=1
  fi
fi

# A key or button the test left down fails it: the server's autorepeat would type that key into every
# later step of the session, so a test after it could pass or fail for the wrong reason. (xdotool's
# "key --window W" sends its release to W: when W closed on the press, the release is lost.)
# A check that cannot run or answer fails as well: a key held then would go unseen.
held=$(timeout 30 /usr/bin/python3 "$(dirname "$0")/held-keys.py") || held="(could not be asked: status $?)"
if [ -n "$held" ]; then
  echo "desktop-session: FAIL: still held down when the test ended: $(tr '\n' ',' <<<"$held" | sed 's/,$//')" >&2
  [ "$rc" -ne 0 ] || rc=1
fi
exit $rc
