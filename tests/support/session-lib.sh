# Shared set-up of the end-to-end scripts (sourced; they run inside scripts/desktop-session.sh, which
# gives each run fresh XDG directories, a window manager, a keyring and a notification daemon).
#
# session_begin NAME [LOG] [screenshot]: a scratch directory in $work, the launched program's output
# in $log, the program stopped and $work removed on exit. With "screenshot", a failure keeps $work
# and a picture of the screen in it.

session_begin() {
  work=$(mktemp -d "/tmp/tarnwick-$1-XXXXXX")
  log="$work/${2:-app}.log"
  session_screenshot=${3:-}
  session_keep_work=""
  app_pid=""
  trap session_cleanup EXIT
}

session_cleanup() {
  local status=$?
  # A child the shell forked for a command (the application before it starts) may be stopped before
  # it becomes that command, and run this trap: the clean-up is the script's own shell's.
  [ "$BASHPID" = "$$" ] || return "$status"
  stop_app || { [ "$status" -ne 0 ] || status=1; }
  # What failed inside a subshell and was not reported yet: said here, and it fails the script even when
  # the script never looked at that subshell's status.
  if [ -s "${work:-}/failed-in-subshell" ]; then
    sed 's/^/FAIL (in a subshell): /' "$work/failed-in-subshell" >&2
    [ "$status" -ne 0 ] || status=1
  fi
  [ -n "${owner_pid:-}" ] && kill "$owner_pid" 2>/dev/null || true
  local warned=""
  [ "$status" -eq 0 ] && warned=$(qt_warnings)
  if [ -n "$warned" ]; then
    echo "FAIL: Qt warned while the steps ran:" >&2
    echo "$warned" >&2
    rm -rf "$work"
    exit 1
  fi
  [ -n "${session_keep_work:-}" ] || rm -rf "$work"
  [ "$status" -eq 0 ] || exit "$status"
}

# Qt's own warnings (category "default" or "qt.*", at warning level or above) in the output of what
# launch started fail the script, whatever its steps checked: each is a fault Qt noticed (a caret set
# out of range, a widget misused). The program's own categories (store, privacy, ...) report on
# purpose and are not counted. A script may allow one it cannot avoid with allow_qt_warning ERE,
# saying why beside it.
qt_warnings_allowed=()
allow_qt_warning() { qt_warnings_allowed+=("$1"); }
qt_warnings() {
  [ -f "$log" ] || return 0
  local found pattern
  found=$(grep -E '^(warning|critical|fatal) (default|qt(\.[A-Za-z0-9_-]+)*): ' "$log" || true)
  for pattern in "${qt_warnings_allowed[@]}"; do
    found=$(grep -Ev -- "$pattern" <<<"$found" || true)
  done
  printf '%s' "$found"
}

# Ends a script that cannot run here (what it needs is not installed, or cannot be had) with status
# 77, which ctest counts as skipped (the test's SKIP_RETURN_CODE), not passed. Under CI (CI=true) it
# fails instead: a CI run never passes without the test having run.
skip_test() {
  if [ "${CI:-}" = true ]; then
    echo "FAIL: cannot run here, and CI runs every test: $*" >&2
    exit 1
  fi
  echo "SKIP: $*"
  exit 77
}
require_command() { command -v "$1" >/dev/null 2>&1 || skip_test "$1 is not installed"; }
# The screen reader's client library, for the scripts that read the accessibility tree.
require_pyatspi() { /usr/bin/python3 -c "import pyatspi" 2>/dev/null || skip_test "python3-pyatspi is not installed"; }

# Fails the script. Only the script's own shell reports and stops the application: called inside a
# command substitution or a subshell, fail leaves its reason for that shell and ends the subshell alone,
# and the script's shell reports it once, when the failed status reaches it or at the latest on exit.
fail() {
  if [ "$BASHPID" != "$$" ]; then
    [ -n "${work:-}" ] && [ -d "$work" ] && printf '%s\n' "$*" >>"$work/failed-in-subshell"
    exit 1
  fi
  echo "FAIL: $*" >&2
  if [ -n "${work:-}" ] && [ -s "$work/failed-in-subshell" ]; then
    sed 's/^/  before that, in a subshell: /' "$work/failed-in-subshell" >&2
    rm -f "$work/failed-in-subshell"
  fi
  [ -f "$log" ] && { echo "--- $(basename "$log" .log) log" >&2; cat "$log" >&2; }
  if [ -n "$session_screenshot" ]; then
    import -window root "$work/failure.png" 2>/dev/null && echo "screenshot: $work/failure.png (kept)" >&2
    # The script's own exit steps still run (they stop what it started); only $work is kept.
    session_keep_work=1
    stop_app || true
  fi
  exit 1
}

