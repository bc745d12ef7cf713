#!/usr/bin/env bash
# Runs a command inside a throw-away desktop session: its own session bus (dbus-run-session), an X
# server (Xvfb) with a window manager (openbox), a notification daemon (dunst) and an unlocked
# Secret Service keyring (gnome-keyring). Nothing of the user's session or files is touched.
# Usage: scripts/desktop-session.sh COMMAND [ARGS...]
set -euo pipefail

if [ -z "${TARNWICK_IN_DESKTOP_SESSION:-}" ]; then
  export TARNWICK_IN_DESKTOP_SESSION=1
  scratch=$(mktemp -d /tmp/tarnwick-session-XXXXXX)
  chmod 700 "$scratch"
  mkdir -p "$scratch/runtime" "$scratch/home" "$scratch/config" "$scratch/data"
  chmod 700 "$scratch/runtime"
  export TARNWICK_SESSION_SCRATCH="$scratch"
  export XDG_RUNTIME_DIR="$scratch/runtime" HOME="$scratch/home"
  export XDG_CONFIG_HOME="$scratch/config" XDG_DATA_HOME="$scratch/data"
  unset DBUS_SESSION_BUS_ADDRESS DISPLAY WAYLAND_DISPLAY
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
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$displayfile" 2>"$TARNWICK_SESSION_SCRATCH/xvfb.log" &
pids+=($!)
for _ in $(seq 1 100); do
  [ -s "$displayfile" ] && break
  sleep 0.05
done
if [ ! -s "$displayfile" ]; then
  echo "desktop-session: Xvfb did not start" >&2
  cat "$TARNWICK_SESSION_SCRATCH/xvfb.log" >&2 || true
  exit 1
fi
export DISPLAY=":$(head -n1 "$displayfile")"
export QT_QPA_PLATFORM=xcb

openbox --sm-disable >/dev/null 2>&1 &
pids+=($!)
dunst >/dev/null 2>&1 &
pids+=($!)

# An unlocked default ("login") keyring, created before anything asks for a secret. The daemon only
# creates it when it reads a non-empty password; it runs in the foreground so that its pid is ours
# (other sessions of the same user may run their own daemons).
printf 'tarnwick-session' | gnome-keyring-daemon --foreground --unlock --components=secrets \
  >"$TARNWICK_SESSION_SCRATCH/keyring.log" 2>&1 &
pids+=($!)
for _ in $(seq 1 100); do
  if dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
       org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets 2>/dev/null | grep -q true; then
    break
  fi
  sleep 0.05
done

# Wait until the window manager and the notification daemon are on the bus / display.
for _ in $(seq 1 100); do
  if dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
       org.freedesktop.DBus.NameHasOwner string:org.freedesktop.Notifications 2>/dev/null | grep -q true; then
    break
  fi
  sleep 0.05
done

set +e
"$@"
rc=$?
set -e
exit $rc
