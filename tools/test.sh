#!/usr/bin/env bash
# make test: installs what is missing, builds both programs and runs every test,
# natively and under wine. Exits non-zero when any test failed or did not run.
set -u -o pipefail
cd "$(dirname "$0")/.."
JOBS=${JOBS:-2}
status=0

tools/install-deps.sh

echo "== native build"
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/tmp/quillet-cmake-native.log 2>&1 ||
  { cat /tmp/quillet-cmake-native.log; exit 1; }
cmake --build build -j"$JOBS" || exit 1
rm -f build/test-results/*.xml
(cd build && ctest --output-on-failure --timeout 600) || status=1
tools/test-terminal.sh || status=1
tools/test-sanitizers.sh || status=1

echo "== Windows build"
why=""
command -v i686-w64-mingw32-g++-posix >/dev/null || why="the cross compiler i686-w64-mingw32-g++-posix is missing"
command -v wine >/dev/null || why="${why:+$why; }wine is missing"
dpkg -s wine32:i386 >/dev/null 2>&1 || why="${why:+$why; }wine32:i386 is missing"
if [ -n "$why" ]; then
  echo "WINDOWS LEG NOT RUN: $why; only the native tests ran."
  tools/count-results.sh build/test-results/*.xml
  exit $status
fi

cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686-posix.cmake \
  -DCMAKE_BUILD_TYPE=Release >/tmp/quillet-cmake-win32.log 2>&1 || { cat /tmp/quillet-cmake-win32.log; exit 1; }
cmake --build build-win32 -j"$JOBS" || exit 1

# A persistent wineserver, booted before ctest, keeps the services that the
# first wine process starts away from ctest's pipes (else every test waits).
# One locale for every wine process: a process started with another one resets
# the prefix's regional settings.
export LANG=C.UTF-8 LC_ALL=C.UTF-8
export WINEPREFIX="$PWD/build-win32/wineprefix" WINEDEBUG=-all WINEARCH=win32
mkdir -p "$WINEPREFIX"
wineserver -k >/dev/null 2>&1
wineserver -p >/dev/null 2>&1
wineboot -i </dev/null >/dev/null 2>&1

rm -f build-win32/test-results/*.xml
(cd build-win32 && ctest --output-on-failure --timeout 300) || status=1
tools/check-test-counts.sh build build-win32 || status=1

if [ -x build/e2e_tests ]; then
  echo "== end-to-end tests of build-win32/Quillet.exe under wine"
  QUILLET_E2E_PROGRAM="$PWD/build-win32/Quillet.exe" QUILLET_E2E_WINE="$PWD/cmake/wine-run.sh" \
    build/e2e_tests --gtest_output=xml:build-win32/test-results/e2e_wine.xml || status=1
  tools/check-test-counts.sh --one build/e2e_tests build-win32/test-results/e2e_wine.xml || status=1
fi

echo "== console output of build-win32/Quillet.exe"
tools/check-console.sh build-win32/Quillet.exe || status=1
tools/test-install.sh || status=1
tools/test-window.sh || status=1
tools/test-locales.sh build-win32/Quillet.exe || status=1

wineserver -k >/dev/null 2>&1
tools/count-results.sh build/test-results/*.xml build-win32/test-results/*.xml
if [ $status -eq 0 ]; then echo "make test: all tests passed in both builds"; else echo "make test: FAILED"; fi
exit $status
