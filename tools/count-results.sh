#!/usr/bin/env bash
# One closing line over the gtest XML reports of both builds. Fails when a
# report counts no test, or when the reports count none at all: a run that
# executed nothing has proved nothing.
passed=0 failed=0 skipped=0 status=0
for xml in "$@"; do
  [ -s "$xml" ] || continue
  head=$(grep -o '<testsuites [^>]*>' "$xml" | head -n 1)
  tests=$(grep -o ' tests="[0-9]*"' <<<"$head" | grep -o '[0-9]*')
  fails=$(grep -o ' failures="[0-9]*"' <<<"$head" | grep -o '[0-9]*')
  errors=$(grep -o ' errors="[0-9]*"' <<<"$head" | grep -o '[0-9]*')
  skips=$(grep -c 'result="skipped"' "$xml")
  if [ "${tests:-0}" = 0 ] || [ "${tests:-0}" = "$skips" ]; then
    echo "NO TESTS RAN: $xml reports no test that ran"
    status=1
  fi
  passed=$((passed + ${tests:-0} - ${fails:-0} - ${errors:-0} - skips))
  failed=$((failed + ${fails:-0} + ${errors:-0}))
  skipped=$((skipped + skips))
done
echo "tests: $passed passed, $failed failed, $skipped skipped"
if [ $((passed + failed)) = 0 ]; then
  echo "NO TESTS RAN: no test report holds a test that ran"
  status=1
fi
exit $status
