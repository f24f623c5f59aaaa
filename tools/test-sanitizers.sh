#!/usr/bin/env bash
# Builds the native unit and end-to-end tests with AddressSanitizer and
# UndefinedBehaviorSanitizer in build-asan/ and runs them, then the engine's
# tests (the one part that runs threads) and the end-to-end cases whose runs
# cut the log into parts or run at once with ThreadSanitizer in build-tsan/;
# any report fails.
set -u -o pipefail
cd "$(dirname "$0")/.." || exit 1
JOBS=${JOBS:-2}
start=$(date +%s)
echo "== sanitizer build (address, undefined)"
flags="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
# -O1: the sanitizers see the same faults, and the trees build in far less time.
mkdir -p build-asan build-tsan
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g" \
  -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_C_FLAGS="$flags" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >build-asan/configure.log 2>&1 ||
  { cat build-asan/configure.log; exit 1; }
cmake --build build-asan -j"$JOBS" || exit 1
# halt_on_error: a report ends the process with a failure, so ctest sees it.
export ASAN_OPTIONS=halt_on_error=1:abort_on_error=0:detect_leaks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
status=0
(cd build-asan && ctest --output-on-failure --timeout 900 --no-tests=error) || status=1

echo "== address and undefined: $(( $(date +%s) - start )) s"
half=$(date +%s)
echo "== sanitizer build (thread): the engine's tests"
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g" \
  -DCMAKE_CXX_FLAGS="-fsanitize=thread" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=thread" >build-tsan/configure.log 2>&1 ||
  { cat build-tsan/configure.log; exit 1; }
cmake --build build-tsan -j"$JOBS" --target filter_tests quillet e2e_tests || exit 1
export TSAN_OPTIONS=halt_on_error=1:exitcode=66
# Every engine table also runs in parts on threads; two tables move a section
# across the reader's 1 MiB chunk byte by byte, which is the line reader's
# own concern on one thread and took 127 of ThreadSanitizer's 135 s: they run
# in the other trees only.
build-tsan/filter_tests --gtest_brief=1 \
  --gtest_filter='-Quillet.SkippedLinesAcrossTheReadersChunks:Quillet.SkippingKeepsEveryLineThatMayPick' || status=1
build-tsan/e2e_tests --gtest_brief=1 \
  --gtest_filter='*Parts*:*Concurrent*:*KeepEveryReport*:*SharedFolders*:*LogRenamed*' || status=1
echo "== thread: $(( $(date +%s) - half )) s; sanitizer builds and tests: $(( $(date +%s) - start )) s"
exit $status
