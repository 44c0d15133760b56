#!/bin/sh
# A run killed with the port open (no handler runs, the "vlio" service stays) must not lock
# the next one out: the console program killed while it watches, then a new run reads at
# once; the window program killed while Active, then started again and switched on. The next
# run starts at once, since Wine itself stops an orphaned driver's service a moment later,
# which Windows never does. Run it through scripts/with-xvfb and scripts/wine-session.
# usage: leftover_test.sh BUILD/wine-run PINSCOPE.exe PINSCOPE-CLI.exe PROVISION_PORTS.exe OUTDIR
set -u
run=$1 program=$2 cli=$3 provision=$4 out=$5
scripts=$(dirname "$0")/../scripts
mkdir -p "$out"
. "$(dirname "$0")/../testing/wine_checks.sh"

gui_pid=
cleanup() {
  [ -n "$gui_pid" ] && kill -KILL "$gui_pid" 2>/dev/null
  remove_service
}
trap cleanup EXIT
# waits up to 30 s for the service to be in STATE; false when it is not
wait_state() {
  for _ in $(seq 120); do
    [ "$(service_state)" = "$1" ] && return 0
    sleep 0.25
  done
  return 1
}

"$run" "$provision" >/dev/null
remove_service

# The console program, killed while it watches LPT1.
start_watch "$cli"
kill -KILL "$watcher"
wait "$watcher" 2>/dev/null
left=$(service_state)
[ "$left" = RUNNING ] && ok "watch: killed, vlio left running" || echo "note: vlio $left right after the kill"
"$run" "$cli" read LPT1 >"$out/read.out" 2>"$out/read.err" </dev/null
code=$?
[ "$code" = 0 ] && ok "read after the kill: exit 0" || { fail "read after the kill: exit $code"; sed 's/^/  | /' "$out/read.err"; }
left=$(service_state)
[ "$left" = none ] && ok "read after the kill: no vlio service left" || { fail "vlio service left ($left)"; remove_service; }

# The window program, killed while Active, then started again and switched on.
active_box="24 20"
start_gui() {  # sets gui_pid and the window's origin
  "$run" "$program" >/dev/null 2>&1 &
  gui_pid=$!
  window=$("$scripts/wait-window" Pinscope 120 "$gui_pid") || return 1
  # Mapped is not yet ready for input: give the first paint a moment.
  sleep 1
  eval "$(xdotool getwindowgeometry --shell "$window")"
}
tick_active() {
  set -- $active_box
  xdotool mousemove $((X + $1)) $((Y + $2)) click 1
}
if start_gui; then
  tick_active
  wait_state RUNNING && ok "window: Active runs vlio" || fail "window: vlio not running after Active"
  kill -KILL "$gui_pid"
  wait "$gui_pid" 2>/dev/null
  if start_gui; then
    tick_active
    error=$("$scripts/wait-window" Error 4)
    [ -z "$error" ] && ok "window again: Active opens without an error" || fail "window again: an error box"
    wait_state RUNNING && ok "window again: vlio runs" || fail "window again: vlio not running"
    tick_active
    wait_state none && ok "window again: unticking removes vlio" || fail "window again: vlio left ($(service_state))"
    "$run" taskkill /im "$(basename "$program")" >/dev/null 2>&1
  else
    fail "window again: no Pinscope window"
  fi
else
  fail "window: no Pinscope window"
fi

finish
