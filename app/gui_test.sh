#!/bin/sh
# The real window under Wine and Xvfb, driven by real input (XTEST clicks through xdotool)
# against the virtual-port driver, and checked through what the program does: which port it
# holds and the registers of the one it let go (port_probe, through the same driver), the
# "vlio" service, message boxes, and what the screen shows where the layout puts each control.
# Run it through scripts/with-xvfb and scripts/wine-session.
# The end of the session (wineboot --end-session: WM_QUERYENDSESSION and WM_ENDSESSION to
# every top-level window) is checked here too, for the window and for the console program
# PINSCOPE-CLI.exe, whose hidden window only exists where there is a desktop.
# usage: gui_test.sh BUILD/wine-run PINSCOPE.exe PORT_PROBE.exe PROVISION_PORTS.exe OUTDIR [PINSCOPE-CLI.exe]
set -u
run=$1 program=$2 probe=$3 provision=$4 out=$5 console_program=${6:-}
scripts=$(dirname "$0")/../scripts
mkdir -p "$out"
. "$(dirname "$0")/../testing/wine_checks.sh"
. "$(dirname "$0")/../testing/pin_panel.sh"
cleanup() {
  "$run" taskkill /f /im "$(basename "$program")" >/dev/null 2>&1 && remove_service
}
trap cleanup EXIT

"$run" "$provision" >/dev/null
# The prefix's drivers folder, where the program writes the driver image.
drivers=$("$run" winepath -u 'C:\windows\system32\drivers' 2>/dev/null | tr -d '\r')
[ -d "$drivers" ] || { echo "FAIL: no drivers folder in the Wine prefix"; exit 1; }
rm -rf "$drivers/vlio.sys"
remove_service

registers() { "$run" "$probe" "$@" 2>/dev/null | tr -d '\r'; }

# Where a control is on the screen: the window's client area is its X window (no window
# manager here), and controls in the group box are placed within the group box.
"$run" "$program" >/dev/null 2>&1 &
pinscope=$!
window=$("$scripts/wait-window" Pinscope 120 $pinscope)
[ -n "$window" ] || { echo "FAIL: no Pinscope window"; exit 1; }
eval "$(xdotool getwindowgeometry --shell "$window")"
origin_x=$X origin_y=$Y
check "client area size" "300x382" "${WIDTH}x${HEIGHT}"
# Mapped is not yet painted: wait for the first caption to show.
first_caption() { shot start; colour_in 24 64 90 17 008000; }
eventually "the window is painted" yes first_caption
shot_name=start  # checks run in subshells: what they set stays there
check "no service before Active" none "$(service_state)"
# The layout's colours where the layout puts each pin's caption: the pins whose caption is
# not (yet) in its colour, on a new screenshot, since the first caption can show before the rest.
miscoloured_captions() {
  shot captions
  for pin in $(seq 1 25); do
    if [ $pin -le 13 ]; then x=12; y=$((28 + 20 * (pin - 1))); w=90; else x=146; y=$((38 + 20 * (pin - 14))); w=100; fi
    case $pin in
      1|14|16|17) colour=008000 ;;
      2|3|4|5|6|7|8|9) colour=0000FF ;;
      10|11|12|13|15) colour=800080 ;;
      *) colour=000000 ;;
    esac
    [ "$(colour_in $((12 + x)) $((36 + y)) $w 17 $colour)" = yes ] || printf '%s ' "$pin"
  done
}
eventually "pin captions in their colours" "" miscoloured_captions
eventually "ground box starts grayed (a mark)" yes ticked start $(pin_box 18)

# The keyboard: Tab goes to the first control, Space ticks it.
xdotool mousemove $((origin_x + 150)) $((origin_y + 5))
xdotool key Tab; sleep 0.3; xdotool key space
eventually "Tab and Space tick Active" RUNNING service_state
xdotool key space
eventually "Space again unticks it" none service_state

