#!/bin/sh
# Static checks of a built Windows image, for flavours that cannot run it here:
# its format, that it needs no DLL beyond the system's own, and its size.
# usage: check-pe.sh OBJDUMP IMAGE EXPECTED_FORMAT
set -eu
objdump=$1 image=$2 expected=$3

format=$("$objdump" -f "$image" | sed -n 's/.*file format //p')
if [ "$format" != "$expected" ]; then
  echo "FAIL $image: format $format, expected $expected"
  exit 1
fi

# A statically linked program imports only from DLLs that every Windows has.
unexpected=$("$objdump" -p "$image" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' |
  grep -vxE 'kernel32\.dll|user32\.dll|gdi32\.dll|advapi32\.dll|msvcrt\.dll|comctl32\.dll|ntdll\.dll|api-ms-win-.*' || true)
if [ -n "$unexpected" ]; then
  echo "FAIL $image: imports from $unexpected"
  exit 1
fi

echo "ok $(basename "$image"): $format, $(wc -c < "$image") bytes"
