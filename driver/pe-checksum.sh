#!/bin/sh
# Computes a PE image's checksum and writes it into the optional header, or with --check
# compares it with the one stored there. Windows refuses a driver whose checksum is wrong,
# and GNU ld leaves the field 0.
# usage: pe-checksum.sh IMAGE [--check]
set -eu
image=$1

# The field sits 88 bytes into the PE header, in PE32 and PE32+ alike.
pe=$(od -An -tu4 -j60 -N4 "$image" | tr -d ' ')
field=$((pe + 88))

# The one's-complement sum of the image's 16-bit words, the field itself taken as 0,
# folded to 16 bits, plus the file's length.
sum=$(od -An -v -tu2 "$image" | awk -v skip=$((field / 2)) '
  { for (i = 1; i <= NF; i++) {
      if (n != skip && n != skip + 1) { s += $i; s = s % 65536 + int(s / 65536) }
      n++
  } }
  END { print s % 65536 + int(s / 65536) }')
checksum=$((sum + $(wc -c < "$image")))

if [ "${2:-}" = "--check" ]; then
  stored=$(od -An -tu4 -j"$field" -N4 "$image" | tr -d ' ')
  if [ "$stored" -ne "$checksum" ]; then
    printf 'checksum %08x stored, %08x computed\n' "$stored" "$checksum"
    exit 1
  fi
  exit 0
fi

octal() { printf '\\%03o' $(($1 & 255)); }
# shellcheck disable=SC2059
printf "$(octal $checksum)$(octal $((checksum >> 8)))$(octal $((checksum >> 16)))$(octal $((checksum >> 24)))" |
  dd of="$image" bs=1 seek="$field" conv=notrunc 2>/dev/null
