# Sourced by the tests that drive Pinscope's window under Xvfb with real input (XTEST clicks
# through xdotool) and read what the screen shows where the layout puts each control. Expects
# $out (where screenshots go), and origin_x and origin_y: the window's client area on the
# screen, which is its X window where there is no window manager.
check() {  # check WHAT EXPECTED ACTUAL
  if [ "$2" = "$3" ]; then ok "$1"; else fail "$1: expected '$2', got '$3'"; fi
}

# The program answers input in its own time: a check polls for up to 30 s before it fails.
eventually() {  # eventually WHAT EXPECTED COMMAND...
  what=$1 expected=$2
  shift 2
  for _ in $(seq 60); do
    actual=$("$@")
    [ "$actual" = "$expected" ] && break
    sleep 0.5
  done
  check "$what" "$expected" "$actual"
}
click() {  # click X Y, in the window's client coordinates
  xdotool mousemove $((origin_x + $1)) $((origin_y + $2)) click 1
  sleep 0.7
}
pin_box() {  # pin_box PIN: the centre of its check mark, client coordinates
  if [ "$1" -le 13 ]; then echo "$((12 + 12 + 109 - 7)) $((36 + 28 + 20 * ($1 - 1) + 8))"
  else echo "$((12 + 128 + 7)) $((36 + 38 + 20 * ($1 - 14) + 8))"; fi
}
active_box="24 20"
refresh_button="$((12 + 12 + 37)) $((36 + 296 + 12))"
shot() { shot_name=$1; import -window root "$out/$1.png"; }
# Dark pixels in the middle of a check mark's square: a tick (black, or gray when grayed)
# has several, an empty box none.
ticked() {  # ticked SHOT X Y (client coordinates of the mark's centre): a new screenshot
  shot "$1"
  shift
  ticked_in "$shot_name" "$@"
}
ticked_in() {  # ticked_in SHOT X Y: on a screenshot taken before
  dark=$(convert "$out/$1.png" -crop 7x7+$((origin_x + $2 - 3))+$((origin_y + $3 - 3)) +repage \
    -colorspace gray -threshold 75% -format '%[fx:int(w*h*(1-mean))]' info:)
  [ "$dark" -ge 6 ] && echo yes || echo no
}
colour_in() {  # colour_in X Y W H RRGGBB: does the rectangle show that colour?
  convert "$out/$shot_name.png" -crop "$3x$4+$((origin_x + $1))+$((origin_y + $2))" +repage -format %c histogram:info: |
    grep -qi "#$5" && echo yes || echo no
}

