#!/usr/bin/env bash
# The POSIX switch overview on a terminal, driven in tmux: the dialog shows
# its caption and the first switches in a frame, scrolls, re-lays out when the
# terminal shrinks, closes with Enter (exit code 0), and the terminal works
# afterwards; Ctrl-C ends it with the terminal restored too. A failed export
# shows the small error box.
set -u -o pipefail
cd "$(dirname "$0")/.." || exit 1
command -v tmux >/dev/null || { echo "terminal test: tmux is missing (tools/install-deps.sh installs it)"; exit 1; }
program=$PWD/build/quillet
work=$(mktemp -d)
sock=quillet-terminal-test-$$
tm() { tmux -L "$sock" "$@"; }
trap 'tm kill-server >/dev/null 2>&1; rm -rf "$work"' EXIT
status=0
fail() { echo "terminal test FAILED: $*"; echo "--- screen:"; cat "$work/screen.txt"; status=1; }
screen() { sleep 0.4; tm capture-pane -t "$session" -p >"$work/screen.txt"; }
has() { grep -qF -- "$1" "$work/screen.txt"; }

# The shell in the pane outlives a Ctrl-C of the program, so that it can show the exit code.
start() {
  session=$1 args=${2:-"'/?'"}
  tm new-session -d -s "$session" -x 80 -y 24 \
    "trap : INT; cd '$work'; export LANG=C.UTF-8 HKCU_FILE='$work/none.reg'; '$program' $args; echo \"exit=\$?\"; exec sh"
}

start first
screen
has "List of registered switches" || fail "no caption"
has "┌" || fail "no frame"
has "/REGOFF=-" || fail "the first switch is not shown"
has "[ OK ]" || fail "no OK button"
tm send-keys -t "$session" End
screen
has "/ROOT=" || fail "End does not scroll to the last switch"
has "/REGOFF=-" && fail "End leaves the first switch in view"
tm send-keys -t "$session" Home Down Down Down Down
screen
has "/INIOFF=-" || fail "Home and Down do not scroll line by line"
has "/REGOFF=-" && fail "Down does not scroll"
tm resize-window -t "$session" -x 50 -y 20
screen
has "│ readout from the Ini file in or out." || fail "the text does not follow a smaller terminal"
tm send-keys -t "$session" Enter
screen
has "exit=0" || fail "Enter does not close the dialog with exit code 0"
tm send-keys -t "$session" "echo typed-\$((20+22))" Enter
screen
has 'echo typed-$((20+22))' || fail "the terminal does not echo after the dialog"
has "typed-42" || fail "the shell does not run commands after the dialog"

start second
screen
tm send-keys -t "$session" C-c
screen
has "exit=130" || fail "Ctrl-C does not end the program"
tm send-keys -t "$session" "echo after-\$((1+1))" Enter
screen
has 'echo after-$((1+1))' && has "after-2" || fail "the terminal is not restored after Ctrl-C"

# The error box of a failed export: titled "Fehler", closed by Enter, exit code 1.
echo "a file where the INI folder should be" >"$work/conf"
start third "'/WRITEINI=all' '/INIPATH=conf'"
screen
has "Fehler" && has "Der Pfad conf\ kann nicht angelegt werden!" && has "[ OK ]" || fail "no error box"
tm send-keys -t "$session" Enter
screen
has "exit=1" || fail "Enter does not close the error box with exit code 1"

[ $status -eq 0 ] && echo "terminal test: passed"
exit $status
