#!/bin/sh
# A release archive holds one folder named like it, and in it exactly README.txt and the
# programs as built, stripped as cmake/release-pack.cmake strips them; the text tells what
# it must.
# usage: check-archive.sh STRIP ARCHIVE FOLDER SCRATCH README_PHRASE... -- PROGRAM_IMAGE...
set -eu
strip=$1 archive=$2 folder=$3 scratch=$4
shift 4
case $archive in /*) ;; *) archive=$PWD/$archive ;; esac
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
# Stripping stamps the time it is given into the PE header: the packed program's link time.
u32() { od -An -tu4 -j "$2" -N4 "$1" | tr -d ' '; }
for image in "$@"; do
  packed="$scratch/$folder/$(basename "$image")"
  time=$(u32 "$packed" $(($(u32 "$packed" 60) + 8)))
  SOURCE_DATE_EPOCH=$time "$strip" --strip-all -o "$scratch/expected.exe" "$image"
  cmp -s "$scratch/expected.exe" "$packed" || fail "$(basename "$image") is not the program built, stripped"
  [ "$time" = "$(u32 "$image" $(($(u32 "$image" 60) + 8)))" ] || fail "$(basename "$image") lost its link time"
done
readme="$scratch/$folder/README.txt"
grep -q "$(printf '\r')\$" "$readme" || fail "README.txt does not have Windows line ends"
echo "$phrases" | while IFS= read -r phrase; do
  [ -z "$phrase" ] || grep -qF -e "$phrase" "$readme" || fail "README.txt does not say \"$phrase\""
done
rm -rf "$scratch"
echo "ok $name: $(echo "$got" | tr '\n' ' ')$(wc -c < "$archive") bytes"
