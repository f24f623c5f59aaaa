#!/bin/sh
# Benchmark of the log filter engine. Builds what it needs in build-bench/
# (and build-bench-win32/), generates about 200 MB of realistic `cvs log` text
# and reports:
#   1. throughput beside `wc -l` on the same file (best of RUNS each), as a
#      ratio, and the share of the report's flush to disk (fsync), measured
#      by a run whose fsync is a no-op (tools/bench/no_flush.c, preloaded);
#   2. time for 1x and 10x the input (best of RUNS each), as a ratio and in ms per MiB;
#   3. peak memory (max RSS) at 1x and 10x, and at 1x with a 10x previous output;
#   4. the 32-bit Windows build under wine on a log larger than 4 GiB, whose
#      report must equal the native one (all but the "Datum:" line).
# Usage: tools/bench/run.sh [quick|all|wine]    quick stops after step 1, wine does only step 4.
# The big files are removed at the end; KEEP=1 keeps them.
set -eu
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
B=$ROOT/build-bench
W=$ROOT/build-bench-win32
D=$B/data
MODE=${1:-all}
JOBS=${JOBS:-2}
RUNS=${RUNS:-5}
# The condition picks about 10% of the generated sections.
OP=.GE DATE=2022/06/01 AUTHOR=dev1
mkdir -p "$D"

# --- build ------------------------------------------------------------------
libs() { echo "$1/libquillet_filter.a $1/libquillet_bibliothek.a $1/libquillet_platform.a"; }
cmake -S "$ROOT" -B "$B" -DQUILLET_TESTS=OFF -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$B" -j"$JOBS" --target quillet_filter >/dev/null
g++ -std=c++20 -O2 -I"$ROOT" "$ROOT/tools/bench/quillet_bench.cpp" $(libs "$B") -o "$B/quillet_bench"
gcc -O2 -shared -fPIC "$ROOT/tools/bench/no_flush.c" -o "$B/no_flush.so"

# --- input ------------------------------------------------------------------
[ -f "$D/log-1x.txt" ] || python3 "$ROOT/tools/bench/gen_cvs_log.py" 200 "$D/log-1x.txt" \
  --author "$AUTHOR" --since "$(echo $DATE | tr / -)"
cd "$D"
size_mb() { echo "$(($(stat -c %s "$1") / 1048576))"; }

# elapsed seconds (from date: time's own figure has only 10 ms steps) and max
# RSS in KiB of one command: "SECONDS KIB"
measure() {
  start=$(date +%s%N)
  /usr/bin/time -f "%M" -o "$D/.time" "$@" >/dev/null
  end=$(date +%s%N)
  echo "$(echo "scale=3; ($end - $start) / 1000000000" | bc | sed 's/^\./0./') $(cat "$D/.time")"
}
run_filter() {  # run_filter INPUT OUTPUT PROGRAM... -> "SECONDS KIB"
  input=$1 output=$2
  shift 2
  measure "$@" $OP $DATE $AUTHOR "$input" "$output"
}
best() { sort -n | head -1; }
runs() { seq "$RUNS"; }
per_mib() { echo "scale=3; 1000 * $1 / $2" | bc | sed 's/^\./0./'; }  # per_mib SECONDS MIB -> ms/MiB

if [ "$MODE" != wine ]; then
echo "input: log-1x.txt, $(size_mb log-1x.txt) MiB, $(wc -l <log-1x.txt) lines"
cat log-1x.txt >/dev/null  # into the page cache
WC=$(for i in $(runs); do measure wc -l log-1x.txt | cut -d' ' -f1; done | best)
Q1=$(for i in $(runs); do rm -f out-1x.txt; run_filter log-1x.txt out-1x.txt "$B/quillet_bench" | cut -d' ' -f1; done | best)
QN=$(for i in $(runs); do rm -f out-1x.txt
  run_filter log-1x.txt out-1x.txt env LD_PRELOAD="$B/no_flush.so" "$B/quillet_bench" | cut -d' ' -f1; done | best)
