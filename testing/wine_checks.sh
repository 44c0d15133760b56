# Sourced by the test scripts that run our programs under Wine: each check says ok or FAIL,
# failures are counted, and the "vlio" service is looked at and taken away through Wine's sc.
# Expects $run, the build's wine-run.
failures=0
ok() { echo "ok: $*"; }
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

service_state() {  # RUNNING, STOPPED, ... or none; unknown when Wine's sc hung three times
  for _ in 1 2 3; do
    # Wine's sc has hung on a busy machine: asked again after a while, rather than waited on.
    if answer=$(timeout 20 "$run" sc query vlio 2>/dev/null); then :; elif [ $? -eq 124 ]; then continue; fi
    state=$(printf '%s\n' "$answer" | tr -d '\r' | sed -n 's/.*STATE *: *[0-9]* *\([A-Z_]*\).*/\1/p')
    echo "${state:-none}"
    return
  done
  echo unknown
}
remove_service() {  # what a killed program leaves behind
  "$run" sc stop vlio >/dev/null 2>&1
  "$run" sc delete vlio >/dev/null 2>&1
}
# interrupt PID NAME: Ctrl+C to the program PID runs in the background (Wine turns a SIGINT to a
# console program into CTRL_C_EVENT); its exit code in $code, or none when it still runs 10 s
# later, when it is killed.
interrupt() {
  kill -INT "$1"
  code=none
  for _ in $(seq 100); do
    if ! kill -0 "$1" 2>/dev/null; then
      wait "$1"
      code=$?
      return
    fi
    sleep 0.1
  done
  fail "$2: still running 10 s after SIGINT"
  kill -KILL "$1" 2>/dev/null
}
# map_lpt1: the prefix's LPT1 as the handle-mode tests read it: "\\.\LPT1" writes to
# C:\lpt1.out. Made by whoever needs it, also on a prefix that scripts/wine-prefix did not make.
map_lpt1() {
  prefix=$(sed -n "s/^export WINEPREFIX='\(.*\)'$/\1/p" "$run")
  [ -e "$prefix/dosdevices/lpt1" ] || ln -s ../drive_c/lpt1.out "$prefix/dosdevices/lpt1"
  touch "$prefix/drive_c/lpt1.out"
}
# The last line of a script: the count, and its exit status.
finish() {
  echo "$failures failure(s)"
  [ "$failures" = 0 ]
}
# start_watch PROGRAM: the console program watching LPT1 in the background ($watcher), once
# it has printed its start line.
start_watch() {
  "$run" "$1" watch LPT1 --interval 20 >"$out/watch.out" 2>"$out/watch.err" </dev/null &
  watcher=$!
  for _ in $(seq 300); do
    grep -q start "$out/watch.out" 2>/dev/null && break
    sleep 0.1
  done
  if grep -q start "$out/watch.out"; then ok "watch: started"; else fail "watch: no start line"; fi
}
