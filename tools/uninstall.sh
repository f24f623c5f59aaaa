#!/usr/bin/env bash
# make uninstall: removes what make install puts under PREFIX (below DESTDIR),
# no more. The list comes from an install of the same build into a scratch
# folder, so it cannot differ from what make install does; folders are left
# alone unless they are the package's own (share/doc/quillet) and empty.
#   uninstall.sh PREFIX [DESTDIR]
set -u -o pipefail
cd "$(dirname "$0")/.." || exit 1
prefix=$1 destdir=${2:-}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
DESTDIR=$scratch cmake --install build --prefix "$prefix" >"$scratch.log" 2>&1 ||
  { cat "$scratch.log"; rm -f "$scratch.log"; exit 1; }
rm -f "$scratch.log"
status=0
while IFS= read -r -d '' path; do
  target=$destdir${path#"$scratch"}
  if [ -e "$target" ] || [ -L "$target" ]; then
    echo "-- Removing: $target"
    rm -f "$target" || status=1
  fi
done < <(find "$scratch" ! -type d -print0)
while IFS= read -r -d '' dir; do
  target=$destdir${dir#"$scratch"}
  [ -d "$target" ] && rmdir --ignore-fail-on-non-empty "$target"
done < <(find "$scratch" -depth -type d -name quillet -print0)
exit $status
