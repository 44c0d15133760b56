#!/bin/sh
# Takes a signed driver image in place of the one this build made, once it is that very image
# apart from its signature: every byte of the built image the same, but for the two fields a
# signature changes (the PE checksum and the security directory's entry); after them only the
# padding to 8 bytes and the certificate table, which the security directory must name to the
# file's end; and a checksum that is right for the signed file. So nothing of a signed file
# that the kernel maps or runs differs from what was built and checked here.
# usage: same-image.sh BUILT.sys SIGNED.sys OUT.sys
set -eu
built=$1 signed=$2 out=$3
name=$(basename "$signed")
fail() { echo "FAIL $name: $*" >&2; exit 1; }

[ -f "$signed" ] || fail "no such file (sign the driver first, or name the signed image)"
# The copy is what is checked and what is embedded: a file changed after its check is not taken.
cp "$signed" "$out.part"
trap 'rm -f "$out.part"' EXIT
signed=$out.part
word() { od -An -tu4 -j"$2" -N4 "$1" | tr -d ' '; }
half() { od -An -tu2 -j"$2" -N2 "$1" | tr -d ' '; }

size=$(wc -c < "$built")
signed_size=$(wc -c < "$signed")
[ "$signed_size" -gt "$size" ] || fail "no longer than the unsigned image: it carries no signature"
pe=$(word "$built" 60)
checksum=$((pe + 88))
case $(half "$built" $((pe + 24))) in
  267) directory=$((pe + 24 + 128)) ;;  # PE32: data directories at 96, the security one fifth
  523) directory=$((pe + 24 + 144)) ;;  # PE32+: at 112
  *) fail "the built image is no PE32 or PE32+ image" ;;
esac
table=$(word "$signed" "$directory")
length=$(word "$signed" $((directory + 4)))
[ "$table" -ge "$size" ] || fail "its certificate table starts at $table, inside the image's own $size bytes"
[ $((table + length)) -eq "$signed_size" ] || fail "its certificate table does not end the file"
[ $((table - size)) -lt 8 ] || fail "more than padding between the image and its certificate table"

# Every differing byte within the built image's length must be one of the two fields.
differing=$(cmp -l "$built" "$signed" 2>/dev/null | awk '{ print $1 - 1 }' |
  awk -v c="$checksum" -v d="$directory" -v n="$size" '
    $1 < n && !($1 >= c && $1 < c + 4) && !($1 >= d && $1 < d + 8) { print; exit }')
[ -z "$differing" ] || fail "differs from the built image at byte $differing: it is not this build's driver"
padding=$(dd if="$signed" bs=1 skip="$size" count=$((table - size)) 2>/dev/null | od -An -tx1 | tr -d ' \n' | tr -d 0)
[ -z "$padding" ] || fail "the padding before its certificate table is not zero"
result=$("$(dirname "$0")/pe-checksum.sh" "$signed" --check) || fail "PE checksum wrong after signing: $result"
mv "$out.part" "$out"
