# Sourced by the test scripts that run our programs under Wine: each check says ok or FAIL,
# failures are counted, and the "vlio" service is looked at and taken away through Wine's sc.
# Expects $run, the build's wine-run.
failures=0
ok() { echo "ok: $*"; }
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

service_state() {  # RUNNING, STOPPED, ... or none
  state=$("$run" sc query vlio 2>/dev/null | tr -d '\r' | sed -n 's/.*STATE *: *[0-9]* *\([A-Z_]*\).*/\1/p')
  echo "${state:-none}"
}
remove_service() {  # what a killed program leaves behind
  "$run" sc stop vlio >/dev/null 2>&1
  "$run" sc delete vlio >/dev/null 2>&1
}
# The last line of a script: the count, and its exit status.
finish() {
  echo "$failures failure(s)"
  [ "$failures" = 0 ]
}
