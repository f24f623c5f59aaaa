#!/usr/bin/env bash
# One closing line over the gtest XML reports of both builds.
passed=0 failed=0 skipped=0
for xml in "$@"; do
  [ -s "$xml" ] || continue
  head=$(grep -o '<testsuites [^>]*>' "$xml" | head -n 1)
  tests=$(grep -o ' tests="[0-9]*"' <<<"$head" | grep -o '[0-9]*')
  fails=$(grep -o ' failures="[0-9]*"' <<<"$head" | grep -o '[0-9]*')
  errors=$(grep -o ' errors="[0-9]*"' <<<"$head" | grep -o '[0-9]*')
  skips=$(grep -c 'result="skipped"' "$xml")
  passed=$((passed + ${tests:-0} - ${fails:-0} - ${errors:-0} - skips))
  failed=$((failed + ${fails:-0} + ${errors:-0}))
  skipped=$((skipped + skips))
done
echo "tests: $passed passed, $failed failed, $skipped skipped"
