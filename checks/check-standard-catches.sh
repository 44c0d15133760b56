#!/bin/sh
# The shipped programs raise the standard library's logic and runtime error kinds as one kind
# of their own (programs/standard_errors.cpp), which only a handler of std::exception catches. A
# handler that names one of those kinds would never run in what ships, while every test
# program, which keeps the library's own kinds, would see it work. Fails on any such handler in
# the product's code (tests may name them).
# usage: check-standard-catches.sh SOURCE_DIR...
set -eu
kinds='logic_error|domain_error|invalid_argument|length_error|out_of_range|runtime_error|range_error|overflow_error|underflow_error'
found=$(grep -rnE --include='*.cpp' --include='*.h' "catch[[:space:]]*\([^)]*\<($kinds)\>" "$@" |
  grep -vE '^[^:]*_test\.cpp:' || true)
if [ -n "$found" ]; then
  echo "FAIL: handlers of a standard error kind that the shipped programs never raise (catch std::exception):"
  echo "$found"
  exit 1
fi
echo "ok: no product code catches a standard logic or runtime error kind by name"
