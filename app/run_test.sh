#!/bin/sh
# The run command's steps once built (prefix, ports, the headless start and screenshot), twice
# in a row on a fresh Wine prefix of this test's own, as a new user without a display meets
# them: each run must end with its output's end of file (no Wine process left holding it), and
# show the window at the layout's size with the layout's caption colours where the layout puts
# each control.
# usage: run_test.sh WINE-RUN PREFIX PINSCOPE.exe PROVISION_PORTS.exe LAYOUT.lfm OUTDIR
# (WINE-RUN runs programs in PREFIX; PREFIX is removed before and after.)
set -u
run=$1 prefix=$2 program=$3 provision=$4 layout=$5 out=$6
scripts=$(dirname "$0")/../scripts
rm -rf "$prefix" "$out"
mkdir -p "$out"
trap '"$run" wineserver -k 2>/dev/null; "$run" wineserver -w; rm -rf "$prefix"' EXIT
failures=0
ok() { echo "ok: $*"; }
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
check() {  # check WHAT EXPECTED ACTUAL
  if [ "$2" = "$3" ]; then ok "$1"; else fail "$1: expected '$2', got '$3'"; fi
}

# What the layout says: the window's size, and for each control with a font colour of its own,
# its rectangle in the window's client coordinates and that colour (RRGGBB).
controls=$(awk '
  BEGIN {
    split("clBlack 000000 clMaroon 800000 clGreen 008000 clOlive 808000 clNavy 000080 clPurple 800080 " \
          "clTeal 008080 clGray 808080 clSilver C0C0C0 clRed FF0000 clLime 00FF00 clYellow FFFF00 " \
          "clBlue 0000FF clFuchsia FF00FF clAqua 00FFFF clWhite FFFFFF", named, " ")
    for (i = 1; i in named; i += 2) rgb[named[i]] = named[i + 1]
  }
  $1 == "object" { depth++; left[depth] = top[depth] = 0; colour[depth] = ""; next }
  $1 == "end" {
    if (depth == 1) printf "window %d %d\n", width[1], height[1]
    else if (colour[depth] != "") {
      x = 0; y = 0
      for (d = 2; d <= depth; d++) { x += left[d]; y += top[d] }
      printf "control %d %d %d %d %s\n", x, y, width[depth], height[depth], colour[depth]
    }
    depth--; next
  }
  $2 != "=" { next }
  $1 == "Left" { left[depth] = $3 }
  $1 == "Top" { top[depth] = $3 }
  $1 == "Width" { width[depth] = $3 }
  $1 == "Height" { height[depth] = $3 }
  $1 == "Font.Color" && ($3 in rgb) { colour[depth] = rgb[$3] }
' "$layout")
# With no window manager, Wine's X window of a top-level window is its client area: the
# layout's size less the frame Wine draws at 96 dpi (4 pixels each side, a caption of 19).
set -- $(echo "$controls" | sed -n 's/^window //p')
expected_size="$(($1 - 8))x$(($2 - 27))"

for round in 1 2; do
  # Through a pipe, as a caller that keeps a log reads it: it must see the end.
  timeout 240 sh -c '{ "$@" 2>&1; echo "status $?"; } | cat' - env -u DISPLAY "$scripts/run-built" "$run" "$program" \
    "$provision" "$out/pinscope$round.png" >"$out/run$round.log"
  [ $? -eq 124 ] && fail "run $round: its output did not end in 240 s"
  sed 's/^/  | /' "$out/run$round.log"
  check "run $round ends well" "status 0" "$(tail -n 1 "$out/run$round.log")"
  "$run" wineserver -k 2>/dev/null && fail "run $round left its Wine session running"
  # "Pinscope's window: WxH at X,Y on the screen", as xdotool found it.
  geometry=$(sed -n "s/^Pinscope's window: \([0-9]*x[0-9]*\) at \([0-9]*\),\([0-9]*\) .*/\1 \2 \3/p" "$out/run$round.log")
  [ -n "$geometry" ] || { fail "run $round: no window"; continue; }
  set -- $geometry
  check "run $round: the window has the layout's size" "$expected_size" "$1"
  origin_x=$2 origin_y=$3
  shot=$out/pinscope$round.png
  [ -s "$shot" ] || { fail "run $round: no screenshot $shot"; continue; }
  wrong=0
  while read -r what x y w h colour; do
    [ "$what" = control ] || continue
    convert "$shot" -crop "${w}x$h+$((origin_x + x))+$((origin_y + y))" +repage -format %c histogram:info: |
      grep -qi "#$colour" || { fail "run $round: no #$colour in the control at $x,$y (${w}x$h)"; wrong=1; }
  done <<EOF
$controls
EOF
  [ $wrong -eq 0 ] && ok "run $round: each control shows its layout colour"
done

echo "$failures failed"
[ $failures -eq 0 ]
