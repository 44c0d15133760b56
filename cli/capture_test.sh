#!/bin/sh
# pinscope-cli capture under Wine on the virtual-port driver's LPT3, whose signal generator sends
# "PINSCOPE" at 300 baud on Busy and a 1 kHz square wave on Ack: the files are judged by the
# tools users open them with (sigrok-cli decodes the serial text and times the square wave,
# GTKWave reads every change, rsvg-convert draws the picture), then a trigger, its timeout, and
# Ctrl+C, after which what was recorded is still written. It measures time, so the test command
# runs it alone.
# usage: capture_test.sh BUILD/wine-run PINSCOPE-CLI-VIRTUAL.exe PROVISION_PORTS.exe OUTDIR
set -u
# The driver's ports provisioned, no service left from before, and the helpers for the cases.
. "$(dirname "$0")/cli_cases.sh"

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
if awk -v s="${share:-100}" 'BEGIN { exit !(s < 5) }'; then ok "capture: ${share}% of its time in gaps, under 5%"; else
  fail "capture: ${share:-no}% of its time in gaps at the last attempt, 5% at most"
fi
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
# GTKWave's reader (vcd2fst into its own format, and fst2vcd back out) keeps every value change
# at its time, with its value, and the end of the dump. The two dumps name the signals by their
# own codes: compared by the signals' names.
events() {  # events VCD: "time name value" for each value change, then "end time"
  awk '$1 == "$var" { name[$4] = $5; next }
       /^#/ { t = substr($1, 2); next }
       /^[01xz]/ && t != "" { print t, name[substr($1, 2)], substr($1, 1, 1); next }
       /^b/ && t != "" { print t, name[$2], substr($1, 2) }
       END { print "end", t }' "$1" | sort
}
vcd2fst "$out/capture.vcd" "$out/capture.fst" >/dev/null 2>&1 && fst2vcd "$out/capture.fst" >"$out/capture.fst.vcd" 2>/dev/null
events "$out/capture.vcd" >"$out/capture.events"
events "$out/capture.fst.vcd" >"$out/capture.fst.events"
if [ "$(wc -l <"$out/capture.events")" -gt 1000 ] && cmp -s "$out/capture.events" "$out/capture.fst.events"; then
  ok "capture: GTKWave reads all $(($(wc -l <"$out/capture.events") - 1)) value changes at their times, and the end"
else
  fail "capture: GTKWave reads the value changes otherwise"
  diff "$out/capture.events" "$out/capture.fst.events" | head -n 10 | sed 's/^/  | /'
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
interrupt "$capturer" capture
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

finish
