#!/bin/sh
# In the guest (vm/guest), as root: the shipped programs with the port driver, under Wine,
# against QEMU's parallel port at 0x378. What they show is checked against the port as the
# guest's own kernel reads it (/dev/port), and what they send against QEMU's output file.
# Linux's parport_pc and lp are not loaded: only our driver drives the port, from QEMU's reset
# state. Wine runs the driver inside an ordinary process (winedevice.exe), which reaches the
# port because the whole job runs with I/O privilege (vm/iopl).
# usage: windows_job.sh FLAVOUR WINE-RUN PINSCOPE-CLI.exe PINSCOPE.exe [CAPTURE_PORT.exe]
#   FLAVOUR win64: every command, the capture and its rates, and the window
#   FLAVOUR win32: the i386 driver's limit under 32-bit Wine, then the 9x family's road
set -u
flavour=$1 run=$2 cli=$3 program=$4 rates=${5:-}
out=$(mktemp -d)
mkdir -p "$out"
here=$(dirname "$0")
. "$here/../testing/wine_checks.sh"
. "$here/../testing/pin_panel.sh"
lpt=/run/vm/lpt1.out
base=0x378

# port OFFSET: a register as the guest's kernel reads it, in the form the program prints.
port() { printf '0x%s' "$(dd if=/dev/port bs=1 skip=$((base + $1)) count=1 2>/dev/null | od -An -tx1 | tr -d ' \n' |
  tr a-f A-F)"; }
# cli ARGS...: the console program on the port; its output in $out/cli.out, error in .err.
cli() {
  "$run" "$cli" "$@" >"$out/cli.out" 2>"$out/cli.err" </dev/null
  code=$?
  tr -d '\r' <"$out/cli.out" >"$out/cli.txt"
  return $code
}
json_field() { sed -n "s/.*\"$1\": \"\\(0x[0-9A-F]*\\)\".*/\\1/p" "$out/cli.txt"; }
now() { date +%s.%N; }
since() { awk -v from="$1" -v to="$(now)" 'BEGIN { printf "%.1f", to - from }'; }
# The console program's registers against the kernel's reading of them just before.
registers_read() {  # registers_read WHAT
  expected="$(port 0) $(port 1) $(port 2)"
  cli read LPT1 --base $base --json
  check "$1" "$expected" "$(json_field data) $(json_field status) $(json_field control)"
}
# poke OFFSET VALUE: a register written by the guest's kernel.
poke() { printf "\\$(printf %03o $(($2)))" | dd of=/dev/port bs=1 seek=$((base + $1)) count=1 conv=notrunc 2>/dev/null; }
# takes_byte CONTROL: whether a strobe with the control lines at CONTROL puts a byte out.
takes_byte() {
  before=$(stat -c %s $lpt)
  poke 2 "$1"; poke 2 $(($1 | 1)); poke 2 "$1"
  [ "$(stat -c %s $lpt)" -gt "$before" ] && echo yes || echo no
}
# After a strobe the model answers the next two status reads with the handshake's Busy and
# Ack: read them, so that a program's reading and the kernel's agree again.
settle() { port 1 >/dev/null; port 1 >/dev/null; }
edges() { sed -n "s/^$1 *\([0-9]*\) *\([0-9]*\) .*/\1 \2/p" "$out/cli.txt"; }
no_driver_left() {  # no_driver_left WHAT
  check "$1 leaves no vlio service" none "$(service_state)"
}

wine=$("$run" --version 2>/dev/null)
echo "vm: $wine ($flavour), $(grep -c parport /proc/modules) parport modules loaded"
lsmod_parport=$(grep -E '^(parport_pc|lp) ' /proc/modules)
check "Linux's own parallel-port drivers stay away from the port" "" "$lsmod_parport"
started=$(now)

