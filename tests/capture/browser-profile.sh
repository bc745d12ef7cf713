# Browser set-up shared by the browser capture scripts (sourced).

# A fresh firefox-esr profile in a new folder under $1, printed: it opens only the page it is given,
# asks nothing of the network and, with $2 set to "WIDTHxHEIGHT+X+Y", opens its first window there
# rather than filling the screen.
firefox_profile() {
  local profile
  profile=$(mktemp -d "$1/profile-XXXXXX")
  cat >"$profile/user.js" <<'JS'
user_pref("browser.shell.checkDefaultBrowser", false);
user_pref("browser.startup.homepage_override.mstone", "ignore");
user_pref("startup.homepage_welcome_url", "");
user_pref("startup.homepage_welcome_url.additional", "");
user_pref("browser.aboutwelcome.enabled", false);
user_pref("datareporting.policy.dataSubmissionEnabled", false);
user_pref("datareporting.policy.firstRunURL", "");
user_pref("toolkit.telemetry.reportingpolicy.firstRun", false);
user_pref("app.update.auto", false);
user_pref("app.normandy.enabled", false);
user_pref("extensions.update.enabled", false);
user_pref("browser.safebrowsing.malware.enabled", false);
user_pref("browser.safebrowsing.phishing.enabled", false);
user_pref("network.captive-portal-service.enabled", false);
user_pref("network.connectivity-service.enabled", false);
user_pref("services.settings.server", "http://127.0.0.1:9/");
user_pref("dom.push.connection.enabled", false);
user_pref("browser.sessionstore.resume_from_crash", false);
user_pref("network.trr.mode", 5);
JS
  if [ -n "${2:-}" ]; then
    local w h x y
    IFS='x+' read -r w h x y <<<"$2"
    printf '{"chrome://browser/content/browser.xhtml":{"main-window":{"screenX":"%s","screenY":"%s","width":"%s","height":"%s","sizemode":"normal"}}}\n' \
      "$x" "$y" "$w" "$h" >"$profile/xulstore.json"
  fi
  printf '%s\n' "$profile"
}

# Waits for the browser started as process $1 to show a window named exactly $2, and sets browser_window
# to it; fails, with the end of its output file $3, when it exits or shows none. Starting a browser on a
# busy machine takes a while: the bound is only against a hang.
wait_browser_window() {
  local pid=$1 name=$2 output=$3
  browser_window=""
  for _ in $(seq 1 900); do
    browser_window=$(xdotool search --onlyvisible --name "^$name\$" 2>/dev/null | head -1 || true)
    [ -n "$browser_window" ] && return 0
    kill -0 "$pid" 2>/dev/null || fail "the browser exited: $(tail -5 "$output")"
    sleep 0.1
  done
  fail "no window named \"$name\" (windows: $(xdotool search --onlyvisible --name . getwindowname %@ 2>/dev/null | tr '\n' '|'))"
}

# Selects the paragraph in the middle of browser window $1 with a triple-click, and waits for the text
# on PRIMARY to match the ERE $2; fails after a minute. A page still laying out on a busy machine may
# take the clicks as nothing, or as fewer clicks: they are made again while nothing is selected.
select_paragraph_in() {
  local window=$1 pattern=$2 deadline=$((SECONDS + 60))
  while :; do
    xdotool windowactivate --sync "$window" >/dev/null 2>&1 || true
    eval "$(xdotool getwindowgeometry --shell "$window")"
    xdotool mousemove --window "$window" $((WIDTH / 2)) $((HEIGHT / 2)) click --repeat 3 --delay 80 1
    within 50 primary_matches "$pattern" && return 0
    [ "$SECONDS" -lt "$deadline" ] || return 1
  done
}
primary_matches() { timeout 5 xclip -o -selection primary 2>/dev/null | grep -qE "$1"; }

# Chromium's switches for a test: its page on the accessibility bus (with ACCESSIBILITY_ENABLED=1 in
# its environment), nothing asked of the network, and no sandbox as root, where it refuses to run.
chromium_switches=(--no-first-run --no-default-browser-check --disable-sync --disable-background-networking
  --disable-component-update --force-renderer-accessibility)
[ "$(id -u)" -eq 0 ] && chromium_switches+=(--no-sandbox)

# Stops the process whose id the variable named $1 holds, waits for it and empties the variable; nothing
# when it is empty.
stop_process() {
  local pid=${!1}
  [ -n "$pid" ] || return 0
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  printf -v "$1" '%s' ""
}
