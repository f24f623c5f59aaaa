#!/bin/sh
# Runs a Windows test program under wine in the build tree's own prefix.
# The first call starts a persistent wineserver and boots the prefix under a
# lock, detached from the caller's pipes: otherwise the services that the first
# wine process starts keep ctest's pipes open and every test waits for them.
: "${WINEPREFIX:=$(cd "$(dirname "$0")/.." && pwd)/build-win32/wineprefix}"
: "${WINEDEBUG:=-all}"
: "${WINEARCH:=win32}"
export WINEPREFIX WINEDEBUG WINEARCH
mkdir -p "$WINEPREFIX"
# wineserver -p succeeds only when it starts a new server; then boot the
# prefix so that its services start here, not under the test's pipes.
flock -o "$WINEPREFIX/.warmup.lock" sh -c \
  'wineserver -p 2>/dev/null && wineboot -i' </dev/null >/dev/null 2>&1
exec wine "$@"