# The scripts' ERR trap: trap 'step_failed $LINENO' ERR. Under set -E it runs inside every $(...) and
# ( ... ) as well; there a failed command is left to the line that used the substitution (a window that
# closed while xdotool listed them is no failure of the step), so only the script's own shell fails.
step_failed() {
  [ "$BASHPID" = "$$" ] || return 0
  fail "command failed on line $1"
}

# Launches the program in $1 (with the rest of the line as its arguments) in the background. Its
# messages are written "<level> <category>: <message>" so qt_warnings can tell Qt's from its own.
launch() {
  QT_MESSAGE_PATTERN="%{type} %{category}: %{message}" "$@" >>"$log" 2>&1 &
  app_pid=$!
}

# Stops what launch started, however soon after the launch: a SIGTERM that reaches the child the shell
# forked before it has become the program is lost, so the signal is sent again until the program has
# ended (the application takes a second one as the first). What has not ended $app_stop_seconds after
# the first one is killed, said, and the status is 1.
app_stop_seconds=30
stop_app() {
  [ -n "$app_pid" ] || return 0
  local pid=$app_pid deadline=$((SECONDS + app_stop_seconds)) status=0
  while process_running "$pid"; do
    kill -TERM "$pid" 2>/dev/null || true
    if [ "$SECONDS" -ge "$deadline" ]; then
      echo "stop_app: $(process_name "$pid") (pid $pid) did not end within $app_stop_seconds s of SIGTERM; killed" >&2
      kill -KILL "$pid" 2>/dev/null || true
      status=1
      break
    fi
    sleep 0.1
  done
  wait "$pid" 2>/dev/null || true
  app_pid=""
  return "$status"
}
# Whether the process $1 runs (a child that ended and was not waited for yet does not).
process_running() {
  local stat
  { read -r stat <"/proc/$1/stat"; } 2>/dev/null || return 1
  stat=${stat##*) }
  [ "${stat%% *}" != Z ]
}
process_name() { cat "/proc/$1/comm" 2>/dev/null || echo "the application"; }

# Waits up to $1 tenths of a second for the rest of the line to succeed. The line is run again at each
# try, but its words are expanded once, before the first: what is waited for goes in a function (or a
# single-quoted bash -c), never in "$(...)" on the line; scripts/check-waits.py refuses that. The bound is
# time, however long a try takes; the line is tried once more after the last pause.
within() {
  # The shell's clock in microseconds, in any locale (it is written with the locale's decimal mark).
  local deadline=$((${EPOCHREALTIME/[.,]/} + $1 * 100000))
  shift
  while :; do
    "$@" && return 0
    [ "${EPOCHREALTIME/[.,]/}" -lt "$deadline" ] || return 1
    sleep 0.1
  done
}

# The first window titled exactly $1, in $window; fails after thirty seconds (a busy machine is slow).
wait_window() {
  for _ in $(seq 1 300); do
    window=$(xdotool search --name "^$1\$" 2>/dev/null | head -n1 || true)
    [ -n "$window" ] && return 0
    sleep 0.1
  done
  fail "no window named \"$1\" (windows: $(xdotool search --name . getwindowname %@ 2>/dev/null | tr '\n' '|'))"
}

# The first visible window titled exactly $1, or nothing (and a failed status).
window_named() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n1; }
# For waits: whether a window titled exactly $1 is in view, looked for again at each try.
window_shown() { [ -n "$(window_named "$1" || true)" ]; }
window_gone() { [ -z "$(window_named "$1" || true)" ]; }

# The capsule of the capture just stored, in $pill. The row reaches the disk before the capsule is
# mapped, and the capsule stays about two seconds: it is looked for as it comes, for up to three.
capsule_pill() {
  for _ in $(seq 1 30); do
    pill=$(window_named 'Text captured' || true)
    [ -n "$pill" ] && return 0
    sleep 0.1
  done
  fail "no capsule after the capture"
}

# Clicks the pill of the capture just made until its peek is up, in $window. A capsule goes a few
# seconds after it came unless the pointer is on it, and on a busy machine the click can come after
# that: then the command after the name captures again, for a capsule of its own.
peek_from_capsule() {
  local _
  for _ in 1 2 3; do
    capsule_pill
    xdotool mousemove --window "$pill" 20 10 click 1
    within 50 eval 'window=$(window_named "Capture preview" || true); [ -n "$window" ]' &&
      return 0
    "$@"
  done
  fail "the capsule's pill opened no peek (windows: $(xdotool search --name . getwindowname %@ 2>/dev/null | tr '\n' '|'))"
}

