#!/usr/bin/env bash
# make test: installs what is missing, builds both programs and runs every test,
# natively and under wine. Exits non-zero when any test failed or did not run,
# and when a build has no tests (no GoogleTest) or a test program ran none.
# Every leg's time is printed at the end. Logs stay in the build trees.
set -u -o pipefail
cd "$(dirname "$0")/.." || exit 1
JOBS=${JOBS:-2}
status=0
legs=()

# leg NAME COMMAND...: runs one leg and notes its time; a failure fails make test.
leg() {
  local name=$1 start rc
  shift
  echo "== $name"
  start=$(date +%s)
  "$@"
  rc=$?
  legs+=("$(printf '%6d s  %s' $(($(date +%s) - start)) "$name")$([ $rc = 0 ] || echo '  FAILED')")
  [ $rc = 0 ] || status=1
  return $rc
}
finish() {
  echo "== leg times"
  printf '%s\n' "${legs[@]}"
  tools/count-results.sh "$@" || status=1
  if [ $status -eq 0 ]; then echo "make test: all tests passed in both builds"; else echo "make test: FAILED"; fi
  exit $status
}
# configure TREE ARGS...: a tree's cmake run, its output kept in the tree.
configure() {
  local tree=$1
  shift
  mkdir -p "$tree"
  # A second run, or a second clone on the same machine, compiles only what changed.
  command -v ccache >/dev/null && set -- "$@" -DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache
  cmake -S . -B "$tree" "$@" >"$tree/configure.log" 2>&1 || { cat "$tree/configure.log"; return 1; }
  # Without GoogleTest the tree has no tests, and ctest would pass on nothing.
  if [ "$(ctest --test-dir "$tree" -N 2>/dev/null | grep -c 'Test *#')" = 0 ]; then
    echo "make test: $tree has no tests: GoogleTest (libgtest-dev) is missing; tools/install-deps.sh installs it as root"
    return 1
  fi
}
native_build() { configure build -DCMAKE_BUILD_TYPE=Release && cmake --build build -j"$JOBS"; }
native_tests() { rm -f build/test-results/*.xml; (cd build && ctest --output-on-failure --timeout 600 --no-tests=error); }

leg "installs" tools/install-deps.sh
leg "native build" native_build || finish
leg "native tests" native_tests
leg "terminal" tools/test-terminal.sh
leg "sanitizer builds and tests" tools/test-sanitizers.sh

why=""
command -v i686-w64-mingw32-g++-posix >/dev/null || why="the cross compiler i686-w64-mingw32-g++-posix is missing"
command -v wine >/dev/null || why="${why:+$why; }wine is missing"
dpkg -s wine32:i386 >/dev/null 2>&1 || why="${why:+$why; }wine32:i386 is missing"
if [ -n "$why" ]; then
  echo "WINDOWS LEG NOT RUN: $why; only the native tests ran."
  finish build/test-results/*.xml
fi

win_build() {
  configure build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686-posix.cmake -DCMAKE_BUILD_TYPE=Release &&
    cmake --build build-win32 -j"$JOBS" || return 1
  # A run that draws nothing must not load user32 or gdi32 (user32 alone costs
  # every start under wine 30-50 ms): only the window loads them, by name.
  if i686-w64-mingw32-objdump -p build-win32/Quillet.exe | grep -qiE "DLL Name: (user32|gdi32)"; then
    echo "make test: Quillet.exe imports user32 or gdi32; the window's calls go through its table of calls"
    return 1
  fi
}
leg "Windows build" win_build || finish build/test-results/*.xml

# A persistent wineserver, booted before ctest, keeps the services that the
# first wine process starts away from ctest's pipes (else every test waits).
# One locale for every wine process: a process started with another one resets
# the prefix's regional settings. A server that this run did not start is left
# running; only our own is stopped.
export LANG=C.UTF-8 LC_ALL=C.UTF-8
export WINEPREFIX="$PWD/build-win32/wineprefix" WINEDEBUG=-all WINEARCH=win32
mkdir -p "$WINEPREFIX"
own_wineserver=0
wineserver -p >/dev/null 2>&1 && own_wineserver=1
wineboot -i </dev/null >/dev/null 2>&1

win_tests() {
  rm -f build-win32/test-results/*.xml
  (cd build-win32 && ctest --output-on-failure --timeout 300 --no-tests=error)
  local rc=$?
  tools/check-test-counts.sh build build-win32 && return $rc
}
e2e_wine() {
  QUILLET_E2E_PROGRAM="$PWD/build-win32/Quillet.exe" QUILLET_E2E_WINE="$PWD/cmake/wine-run.sh" \
    build/e2e_tests --gtest_output=xml:build-win32/test-results/e2e_wine.xml
  local rc=$?
  tools/check-test-counts.sh --one build/e2e_tests build-win32/test-results/e2e_wine.xml && return $rc
}
leg "Windows tests under wine" win_tests
leg "end-to-end tests of Quillet.exe under wine" e2e_wine
leg "console output of Quillet.exe" tools/check-console.sh build-win32/Quillet.exe
leg "install, uninstall, deb and zip" tools/test-install.sh
leg "Windows locales" tools/test-locales.sh build-win32/Quillet.exe
# The window test needs a server that has a display: it starts its own, so ours goes first.
[ $own_wineserver = 1 ] && { wineserver -k; wineserver -w; } >/dev/null 2>&1
leg "Windows window under Xvfb" tools/test-window.sh
finish build/test-results/*.xml build-win32/test-results/*.xml
