#!/bin/sh
# Writes a copy of a driver image with one defect that memory integrity refuses, for the
# negative tests of check-hvci.sh:
#   nx         the NX-compatible mark cleared
#   allocator  its IoDeleteSymbolicLink import renamed to the pool allocator ExAllocatePool2
#   unaligned  its last section moved half a page up, off its page boundary
# usage: break-image.sh IMAGE nx|allocator|unaligned OUT
set -eu
image=$1 defect=$2 out=$3
cp "$image" "$out"

u16() { od -An -tu2 -j "$1" -N2 "$out" | tr -d ' '; }
u32() { od -An -tu4 -j "$1" -N4 "$out" | tr -d ' '; }
# put OFFSET VALUE SIZE: VALUE as SIZE little-endian bytes at OFFSET.
put() {
  value=$2 bytes="" i=0
  while [ "$i" -lt "$3" ]; do
    bytes="$bytes$(printf '\\%03o' $((value & 255)))"
    value=$((value >> 8)) i=$((i + 1))
  done
  printf "$bytes" | dd of="$out" bs=1 seek="$1" conv=notrunc 2>/dev/null
}

pe=$(u32 60)
case $defect in
  nx)
    # DllCharacteristics, at the same place in the PE32 and PE32+ optional headers.
    at=$((pe + 24 + 70))
    put "$at" $(($(u16 "$at") & ~0x100)) 2 ;;
  allocator)
    at=$(grep -aboF IoDeleteSymbolicLink "$out" | head -n 1 | cut -d: -f1)
    [ -n "$at" ] || { echo "break-image.sh: no IoDeleteSymbolicLink import in $image" >&2; exit 1; }
    printf 'ExAllocatePool2\000' | dd of="$out" bs=1 seek="$at" conv=notrunc 2>/dev/null ;;
  unaligned)
    sections=$(u16 $((pe + 6)))
    entry=$((pe + 24 + $(u16 $((pe + 20))) + 40 * (sections - 1)))
    put $((entry + 12)) $(($(u32 $((entry + 12))) + 0x800)) 4 ;;
  *)
    echo "break-image.sh: unknown defect $defect" >&2
    exit 1 ;;
esac
