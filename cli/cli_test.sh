#!/bin/sh
# pinscope-cli under Wine on the virtual-port driver (LPT1 with the loopback plug, LPT2 with a
# printer, LPT3 with the signal generator): each case one run of the program, checked by its
# exit code and output, and by the "vlio" service, which no run may leave behind, Ctrl+C during
# watch included. Captures, which measure time, are capture_test.sh's.
# usage: cli_test.sh BUILD/wine-run PINSCOPE-CLI-VIRTUAL.exe PROVISION_PORTS.exe OUTDIR
set -u
# The driver's ports provisioned, no service left from before, and the helpers for the cases.
. "$(dirname "$0")/cli_cases.sh"

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
if [ "$(cat "$lpt1_out")" = o ]; then ok "write-handle: C:\\lpt1.out got the bytes"; else
  fail "write-handle: C:\\lpt1.out holds '$(cat "$lpt1_out")', expected the last byte, 'o'"
  sed 's/^/  | /' "$out/write-handle.out" "$out/write-handle.err"
fi

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

# A capture that does not complete leaves the user's file as it was, and nothing of its own.
files=$("$run" winepath -u 'C:\kept' 2>/dev/null | tr -d '\r')
rm -rf "$files" && mkdir -p "$files" && echo old >"$files/a.vcd"
case_ capture-refused 1 capture LPT1 --base 0xD000 --vcd 'C:\kept\a.vcd'
if [ "$(cat "$files/a.vcd")" = old ] && [ "$(ls "$files")" = a.vcd ]; then ok "capture-refused: a.vcd as it was"; else
  fail "capture-refused: the folder holds $(ls "$files" | tr '\n' ' ')and a.vcd '$(cat "$files/a.vcd" 2>/dev/null)'"
fi

case_ unknown-port 1 read LPT7
says unknown-port "LPT7 is not one of this machine's parallel ports"
case_ input-pin 2 set LPT1 15=1
says input-pin "pin 15 (Fault) is an input"
case_ no-such-pin 2 set LPT1 26=1
says no-such-pin "pin 26 is not on the connector"
# Wine's \\.\LPT1 is a file, with no port driver to decode the lines: the query is refused.
case_ handle-read 1 read --handle LPT1
says handle-read "does not tell its states (IOCTL_PAR_QUERY_INFORMATION)"
case_ handle-watch 1 watch --handle LPT1 --count 1
says handle-watch "does not tell its states (IOCTL_PAR_QUERY_INFORMATION)"
case_ handle-selftest 2 selftest --handle LPT1
says handle-selftest "read 0 in handle mode"

# What Wine tells the check: its own version, integrity checks on (0x1), no Secure Boot value,
# and the provisioned ports served at the legacy addresses, as the driver serves them there.
case_ check 0 check
shows check '^Wine: +[0-9]'
shows check '^Code integrity: +on; test signing off; memory integrity \(HVCI\) off \(0x00000001\)$'
shows check '^  LPT3  0x3BC-0x3C3  served as a legacy address$'
shows check '^Direct mode can work as run: '
case_ check-json 0 check --json
shows check-json '"wine": "[0-9][^"]*", "elevated": true, .*"answer": "works", "exit_code": 0'

# Ctrl+C during watch: Wine turns SIGINT to a console program into CTRL_C_EVENT.
start_watch "$program"
# Wine's sc now and then answers nothing at all on a busy machine: asked again then, not for
# any other state.
for _ in 1 2 3 4 5; do
  state=$(service_state)
  [ "$state" = none ] || break
  sleep 0.5
done
[ "$state" = RUNNING ] && ok "watch: vlio runs while it watches" || fail "watch: vlio not running ($state)"
interrupt "$watcher" watch
[ "$code" = 130 ] && ok "watch: exit 130 after Ctrl+C" || { fail "watch: exit $code after Ctrl+C"; sed 's/^/  | /' "$out/watch.err"; }
left=$(service_state)
[ "$left" = none ] && ok "watch: no vlio service left" || fail "watch: vlio service left ($left)"

finish
