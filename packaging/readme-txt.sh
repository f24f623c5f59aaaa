#!/bin/sh
# Makes the zip's README.txt from README.md, so the two cannot drift: the
# first paragraph of "What Quillet does", the section "On Windows" and the
# Windows part of "Weekly runs", as plain text with CR LF line ends (Notepad).
# Code blocks are indented by four blanks; marks, backticks, bold and links go.
#   readme-txt.sh README.md README.txt VERSION
# A part that README.md no longer has fails the build.
set -u
in=$1 out=$2 version=$3
mkdir -p "$(dirname "$out")" || exit 1
awk -v version="$version" '
  function text(s,   link) {
    gsub(/`/, "", s); gsub(/\*\*/, "", s)
    while (match(s, /\[[^]]*\]\([^)]*\)/)) {
      link = substr(s, RSTART, RLENGTH); sub(/\]\(.*/, "", link)
      s = substr(s, 1, RSTART - 1) substr(link, 2) substr(s, RSTART + RLENGTH)
    }
    return s
  }
  function underline(s, c,   u) { u = s; gsub(/./, c, u); return s "\n" u "\n" }
  /^## / { section = substr($0, 4); part = ""; code = 0 }
  section == "What Quillet does" {
    if (/^## /) { part = "what"; buf[part] = underline(section, "-"); next }
    if (done || (buf[part] ~ /\n\n$/ && $0 == "")) next
    if ($0 == "" && buf[part] !~ /-\n$/) { done = 1; buf[part] = buf[part] "\n"; next }
    buf[part] = buf[part] text($0) "\n"; next
  }
  section == "On Windows" && /^## / { part = "windows"; buf[part] = underline("Quillet on Windows", "-"); next }
  section ~ /^Weekly runs/ && /^\*\*Windows task scheduler/ { part = "task"; found = 1 }
  part == "windows" || part == "task" {
    if (/^<!--.*-->$/) next
    if (/^```/) { code = !code; next }
    buf[part] = buf[part] (code ? "    " $0 : text($0)) "\n"; next
  }
  END {
    if (buf["what"] == "" || buf["windows"] == "" || !found) {
      print "readme-txt: README.md lacks a part of README.txt (What Quillet does, On Windows, Windows task scheduler)" > "/dev/stderr"
      exit 1
    }
    printf "%s\n%s%s%s", underline("Quillet " version " for Windows", "="), buf["what"], buf["windows"], buf["task"]
  }
' "$in" | sed 's/$/\r/' >"$out.tmp" && mv "$out.tmp" "$out" || { rm -f "$out.tmp"; exit 1; }
