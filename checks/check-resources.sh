#!/bin/sh
# The icon and the file properties of a Pinscope program: an icon group MAINICON with one
# image per size, and a version resource whose strings name the product, the program, its
# version and the copyright.
# usage: check-resources.sh OBJDUMP IMAGE ICON_IMAGES KEY=VALUE...
set -eu
objdump=$1 image=$2 icon_images=$3
shift 3
name=$(basename "$image")

# The resource directory as "TYPE NAME" lines: types (RT_ICON 3, RT_GROUP_ICON 14,
# RT_VERSION 16) are the entries three levels in, names five.
resources=$("$objdump" -p "$image" | sed -n '/Resource Directory section/,$p' | awk '
  /^[0-9a-f]+   Entry: ID: / { type = $4 + 0; next }
  /^[0-9a-f]+     Entry: ID: / { print type, $4; next }
  /^[0-9a-f]+     Entry: name: / { sub(/,.*/, ""); print type, $NF }' | sed 's/0x0*//')
has() { echo "$resources" | grep -qx "$1"; }
fail() { echo "FAIL $name: $*"; exit 1; }

has "14 MAINICON" || fail "no icon group MAINICON; resources: $(echo "$resources" | tr '\n' ' ')"
icons=$(echo "$resources" | grep -c '^3 ' || true)
[ "$icons" -eq "$icon_images" ] || fail "$icons icon images, expected $icon_images"
[ "$(echo "$resources" | grep -c '^16 ')" -eq 1 ] || fail "no version resource, or more than one"

# A version string is its key, then its value, each UTF-16 and zero-terminated.
for pair in "$@"; do
  key=${pair%%=*} value=${pair#*=}
  got=$(strings -e l "$image" | grep -A1 -x "$key" | sed -n 2p)
  [ "$got" = "$value" ] || fail "$key is \"$got\", expected \"$value\""
done
echo "ok $name: icon MAINICON ($icons images), version $*"
