#!/bin/sh
# Writes the example INI file with the program's own export, as a user would:
#   quillet /INIPATH=DIR /REGOFF+ /WRITEINI=all
#   example-ini.sh [--wine WRAPPER] DIR PROGRAM INI_NAME
# DIR/INI_NAME is what the export writes (quillet.ini, or Quillet.ini for
# Quillet.exe, run under wine through WRAPPER). A program without the export
# runs the filter instead, which fails for want of INPUT: that is tolerated
# with a note when QUILLET_REQUIRE_EXAMPLE_INI=0. Anything else that leaves
# no file fails.
#
# Two defaults describe the machine that made the file, not the user's, and
# are changed after the export so that the file works where it is copied to:
#   DATE    ".eq" and the build day, in the build's date format (under wine
#           M/d/yyyy, whose "/" would cut the value when it is read back):
#           the relative form of the same default, ".eq-0" (today);
#   INIPATH the build folder, which would move the INI file there: left
#           empty, which keeps the INI file beside the program.
set -u
wine=""
if [ "$1" = --wine ]; then wine=$2; shift 2; fi
dir=$1 program=$2 name=$3
require=${QUILLET_REQUIRE_EXAMPLE_INI:-1}
case $program in /*) ;; */*) program=$PWD/$program ;; esac  # it runs in another folder
mkdir -p "$dir" || exit 1
dir=$(cd "$dir" && pwd)
rm -f "$dir/$name"

if [ -n "$wine" ]; then
  # The prefix keeps the locale of test.sh: another one would reset its
  # regional settings.
  out=$(cd "$dir" && LANG=C.UTF-8 LC_ALL=C.UTF-8 timeout 120 "$wine" "$program" \
    "/INIPATH=Z:$(printf %s "$dir" | tr / '\\')" /REGOFF+ /WRITEINI=all </dev/null 2>/dev/null)
else
  # No user registry, and the C locale: the DATE default reads yyyy-MM-dd.
  out=$(cd "$dir" && HKCU_FILE="$dir/.none.reg" LC_ALL=C timeout 60 "$program" \
    "/INIPATH=$dir" /REGOFF+ /WRITEINI=all </dev/null 2>&1)
fi
if [ -f "$dir/$name" ]; then
  cr=$(printf '\r')  # the Windows file has CR LF line ends: keep them
  sed -e "s/^DATE=[^$cr]*/DATE=.eq-0/" -e "s/^INIPATH=[^$cr]*/INIPATH=/" "$dir/$name" >"$dir/$name.tmp" &&
    mv "$dir/$name.tmp" "$dir/$name" || exit 1
  exit 0
fi
case $out in
  *"has to be declared"*)
    if [ "$require" != 1 ]; then
      echo "example-ini: NOTE: $(basename "$program") has no /WRITEINI export yet; no example $name" >&2
      exit 0
    fi ;;
esac
echo "example-ini: '$(basename "$program") /INIPATH=$dir /WRITEINI=all' wrote no $dir/$name; it printed: $out" >&2
exit 1