# Active: the driver service runs and the pins are read.
click $active_box
eventually "Active starts the service" RUNNING service_state
eventually "Active holds LPT1 from every other open" "378 held" registers 0x378
eventually "Init (pin 16) reads high" yes ticked active $(pin_box 16)

# D0 out, and back through the loopback plug on Fault (pin 15) after Refresh.
set -- $(pin_box 2); click "$1" "$2"
click $refresh_button
eventually "Fault follows D0 on Refresh" yes ticked refresh $(pin_box 15)
set -- $(pin_box 21); click "$1" "$2"
eventually "a clicked ground box stays grayed" yes ticked ground $(pin_box 21)

# LPT2: choose it in the device box (open the list, pick the second entry).
click 140 21
click 140 $((21 + 12 + 13 + 6))
eventually "LPT2 is held now" "278 held" registers 0x278
# LPT1 is free for others, its control register as reset left it.
lpt1_control() { registers 0x378 0x37A | sed 's/^378=.. //'; }
eventually "LPT1 is let go" "37A=CC" lpt1_control

# Unticking closes: the service is stopped and deleted, the image stays.
click $active_box
eventually "unticking removes the service" none service_state
[ -f "$drivers/vlio.sys" ] && ok "driver image stays" || fail "driver image is gone"

# An open that fails: the image path is taken by a directory, so the image cannot be written.
rm -f "$drivers/vlio.sys"; mkdir "$drivers/vlio.sys"
click $active_box
error=$("$scripts/wait-window" Error 20)
[ -n "$error" ] && ok "the failure is reported in a message box" || fail "no message box"
eventually "Active is unticked again" no ticked failure $active_box
check "no service after the failure" none "$(service_state)"
if [ -n "$error" ]; then
  eval "$(xdotool getwindowgeometry --shell "$error")"
  xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT - 20)) click 1
  sleep 0.7
fi
rmdir "$drivers/vlio.sys"
click $active_box
eventually "the program goes on: Active opens now" RUNNING service_state

# Closing the window with the port open leaves no service behind.
"$run" taskkill /im "$(basename "$program")" >/dev/null 2>&1
eventually "closing removes the service" none service_state

running() { [ -r "/proc/$1/stat" ] && [ "$(sed 's/.*) \(.\).*/\1/' "/proc/$1/stat" 2>/dev/null)" != Z ]; }

# The session ends with the port open: the window closes it before Windows may end the
# process, as it does when the window closes.
wait $pinscope 2>/dev/null
"$run" "$program" >/dev/null 2>&1 &
pinscope=$!
window=$("$scripts/wait-window" Pinscope 120 $pinscope)
if [ -n "$window" ]; then
  click $active_box
  eventually "Active again in a new run" RUNNING service_state
  # At once: wineboot returns when the windows have answered, and a service that a killed
  # program left would only be stopped by Wine a moment later, not deleted.
  "$run" wineboot --end-session >/dev/null 2>&1
  check "the end of the session removed the service" none "$(service_state)"
  "$run" taskkill /f /im "$(basename "$program")" >/dev/null 2>&1
else
  fail "no Pinscope window in a new run"
fi

# The console program while it watches a port: its hidden window stops the command, which
# closes the port before the handler lets the session end.
if [ -n "$console_program" ]; then
  "$run" "$console_program" watch LPT1 --interval 50 >"$out/session-watch.out" 2>"$out/session-watch.err" </dev/null &
  watcher=$!
  eventually "the console program watches" RUNNING service_state
  "$run" wineboot --end-session >/dev/null 2>&1
  check "its end of the session removed the service" none "$(service_state)"
  for _ in $(seq 50); do running $watcher || break; sleep 0.1; done
  running $watcher && { fail "the console program still runs after the end of the session"; kill -INT $watcher; } ||
    ok "the console program ended with the session"
  grep -q "the port is closed" "$out/session-watch.err" && ok "it said the port is closed" ||
    fail "standard error: $(cat "$out/session-watch.err")"
fi

finish
