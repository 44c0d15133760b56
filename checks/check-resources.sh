#!/bin/sh
# The icon and the file properties of a Pinscope program: an icon group MAINICON with one
# image per size, and a version resource whose strings name the product, the program, its
# version and the copyright.
# usage: check-resources.sh OBJDUMP IMAGE ICON_IMAGES KEY=VALUE...
set -eu
objdump=$1 image=$2 icon_images=$3
shift 3
name=$(basename "$image")

# The resource directory as "TYPE NAME" lines, the type in hex (RT_ICON 3, RT_GROUP_ICON e,
# RT_VERSION 10): types are the entries three levels in, names five; and the version
# resource's data as "version RVA SIZE".
resources=$("$objdump" -p "$image" | sed -n '/Resource Directory section/,$p' | awk '
  function hex(text) { sub(/,$/, "", text); sub(/^0x0*/, "", text); return text }
  /^[0-9a-f]+   Entry: ID: / { type = hex($4); next }
  /^[0-9a-f]+     Entry: ID: / { print type, hex($4); next }
  /^[0-9a-f]+     Entry: name: / { sub(/,.*/, ""); print type, $NF; next }
  /Leaf: Addr: / && type == "10" { print "version", hex($4), hex($6) }')
has() { echo "$resources" | grep -qx "$1"; }
fail() { echo "FAIL $name: $*"; exit 1; }

has "e MAINICON" || fail "no icon group MAINICON; resources: $(echo "$resources" | tr '\n' ' ')"
icons=$(echo "$resources" | grep -c '^3 ' || true)
[ "$icons" -eq "$icon_images" ] || fail "$icons icon images, expected $icon_images"
[ "$(echo "$resources" | grep -c '^10 ')" -eq 1 ] || fail "no version resource, or more than one"

# The version resource's bytes: its RVA, less the resource section's, is its place in the
# section, which starts at the section's file offset. Only these bytes count: the driver the
# program carries has file properties of its own.
set -- $(echo "$resources" | sed -n 's/^version //p') "$@"
rva=$((0x$1)) size=$((0x$2))
shift 2
section=$("$objdump" -h "$image" | awk '$2 == ".rsrc" { print $4, $6 }')
image_base=$("$objdump" -p "$image" | awk '$1 == "ImageBase" { print $2 }')
offset=$((rva - (0x${section% *} - 0x$image_base) + 0x${section#* }))
strings_of_version=$(dd if="$image" bs=1 skip="$offset" count="$size" 2>/dev/null | strings -e l -n 1)
echo "$strings_of_version" | grep -qx VS_VERSION_INFO || fail "the version resource is not at $offset"

# A version string is its key, then its value, each UTF-16 and zero-terminated.
for pair in "$@"; do
  key=${pair%%=*} value=${pair#*=}
  got=$(echo "$strings_of_version" | grep -A1 -x "$key" | sed -n 2p)
  [ "$got" = "$value" ] || fail "$key is \"$got\", expected \"$value\""
done
echo "ok $name: icon MAINICON ($icons images), version $*"
