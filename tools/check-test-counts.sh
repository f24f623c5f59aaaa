#!/usr/bin/env bash
# Proves that the Windows tests really ran: for every test program, wine's XML
# report must exist, count as many tests as the native program lists, and
# report no failure. (A wine without its 32-bit loader exits 0 silently.)
#   check-test-counts.sh NATIVE_BUILD WIN32_BUILD
#   check-test-counts.sh --one NATIVE_PROGRAM XML_REPORT
set -u
listed() { "$1" --gtest_list_tests 2>/dev/null | grep -c '^  '; }
check() {  # name native_program xml
  local want got failures errors
  want=$(listed "$2")
  if [ ! -s "$3" ]; then
    echo "MISSING: $1 wrote no test report under wine ($3): its tests did not run"
    return 1
  fi
  got=$(grep -o '<testsuites tests="[0-9]*"' "$3" | grep -o '[0-9]*')
  failures=$(grep -o '<testsuites tests="[0-9]*" failures="[0-9]*"' "$3" | grep -o 'failures="[0-9]*"' | grep -o '[0-9]*')
  errors=$(grep -o '<testsuites[^>]* errors="[0-9]*"' "$3" | grep -o 'errors="[0-9]*"' | grep -o '[0-9]*')
  if [ "$got" != "$want" ] || [ "${failures:-1}" != 0 ] || [ "${errors:-1}" != 0 ]; then
    echo "MISMATCH: $1 ran $got of $want tests under wine, failures ${failures:-?}, errors ${errors:-?}"
    return 1
  fi
  echo "ok: $1 ran $got tests under wine"
}
if [ "${1:-}" = --one ]; then
  check "$(basename "$2")" "$2" "$3"
  exit $?
fi
native=$1 win=$2 rc=0 n=0
# The test programs that ctest knows, not whatever .exe files lie around.
for name in $(ctest --test-dir "$win" -N | sed -n 's/^ *Test *#[0-9]*: *//p'); do
  check "$name" "$native/$name" "$win/test-results/$name.xml" || rc=1
  n=$((n + 1))
done
[ $n -gt 0 ] || { echo "MISSING: no Windows test programs in $win"; rc=1; }
exit $rc