# Presses the keys named on the line, a little apart, and gives the application a moment to act.
press() {
  xdotool key --clearmodifiers --delay 120 "$@"
  sleep 0.3
}

# Presses the keys named after the window $1 in it, once it has the keyboard, as a user's own keys: each
# press and release goes through the server's test keyboard to whatever holds the keyboard. (With
# "key --window", xdotool sends the release to that window: when the press closes it, the release is
# lost and the key stays held down for the rest of the session.)
press_in() {
  local target=$1
  shift
  xdotool windowactivate --sync "$target" >/dev/null 2>&1 || true
  within 100 bash -c "[ \"\$(xdotool getactivewindow 2>/dev/null)\" = $target ]" ||
    fail "window $target did not take the keyboard for $* (it is with \"$(xdotool getactivewindow getwindowname 2>/dev/null)\")"
  xdotool key --clearmodifiers --delay 120 "$@"
}

# Starts xclip owning the selection $1 ("primary" or "clipboard") as target $2 (UTF8_STRING for text)
# with the contents of file $3, its pid in $owner_pid (the owner started before is stopped), and waits
# until it answers there: the test's own helper may be slow on a busy machine, and a step must not meet
# an empty selection in its place. Fails after a minute.
own_selection() {
  [ -z "${owner_pid:-}" ] || kill "$owner_pid" 2>/dev/null || true
  xclip -quiet -selection "$1" -t "$2" -i "$3" >/dev/null 2>&1 &
  owner_pid=$!
  within 600 xclip_owns "$1" "$2" || fail "set-up: xclip did not take the $1 selection within a minute"
}
# Whether xclip (which offers one target beside TARGETS) owns selection $1 as target $2.
xclip_owns() { [ "$(timeout 5 xclip -o -selection "$1" -t TARGETS 2>/dev/null)" = "TARGETS"$'\n'"$2" ]; }

# The endpoint's approval card, once it shows, in $card; fails after twenty seconds.
wait_card() {
  card=""
  for _ in $(seq 1 200); do
    card=$(xdotool search --onlyvisible --name '^Allow access\?$' 2>/dev/null | head -n1 || true)
    [ -n "$card" ] && return 0
    sleep 0.1
  done
  fail "no approval card appeared"
}

# Answers the approval card with a key, as the user would.
answer_card() {
  wait_card
  press_in "$card" "$1"
}

# The tray icon's window in $icon: the visible window of ours inside the tray (the top 24 px of the
# screen); fails when there is none.
tray_icon() {
  icon=""
  for _ in $(seq 1 200); do
    for candidate in $(xdotool search --onlyvisible --class tarnwick 2>/dev/null || true); do
      eval "$(xdotool getwindowgeometry --shell "$candidate" 2>/dev/null || echo Y=999)"
      [ "$Y" -lt 24 ] && icon=$candidate && return 0
    done
    sleep 0.1
  done
  fail "no tray icon"
}

# Opens the tray icon's menu with a right-click; fails when there is no icon or no menu.
tray_menu() {
  local menu=""
  tray_icon
  # The icon may be found before the tray has embedded it: click again until the menu shows.
  for _ in 1 2 3 4 5; do
    sleep 0.5
    xdotool mousemove --window "$icon" 6 6 click 3
    for _ in $(seq 1 30); do
      menu=$(xdotool search --onlyvisible --name '^Tarnwick menu$' 2>/dev/null | head -n1 || true)
      [ -n "$menu" ] && break 2
      sleep 0.1
    done
  done
  [ -n "$menu" ] || fail "the tray menu did not open"
}

# Opens the settings from the tray menu; the window is in $settings_win.
open_settings_from_tray() {
  tray_menu
  press Down Down Return
  wait_window "Tarnwick Settings"
  settings_win=$window
}

