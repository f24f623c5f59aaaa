#!/usr/bin/env bash
# Checks that a German message of the Windows program reaches the user
# readable: in a real console (a tmux pane gives wine one) as "geöffnet", and
# redirected to a file as the ANSI code page byte 0xF6.
#   check-console.sh PATH/TO/Quillet.exe
set -u
exe=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
command -v tmux >/dev/null || { echo "console check NOT RUN: tmux is missing"; exit 1; }
dir=$(mktemp -d)
# A tmux server of this run's own: another run's server is never touched.
sock=quillet-console-$$
trap 'tmux -L "$sock" kill-server 2>/dev/null; rm -rf "$dir"' EXIT
args=(/PERSON=me /INPUT=missing.log /OUTPUT=out.txt /REGOFF+ /INIOFF+)

# Redirected: code page bytes, CR LF.
(cd "$dir" && wine "$exe" "${args[@]}" >redirected.txt </dev/null 2>/dev/null)
rc=$?
expected=$(printf 'Datei missing.log kann nicht ge\xf6ffnet werden\r\n')
if [ "$rc" != 1 ] || [ "$(cat "$dir/redirected.txt")" != "$expected" ]; then
  echo "console check FAILED: redirected output (exit $rc):"; od -c "$dir/redirected.txt" | head; exit 1
fi

# A real console: the characters, as the terminal shows them.
tmux -L "$sock" new-session -d -s quillet-console -x 120 -y 10 \
  "cd '$dir' && WINEPREFIX='${WINEPREFIX:-}' WINEDEBUG=-all LANG='${LANG:-C.UTF-8}' LC_ALL='${LC_ALL:-C.UTF-8}' wine '$exe' ${args[*]}; echo \"exit=\$?\"; sleep 30"
for _ in $(seq 1 100); do
  tmux -L "$sock" capture-pane -t quillet-console -p >"$dir/screen.txt" 2>/dev/null
  grep -q 'exit=' "$dir/screen.txt" && break
  sleep 0.2
done
if ! grep -q 'Datei missing.log kann nicht geöffnet werden' "$dir/screen.txt" || ! grep -q 'exit=1' "$dir/screen.txt"; then
  echo "console check FAILED: the console showed:"; cat "$dir/screen.txt"; exit 1
fi
echo "ok: console check (redirected bytes and console characters)"
