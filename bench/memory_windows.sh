#!/bin/sh
# Private memory of Pinscope and of the minimal window program once their windows are up,
# under Wine: the anonymous resident memory (RssAnon) of the Unix process that runs each,
# which is what the program and Wine's libraries in it allocated and wrote.
# Run it through scripts/with-xvfb and scripts/wine-session.
# usage: memory_windows.sh BUILD/wine-run PINSCOPE.exe MINIMAL.exe
set -eu
run=$1
# Like every benchmark: which build is measured, and never a debug one (app/version.rc marks it).
build=$(grep -ao 'pinscope-build: [A-Za-z]*' "$2" | head -n 1 | sed 's/^pinscope-build: //')
echo "build type of $(basename "$2"): ${build:-unknown}"
case $build in
  '' | Debug | none) echo "refused: $2 is not a release build; measure one" >&2; exit 2 ;;
esac
measure() {  # measure PROGRAM TITLE
  "$run" "$1" >/dev/null 2>&1 &
  launched=$!
  window=$("$(dirname "$0")/../scripts/wait-window" "$2" 60 $launched) || { echo "no window $2" >&2; exit 1; }
  sleep 2  # settled after the first paint
  pid=$(xdotool getwindowpid "$window")
  sed -n 's/^RssAnon:[[:space:]]*\([0-9]*\) kB/\1/p' "/proc/$pid/status"
  "$run" taskkill /im "$(basename "$1")" >/dev/null 2>&1 || true
  wait $launched || true
}
pinscope=$(measure "$2" Pinscope)
minimal=$(measure "$3" Minimal)
echo "private memory with the window up (RssAnon under Wine): Pinscope $pinscope kB, minimal window $minimal kB," \
  "difference $((pinscope - minimal)) kB"
