#!/bin/sh
# The programs of a release archive, as packed, run under Wine: the console program tells its
# version, and the window comes up and closes again the way its close box closes it. Run it
# through scripts/with-xvfb and scripts/wine-session.
# usage: check-archive-runs.sh BUILD/wine-run ARCHIVE FOLDER SCRATCH VERSION
set -u
run=$1 archive=$2 folder=$3 scratch=$4 version=$5
scripts=$(dirname "$0")/../scripts
name=$(basename "$archive")
fail() { echo "FAIL $name: $*"; exit 1; }

rm -rf "$scratch"
mkdir -p "$scratch"
(cd "$scratch" && cmake -E tar xf "$archive") || fail "does not unpack"
programs=$scratch/$folder

"$run" "$programs/pinscope-cli.exe" --version </dev/null >"$scratch/version.out" 2>&1
status=$?
said=$(tr -d '\r' <"$scratch/version.out")
[ $status -eq 0 ] || fail "pinscope-cli.exe --version ended with status $status: $said"
echo "$said" | grep -qF "$version" || fail "pinscope-cli.exe --version says '$said', not $version"

"$run" "$programs/pinscope.exe" </dev/null >/dev/null 2>&1 &
pinscope=$!
"$scripts/wait-window" Pinscope 120 $pinscope >/dev/null || fail "pinscope.exe showed no window"
"$run" taskkill /im pinscope.exe >/dev/null 2>&1
for _ in $(seq 40); do
  kill -0 $pinscope 2>/dev/null || break
  sleep 0.25
done
kill -0 $pinscope 2>/dev/null && fail "pinscope.exe did not close in 10 s"
wait $pinscope || fail "pinscope.exe ended with status $?"
rm -rf "$scratch"
echo "ok $name: '$said', and pinscope.exe's window came and closed"