active_is() { [ "$(xdotool getactivewindow getwindowname 2>/dev/null)" = "$1" ]; }
# Waits for a question of ours ("Tarnwick", a message box) to be shown with the keyboard; fails with $1
# (or a default) when none comes up within 10 s.
question() {
  for _ in $(seq 1 100); do
    if xdotool search --onlyvisible --name '^Tarnwick$' >/dev/null 2>&1 && active_is Tarnwick; then
      sleep 0.5 # mapped and active; its keys are taken once the toolkit has seen it so
      return 0
    fi
    sleep 0.1
  done
  fail "${1:-no question before quitting with unsaved changes} (active: $(xdotool getactivewindow getwindowname 2>/dev/null))"
}
# Alt+Shift+N until a new note's window is active (the hot key may not be grabbed yet at launch).
open_new_note() {
  for _ in $(seq 1 30); do
    xdotool key --clearmodifiers alt+shift+n
    within 20 active_is "New Note" && return 0
    sleep 0.5
  done
  fail "Alt+Shift+N opened no ${1:-note}"
}
has_notification() { [ "$(dunstctl count displayed 2>/dev/null || echo 0)" -ge 1 ]; }

# The application's store, read-only so a query never takes a lock the application waits on.
store="${XDG_DATA_HOME}/tarnwick/default.store"
sql() { sqlite3 "file:$store?mode=ro" "$1"; }

# The data folder on a small tmpfs of its own (8 MB, filled up at will), mounted in $data and made
# XDG_DATA_HOME, $store under it; $1 names it. Skips the test where none can be mounted (that takes
# root). Called after session_begin: on exit the programs whose pids are in the variables named after
# $1 go first, then the application, so it unmounts even when a step failed; the status stands.
data_on_tmpfs() {
  data=$(mktemp -d "/tmp/tarnwick-$1-data-XXXXXX")
  if ! mount -t tmpfs -o size=8m tmpfs "$data" 2>/dev/null; then
    rmdir "$data"
    skip_test "a tmpfs cannot be mounted here"
  fi
  tmpfs_holders=("${@:2}")
  export XDG_DATA_HOME=$data
  store="$XDG_DATA_HOME/tarnwick/default.store"
  trap unmount_data EXIT
}
unmount_data() {
  local status=$? holder
  set +e
  for holder in "${tmpfs_holders[@]}"; do
    [ -z "${!holder:-}" ] || { kill "${!holder}" 2>/dev/null; wait "${!holder}" 2>/dev/null; }
  done
  stop_app
  umount "$data" 2>/dev/null && rmdir "$data" 2>/dev/null
  (exit "$status")
  session_cleanup
}

# PAM under pam_wrapper: pam_matrix knows the account password $3 for whichever service the
# application asks (ours or "login"). $1 is the pam_wrapper library, $2 its module folder. Skips the
# test when pam_wrapper is not installed. launch_pam then starts a program with it.
pam_setup() {
  pam_library=$1
  local modules=$2 password=$3
  [ -n "$pam_library" ] && [ -f "$pam_library" ] || skip_test "pam_wrapper is not installed"
  mkdir -p "$work/services"
  echo "$(id -un):$password:tarnwick" >"$work/passdb"
  for service in tarnwick login; do
    printf 'auth required %s/pam_matrix.so passdb=%s\naccount required %s/pam_matrix.so passdb=%s\n' \
      "$modules" "$work/passdb" "$modules" "$work/passdb" >"$work/services/$service"
  done
}
launch_pam() {
  LD_PRELOAD="$pam_library" PAM_WRAPPER=1 PAM_WRAPPER_SERVICE_DIR="$work/services" \
    PAM_WRAPPER_DISABLE_DEEPBIND=1 UID_WRAPPER_DISABLE_DEEPBIND=1 launch "$@"
}

# Waits up to $1 tenths of a second for the output of the rest of the line to be exactly $2. (Unlike
# `within N test "$(cmd)" = x`, which runs cmd once, this runs it again at every try.)
settles_to() {
  local tenths=$1 expected=$2
  shift 2
  within "$tenths" output_is "$expected" "$@"
}
output_is() {
  local expected=$1
  shift
  [ "$("$@" 2>/dev/null)" = "$expected" ]
}

# The TCP port the launched application listens on (the endpoint), or nothing yet.
listening_port() {
  ss -Hltnp 2>/dev/null | awk -v pid="pid=$app_pid," 'index($0, pid) { n = split($4, a, ":"); print a[n]; exit }'
}

# Waits up to 20 s for the launched application to listen, and sets $port; fails when it exits first
# or never listens.
wait_listening_port() {
  port=""
  for _ in $(seq 1 200); do
    kill -0 "$app_pid" 2>/dev/null || fail "the application exited at launch"
    port=$(listening_port)
    [ -n "$port" ] && return 0
    sleep 0.1
  done
  fail "the endpoint did not start listening"
}
