#!/usr/bin/env bash
# Prints a short account of the failed tests of one configuration's last CTest run: for the
# first three failed tests, the name, the first lines of the first failure and the first lines
# of the test's output that speak of an error, folded at 220 characters. test.sh prints it
# last, so the end of a long run says why it failed.
set -uo pipefail
log="${1:?usage: failure-digest.sh build/<config>/Testing/Temporary/LastTest.log}"
[ -f "$log" ] || { echo "no test log at $log"; exit 0; }
awk '
  function flush() {
    if (test != "" && failed && ++n <= 3) {
      print "--- " test
      if (first != "") print first
      if (errors != "") print errors
      if (first == "" && errors == "") print "  (no failure message in the log)"
    }
    test = ""; first = ""; errors = ""; take = 0; failed = 0; nerr = 0
  }
  /^[0-9]+\/[0-9]+ Test: / { flush(); test = $3; next }
  test == "" { next }
  /^Test Failed/ { failed = 1; next }
  /^"[^"]+" end time:/ { flush(); next }
  take > 0 { first = first "\n  " $0; take--; next }
  /^(Command|Directory|Output):|" start time:|^Note: Google Test filter|^\[ *(RUN|OK|FAILED|PASSED) *\]/ { next }
  first == "" && (/: Failure$/ || /Exception:|Sanitizer|runtime error:|Segmentation fault|Aborted|Killed/) {
    first = $0; sub(/^[^ ]*\//, "", first); take = 6; next
  }
  nerr < 3 && /[Ee]rror|failed|[Rr]efused|[Cc]annot|not found/ { errors = errors (nerr++ ? "\n" : "") "  > " $0 }
  END { flush(); if (n > 3) print "--- and " n - 3 " more" }
' "$log" | fold -w 220
