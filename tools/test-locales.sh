#!/usr/bin/env bash
# The Windows program under wine with the stock regional settings of several
# locales: the DATE default, /DATE=.ge-7 and an absolute date written in the
# locale's own short date format must each pick the files they name.
#   test-locales.sh PATH/TO/Quillet.exe
# A wine process started with another LANG/LC_ALL than the prefix's last one
# resets HKCU\Control Panel\International to that locale's stock values, so
# one prefix serves all locales in turn (no prefix per locale: ~4 s and
# ~590 MB each). Run it after the other wine tests: it leaves the prefix in
# the last locale, which the next wine process under another locale resets.
set -u
exe=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
wine=$(cd "$(dirname "$0")/../cmake" && pwd)/wine-run.sh
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir" || exit 1

# One file per condition: today (the DATE default), three days ago (.ge-7),
# a month ago (picked by none), and 15 January 2004 (the absolute date).
section() {  # section FILE yyyy/mm/dd
  printf 'RCS file: /cvsroot/loc/%s,v\n----------------------------\nrevision 1.1\n' "$1"
  printf 'date: %s 10:00:00;  author: dev1;  state: Exp;\nchanged\n%s\n\n' "$2" "$(printf '=%.0s' $(seq 77))"
}
{
  section today.c "$(date +%Y/%m/%d)"
  section week.c "$(date -d '-3 days' +%Y/%m/%d)"
  section month.c "$(date -d '-30 days' +%Y/%m/%d)"
  section abs.c 2004/01/15
} >log.txt

# 15 January 2004 written in a Windows date picture.
written() {
  python3 - "$1" <<'EOF'
import re, sys
out = ""
for token in re.findall(r"'[^']*'?|d+|M+|y+|.", sys.argv[1]):
    if token[0] == "'": out += token.strip("'")
    elif token[0] == "d": out += "15"
    elif token[0] == "M": out += "01" if len(token) > 1 else "1"
    elif token[0] == "y": out += "2004" if len(token) > 2 else "04"
    else: out += token
print(out)
EOF
}

# Runs a wine program in the current locale (set for wine alone: the shell
# has none of these locales).
inLocale() { env LANG="$locale.UTF-8" LC_ALL="$locale.UTF-8" "$wine" "$@"; }

# The files a run reports, in report order, on one line. The date comes from
# the INI file in this folder: a command-line item ends at a "/", and some
# regions write their dates with one.
picked() {  # picked DATE-VALUE
  rm -f out.txt
  printf '[PARAMETERS]\r\nDATE=%s\r\n' "$1" >Quillet.ini
  inLocale "$exe" /AUTHOR=dev1 /PERSON=t /INPUT=log.txt /OUTPUT=out.txt /REGOFF+ "/INIPATH=Z:${dir//\//\\}\\" \
    </dev/null 2>&1 | tr -d '\r'
  [ -f out.txt ] && sed -n 's/^    \([a-z]*\.c\)\r$/\1/p' out.txt | tr '\n' ' '
}

status=0
for locale in hu_HU sk_SK hr_HR ko_KR bg_BG lv_LV ja_JP de_DE en_US; do
  picture=$(inLocale reg query 'HKCU\Control Panel\International' /v sShortDate </dev/null 2>/dev/null |
    sed -n 's/.*REG_SZ *//p' | tr -d '\r')
  # A switch value cannot hold a "/": there the date is written with "." instead.
  absolute=$(written "$picture" | tr / .)
  default=$(picked "") ge7=$(picked .ge-7) eq=$(picked ".eq$absolute")
  if [ "$default" = "today.c " ] && [ "$ge7" = "today.c week.c " ] && [ "$eq" = "abs.c " ]; then
    echo "ok: $locale ($picture): default, .ge-7 and .eq$absolute"
  else
    echo "FAILED: $locale ($picture): default [$default], .ge-7 [$ge7], .eq$absolute [$eq]"
    status=1
  fi
done
exit $status
