#!/usr/bin/env bash
# The Windows switch overview under wine on a virtual display (Xvfb):
#   1. Quillet.exe /? opens the window; window_probe finds it by its caption,
#      reads its text box back through the Win32 API and reports the layout;
#      the text must equal the native overview (platform-dependent defaults
#      aside); a screenshot goes to build-win32/window-test/switch-overview.png;
#      a posted click on OK closes it and the program ends with exit code 0;
#      a second run is closed from the keyboard.
#   2. window_tests.exe: the controller's message order in a real modal loop.
# Needs both builds (run by tools/test.sh after them).
set -u -o pipefail
cd "$(dirname "$0")/.." || exit 1
root=$PWD
out=$root/build-win32/window-test

if [ "${1:-}" != --inside ]; then
  for tool in xvfb-run xauth import xdotool; do
    command -v $tool >/dev/null || { echo "window test: $tool is missing (tools/install-deps.sh installs it)"; exit 1; }
  done
  rm -rf "$out" && mkdir -p "$out"
  start=$(date +%s%N)
  xvfb-run -a -s '-screen 0 1024x768x24' "$0" --inside
  rc=$?
  ms=$((($(date +%s%N) - start) / 1000000))
  echo "window test: $((ms / 1000)).$((ms % 1000 / 100)) s, screenshot $out/switch-overview.png"
  exit $rc
fi

export LANG=C.UTF-8 LC_ALL=C.UTF-8 WINEDEBUG=-all WINEARCH=win32
export WINEPREFIX="${WINEPREFIX:-$root/build-win32/wineprefix}"
status=0
fail() { echo "window test FAILED: $*"; status=1; }
caption="List of registered switches"
work=$(mktemp -d)
# A wineserver started without a display (as for the other Windows tests) has
# a desktop that can show no window, so the test starts the prefix's server
# itself, here; it never stops one that it did not start (tools/test.sh stops
# its own first).
mkdir -p "$WINEPREFIX"  # a server cannot start in a prefix folder that is missing
if ! wineserver -p >/dev/null 2>&1; then
  echo "window test NOT RUN: a wineserver of $WINEPREFIX is running; stop it first (WINEPREFIX=$WINEPREFIX wineserver -k)"
  exit 1
fi
trap 'wineserver -k >/dev/null 2>&1; rm -rf "$work"' EXIT

# 1. The real program.
(cd "$work" && wine "$root/build-win32/Quillet.exe" '/?' </dev/null >stdout.txt 2>stderr.txt; echo $? >rc.txt) &
program=$!
if wine "$root/build-win32/window_probe.exe" read "$caption" "$out/window-text.txt" | tr -d '\r' >"$out/layout.txt"; then
  sleep 0.5
  import -window root "$out/switch-overview.png" || fail "no screenshot"
  wine "$root/build-win32/window_probe.exe" click "$caption" || fail "OK could not be clicked"
else
  fail "the window \"$caption\" did not appear"
fi
for _ in $(seq 100); do [ -s "$work/rc.txt" ] && break; sleep 0.1; done
if [ ! -s "$work/rc.txt" ]; then
  fail "the program did not end after OK"
  kill "$program" 2>/dev/null
elif [ "$(cat "$work/rc.txt")" != 0 ]; then
  fail "exit code $(cat "$work/rc.txt") after the overview"
fi
[ -s "$work/stdout.txt" ] && fail "the program wrote to standard output although it had a window"

# The text box holds what the native program prints after its caption line;
# the defaults that name the program's own place differ by platform.
mask() { sed -E 's#^/(REGPATH|INIPATH|INIFILE|DATE)=.*#/\1=...#'; }
HKCU_FILE="$work/none.reg" "$root/build/quillet" '/?' </dev/null | tail -n +2 | sed 's/\r$//; s/$/\r/' | mask >"$work/expected.txt"
mask <"$out/window-text.txt" >"$work/actual.txt"
cmp -s "$work/expected.txt" "$work/actual.txt" || { fail "text box differs:"; diff "$work/expected.txt" "$work/actual.txt" | head -20; }
grep -qx $'/REGPATH=\\\\Software\\\\ORVEK\\\\Quillet\\\\\r' "$out/window-text.txt" || fail "REGPATH default"
grep -q $'^/INIPATH=.*\\\\build-win32\\\\\r$' "$out/window-text.txt" || fail "INIPATH default"
grep -qx $'/INIFILE=Quillet.ini\r' "$out/window-text.txt" || fail "INIFILE default"
grep -qE $'^/DATE=\\.eq[0-9]{1,2}-[0-9]{1,2}-[0-9]{2,4}\r$' "$out/window-text.txt" || fail "DATE default"
# Client area 617 x 462 as laid out: the controls sit where the layout puts them.
grep -qx 'client 617 462' "$out/layout.txt" || fail "client area: $(head -1 "$out/layout.txt")"
grep -qx 'edit 8 22 600 391' "$out/layout.txt" || fail "text box place: $(grep edit "$out/layout.txt")"
grep -qx 'button 535 426 75 25' "$out/layout.txt" || fail "OK place: $(grep button "$out/layout.txt")"
grep -qx 'edit style multiline=1 readonly=1 vscroll=1 hscroll=0' "$out/layout.txt" || fail "text box style"

# Keys: Tab moves to OK and back to the text box, which passes Enter on to OK.
[ $status -eq 0 ] || exit $status
rm -f "$work/rc.txt"
(cd "$work" && wine "$root/build-win32/Quillet.exe" '/?' </dev/null >/dev/null 2>&1; echo $? >rc.txt) &
if wine "$root/build-win32/window_probe.exe" read "$caption" "$work/again.txt" >/dev/null; then
  xdotool key Tab Tab Return
  for _ in $(seq 50); do [ -s "$work/rc.txt" ] && break; sleep 0.1; done
  [ -s "$work/rc.txt" ] || { fail "Tab Tab Return did not close the window"; wine "$root/build-win32/window_probe.exe" click "$caption"; }
fi
wait

# 2. The controller framework in a real Win32 modal loop.
(cd "$root/build-win32/test-results" &&
  wine "$root/build-win32/window_tests.exe" --gtest_output=xml:window_tests.xml >"$out/window_tests.log" 2>&1) ||
  { fail "window_tests.exe"; cat "$out/window_tests.log"; }
tools/check-test-counts.sh --one build/window_tests build-win32/test-results/window_tests.xml || status=1

[ $status -eq 0 ] && echo "window test: passed"
exit $status
