#!/bin/sh
# Benchmark of the log filter engine. Builds what it needs in build-bench/
# and build-bench-win32/, generates about 200 MB of realistic `cvs log` text
# and reports, each time as the median of RUNS runs taken in turn with the
# runs it is compared with (so that load from others hits both alike):
#   1. the engine beside `wc -l` on the same log, without an old report and
#      with a 200 MB old report behind the new one (targets 2.0x and 4.0x);
#   2. the 32-bit Windows build under wine beside the native build, on the
#      10x log, so that wine's own start (~35 ms) does not count (target 1.8x);
#   3. time for 1x and 10x the input (target at most 11x);
#   4. peak memory (max RSS) at 1x, at 10x, and at 1x with a 10x old report
#      (target under 16 MB);
#   5. (mode all only) the Windows build on a log larger than 4 GiB, whose
#      report must equal the native one (all but the "Datum:" line);
#   6. the log in parts beside one part at 9, 20, 64 and 200 MiB, on every
#      processor and on one (taskset -c 0): the engine's own choice and two
#      parts forced, each against one part (target: its choice never more
#      than 3% slower than one part).
# Usage: tools/bench/run.sh [quick|targets|all]   quick: step 1; targets
# (the default of make bench): steps 1 to 4. The big files are removed at
# the end; KEEP=1 keeps them.
set -eu
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
B=$ROOT/build-bench
W=$ROOT/build-bench-win32
D=$B/data
MODE=${1:-targets}
JOBS=${JOBS:-2}
RUNS=${RUNS:-7}
# The condition picks about 10% of the generated sections.
OP=.GE DATE=2022/06/01 AUTHOR=dev1
mkdir -p "$D"

# --- build ------------------------------------------------------------------
libs() { echo "$1/libquillet_filter.a $1/libquillet_bibliothek.a $1/libquillet_platform.a"; }
cmake -S "$ROOT" -B "$B" -DQUILLET_TESTS=OFF -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$B" -j"$JOBS" --target quillet_filter >/dev/null
g++ -std=c++20 -O2 -I"$ROOT" "$ROOT/tools/bench/quillet_bench.cpp" $(libs "$B") -o "$B/quillet_bench"
if [ "$MODE" != quick ]; then
  cmake -S "$ROOT" -B "$W" -DQUILLET_TESTS=OFF -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-i686-posix.cmake" >/dev/null
  cmake --build "$W" -j"$JOBS" --target quillet_filter >/dev/null
  i686-w64-mingw32-g++-posix -std=c++20 -O2 -msse2 -static -I"$ROOT" "$ROOT/tools/bench/quillet_bench.cpp" \
    $(libs "$W") -o "$W/quillet_bench.exe"
fi

# --- input ------------------------------------------------------------------
[ -f "$D/log-1x.txt" ] || python3 "$ROOT/tools/bench/gen_cvs_log.py" 200 "$D/log-1x.txt" \
  --author "$AUTHOR" --since "$(echo $DATE | tr / -)"
cd "$D"
size_mb() { echo "$(($(stat -c %s "$1") / 1048576))"; }
# An old report as the program writes it: lines ending in CR LF.
[ -f old-report.txt ] || sed 's/$/\r/' log-1x.txt >old-report.txt

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
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
ratio() { echo "scale=2; $1 / $2" | bc | sed 's/^\./0./'; }
verdict() { [ "$(echo "$1 <= $2" | bc)" = 1 ] && echo "met" || echo "NOT MET"; }
per_mib() { echo "scale=3; 1000 * $1 / $2" | bc | sed 's/^\./0./'; }  # per_mib SECONDS MIB -> ms/MiB
WINE_BENCH="$ROOT/cmake/wine-run.sh $W/quillet_bench.exe"

echo "input: log-1x.txt, $(size_mb log-1x.txt) MiB, $(wc -l <log-1x.txt) lines;" \
  "old report $(size_mb old-report.txt) MiB; medians of $RUNS runs taken in turn"
cat log-1x.txt old-report.txt >/dev/null  # into the page cache
# Every timed run starts with nothing waiting to be written: a user's old
# report has been on disk for a week, and the write-back of one step's files
# must not slow the next.
sync
rm -f .wc .q .qold .qwine
[ "$MODE" = quick ] || $WINE_BENCH .EQ 2000/01/01 x log-1x.txt out-wine.txt >/dev/null 2>&1 || true  # boot wine
# Round 0 is not counted: the first runs after a pause are slower by up to a
# third here (the virtual machine's memory given back to its host comes back
# page by page), which says nothing about the program.
for i in $(seq 0 "$RUNS"); do
  [ "$i" = 0 ] && keep=/dev/null || keep=
  measure wc -l log-1x.txt | cut -d' ' -f1 >>"${keep:-.wc}"
  rm -f out-1x.txt
  run_filter log-1x.txt out-1x.txt "$B/quillet_bench" | cut -d' ' -f1 >>"${keep:-.q}"
  cp old-report.txt out-old.txt
  sync
  run_filter log-1x.txt out-old.txt "$B/quillet_bench" | cut -d' ' -f1 >>"${keep:-.qold}"
done
WC=$(median <.wc) Q1=$(median <.q) QOLD=$(median <.qold)
echo "1. wc -l ${WC}s; quillet ${Q1}s = $(ratio "$Q1" "$WC")x wc -l (target <= 2.0x: $(verdict "$(ratio "$Q1" "$WC")" 2.0));" \
  "with the old report behind ${QOLD}s = $(ratio "$QOLD" "$WC")x (target <= 4.0x: $(verdict "$(ratio "$QOLD" "$WC")" 4.0))"
echo "   report: $(size_mb out-1x.txt) MiB"
[ "$MODE" = quick ] && exit 0

