#!/usr/bin/env bash
# make install, make uninstall, make deb and make zip as a user, a packager and
# a Windows admin meet them: the installed tree and its removal, the manual
# page (man -l, groff -ww), the README's examples, the Debian package (lintian,
# and made without wine or the cross compiler), the zip (a stripped Quillet.exe
# with its version resource, the example settings not live, README.txt's first
# example run under wine).
# Run by tools/test.sh after the Windows leg, with its wine prefix up.
set -u -o pipefail
cd "$(dirname "$0")/.." || exit 1
top=$PWD
status=0
fail() { echo "install check FAILED: $*"; status=1; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
version=$(sed -n 's/^project(Quillet VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)
[ -n "$version" ] || fail "no version in CMakeLists.txt's project()"
sections=("NAME" "SYNOPSIS" "DESCRIPTION" "OPTIONS" "FILES" "ENVIRONMENT" "EXIT STATUS" "EXAMPLES" "SEE ALSO")

# The manual page: renders without a warning, has its sections, and lists the
# switches that the program's own overview lists (or says that it cannot).
check_manpage() {  # gzipped-page program bindir
  local page=$tmp/quillet.1 program=$2 names
  zcat "$1" >"$page" || fail "$1 is not gzipped"
  grep -qF ".IR $3/quillet.ini )." "$page" || fail "the FILES section of $1 does not name $3/quillet.ini"
  [ -z "$(groff -man -Tutf8 -ww -z "$page" 2>&1)" ] || fail "groff warns about $page: $(groff -man -Tutf8 -ww -z "$page" 2>&1)"
  MANWIDTH=80 man -l "$page" >"$tmp/man.txt" 2>"$tmp/man.err" || fail "man -l $page failed"
  [ -s "$tmp/man.err" ] && fail "man -l $page: $(cat "$tmp/man.err")"
  for s in "${sections[@]}"; do grep -qx "$s" "$tmp/man.txt" || fail "$page has no section $s"; done
  (cd "$tmp" && HKCU_FILE="$tmp/none.reg" "$program" --help </dev/null 2>/dev/null | tr -d '\r' >help.txt)
  grep -qx "List of registered switches" "$tmp/help.txt" || fail "$program --help prints no overview"
  names=$(sed -n 's/^\(\/[^=]*\)=.*/\1/p' "$tmp/help.txt")
  [ -n "$names" ] || fail "the overview lists no switch"
  for n in $names; do grep -qx "\.B $n" "$page" || fail "$page does not list $n"; done
  grep -q PLACEHOLDER "$page" && fail "$page has the placeholder instead of the switch list"
  grep -q "$top" "$page" && fail "$page names the build folder $top"
}

echo "== make install DESTDIR=..."
make -s install DESTDIR="$tmp/root" >"$tmp/install.log" 2>&1 || { cat "$tmp/install.log"; fail "make install"; }
root=$tmp/root/usr/local
installed=(bin/quillet share/man/man1/quillet.1.gz share/doc/quillet/README.md share/doc/quillet/quillet.ini
  share/doc/quillet/changelog.gz share/doc/quillet/copyright)
for f in "${installed[@]}"; do
  [ -f "$root/$f" ] || fail "make install did not install $f"
done
[ "$("$root/bin/quillet" --version)" = "quillet $version" ] || fail "installed quillet --version: $("$root/bin/quillet" --version)"
check_manpage "$root/share/man/man1/quillet.1.gz" "$root/bin/quillet" /usr/local/bin
# The example INI file, the program's own export, works where it is copied to:
# its DATE reads back, and it leaves the INI file where it is.
example=$root/share/doc/quillet/quillet.ini
if grep -q '^\[PARAMETERS\]' "$example" 2>/dev/null; then
  mkdir "$tmp/ini" && cp "$example" "$tmp/ini/quillet.ini" && cp test/data/logs/06-cvs-log-modA-crlf.txt "$tmp/ini/cvs.log"
  (cd "$tmp/ini" && HKCU_FILE="$tmp/none.reg" "$root/bin/quillet" "/INIPATH=$tmp/ini" /AUTHOR=alice /PERSON=me \
    /INPUT=cvs.log /OUTPUT=report.txt) >"$tmp/ini.out" 2>&1 || fail "a run with the example quillet.ini: $(cat "$tmp/ini.out")"
  tr -d '\r' <"$example" | grep -qx 'DATE=\.eq-0' || fail "the example quillet.ini does not hold DATE=.eq-0"
  tr -d '\r' <"$example" | grep -qx 'INIPATH=' || fail "the example quillet.ini names a folder in INIPATH"
else
  fail "no example quillet.ini installed"
fi

echo "== the README's examples"
tools/test-readme.sh "$root/bin" || status=1

echo "== make uninstall DESTDIR=..."
# What was there before stays: a file of another package beside the program.
touch "$root/bin/other-program"
make -s uninstall DESTDIR="$tmp/root" >"$tmp/uninstall.log" 2>&1 || { cat "$tmp/uninstall.log"; fail "make uninstall"; }
left=$(cd "$tmp/root" && find . ! -type d | sort | tr '\n' ' ')
[ "$left" = "./usr/local/bin/other-program " ] || fail "make uninstall left or took: $left"
[ -d "$root/share/doc/quillet" ] && fail "make uninstall left share/doc/quillet"

echo "== make deb, without wine and without the cross compiler"
# Stand-ins that note any call, first in PATH.
mkdir "$tmp/nowine"
for tool in wine wine-run.sh wineserver i686-w64-mingw32-g++-posix i686-w64-mingw32-gcc-posix; do
  printf '#!/bin/sh\necho "%s $*" >>"%s"\nexit 1\n' "$tool" "$tmp/nowine.calls" >"$tmp/nowine/$tool"
  chmod +x "$tmp/nowine/$tool"
done
rm -f build/quillet_*.deb
start=$(date +%s%N)
PATH="$tmp/nowine:$PATH" make -s deb >"$tmp/deb.log" 2>&1 || { cat "$tmp/deb.log"; fail "make deb"; }
echo "make deb: $((($(date +%s%N) - start) / 1000000)) ms"
[ -s "$tmp/nowine.calls" ] && fail "make deb called: $(cat "$tmp/nowine.calls")"
deb=$(ls build/quillet_"$version"_*.deb 2>/dev/null)
if [ -f "$deb" ]; then
  dpkg-deb -c "$deb" >"$tmp/deb.txt"
  for f in "${installed[@]}"; do
    grep -q " ./usr/$f\$" "$tmp/deb.txt" || fail "$deb holds no /usr/$f"
  done
  [ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "$deb: version $(dpkg-deb -f "$deb" Version)"
  depends=$(dpkg-deb -f "$deb" Depends)
  for lib in libc6 libstdc++6; do [[ "$depends" == *"$lib"* ]] || fail "$deb does not depend on $lib: $depends"; done
  dpkg-deb -x "$deb" "$tmp/deb"
  [ "$("$tmp/deb/usr/bin/quillet" --version)" = "quillet $version" ] || fail "the packaged quillet --version"
  check_manpage "$tmp/deb/usr/share/man/man1/quillet.1.gz" "$tmp/deb/usr/bin/quillet" /usr/bin
  # Every tag counts, warnings too; lintian's note about running as root is no tag.
  if command -v lintian >/dev/null; then
    lintian --fail-on error,warning "$deb" >"$tmp/lintian.txt" 2>&1 ||
      fail "lintian $deb: $(grep -v 'running with root privileges' "$tmp/lintian.txt")"
  else
    fail "lintian is missing (tools/install-deps.sh installs it)"
  fi
  echo "$deb: $(stat -c %s "$deb") bytes"
else
  fail "make deb made no build/quillet_${version}_*.deb"
fi

echo "== make zip"
zip=build-win32/Quillet-$version-win32.zip
rm -f "$zip"
start=$(date +%s%N)
make -s zip >"$tmp/zip.log" 2>&1 || { cat "$tmp/zip.log"; fail "make zip"; }
echo "make zip: $((($(date +%s%N) - start) / 1000000)) ms"
if [ -f "$zip" ]; then
  echo "$zip: $(stat -c %s "$zip") bytes"
  unzip -q "$zip" -d "$tmp/zip" || fail "unzip $zip"
  dir=$tmp/zip/Quillet-$version-win32
  listing=$(cd "$dir" && ls | tr '\n' ' ')
  # No Quillet.ini: beside the program it would be read by every run.
  [ "$listing" = "Quillet.example.ini Quillet.exe README.txt " ] || fail "$zip holds: $listing"
  i686-w64-mingw32-objdump -h "$dir/Quillet.exe" | grep -q '\.debug' && fail "Quillet.exe in $zip is not stripped"
  [ "$(grep -c $'[^\r]$' "$dir/README.txt")" = 0 ] || fail "README.txt in $zip has lines without CR LF"

  # The example settings, put to use as README.txt says: its DATE reads back
  # in wine's en-US format too.
  cp "$dir/Quillet.example.ini" "$dir/Quillet.ini"
  cp test/data/logs/06-cvs-log-modA-crlf.txt "$dir/cvs.log"
  (cd "$dir" && "$top/cmake/wine-run.sh" Quillet.exe /AUTHOR=alice /PERSON=me /INPUT=cvs.log /OUTPUT=report.txt) \
    >"$tmp/wine-ini.out" 2>&1 || fail "Quillet.exe with the example settings: $(cat "$tmp/wine-ini.out")"
  [ -f "$dir/report.txt" ] || fail "Quillet.exe with the example settings wrote no report"
  rm -f "$dir/Quillet.ini" "$dir/cvs.log" "$dir/report.txt"

  # README.txt's first example, in cmd.exe, with the zip's files in C:\tools
  # and a log of today in C:\work\cvs.log.
  drive=${WINEPREFIX:-$top/build-win32/wineprefix}/drive_c
  rm -rf "$drive/tools" "$drive/work" "$drive/reports"
  mkdir -p "$drive/tools" "$drive/work"
  cp "$dir"/* "$drive/tools/"
  {
    printf 'RCS file: /cvsroot/demo/hello.c,v\n----------------------------\nrevision 1.2\n'
    printf 'date: %s 10:00:00;  author: dev1;  state: Exp;\nchanged today\n%s\n' "$(date +%Y/%m/%d)" "$(printf '=%.0s' $(seq 77))"
  } >"$drive/work/cvs.log"
  tr -d '\r' <"$dir/README.txt" | awk '/^    / { print substr($0, 5); found = 1; next } found { exit }' |
    sed 's/$/\r/' >"$drive/first.bat"
  grep -q 'Quillet.exe' "$drive/first.bat" || fail "README.txt's first example does not run Quillet.exe: $(cat "$drive/first.bat")"
  "$top/cmake/wine-run.sh" cmd /c 'C:\first.bat' </dev/null 2>&1 | tr -d '\r' >"$tmp/first.out"
  grep -qx 'User: me' "$tmp/first.out" && grep -qx '    hello.c' "$tmp/first.out" ||
    fail "README.txt's first example under wine printed: $(cat "$tmp/first.out")"
  rm -rf "$drive/tools" "$drive/work" "$drive/reports" "$drive/first.bat"

  # The version resource, as Windows reads it for the file properties.
  (cd "$dir" && "$top/cmake/wine-run.sh" "$top/build-win32/versioninfo.exe" Quillet.exe | tr -d '\r') >"$tmp/version.txt"
  for line in "FileVersion=$version" "ProductVersion=$version" "FixedFileVersion=$version.0" "ProductName=Quillet"; do
    grep -qx "$line" "$tmp/version.txt" || fail "Quillet.exe's version resource lacks $line: $(cat "$tmp/version.txt")"
  done
  grep -q '^FileDescription=.' "$tmp/version.txt" || fail "Quillet.exe's version resource has no description"
  [ "$(cd "$dir" && "$top/cmake/wine-run.sh" Quillet.exe --version)" = $'Quillet '"$version"$'\r' ] ||
    fail "Quillet.exe --version under wine"
else
  fail "make zip made no $zip"
fi

[ $status -eq 0 ] && echo "install check: make install, uninstall, deb and zip are fine"
exit $status
