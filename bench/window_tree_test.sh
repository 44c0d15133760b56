#!/bin/sh
# The same-work baseline's window tree against Pinscope's, with the two ports provisioned that
# both list. Run it through scripts/with-xvfb and scripts/wine-session.
# usage: window_tree_test.sh BUILD/wine-run WINDOW_TREE.exe PINSCOPE.exe BASELINE.exe PROVISION_PORTS.exe
set -eu
run=$1
windows_path() { "$run" winepath -w "$1" 2>/dev/null | tr -d '\r'; }
"$run" "$5" LPT1=0x378 LPT2=0x278 >/dev/null
"$run" "$2" "$(windows_path "$3")" "$(windows_path "$4")"
