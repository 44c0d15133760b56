#!/bin/sh
# A release archive holds one folder named like it, and in it exactly the programs as built
# and README.txt; the text tells what it must.
# usage: check-archive.sh ARCHIVE FOLDER SCRATCH README_PHRASE... -- PROGRAM_IMAGE...
set -eu
archive=$1 folder=$2 scratch=$3
shift 3
name=$(basename "$archive")
fail() { echo "FAIL $name: $*"; exit 1; }

phrases=""
while [ "$1" != "--" ]; do phrases="$phrases$1
"; shift; done
shift

expected=$( (for image in "$@"; do echo "$folder/$(basename "$image")"; done; echo "$folder/README.txt") | sort)
got=$(cmake -E tar tf "$archive" | grep -v '/$' | sort)
[ "$got" = "$expected" ] || fail "holds
$got
expected
$expected"

rm -rf "$scratch"
mkdir -p "$scratch"
(cd "$scratch" && cmake -E tar xf "$archive")
for image in "$@"; do
  cmp -s "$image" "$scratch/$folder/$(basename "$image")" || fail "$(basename "$image") is not the one built"
done
readme="$scratch/$folder/README.txt"
grep -q "$(printf '\r')\$" "$readme" || fail "README.txt does not have Windows line ends"
echo "$phrases" | while IFS= read -r phrase; do
  [ -z "$phrase" ] || grep -qF "$phrase" "$readme" || fail "README.txt does not say \"$phrase\""
done
rm -rf "$scratch"
echo "ok $name: $(echo "$got" | tr '\n' ' ')$(wc -c < "$archive") bytes"
