#!/usr/bin/env bash
# make install and make package as a user meets them: the installed tree, the
# manual page (man -l, groff -ww), the Debian package, the zip of Quillet.exe,
# and the version resource of Quillet.exe read back under wine.
# Run by tools/test.sh after the Windows leg, with its wine prefix up.
set -u -o pipefail
cd "$(dirname "$0")/.."
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
check_manpage() {  # page program
  local page=$1 program=$2 names
  [ -z "$(groff -man -Tutf8 -ww -z "$page" 2>&1)" ] || fail "groff warns about $page: $(groff -man -Tutf8 -ww -z "$page" 2>&1)"
  MANWIDTH=80 man -l "$page" >"$tmp/man.txt" 2>"$tmp/man.err" || fail "man -l $page failed"
  [ -s "$tmp/man.err" ] && fail "man -l $page: $(cat "$tmp/man.err")"
  for s in "${sections[@]}"; do grep -qx "$s" "$tmp/man.txt" || fail "$page has no section $s"; done
  (cd "$tmp" && HKCU_FILE="$tmp/none.reg" "$program" --help </dev/null 2>/dev/null | tr -d '\r' >help.txt)
  [ "$(head -n 1 "$tmp/help.txt")" = "List of registered switches" ] || fail "$program --help prints no overview"
  names=$(sed -n 's/^\(\/[^=]*\)=.*/\1/p' "$tmp/help.txt")
  [ -n "$names" ] || fail "the overview lists no switch"
  for n in $names; do grep -qx "\.B $n" "$page" || fail "$page does not list $n"; done
  grep -q PLACEHOLDER "$page" && fail "$page has the placeholder instead of the switch list"
  grep -q "$top" "$page" && fail "$page names the build folder $top"
}

echo "== make install DESTDIR=..."
make -s install DESTDIR="$tmp/root" >"$tmp/install.log" 2>&1 || { cat "$tmp/install.log"; fail "make install"; }
root=$tmp/root/usr/local
for f in bin/quillet share/man/man1/quillet.1 share/doc/quillet/README.md; do
  [ -f "$root/$f" ] || fail "make install did not install $f"
done
[ "$("$root/bin/quillet" --version)" = "quillet $version" ] || fail "installed quillet --version: $("$root/bin/quillet" --version)"
check_manpage "$root/share/man/man1/quillet.1" "$root/bin/quillet"
# --help prints what /? prints into a pipe.
(cd "$tmp" && HKCU_FILE="$tmp/none.reg" "$root/bin/quillet" /? </dev/null >overview.txt 2>&1)
cmp -s "$tmp/help.txt" "$tmp/overview.txt" || fail "quillet --help and quillet /? print different texts"

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

echo "== make package"
rm -f build/quillet_*.deb build-win32/Quillet-*-win32.zip
make -s package >"$tmp/package.log" 2>&1 || { cat "$tmp/package.log"; fail "make package"; }
deb=$(ls build/quillet_"$version"_*.deb 2>/dev/null)
zip=build-win32/Quillet-$version-win32.zip
if [ -f "$deb" ]; then
  dpkg-deb -c "$deb" >"$tmp/deb.txt"
  for f in ./usr/bin/quillet ./usr/share/man/man1/quillet.1 ./usr/share/doc/quillet/README.md; do
    grep -q " $f\$" "$tmp/deb.txt" || fail "$deb holds no $f"
  done
  [ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "$deb: version $(dpkg-deb -f "$deb" Version)"
  depends=$(dpkg-deb -f "$deb" Depends)
  for lib in libc6 libstdc++6; do [[ "$depends" == *"$lib"* ]] || fail "$deb does not depend on $lib: $depends"; done
  dpkg-deb -x "$deb" "$tmp/deb"
  [ "$("$tmp/deb/usr/bin/quillet" --version)" = "quillet $version" ] || fail "the packaged quillet --version"
else
  fail "make package made no build/quillet_${version}_*.deb"
fi

if [ -f "$zip" ]; then
  unzip -q "$zip" -d "$tmp/zip" || fail "unzip $zip"
  dir=$tmp/zip/Quillet-$version-win32
  for f in Quillet.exe README.txt; do [ -f "$dir/$f" ] || fail "$zip holds no $f"; done
  # The example Quillet.ini beside Quillet.exe: its DATE reads back in wine's
  # en-US format too.
  if grep -q '^\[PARAMETERS\]' "$dir/Quillet.ini" 2>/dev/null; then
    cp test/data/logs/06-cvs-log-modA-crlf.txt "$dir/cvs.log"
    (cd "$dir" && "$top/cmake/wine-run.sh" Quillet.exe /AUTHOR=alice /PERSON=me /INPUT=cvs.log /OUTPUT=report.txt) \
      >"$tmp/wine-ini.out" 2>&1 || fail "Quillet.exe with the example Quillet.ini: $(cat "$tmp/wine-ini.out")"
    [ -f "$dir/report.txt" ] || fail "Quillet.exe with the example Quillet.ini wrote no report"
  else
    fail "$zip holds no example Quillet.ini"
  fi
  [ "$(grep -c $'[^\r]$' "$dir/README.txt")" = 0 ] || fail "README.txt in $zip has lines without CR LF"
  # The version resource, as Windows reads it for the file properties.
  (cd "$dir" && "$top/cmake/wine-run.sh" "$top/build-win32/versioninfo.exe" Quillet.exe | tr -d '\r') >"$tmp/version.txt"
  for line in "FileVersion=$version" "ProductVersion=$version" "FixedFileVersion=$version.0" "ProductName=Quillet"; do
    grep -qx "$line" "$tmp/version.txt" || fail "Quillet.exe's version resource lacks $line: $(cat "$tmp/version.txt")"
  done
  grep -q '^FileDescription=.' "$tmp/version.txt" || fail "Quillet.exe's version resource has no description"
  [ "$(cd "$dir" && "$top/cmake/wine-run.sh" Quillet.exe --version)" = $'Quillet '"$version"$'\r' ] ||
    fail "Quillet.exe --version under wine"
else
  fail "make package made no $zip"
fi

[ $status -eq 0 ] && echo "install check: make install and make package are fine"
exit $status
