#!/bin/sh
# Static checks of a built driver image, as nothing here can load one: its format, that it
# is a native image starting at DriverEntry, that it imports exactly the kernel routines it
# calls, that it can be relocated and carries its version block and a valid checksum, that
# its sections lie where a packed image's must, and its size.
# usage: check-driver.sh OBJDUMP IMAGE i386|amd64 ENTRY_SYMBOL SIZE_LIMIT(0: none) DLL!ROUTINE...
set -eu
objdump=$1 image=$2 arch=$3 entry=$4 limit=$5
shift 5
name=$(basename "$image")
fail() { echo "FAIL $name: $*"; exit 1; }

header=$("$objdump" -p "$image")
field() { echo "$header" | sed -n "s/^$1[[:space:]]\{1,\}//p" | head -n 1; }

case $arch in
  i386) format=pei-i386 magic=010b ;;
  amd64) format=pei-x86-64 magic=020b ;;
  *) fail "unknown architecture $arch" ;;
esac
actual=$("$objdump" -f "$image" | sed -n 's/.*file format //p')
[ "$actual" = "$format" ] || fail "format $actual, expected $format"
case $(field Magic) in "$magic"*) ;; *) fail "optional header magic $(field Magic), expected $magic" ;; esac
case $(field Subsystem) in 00000001*) ;; *) fail "subsystem $(field Subsystem), expected 1 (native)" ;; esac
if [ "$arch" = i386 ]; then
  [ "$(field ImageBase)" = 00010000 ] || fail "image base $(field ImageBase), expected 00010000"
fi

# Sections packed below a page are mapped as the file holds them, so each must sit at its own
# file offset; one without file data (uninitialised) before another moves that one off it.
if [ $((0x$(field SectionAlignment))) -lt 4096 ]; then
  "$objdump" -h "$image" | awk '$1 ~ /^[0-9]+$/ && NF >= 7 { print $2, $4, $6 }' > "$image.sections"
  while read -r section vma offset; do
    [ $((0x$vma - 0x$(field ImageBase))) -eq $((0x$offset)) ] ||
      { rm -f "$image.sections"; fail "section $section at $(printf %x $((0x$vma))), file offset 0x$offset"; }
  done < "$image.sections"
  rm -f "$image.sections"
fi

# The entry point, against where the link map put DriverEntry.
base=$((0x$(field ImageBase)))
start=$((base + 0x$(field AddressOfEntryPoint)))
# The map leaves off the leading underscore of i386 C names.
symbol=$(sed -n "s/^[[:space:]]*0x\([0-9a-f]*\)[[:space:]]\{1,\}_\{0,1\}${entry#_}\$/\1/p" "${image%.*}.map" | head -n 1)
[ -n "$symbol" ] || fail "$entry is not in the link map"
[ "$start" -eq $((0x$symbol)) ] || fail "entry point $(printf %x $start), $entry at $symbol"

# The kernel loads drivers wherever it has room, so the image must be relocatable. i386 code
# reaches its imports through absolute addresses, which need fixups; amd64 code is
# RIP-relative and may have none, and the linker then leaves .reloc out.
if echo "$header" | grep -q 'relocations stripped'; then fail "relocations stripped"; fi
if [ "$arch" = i386 ] && ! "$objdump" -h "$image" | grep -q ' \.reloc '; then fail "no .reloc section"; fi

imports=$(echo "$header" | awk '
  /^[[:space:]]*DLL Name:/ { dll = tolower($3); next }
  dll != "" && NF == 3 && $1 ~ /^[0-9a-f]+$/ && $2 ~ /^[0-9]+$/ { print dll "!" $3; next }
  /^$/ && seen { dll = "" }
  dll != "" { seen = 1 }' | sort)
expected=$(for routine in "$@"; do echo "$routine"; done | sort)
[ "$imports" = "$expected" ] || fail "imports
$imports
expected
$expected"

tr -d '\000' < "$image" | grep -q 'Pinscope port I/O driver' || fail "no version block naming the driver"
"$(dirname "$0")/pe-checksum.sh" "$image" --check || fail "checksum"

size=$(wc -c < "$image")
if [ "$limit" -gt 0 ] && [ "$size" -gt "$limit" ]; then fail "$size bytes, more than $limit"; fi
echo "ok $name: $format, native, entry $entry, $(echo "$imports" | wc -l) imports, $size bytes"
