#!/bin/sh
# Static checks of a driver image against four of the rules of memory integrity
# (hypervisor-protected code integrity). Passing them does not mean the image loads there:
# its signature and what its code does at run time are not checked. Memory integrity maps
# every page either writable or executable, never both, and refuses images that would need
# otherwise:
# - sections start on page boundaries (a section alignment that is a multiple of 0x1000), so
#   each page belongs to one section and takes that section's protection;
# - no section is both writable and executable;
# - the image is marked NX compatible;
# - it imports no pool or memory allocator, so nothing it runs can come from executable pool
#   (freeing what the system allocated for it, ExFreePool, allocates nothing and passes).
# The section headers are read from the file itself, as the loader reads them. Every rule
# broken gets its own FAIL line.
# usage: check-hvci.sh OBJDUMP IMAGE
set -eu
objdump=$1 image=$2
name=$(basename "$image")
failed=0
fail() { echo "FAIL $name: $*"; failed=1; }
die() { echo "FAIL $name: $*"; exit 1; }

header=$("$objdump" -p "$image")
field() { echo "$header" | sed -n "s/^$1[[:space:]]\{1,\}//p" | head -n 1; }

alignment=$((0x$(field SectionAlignment)))
[ $((alignment % 4096)) -eq 0 ] || fail "section alignment $(printf 0x%x $alignment), not a multiple of 0x1000"
[ $((0x$(field DllCharacteristics) & 0x100)) -ne 0 ] || fail "not marked NX compatible"

allocators=$(echo "$header" | grep -Eo '\b(ExAllocatePool[A-Za-z0-9]*|MmAllocate[A-Za-z]*|MmMapLockedPages[A-Za-z]*)\b' | sort -u || true)
[ -z "$allocators" ] || fail "imports $allocators"

# Little-endian fields of the file, as unsigned numbers.
u16() { od -An -tu2 -j "$1" -N2 "$image" | tr -d ' '; }
u32() { od -An -tu4 -j "$1" -N4 "$image" | tr -d ' '; }
pe=$(u32 60)
[ "$(dd if="$image" bs=1 skip="$pe" count=4 2>/dev/null | od -An -c | tr -d ' ')" = 'PE\0\0' ] || die "no PE signature"
sections=$(u16 $((pe + 6)))
table=$((pe + 24 + $(u16 $((pe + 20)))))
index=0
while [ "$index" -lt "$sections" ]; do
  entry=$((table + 40 * index))
  section=$(dd if="$image" bs=1 skip="$entry" count=8 2>/dev/null | tr -d '\000')
  address=$(u32 $((entry + 12)))
  flags=$(u32 $((entry + 36)))
  [ $((address % alignment)) -eq 0 ] || fail "section $section at $(printf 0x%x "$address"), off a page boundary"
  # IMAGE_SCN_MEM_EXECUTE and IMAGE_SCN_MEM_WRITE
  if [ $((flags & 0x20000000)) -ne 0 ] && [ $((flags & 0x80000000)) -ne 0 ]; then
    fail "section $section is writable and executable (characteristics $(printf 0x%08x "$flags"))"
  fi
  index=$((index + 1))
done
[ "$failed" -eq 0 ] || exit 1
echo "ok $name: $sections sections on $(printf 0x%x $alignment) pages, none writable and executable, NX compatible"