echo "1. wc -l: ${WC}s   quillet: ${Q1}s   ratio $(echo "scale=2; $Q1 / $WC" | bc)x (target <= 3x)   (best of $RUNS)"
echo "   of which the flush to disk: $(echo "scale=3; $Q1 - $QN" | bc | sed 's/^\./0./;s/^-\./-0./')s" \
  "(without it ${QN}s, ratio $(echo "scale=2; $QN / $WC" | bc)x)"
echo "   report: $(size_mb out-1x.txt) MiB, $(grep -c '^User: ' out-1x.txt) header, picked files: see out-1x.txt"
[ "$MODE" = quick ] && exit 0

# --- 10x ----------------------------------------------------------------------
[ -f log-10x.txt ] || for i in 1 2 3 4 5 6 7 8 9 10; do cat log-1x.txt; done >log-10x.txt
rm -f out-1x.txt
M1=$(run_filter log-1x.txt out-1x.txt "$B/quillet_bench" | cut -d' ' -f2)
# The same number of runs as for 1x, each 10x run on a fresh output, best kept.
M10=0 Q10=
for i in $(runs); do
  rm -f out-10x.txt
  R10=$(run_filter log-10x.txt out-10x.txt "$B/quillet_bench")
  [ "${R10#* }" -gt "$M10" ] && M10=${R10#* }
  Q10=$( (echo "${R10% *}"; [ -n "$Q10" ] && echo "$Q10") | best)
done
S1=$(size_mb log-1x.txt) S10=$(size_mb log-10x.txt)
echo "2. 1x (${S1} MiB): ${Q1}s = $(per_mib "$Q1" "$S1") ms/MiB   10x (${S10} MiB): ${Q10}s = $(per_mib "$Q10" "$S10") ms/MiB" \
  "  ratio $(echo "scale=2; $Q10 / $Q1" | bc)x (target <= 11x; best of $RUNS each)"
cp log-10x.txt previous.txt
rm -f out-1x.txt
MP=$(run_filter log-1x.txt previous.txt "$B/quillet_bench" | cut -d' ' -f2)
echo "3. peak memory: 1x ${M1} KiB, 10x ${M10} KiB, 1x with a $(size_mb log-10x.txt) MiB previous output ${MP} KiB (target < 16384 KiB)"
rm -f previous.txt out-10x.txt
fi

# --- Windows build under wine, > 4 GiB ---------------------------------------------
cmake -S "$ROOT" -B "$W" -DQUILLET_TESTS=OFF -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-i686-posix.cmake" >/dev/null
cmake --build "$W" -j"$JOBS" --target quillet_filter >/dev/null
i686-w64-mingw32-g++-posix -std=c++20 -O2 -static -I"$ROOT" "$ROOT/tools/bench/quillet_bench.cpp" $(libs "$W") \
  -o "$W/quillet_bench.exe"
[ -f log-big.txt ] || for i in $(seq 22); do cat log-1x.txt; done >log-big.txt
rm -f out-big-native.txt out-big-wine.txt
RN=$(run_filter log-big.txt out-big-native.txt "$B/quillet_bench")
"$ROOT/cmake/wine-run.sh" cmd /c ver >/dev/null 2>&1 || true  # start the wine server outside the timing
RW=$(run_filter log-big.txt out-big-wine.txt "$ROOT/cmake/wine-run.sh" "$W/quillet_bench.exe")
# Line 2 holds the day in each build's short date format.
if [ "$(sed 2d out-big-native.txt | md5sum)" = "$(sed 2d out-big-wine.txt | md5sum)" ]; then SAME=same; else SAME=DIFFERENT; fi
echo "4. $(size_mb log-big.txt) MiB log: native ${RN% *}s ${RN#* } KiB, wine (32-bit) ${RW% *}s ${RW#* } KiB;" \
  "reports ($(size_mb out-big-native.txt) MiB): $SAME"
[ "${KEEP:-0}" = 1 ] || rm -f log-10x.txt log-big.txt out-big-native.txt out-big-wine.txt
