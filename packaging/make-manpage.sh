#!/bin/sh
# Builds the manual page from its template: the version, and in OPTIONS the
# switch list that the program itself prints for --help, so that the page
# cannot drift from the program.
#   make-manpage.sh PROGRAM TEMPLATE OUTPUT VERSION
# A program that prints no overview fails the build; with
# QUILLET_REQUIRE_SWITCH_LIST=0 it gets a marked placeholder and a note instead.
set -u
program=$1 template=$2 output=$3 version=$4
require=${QUILLET_REQUIRE_SWITCH_LIST:-1}
case $program in /*) ;; */*) program=$PWD/$program ;; esac  # it runs in another folder
tmp=$(mktemp -d) || exit 1
trap 'rm -rf "$tmp"' EXIT

# Nothing of this machine goes into the page: no user registry, and the C
# locale, whose short date format gives the DATE default as yyyy-MM-dd.
today=$(date +%Y-%m-%d)
folder=$(dirname "$(readlink -f "$program")")/  # the INIPATH default: this build's folder
(cd "$tmp" && HKCU_FILE="$tmp/none.reg" LC_ALL=C timeout 60 "$program" --help </dev/null >help.txt 2>/dev/null)
tr -d '\r' <"$tmp/help.txt" >"$tmp/overview.txt"

if grep -qx "List of registered switches" "$tmp/overview.txt"; then
  # Blocks of "/NAME=default", "     Opt: hint", "     Description: text" (and
  # more lines of text), then an empty line; each becomes a .TP entry.
  awk -v today="$today" -v folder="$folder" '
    function esc(s,   out, i, c) {
      out = ""
      for (i = 1; i <= length(s); i++) {
        c = substr(s, i, 1)
        if (c == "\\") out = out "\\e"
        else if (c == "-") out = out "\\-"
        else out = out c
      }
      return out
    }
    # A text line that starts with a dot or an apostrophe would be a request.
    function line(s) { return s ~ /^[.\047]/ ? "\\&" s : s }
    function emit(s) { print line(s) }
    function trim(s) { sub(/^[ \t]+/, "", s); sub(/[ \t]+$/, "", s); return s }
    function flush(   p, d) {
      if (name == "") return
      print ".TP"
      print ".B " esc(name)
      if (text != "") emit(text)
      if (hint != "") { print ".br"; emit("Value: " esc(hint)) }
      p = index(def, today)
      # The DATE default holds the day the overview was made: say so instead.
      d = p ? esc(substr(def, 1, p - 1)) "\\fIdate\\fP" esc(substr(def, p + length(today))) \
              " (\\fIdate\\fP: the day of the run)" : esc(def)
      # The INIPATH default is the folder of the program that made the page.
      if (def == folder) d = "the folder of the program"
      if (def != "") { print ".br"; emit("Default: " d) }
      name = ""; count++
    }
    # The usage and the examples stand above the list; the page has its own.
    !started { started = ($0 == "List of registered switches"); next }
    /^\// {
      flush()
      p = index($0, "=")
      name = p ? substr($0, 1, p - 1) : $0
      def = p ? substr($0, p + 1) : ""
      hint = ""; text = ""; indesc = 0
      next
    }
    /^[ \t]*$/ { flush(); indesc = 0; next }
    name != "" && /^     Opt:/ { hint = trim(substr($0, 10)); next }
    name != "" && /^     Description:/ { text = esc(trim(substr($0, 18))); indesc = 1; next }
    name != "" && indesc { text = text "\n" line(esc(trim($0))); next }
    { bad = bad "\n" $0 }
    END {
      flush()
      if (bad != "") { print "make-manpage: lines outside any switch block:" bad > "/dev/stderr"; exit 1 }
      if (count == 0) { print "make-manpage: the overview lists no switch" > "/dev/stderr"; exit 1 }
    }
  ' "$tmp/overview.txt" >"$tmp/list.man" || exit 1
else
  if [ "$require" = 1 ]; then
    echo "make-manpage: '$program --help' printed no switch overview" >&2
    exit 1
  fi
  echo "make-manpage: NOTE: '$program --help' prints no switch overview yet; OPTIONS gets a placeholder" >&2
  cat >"$tmp/list.man" <<'PLACEHOLDER'
.\" PLACEHOLDER: the program printed no switch overview for --help.
.PP
(The list of switches could not be generated in this build:
run
.B quillet /?
to see it.)
PLACEHOLDER
fi

awk -v version="$version" -v list="$tmp/list.man" '
  $0 == "@SWITCH_LIST@" { while ((getline line < list) > 0) print line; next }
  { gsub(/@VERSION@/, version); print }
' "$template" >"$tmp/page" || exit 1
mv "$tmp/page" "$output"