if [ "$flavour" = win64 ]; then
  # What QEMU's model reads at reset, which also shows that a device answers at 0x378.
  check "QEMU's port at reset, read by the guest's kernel" "0xFF 0xD9 0xCC" "$(port 0) $(port 1) $(port 2)"
  # What the model needs of the control lines to take a byte on Strobe's edge, found with the
  # guest kernel's own writes: Init high and Select in low, as a printer needs them.
  printf '\377' >"$out/expected"  # the data register at reset, sent by the strobe that is taken
  check "QEMU's model takes no byte while Init is low" no "$(takes_byte 0xC8)"
  check "QEMU's model takes no byte while Select in is high" no "$(takes_byte 0xC4)"
  check "QEMU's model takes a byte with Init high and Select in low" yes "$(takes_byte 0xCC)"
  settle
  registers_read "read shows QEMU's registers"
  echo "vm: the first program under Wine took $(since "$started") s"

  cli data LPT1 0xA5 --base $base
  check "data writes the data register" 0xA5 "$(port 0)"
  cli set LPT1 2=0 9=0 14=1 --base $base --json
  check "set clears D0 and D7 and sets Auto line feed by register bit, and shows them" "0x24 0xCE 0x24 0xCE" \
    "$(port 0) $(port 2) $(json_field data) $(json_field control)"

  # write --file: a file of 4 KiB that begins with the 256 byte values twice, then write TEXT
  # below. One file rather than two: a program's start with the driver costs seconds here.
  for i in $(seq 0 255); do printf "\\$(printf %03o "$i")"; done >"$out/values"
  { cat "$out/values" "$out/values"; head -c 3584 /dev/urandom; } >"$out/4k.bin"
  began=$(now)
  cli write LPT1 --base $base --file "Z:$out/4k.bin"
  check "write --file of 4 KiB" "0 LPT1: 4096 bytes sent, 0 skipped because the device stayed busy" "$? $(cat "$out/cli.txt")"
  echo "vm: write --file: $(awk -v from="$began" -v to="$(now)" 'BEGIN { printf "%.0f", 4096 / (to - from) }')" \
    "bytes per second, the program's start included"
  cat "$out/4k.bin" >>"$out/expected"

  # A port whose lines keep the printer from taking bytes: write says so and sends nothing,
  # and --ready brings the lines to printing first, keeping the others.
  poke 2 0xC2  # Auto line feed as set above; Init low, Select in high
  before=$(stat -c %s $lpt)
  cli write LPT1 --base $base PINSCOPE
  check "write refuses while Init is low and Select in high, and says why" "3 1 1" \
    "$? $(grep -c 'Init (16) is low' "$out/cli.err") $(grep -c 'Select in (17) is high' "$out/cli.err")"
  check "nothing was sent then" "$before" "$(stat -c %s $lpt)"
  cli write LPT1 --ready --base $base PINSCOPE
  check "write --ready brings Init high and Select in low, keeps Auto line feed, and sends" \
    "0 LPT1: 8 bytes sent, 0 skipped because the device stayed busy 0xCE" "$? $(cat "$out/cli.txt") $(port 2)"
  printf PINSCOPE >>"$out/expected"
  if cmp -s "$out/expected" $lpt; then
    ok "QEMU's output holds every byte sent, in order, nothing lost or doubled ($(stat -c %s $lpt) bytes)"
  else
    fail "QEMU's output differs from what was sent: $(cmp "$out/expected" $lpt 2>&1 | head -n 1)," \
      "$(stat -c %s $lpt) bytes against $(stat -c %s "$out/expected")"
  fi

  # The capture: after a strobe the model clears Busy, and its next reads of the status
  # register bring Ack low and then Busy and Ack back: the lines it moves by itself.
  takes_byte 0xCE >/dev/null
  port 1 >/dev/null  # the first read after the strobe: Ack goes low
  cli capture LPT1 --base $base --duration 20ms --vcd "Z:$out/capture.vcd"
  check "capture runs on QEMU's port" 0 $?
  sed 's/^/  | /' "$out/cli.txt"
  check "the capture sees Ack rise and Busy fall once, as the model moves them" "1 0 0 1" \
    "$(edges 'Ack (10)') $(edges 'Busy (11)')"
  if sigrok-cli -I vcd -i "$out/capture.vcd" -O csv >"$out/capture.csv" 2>"$out/sigrok.err"; then
    ok "sigrok-cli reads the capture's dump ($(wc -l <"$out/capture.csv") lines)"
  else
    fail "sigrok-cli does not read the capture's dump: $(head -n 3 "$out/sigrok.err")"
  fi
  no_driver_left "the console program"

  # Reads per second each way, in one run, and a capture's gaps: under emulation.
  if [ -n "$rates" ]; then
    "$run" "$rates" 1 $base >"$out/rates.out" 2>&1 </dev/null
    check "the rates' run" 0 $?
    tr -d '\r' <"$out/rates.out" | sed "s/^/vm: $PINSCOPE_VM_ACCEL: /"
    no_driver_left "the rates' run"
  fi

  # The window: Active, a data pin clicked, Refresh, and the port read by the guest's kernel.
  window_began=$(now)
  "$run" "$program" >/dev/null 2>&1 &
  pinscope=$!
  window=$("$here/../scripts/wait-window" Pinscope 120 $pinscope)
  if [ -n "$window" ]; then
    eval "$(xdotool getwindowgeometry --shell "$window")"
    origin_x=$X origin_y=$Y
    devices=$(pgrep -c -f 'winedevice\.exe')
    click $active_box
    # The port is held once the driver's own winedevice.exe runs beside Wine's: cheaper to
    # look for than a service query, which is a Wine program of its own.
    eventually "Active starts the driver" $((devices + 1)) pgrep -c -f 'winedevice\.exe'
    before=$(port 0)
    set -- $(pin_box 2)
    click "$1" "$2"
    flipped=$(printf '0x%02X' $((before ^ 1)))
    eventually "a click on D0 flips the data register's bit 0" "$flipped" port 0
    click $refresh_button
    status=$(port 1)
    expected=""
    for bit in 6 7 5 4 3; do  # Ack, Busy, Paper out, Select, Fault
      [ $((status >> bit & 1)) = 1 ] && expected="$expected yes" || expected="$expected no"
    done
    status_boxes() {  # on one screenshot
      shot refresh
      for pin in 10 11 12 13 15; do printf ' %s' "$(ticked_in refresh $(pin_box $pin))"; done
    }
    eventually "Refresh shows the status pins (10 11 12 13 15) as QEMU's status $status has them" "$expected" status_boxes
    "$run" taskkill /im "$(basename "$program")" >/dev/null 2>&1
    wait $pinscope 2>/dev/null
    check "closing the window removes the service" none "$(service_state)"
    echo "vm: the window's part took $(since "$window_began") s"
  else
    fail "no Pinscope window"
  fi
  wait $pinscope 2>/dev/null
else
  # The i386 driver reaches the port through hal.dll's READ_PORT_UCHAR and WRITE_PORT_UCHAR,
  # which 32-bit Wine does not implement: the rig's limit, not the driver's.
  cli read LPT1 --base $base --json
  check "the i386 driver under 32-bit Wine reads 0 (hal.dll's port routines are stubs there)" "0x00 0x00 0x00" \
    "$(json_field data) $(json_field status) $(json_field control)"
  no_driver_left "the i386 driver"

  # The 9x family: the program reaches the port with its own port instructions, no driver.
  "$run" reg add 'HKCU\Software\Wine' /v Version /d win98 /f >/dev/null 2>&1
  registers_read "on the 9x family, read shows QEMU's registers through the program's own instructions"
  cli write LPT1 --base $base PINSCOPE
  check "on the 9x family, write sends the bytes" "0 PINSCOPE" "$? $(cat $lpt)"
  no_driver_left "the 9x family's run"
fi

echo "vm: the job's programs took $(since "$started") s"
finish
