#!/usr/bin/env bash
# Installs what the builds and tests need, when it is missing and we may.
# Never asks questions; says in one line what it could not get.
set -u
missing_native=()
command -v cmake >/dev/null || missing_native+=(cmake)
command -v g++ >/dev/null || missing_native+=(g++)
command -v make >/dev/null || missing_native+=(make)
[ -f /usr/src/googletest/CMakeLists.txt ] || missing_native+=(libgtest-dev)
command -v flock >/dev/null || missing_native+=(util-linux)
command -v tmux >/dev/null || missing_native+=(tmux)
# make install and make package, and their checks
command -v groff >/dev/null || missing_native+=(groff-base)
command -v man >/dev/null || missing_native+=(man-db)
command -v dpkg-shlibdeps >/dev/null || missing_native+=(dpkg-dev)
command -v file >/dev/null || missing_native+=(file)
command -v unzip >/dev/null || missing_native+=(unzip)
command -v lintian >/dev/null || missing_native+=(lintian)
command -v cvs >/dev/null || missing_native+=(cvs)  # the README's worked example
command -v python3 >/dev/null || missing_native+=(python3)  # the locale check reads .reg text
# The switch overview: ncurses on a terminal; the Windows window under a virtual display.
[ -f /usr/include/ncursesw/ncurses.h ] || missing_native+=(libncurses-dev)
command -v xvfb-run >/dev/null || missing_native+=(xvfb)
command -v xauth >/dev/null || missing_native+=(xauth)
command -v xdotool >/dev/null || missing_native+=(xdotool)
command -v import >/dev/null || missing_native+=(imagemagick)

missing_win=()
command -v i686-w64-mingw32-g++-posix >/dev/null || missing_win+=(g++-mingw-w64-i686-posix)
command -v wine >/dev/null || missing_win+=(wine)
# wine without the 32-bit loader runs a 32-bit program as a silent exit 0.
dpkg -s wine32:i386 >/dev/null 2>&1 || missing_win+=(wine32:i386)

[ ${#missing_native[@]} -eq 0 ] && [ ${#missing_win[@]} -eq 0 ] && exit 0

if [ "$(id -u)" != 0 ] || ! command -v apt-get >/dev/null; then
  echo "install-deps: cannot install ${missing_native[*]} ${missing_win[*]} (not root, or no apt-get)"
  exit 0
fi
export DEBIAN_FRONTEND=noninteractive
# Before any build tree exists: the logs go to a fresh temporary name.
log=$(mktemp "${TMPDIR:-/tmp}/quillet-apt.XXXXXX") || exit 1
if [ ${#missing_win[@]} -gt 0 ]; then
  dpkg --add-architecture i386
fi
echo "install-deps: installing ${missing_native[*]} ${missing_win[*]}"
apt-get update -q >/dev/null 2>&1 || echo "install-deps: apt-get update failed"
if [ ${#missing_native[@]} -gt 0 ]; then
  apt-get install -y -q --no-install-recommends "${missing_native[@]}" >"$log.native" 2>&1 ||
    echo "install-deps: could not install ${missing_native[*]} (see $log.native)"
fi
if [ ${#missing_win[@]} -gt 0 ]; then
  apt-get install -y -q --no-install-recommends g++-mingw-w64-i686-posix wine wine32:i386 \
    >"$log.win" 2>&1 ||
    echo "install-deps: could not install the Windows toolchain or wine (see $log.win)"
fi
exit 0
