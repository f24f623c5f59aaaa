#!/usr/bin/env bash
# Runs the examples of README.md as a user would, against an installed quillet.
#   tools/test-readme.sh [BINDIR]
# BINDIR holds the installed quillet (tools/test-install.sh passes its
# DESTDIR tree); without it, make install DESTDIR=<temporary folder> first.
# Marks in README.md, on the line before a fenced block:
#   <!-- test: run -->     the block runs with bash -e; exit code 0
#   <!-- test: exit N -->  the block runs with bash; exit code N
#   <!-- test: output -->  every line of the block appears, in this order and
#                          with leading blanks ignored, among the lines that
#                          the block before printed; dates (in the same
#                          format), times, logins and commit ids may differ
# The blocks run in order, each in the folder and with the exported variables
# that the one before left, in a fresh home with no registry file, the C locale
# and UTC. The first starts in this tree, where a user types make install.
set -u -o pipefail
cd "$(dirname "$0")/.." || exit 1
status=0
fail() { echo "README check FAILED: $*"; status=1; }
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

bin=${1:-}
if [ -z "$bin" ]; then
  make -s install DESTDIR="$tmp/root" >"$tmp/install.log" 2>&1 || { cat "$tmp/install.log"; fail "make install"; exit 1; }
  bin=$tmp/root/usr/local/bin
fi
bin=$(cd "$bin" && pwd)
[ -x "$bin/quillet" ] || { fail "no quillet in $bin"; exit 1; }
command -v cvs >/dev/null || { fail "cvs is missing (tools/install-deps.sh installs it)"; exit 1; }

# Cut the marked blocks out: NNN.kind holds the mark, NNN.text the block.
mkdir "$tmp/blocks"
awk -v dir="$tmp/blocks" '
  /^<!-- test: .* -->$/ { mark = substr($0, 12, length($0) - 15); next }
  /^```/ && !open {
    open = mark != "" ? 1 : 2
    if (open == 1) { n++; f = sprintf("%s/%03d", dir, n); print mark > (f ".kind"); close(f ".kind"); printf "" > (f ".text") }
    mark = ""; next
  }
  /^```/ { if (open == 1) close(f ".text"); open = 0; next }
  open == 1 { print >> (f ".text"); next }
  !/^[ \t]*$/ { mark = "" }  # a mark belongs to the block right below it
' README.md
count=$(ls "$tmp/blocks"/*.kind 2>/dev/null | wc -l)
[ "$count" -gt 0 ] || fail "README.md has no marked examples"

# Both sides of an output check: no leading blanks, no CR, and the parts that
# differ from run to run replaced by their kind.
normalise() {
  sed -E -e 's/\r$//' -e 's/^[[:space:]]+//' \
    -e 's/[0-9]{4}-[0-9]{2}-[0-9]{2}/<yyyy-MM-dd>/g' -e 's/[0-9]{2}\.[0-9]{2}\.[0-9]{4}/<dd.MM.yyyy>/g' \
    -e 's/[0-9]{2}:[0-9]{2}:[0-9]{2}/<time>/g' \
    -e 's/author: [^;]*;/author: <login>;/g' -e 's/commitid: [0-9A-Za-z]+/commitid: <id>/g' "$1"
}
# Every line of $2 among the lines of $1, in order.
contains_in_order() {
  awk 'NR == FNR { want[++n] = $0; next } i < n && $0 == want[i + 1] { i++ } END { exit i == n ? 0 : 1 }' \
    <(normalise "$2") <(normalise "$1")
}

home=$tmp/home/me
mkdir -p "$home"
state=$tmp/state
mkdir "$state"
echo "$PWD" >"$state/cwd"
: >"$state/env"
last=""
for kindfile in "$tmp/blocks"/*.kind; do
  block=${kindfile%.kind}
  kind=$(cat "$kindfile")
  name="block $(basename "$block") ($kind): $(head -n 1 "$block.text")"
  case $kind in
    run) expect=0 options="-e" ;;
    "exit "[0-9]*) expect=${kind#exit } options="+e" ;;
    output)
      if [ -z "$last" ]; then fail "$name: no block before it"
      elif ! contains_in_order "$last.out" "$block.text"; then
        fail "$name: the block before printed something else:"; sed 's/^/    /' "$last.out"
      fi
      continue ;;
    *) fail "$name: unknown mark"; continue ;;
  esac
  {
    echo 'cd "$(cat "$STATE/cwd")" && . "$STATE/env"'
    echo 'trap '\''code=$?; pwd >"$STATE/cwd"; export -p >"$STATE/env"; exit $code'\'' EXIT'
    echo "set $options"
    cat "$block.text"
  } >"$block.sh"
  env -i HOME="$home" PATH="$bin:/usr/local/bin:/usr/bin:/bin" LC_ALL=C TZ=UTC STATE="$state" \
    timeout 120 bash "$block.sh" </dev/null >"$block.out" 2>"$block.err"
  code=$?
  [ "$code" = "$expect" ] || { fail "$name: exit code $code, not $expect"; cat "$block.out" "$block.err"; }
  last=$block
done

[ $status -eq 0 ] && echo "README check: its $count marked examples work as printed"
exit $status