# --- the Windows build, and 10x ------------------------------------------------
[ -f log-10x.txt ] || for i in 1 2 3 4 5 6 7 8 9 10; do cat log-1x.txt; done >log-10x.txt
sync
cat log-10x.txt >/dev/null  # read once: a file only written counts as cold and may be dropped meanwhile
rm -f .qn .qwine
for i in $(seq 0 "$RUNS"); do  # round 0 not counted, as above
  [ "$i" = 0 ] && keep=/dev/null || keep=
  rm -f out-10x.txt out-wine.txt
  run_filter log-10x.txt out-10x.txt "$B/quillet_bench" | cut -d' ' -f1 >>"${keep:-.qn}"
  run_filter log-10x.txt out-wine.txt $WINE_BENCH | cut -d' ' -f1 >>"${keep:-.qwine}"
done
QN=$(median <.qn) QW=$(median <.qwine)
if [ "$(sed 2d out-10x.txt | md5sum)" = "$(sed 2d out-wine.txt | md5sum)" ]; then SAME=same; else SAME=DIFFERENT; fi
echo "2. $(size_mb log-10x.txt) MiB log: native ${QN}s, Windows build under wine ${QW}s = $(ratio "$QW" "$QN")x" \
  "(target <= 1.8x: $(verdict "$(ratio "$QW" "$QN")" 1.8)); reports $SAME"
rm -f out-wine.txt
rm -f .q1 .q10 .m1 .m10
for i in $(seq "$RUNS"); do
  rm -f out-1x.txt out-10x.txt
  R1=$(run_filter log-1x.txt out-1x.txt "$B/quillet_bench")
  R10=$(run_filter log-10x.txt out-10x.txt "$B/quillet_bench")
  echo "${R1% *}" >>.q1; echo "${R1#* }" >>.m1
  echo "${R10% *}" >>.q10; echo "${R10#* }" >>.m10
done
S1=$(size_mb log-1x.txt) S10=$(size_mb log-10x.txt)
T1=$(median <.q1) T10=$(median <.q10)
echo "3. 1x (${S1} MiB): ${T1}s = $(per_mib "$T1" "$S1") ms/MiB   10x (${S10} MiB): ${T10}s = $(per_mib "$T10" "$S10") ms/MiB" \
  "  ratio $(ratio "$T10" "$T1")x (target <= 11x: $(verdict "$(ratio "$T10" "$T1")" 11))"
cp log-10x.txt previous.txt
rm -f out-1x.txt
MP=$(run_filter log-1x.txt previous.txt "$B/quillet_bench" | cut -d' ' -f2)
M1=$(sort -n .m1 | tail -1) M10=$(sort -n .m10 | tail -1)
MAX=$( (echo "$M1"; echo "$M10"; echo "$MP") | sort -n | tail -1)
echo "4. peak memory: 1x ${M1} KiB, 10x ${M10} KiB, 1x with a $(size_mb log-10x.txt) MiB old report ${MP} KiB" \
  "(target < 16384 KiB: $(verdict "$MAX" 16383))"
rm -f previous.txt out-10x.txt out-old.txt

# --- Windows build under wine, > 4 GiB ---------------------------------------------
if [ "$MODE" = all ]; then
  [ -f log-big.txt ] || for i in $(seq 22); do cat log-1x.txt; done >log-big.txt
  rm -f out-big-native.txt out-big-wine.txt
  RN=$(run_filter log-big.txt out-big-native.txt "$B/quillet_bench")
  RW=$(run_filter log-big.txt out-big-wine.txt $WINE_BENCH)
  # Line 2 holds the day in each build's short date format.
  if [ "$(sed 2d out-big-native.txt | md5sum)" = "$(sed 2d out-big-wine.txt | md5sum)" ]; then SAME=same; else SAME=DIFFERENT; fi
  echo "5. $(size_mb log-big.txt) MiB log: native ${RN% *}s ${RN#* } KiB, wine (32-bit) ${RW% *}s ${RW#* } KiB;" \
    "reports ($(size_mb out-big-native.txt) MiB): $SAME"
fi

# --- parts beside one part -------------------------------------------------------
echo "6. parts: medians of $RUNS runs in turn; the engine's choice and 2 parts forced, each / 1 part"
for mib in 9 20 64 200; do
  head -c $((mib * 1048576)) log-1x.txt >log-part.txt
  for cpus in all one; do
    [ "$cpus" = one ] && pin="taskset -c 0" || pin=
    [ "$cpus" = one ] && ! command -v taskset >/dev/null && continue
    rm -f .p1 .pchoice .p2
    for i in $(seq 0 "$RUNS"); do
      [ "$i" = 0 ] && keep=/dev/null || keep=
      for parts in 1 choice 2; do
        rm -f out-part.txt
        if [ "$parts" = choice ]; then
          run_filter log-part.txt out-part.txt $pin "$B/quillet_bench"
        else
          QUILLET_PARTS=$parts run_filter log-part.txt out-part.txt $pin "$B/quillet_bench"
        fi | cut -d' ' -f1 >>"${keep:-.p$parts}"
      done
    done
    P1=$(median <.p1) PC=$(median <.pchoice) P2=$(median <.p2)
    echo "   ${mib} MiB, $cpus processor(s): 1 part ${P1}s; choice ${PC}s = $(ratio "$PC" "$P1")x" \
      "(target <= 1.03x: $(verdict "$(ratio "$PC" "$P1")" 1.03)); 2 parts ${P2}s = $(ratio "$P2" "$P1")x"
  done
done
rm -f log-part.txt out-part.txt .p1 .pchoice .p2
[ "${KEEP:-0}" = 1 ] || rm -f log-10x.txt log-big.txt out-big-native.txt out-big-wine.txt
