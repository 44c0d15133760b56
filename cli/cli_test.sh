#!/bin/sh
# pinscope-cli under Wine on the virtual-port driver (LPT1 with the loopback plug, LPT2 with a
# printer, LPT3 with the signal generator): each case one run of the program, checked by its exit code and output, and by the
# "vlio" service, which no run may leave behind, Ctrl+C during watch included.
# usage: cli_test.sh BUILD/wine-run PINSCOPE-CLI-VIRTUAL.exe PROVISION_PORTS.exe OUTDIR
set -u
run=$1 program=$2 provision=$3 out=$4
mkdir -p "$out"
. "$(dirname "$0")/../testing/wine_checks.sh"

trap remove_service EXIT

"$run" "$provision" >/dev/null
remove_service

# case NAME EXPECTED-CODE ARGS...: runs the program once; its output in $out/NAME.out and .err
case_() {
  name=$1 expected=$2
  shift 2
  "$run" "$program" "$@" >"$out/$name.out" 2>"$out/$name.err" </dev/null
  code=$?
  tr -d '\r' <"$out/$name.out" >"$out/$name.txt"
  if [ "$code" = "$expected" ]; then ok "$name: exit $code"; else
    fail "$name: exit $code, expected $expected"
    sed 's/^/  | /' "$out/$name.out" "$out/$name.err"
  fi
  left=$(service_state)
  [ "$left" = none ] && ok "$name: no vlio service left" || { fail "$name: vlio service left ($left)"; remove_service; }
}
shows() {  # shows NAME PATTERN: the output of NAME has a line matching the extended regex
  if grep -Eq "$2" "$out/$1.txt"; then ok "$1: shows '$2'"; else
    fail "$1: no line matches '$2'"
    sed 's/^/  | /' "$out/$1.txt"
  fi
}
says() {  # says NAME TEXT: standard error of NAME holds TEXT
  if grep -Fq "$2" "$out/$1.err"; then ok "$1: says '$2'"; else
    fail "$1: standard error lacks '$2'"
    sed 's/^/  | /' "$out/$1.err"
  fi
}

case_ list 0 list
shows list '^LPT1  1  0x378$'
shows list '^LPT2  2  0x278$'
shows list '^LPT3  3  0x3BC$'

case_ set-high 0 set LPT1 2=1
shows set-high '^Fault \(15\) +set +high'
case_ set-low 0 set LPT1 2=0
shows set-low '^Fault \(15\) +clear +low'

case_ selftest-plug 0 selftest LPT1
shows selftest-plug '^Data 4 \(6\) -> Busy \(11\) +pass$'
shows selftest-plug '^passed'
case_ selftest-printer 3 selftest LPT2
shows selftest-printer '^Data 0 \(2\) -> Fault \(15\) +open$'
shows selftest-printer '^FAILED'

case_ write-printer 0 write LPT2 hello
shows write-printer '^LPT2: 5 bytes sent, 0 skipped'

# Handle mode: Wine's \\.\LPT1 writes to C:\lpt1.out. Each byte goes out as a write of its
# own whose OVERLAPPED record says offset 0, which a port device ignores; Wine's file takes it,
# so the file keeps only the last byte.
lpt1_out=$("$run" winepath -u 'C:\lpt1.out' 2>/dev/null | tr -d '\r')
: >"$lpt1_out"
case_ write-handle 0 write --handle LPT1 hello
shows write-handle '^LPT1: 5 bytes sent, 0 skipped'
[ "$(cat "$lpt1_out")" = o ] && ok "write-handle: C:\\lpt1.out got the bytes" ||
  fail "write-handle: C:\\lpt1.out holds '$(cat "$lpt1_out")', expected the last byte, 'o'"

case_ end-of-options 0 write LPT2 -- --hello
shows end-of-options '^LPT2: 7 bytes sent, 0 skipped'
# The signal generator's lines move on their own.
case_ watch-generator 0 watch LPT3 --count 3 --interval 7
[ "$(grep -Ec '^[0-9]+\.[0-9]{3} s  (Ack|Busy|Paper out|Select) \(1[0-3]\) (high|low)$' "$out/watch-generator.txt")" = 3 ] &&
  ok "watch-generator: three changes" || { fail "watch-generator: not three change lines"; sed 's/^/  | /' "$out/watch-generator.txt"; }
