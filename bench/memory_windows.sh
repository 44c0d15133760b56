#!/bin/sh
# Private memory once the window is up of Pinscope, of the same-work baseline (the system work
# Pinscope's start-up does, in plain C) and of the minimal window program, measured in turns in
# one run under Wine: the anonymous resident memory (RssAnon) of the Unix process that runs
# each, which is what the program and Wine's libraries in it allocated and wrote.
# Run it through scripts/with-xvfb and scripts/wine-session.
# usage: memory_windows.sh BUILD/wine-run PINSCOPE.exe SAME-WORK.exe MINIMAL.exe
set -eu
run=$1
# Like every benchmark: which build of each program is measured, and never a debug one (each
# carries its build type as text: programs/version.rc, bench/build_mark.rc).
for program in "$2" "$3" "$4"; do
  build=$(grep -ao 'pinscope-build: [A-Za-z]*' "$program" | head -n 1 | sed 's/^pinscope-build: //')
  echo "build type of $(basename "$program"): ${build:-unknown}"
  case $build in
    '' | Debug | none) echo "refused: $program is not a release build; measure one" >&2; exit 2 ;;
  esac
done
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
# The baseline's window bears Pinscope's title too: one program runs at a time.
pinscope=$(measure "$2" Pinscope)
same_work=$(measure "$3" Pinscope)
minimal=$(measure "$4" Minimal)
echo "private memory with the window up (RssAnon under Wine): Pinscope $pinscope kB," \
  "same-work baseline $same_work kB, minimal window $minimal kB"
awk -v p="$pinscope" -v s="$same_work" -v m="$minimal" 'BEGIN {
  printf "Pinscope / same-work baseline: %.2f (%+d kB)\n", p / s, p - s
  printf "Pinscope / minimal window:     %.2f (%+d kB)\n", p / m, p - m
}'
