# Sourced by the console program's Wine tests, with their arguments (BUILD/wine-run
# PINSCOPE-CLI-VIRTUAL.exe PROVISION_PORTS.exe OUTDIR): provisions the virtual-port driver's
# ports, leaves no service from before, and gives the cases' helpers, one run of the program per
# case with its output kept in OUTDIR.
run=$1 program=$2 provision=$3 out=$4
# Nothing of an earlier run's output can pass for this one's.
rm -rf "$out"
mkdir -p "$out"
. "$(dirname "$0")/../testing/wine_checks.sh"

trap remove_service EXIT

"$run" "$provision" >/dev/null
map_lpt1
remove_service

# case NAME EXPECTED-CODE ARGS...: runs the program once; its output in $out/NAME.out and .err
case_() {
  name=$1 expected=$2
  shift 2
  "$run" "$program" "$@" >"$out/$name.out" 2>"$out/$name.err" </dev/null
  code=$?
  tr -d '\r' <"$out/$name.out" >"$out/$name.txt"
  if [ "$code" = "$expected" ]; then ok "$name: exit $code"; else
    fail "$name: exit $code, expected $expected"
    sed 's/^/  | /' "$out/$name.out" "$out/$name.err"
  fi
  left=$(service_state)
  if [ "$left" = none ]; then ok "$name: no vlio service left"; else
    fail "$name: vlio service left ($left)"
    sed 's/^/  | /' "$out/$name.err"
    remove_service
  fi
}
shows() {  # shows NAME PATTERN: the output of NAME has a line matching the extended regex
  if grep -Eq "$2" "$out/$1.txt"; then ok "$1: shows '$2'"; else
    fail "$1: no line matches '$2'"
    sed 's/^/  | /' "$out/$1.txt"
  fi
}
says() {  # says NAME TEXT: standard error of NAME holds TEXT
  if grep -Fq "$2" "$out/$1.err"; then ok "$1: says '$2'"; else
    fail "$1: standard error lacks '$2'"
    sed 's/^/  | /' "$out/$1.err"
  fi
}