case_ as-typed 0 READ lpt1:
shows as-typed '^LPT1 at 0x378'
shows as-typed '^Busy \(11\) +[a-z]+ +[a-z]+ +input +inverted$'
case_ system-base 2 read LPT3 --base 0x70
says system-base "reaches system port 0x70"
case_ file-missing 2 write LPT2 --file 'C:\nothing.bin'
says file-missing "cannot read C:\nothing.bin: File not found"
case_ file-folder 2 write LPT2 --file 'C:\windows'
says file-folder "(is it a folder?)"
case_ file-device 2 write LPT2 --file NUL
says file-device "is not a file on disk"
# Greek is in no Western code page: refused, not sent as '?'.
LC_ALL=C.UTF-8 case_ not-in-code-page 2 write LPT2 'Ωmega'
says not-in-code-page "use write --file"

# Output that cannot be written is not done.
"$run" "$program" list >/dev/full 2>"$out/full.err" </dev/null
code=$?
[ "$code" = 4 ] && ok "full: exit 4" || fail "full: exit $code, expected 4"
says full "the output could not be written"

case_ unknown-port 1 read LPT7
says unknown-port "LPT7 is not one of this machine's parallel ports"
case_ input-pin 2 set LPT1 15=1
says input-pin "pin 15 (Fault) is an input"
case_ no-such-pin 2 set LPT1 26=1
says no-such-pin "pin 26 is not on the connector"
case_ handle-read 2 read --handle LPT1
says handle-read "read 0 in handle mode"

# capture on LPT3, whose signal generator sends "PINSCOPE" at 300 baud on Busy and a 1 kHz
# square wave on Ack; the files are judged by the tools users open them with.
# Wine runs the driver's sampling loop in its driver host, a process that the test command's
# other work (the other flavour, the sanitizer tests, the fuzzers) preempts for milliseconds at
# a time, which a kernel thread's loop on Windows is not: for the captures, this prefix's server,
# service manager and driver hosts run above them where the machine allows it (as root; a driver
# host inherits its service manager's priority). A capture that still lost much of its time to
# gaps is taken again, up to three times, and the share it had is said.
windows_path() { echo "Z:$1" | tr / '\\'; }
prefix_processes() {
  prefix=$(sed -n "s/^export WINEPREFIX='\(.*\)'$/\1/p" "$run")
  for pid in $(pgrep -f 'wineserver|services\.exe|winedevice\.exe'); do
    tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qx "WINEPREFIX=$prefix" && echo "$pid"
  done
}
# shellcheck disable=SC2046
renice -n -10 -p $(prefix_processes) >/dev/null 2>&1 || echo "capture: the driver host keeps its priority"
for attempt in 1 2 3; do
  case_ capture 0 capture LPT3 --duration 2s --vcd "$(windows_path "$out/capture.vcd")" \
    --svg "$(windows_path "$out/capture.svg")"
  share=$(sed -n 's/^Gaps without samples: .* \([0-9.]*\)% of .*/\1/p' "$out/capture.txt")
  echo "capture: attempt $attempt lost ${share:-?}% of its time in gaps"
  awk -v s="${share:-100}" 'BEGIN { exit !(s < 5) }' && break
done
shows capture '^Ack \(10\) +[0-9]+ +[0-9]+ .* (1\.00[01] kHz|99[0-9]\.[0-9] Hz) +(49|50|51)\.[0-9]%$'
shows capture '^Paper out \(12\) .* (100\.[0-9]+|99\.[0-9]+) Hz +(24|25|26)\.[0-9]%$'
sigrok-cli -I vcd -i "$out/capture.vcd" -P uart:rx=p11_Busy:baudrate=300:format=ascii -A uart=rx-data \
  >"$out/capture.uart" 2>&1
text=$(sed -n 's/^uart-1: //p' "$out/capture.uart" | tr -d '\n')
case "$text" in
  *PINSCOPE*) ok "capture: sigrok decodes Busy to '$text'" ;;
  *) fail "capture: sigrok decodes Busy to '$text', without PINSCOPE"; sed 's/^/  | /' "$out/capture.uart" | head ;;
esac
# The periods between Ack's rising edges, in microseconds: their median within 1% of 1 ms (an
# edge after a span without samples makes its period longer; the median looks past those).
sigrok-cli -I vcd -i "$out/capture.vcd" -P timing:data=p10_Ack:edge=rising -A timing=time 2>&1 |
  awk '$3 == "ms" { print $2 * 1000 } $3 == "μs" { print $2 } $3 == "s" { print $2 * 1000000 }' |
  sort -n >"$out/capture.periods"
