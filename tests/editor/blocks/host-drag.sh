# Sourced by the block editor's end-to-end scripts, which set $host (the block editor test host) and
# $work and define fail.
#
# A drag from another program: the test host's "Drag source" window, started with the arguments given,
# is put at SOURCE_X,100 and pressed on, and the pointer is taken to TARGET_X,TARGET_Y, where the
# button is let go. $drag_pid names the host while it runs, for a script's cleanup.
# Usage: host_drag SOURCE_X TARGET_X TARGET_Y HOST-ARGUMENTS...
host_drag() {
  local sx=$1 tx=$2 ty=$3 source=""
  shift 3
  "$host" "$@" >>"$work/host.log" 2>&1 &
  drag_pid=$!
  for _ in $(seq 1 50); do
    source=$(xdotool search --name "^Drag source\$" 2>/dev/null | head -n1 || true)
    [ -n "$source" ] && break
    sleep 0.1
  done
  [ -n "$source" ] || fail "no drag source window"
  xdotool windowmove --sync "$source" "$sx" 100
  sleep 0.3
  xdotool mousemove $((sx + 80)) 140 sleep 0.2 mousedown 1 sleep 0.2 mousemove $((sx + 40)) 200 sleep 0.2 \
    mousemove "$tx" "$ty" sleep 0.3 mousemove $((tx + 3)) $((ty + 2)) sleep 0.3 mouseup 1
  sleep 0.8
  kill "$drag_pid" 2>/dev/null || true
  wait "$drag_pid" 2>/dev/null || true
  drag_pid=""
}
