#!/usr/bin/env bash
# Runs BM_HarvestFromBrowser: firefox-esr with its accessibility on, showing a local page, and a plain
# X client (xmessage), inside a throw-away desktop session with the accessibility bus running. With
# "busy", the whole session runs on two cores beside a busy loop, as on a loaded CI runner.
# Usage: bench/capture/browser-harvest.sh BUILD_DIR [busy]
set -euo pipefail
build=$(cd "${1:?usage: $0 BUILD_DIR [busy]}" && pwd)
busy=${2:-}
here=$(cd "$(dirname "$0")" && pwd)
if [ -z "${TARNWICK_IN_DESKTOP_SESSION:-}" ]; then
  if [ "$busy" = busy ]; then
    exec taskset -c 0,1 "$here/../../scripts/desktop-session.sh" "$0" "$build" busy
  fi
  exec "$here/../../scripts/desktop-session.sh" "$0" "$build"
fi
command -v firefox-esr >/dev/null 2>&1 || { echo "firefox-esr is not installed (scripts/install-deps.sh test)" >&2; exit 1; }
work=$(mktemp -d /tmp/tarnwick-harvest-bench-XXXXXX)
pids=()
trap 'kill "${pids[@]}" 2>/dev/null || true; wait 2>/dev/null || true; rm -rf "$work"' EXIT

# A busy loop beside everything on the two cores.
if [ "$busy" = busy ]; then
  sh -c 'while :; do :; done' &
  pids+=($!)
fi

printf '<!DOCTYPE html><html><head><title>Bench page</title></head><body><p>Bench words</p></body></html>\n' >"$work/page.html"
python3 -u -m http.server 0 --bind 127.0.0.1 --directory "$work" >"$work/server.log" 2>&1 &
pids+=($!)
for _ in $(seq 1 100); do grep -q ' port ' "$work/server.log" && break; sleep 0.1; done
port=$(sed -n 's/.* port \([0-9]*\).*/\1/p' "$work/server.log" | head -1)

dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress >/dev/null
mkdir -p "$work/profile"
printf 'user_pref("browser.shell.checkDefaultBrowser", false);\nuser_pref("browser.startup.homepage_override.mstone", "ignore");\nuser_pref("browser.aboutwelcome.enabled", false);\nuser_pref("datareporting.policy.dataSubmissionEnabled", false);\n' >"$work/profile/user.js"
GNOME_ACCESSIBILITY=1 firefox-esr --no-remote --profile "$work/profile" "http://127.0.0.1:$port/page.html" >"$work/firefox.log" 2>&1 &
pids+=($!)
xmessage -name xmessage -title Probe "plain client" >/dev/null 2>&1 &
plain_pid=$!
pids+=($!)
for _ in $(seq 1 900); do
  browser=$(xdotool search --onlyvisible --name '^Bench page — Mozilla Firefox$' 2>/dev/null | head -1 || true)
  plain=$(xdotool search --onlyvisible --name '^Probe$' 2>/dev/null | head -1 || true)
  [ -n "$browser" ] && [ -n "$plain" ] && break
  sleep 0.1
done
[ -n "$browser" ] || { echo "firefox-esr showed no page" >&2; exit 1; }
pid_of() { xprop -id "$1" _NET_WM_PID | awk '{print $3}'; }
sleep 1  # the page's tree is built once it is shown
TARNWICK_BENCH_BROWSER_PID=$(pid_of "$browser") TARNWICK_BENCH_PLAIN_PID=$plain_pid \
  TARNWICK_BENCH_BROWSER_TITLE="Bench page — Mozilla Firefox" \
  "$build/bench/capture/capture_bench" --benchmark_filter=BM_HarvestFromBrowser
