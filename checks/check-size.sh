#!/bin/sh
# A program's footprint: its size stripped of debug information and symbols, as the release
# archive holds it, less its icon (the icon images and their group), which is artwork and not
# code. Fails above LIMIT bytes.
# usage: check-size.sh STRIP OBJDUMP IMAGE LIMIT
set -eu
strip=$1 objdump=$2 image=$3 limit=$4
stripped=$(mktemp)
trap 'rm -f "$stripped"' EXIT
"$strip" -o "$stripped" "$image"
total=$(wc -c < "$stripped")
# The resource directory's leaves of the types RT_ICON (3) and RT_GROUP_ICON (e).
icon=0
for size in $("$objdump" -p "$stripped" | sed -n '/Resource Directory section/,$p' | awk '
  /^[0-9a-f]+   Entry: ID: / { type = $4; next }
  /Leaf: Addr: / && (type == "0x000003," || type == "0x00000e,") { sub(/,$/, "", $6); print $6 }'); do
  icon=$((icon + size))
done
footprint=$((total - icon))
name=$(basename "$image")
if [ "$footprint" -gt "$limit" ]; then
  echo "FAIL $name: $footprint bytes stripped without its icon ($total with it), limit $limit"
  exit 1
fi
echo "ok $name: $footprint bytes stripped without its icon ($total with it), limit $limit"
