#!/usr/bin/env bash
# make fuzz: builds the libFuzzer targets with clang (address and undefined
# behaviour sanitizers on) in build-fuzz/ and runs each for FUZZ_SECONDS
# (default 60) from its seeds. A finding is saved in build-fuzz/findings/ and
# fails the run; turn it into a regular test.
set -u -o pipefail
cd "$(dirname "$0")/.." || exit 1
JOBS=${JOBS:-2}
SECONDS_EACH=${FUZZ_SECONDS:-60}
CC_FUZZ=clang-14 CXX_FUZZ=clang++-14
command -v "$CXX_FUZZ" >/dev/null 2>&1 || CC_FUZZ=clang CXX_FUZZ=clang++
command -v "$CXX_FUZZ" >/dev/null 2>&1 || { echo "make fuzz: clang is missing (apt-get install clang-14 libclang-rt-14-dev)"; exit 1; }
flags="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -g -O1 -Wno-unknown-warning-option"
mkdir -p build-fuzz
log=build-fuzz/configure.log
cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLET_TESTS=OFF -DQUILLET_FUZZ=ON \
  -DCMAKE_C_COMPILER="$CC_FUZZ" -DCMAKE_CXX_COMPILER="$CXX_FUZZ" \
  -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_C_FLAGS="$flags" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >"$log" 2>&1 ||
  { cat "$log"; exit 1; }
cmake --build build-fuzz -j"$JOBS" || exit 1

mkdir -p build-fuzz/findings
status=0
for target in fuzz_dates fuzz_settings_files fuzz_switches fuzz_engine; do
  corpus=build-fuzz/corpus/$target
  mkdir -p "$corpus"
  cp -n test/fuzz/seeds/"$target"/* "$corpus"/ 2>/dev/null
  # The real logs seed the readers of outside text too: long lines, odd bytes.
  case $target in
  fuzz_dates) ;;
  # The engine takes whole logs behind its 4 bytes of settings: .GE 1990/01/01
  # for every author, and .GE 2003/05/10 for dev1 with the log's last 4 KiB as the old report.
  fuzz_engine) for log in test/data/logs/*.txt; do
      { printf '\042\001\000\000'; cat "$log"; } >"$corpus/log-$(basename "$log")"
      { printf '\032\077\000\020'; cat "$log"; } >"$corpus/log-old-$(basename "$log")"
    done ;;
  *) for log in test/data/logs/*.txt; do
      head -c 4096 "$log" >"$corpus/log-$(basename "$log")"
    done ;;
  esac
  echo "== $target: $SECONDS_EACH s"
  build-fuzz/$target -max_total_time="$SECONDS_EACH" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
    -artifact_prefix=build-fuzz/findings/"$target"- -print_final_stats=1 "$corpus" \
    >build-fuzz/$target.log 2>&1 || { status=1; tail -40 build-fuzz/$target.log; }
  grep -E '^(#[0-9]+.*DONE|stat::number_of_executed_units|stat::peak_rss_mb)' build-fuzz/$target.log | tr '\n' ' '
  echo
done
[ $status -eq 0 ] && echo "make fuzz: no findings" || echo "make fuzz: FINDINGS in build-fuzz/findings/"
exit $status
