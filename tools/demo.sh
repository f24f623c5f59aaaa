#!/usr/bin/env bash
# make demo: builds build/quillet and runs it on a log printed by the real cvs
# tool, asking for dev1's changes of the last days before the log was made.
set -eu -o pipefail
cd "$(dirname "$0")/.." || exit 1
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j2 --target quillet >/dev/null
mkdir -p build/demo
cp test/data/logs/01-cvs-log-whole-repository.txt build/demo/cvs.log
rm -f build/demo/report.txt
# The sample was made on 2026-12-07; a relative condition that reaches back to
# 2026-11-30 picks the same week's changes on any later day.
days=$(( ( $(date -u +%s) - $(date -u -d 2026-11-30 +%s) ) / 86400 ))
cmd=(../quillet "/DATE=.ge-$days" /AUTHOR=dev1 "/PERSON=${USER:-demo}" /INPUT=cvs.log /OUTPUT=report.txt)
echo "\$ cd build/demo && ${cmd[*]}"
(cd build/demo && "${cmd[@]}")
echo "\$ cat build/demo/report.txt"
tr -d '\r' < build/demo/report.txt