periods=$(wc -l <"$out/capture.periods")
median=$(awk -v n="$periods" 'NR == int((n + 1) / 2) { print }' "$out/capture.periods")
if [ "$periods" -ge 1000 ] && awk -v m="${median:-0}" 'BEGIN { exit !(m >= 990 && m <= 1010) }'; then
  ok "capture: sigrok times Ack at a median period of $median us over $periods periods"
else
  fail "capture: sigrok times Ack at a median period of '${median}' us over $periods periods, expected 1000 +- 1%"
fi
if rsvg-convert "$out/capture.svg" -o "$out/capture.png" 2>"$out/capture.rsvg"; then
  ok "capture: rsvg-convert draws the timing diagram"
else
  fail "capture: rsvg-convert refuses the timing diagram"; sed 's/^/  | /' "$out/capture.rsvg"
fi
rows=$(grep -Eo '>(Strobe \(1\)|Ack \(10\)|Busy \(11\)|Paper out \(12\)|Select \(13\)|Auto line feed \(14\)|Fault \(15\)|Init \(16\)|Select in \(17\))<' \
  "$out/capture.svg" | sort -u | wc -l)
[ "$rows" = 9 ] && ok "capture: the diagram has a row for each of the nine pins" ||
  fail "capture: the diagram names $rows of the nine pins"
case_ capture-trigger 0 capture LPT3 --pins 13 --trigger 13=rising --duration 30ms --timeout 1s --json
shows capture-trigger '"trigger": 0\.003'
case_ capture-timeout 3 capture LPT3 --pins 15 --trigger 15=low --timeout 50ms
says capture-timeout "the trigger did not come within"

# Ctrl+C during a capture: what was recorded is still written.
"$run" "$program" capture LPT3 --duration 600s --vcd "$(windows_path "$out/stopped.vcd")" \
  >"$out/capture-stop.out" 2>"$out/capture-stop.err" </dev/null &
capturer=$!
for _ in $(seq 300); do
  [ "$(service_state)" = RUNNING ] && break
  sleep 0.1
done
sleep 1
kill -INT "$capturer"
code=none
for _ in $(seq 100); do
  if ! kill -0 "$capturer" 2>/dev/null; then
    wait "$capturer"
    code=$?
    break
  fi
  sleep 0.1
done
[ "$code" = none ] && { fail "capture: still running 10 s after SIGINT"; kill -KILL "$capturer" 2>/dev/null; }
[ "$code" = 130 ] && ok "capture: exit 130 after Ctrl+C" ||
  { fail "capture: exit $code after Ctrl+C"; sed 's/^/  | /' "$out/capture-stop.err"; }
if sigrok-cli -I vcd -i "$out/stopped.vcd" -O vcd >/dev/null 2>&1 && grep -q 'p10_Ack' "$out/stopped.vcd"; then
  ok "capture: the stopped capture's dump is written and sigrok reads it"
else
  fail "capture: the stopped capture left no dump sigrok reads"
fi
[ "$(service_state)" = none ] && ok "capture: no vlio service left after Ctrl+C" || fail "capture: vlio service left"
# shellcheck disable=SC2046
renice -n 0 -p $(prefix_processes) >/dev/null 2>&1

# Ctrl+C during watch: Wine turns SIGINT to a console program into CTRL_C_EVENT.
start_watch "$program"
[ "$(service_state)" = RUNNING ] && ok "watch: vlio runs while it watches" || fail "watch: vlio not running"
kill -INT "$watcher"
code=none
for _ in $(seq 100); do
  if ! kill -0 "$watcher" 2>/dev/null; then
    wait "$watcher"
    code=$?
    break
  fi
  sleep 0.1
done
if [ "$code" = none ]; then
  fail "watch: still running 10 s after SIGINT"
  kill -KILL "$watcher" 2>/dev/null
fi
[ "$code" = 130 ] && ok "watch: exit 130 after Ctrl+C" || { fail "watch: exit $code after Ctrl+C"; sed 's/^/  | /' "$out/watch.err"; }
left=$(service_state)
[ "$left" = none ] && ok "watch: no vlio service left" || fail "watch: vlio service left ($left)"

finish
