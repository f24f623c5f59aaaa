#!/bin/sh
# Benchmark of the settings readers: one run of the program (best of RUNS)
# with large settings files and a self-multiplying macro, each of which once
# took seconds to minutes. Usage: tools/bench/settings.sh [PROGRAM]
# (default build/quillet, built when missing).
set -eu
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
PROGRAM=${1:-$ROOT/build/quillet}
RUNS=${RUNS:-3}
[ -x "$PROGRAM" ] || make -C "$ROOT" build >/dev/null
D=$(mktemp -d)
trap 'rm -rf "$D"' EXIT
cd "$D" || exit 1
printf 'RCS file: /cvsroot/a/b.c,v\n----------------------------\nrevision 1.1\ndate: 2003/05/12 10:00:00;  author: dev1;  state: Exp;\nmsg\n=============================================================================\n' >in.log

blob() {  # blob LINES: a registry file with one REG_BINARY value of LINES continuation lines in an unrelated key
  { printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Other]\r\n"Blob"=hex:00,\\\r\n'
    awk -v n="$1" 'BEGIN { for (i = 1; i < n; i++) printf "  01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,\\\r\n"; printf "  ff\r\n" }'
  } >"$2"
}
keys() {  # keys N: an INI file with N keys in [PARAMETERS]
  awk -v n="$1" 'BEGIN { printf "[PARAMETERS]\r\n"; for (i = 0; i < n; i++) printf "KEY%05d=value %d\r\n", i, i }' >"$2"
}
timed() {  # timed NAME COMMAND...: best of RUNS in seconds
  name=$1; shift
  best= failed=
  for i in $(seq "$RUNS"); do
    start=$(date +%s%N)
    "$@" >/dev/null 2>&1 || failed=" (the run FAILED)"
    t=$(( ($(date +%s%N) - start) / 1000000 ))
    [ -z "$best" ] || [ "$t" -lt "$best" ] && best=$t
  done
  echo "$name: ${best} ms$failed"
}
# A date every locale reads, so that each run goes through the log too.
args="/DATE=.ge-9999 /PERSON=p /INPUT=in.log /OUTPUT=out.txt /INIPATH=$(echo "$D/" | tr / \\\\) /INIFILE=q.ini"
touch empty.reg
blob 10000 blob10k.reg
blob 200000 blob200k.reg
blob 500000 blob500k.reg
# A run on a log as large as the largest registry file, for comparison.
awk 'BEGIN { while (n < 26500000) { s = sprintf("RCS file: /cvsroot/a/f%d.c,v\n----------------------------\nrevision 1.1\ndate: 2003/05/12 10:00:00;  author: dev%d;  state: Exp;\nmsg\n=============================================================================\n", n, n % 7); printf "%s", s; n += length(s) } }' >big.log
keys 4000 q.ini
# Files changed a moment ago are compared bytewise on every look-up (their time
# stamps may not tell versions apart yet); settings files are older than that.
sleep 3
timed "no settings                     " env HKCU_FILE=empty.reg "$PROGRAM" $args /INIOFF+
timed "registry, 10,000-line hex value " env HKCU_FILE=blob10k.reg "$PROGRAM" $args /INIOFF+
timed "registry, 200,000-line hex value" env HKCU_FILE=blob200k.reg "$PROGRAM" $args /INIOFF+
timed "registry, 500,000 lines (26.5 MB)" env HKCU_FILE=blob500k.reg "$PROGRAM" $args /INIOFF+
# (Its own output: a large report would be the old report of every later run.)
timed "no settings, a 26.5 MB log        " env HKCU_FILE=empty.reg "$PROGRAM" $(echo "$args" | sed 's/in.log/big.log/; s/out.txt/big-out.txt/') /AUTHOR=dev1 /INIOFF+
timed "INI file, 4,000 keys            " env HKCU_FILE=empty.reg "$PROGRAM" $args
refs=$(awk 'BEGIN { for (i = 0; i < 20000; i++) printf "%%A%%" }')
{ printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\ORVEK\\Quillet\\PARAMETERS]\r\n'
  printf '"PERSON"="%s"\r\n\r\n[HKEY_CURRENT_USER\\Software\\ORVEK\\Quillet\\MACROS]\r\n' "$refs"
  printf '"A"="%%B%%"\r\n"B"="%%C%%"\r\n"C"="%%D%%"\r\n"D"="x"\r\n'
} >refs.reg
# DATE first: a date this locale cannot read would end the run before PERSON is expanded.
noperson=$(echo "$args" | sed 's|/PERSON=p ||')
timed "20,000 %A%, chain A-B-C-D, cmd   " env HKCU_FILE=empty.reg "$PROGRAM" /DATE=.ge-7 $noperson /INIOFF+ "/PERSON=$refs" \
  '/[MACROS].A=%B%' '/[MACROS].B=%C%' '/[MACROS].C=%D%' '/[MACROS].D=x'
timed "20,000 %A%, chain A-B-C-D, .reg  " env HKCU_FILE=refs.reg "$PROGRAM" /DATE=.ge-7 $noperson /INIOFF+
timed "macro %A% = %A% six times       " env HKCU_FILE=empty.reg "$PROGRAM" $args /INIOFF+ /PERSON=%A% '/[MACROS].A=%A%%A%%A%%A%%A%%A%'
