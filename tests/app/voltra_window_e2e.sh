#!/usr/bin/env bash
# End to end, on an X display (run under with-xvfb.sh): voltra starts in a copy
# of the built show, Return in its dialog takes the default settings (800x600
# fullscreen), it opens a window titled "Voltra", logs the window steps, and
# ends with code 0 when it receives Escape. Exits 77 (skipped) when the show's
# data was not built.
set -u
voltra=$1
show=$2
[ -f "$show/script.qsc" ] && [ -d "$show/data" ] || { echo "show not built in $show" >&2; exit 77; }
command -v xdotool >/dev/null || { echo "xdotool missing" >&2; exit 77; }

work=$(mktemp -d)
trap 'kill "$pid" 2>/dev/null; rm -rf "$work"' EXIT
for entry in "$show"/*; do
  case "$(basename "$entry")" in debug.txt|error.txt|frames) continue ;; esac
  ln -s "$(readlink -f "$entry")" "$work/"
done
cd "$work"

"$voltra" &
pid=$!
dialog=$(timeout 60 xdotool search --sync --onlyvisible --name '^Config$' 2>/dev/null | head -n 1)
[ -n "$dialog" ] || { echo "FAIL: no dialog titled Config appeared" >&2; exit 1; }
# Return in the dialog. On a busy machine the first window found can still be
# replaced while the dialog sets itself up, so look again until Return lands.
wid=
for _ in $(seq 1 20); do
  sleep 0.5
  dialog=$(xdotool search --onlyvisible --name '^Config$' 2>/dev/null | head -n 1)
  [ -n "$dialog" ] && xdotool key --window "$dialog" Return 2>/dev/null
  wid=$(timeout 3 xdotool search --sync --onlyvisible --name '^Voltra$' 2>/dev/null | head -n 1)
  [ -n "$wid" ] && break
  kill -0 "$pid" 2>/dev/null || break
done
[ -n "$wid" ] || { echo "FAIL: no window titled Voltra appeared" >&2; exit 1; }

# The window shows before the context is made: wait for the fifth line.
for _ in $(seq 1 300); do
  grep -q 'Initialisation done.' debug.txt 2>/dev/null && break
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
expected=$'orbCreateWindow | 0\r\nWindowRegister | 0\r\nWindowCreate | 0\r\nWindowInit | 0\r\nInitialisation done. | 0\r'
actual=$(head -n 5 debug.txt)
[ "$actual" = "$expected" ] || { echo "FAIL: debug.txt starts with:"; head -n 5 debug.txt | cat -A; exit 1; } >&2
# The window manager applies the fullscreen state in its own time: wait for it.
for _ in $(seq 1 100); do
  size=$(xwininfo -id "$wid" | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w "x" h}')
  state=$(xprop -id "$wid" _NET_WM_STATE 2>/dev/null)
  [ "$size" = "800x600" ] && grep -q _NET_WM_STATE_FULLSCREEN <<<"$state" && break
  sleep 0.1
done
[ "$size" = "800x600" ] || { echo "FAIL: the window is $size, not 800x600" >&2; exit 1; }
grep -q _NET_WM_STATE_FULLSCREEN <<<"$state" || { echo "FAIL: the window is not fullscreen" >&2; exit 1; }

# Let loading finish, then send Escape to the window.
for _ in $(seq 1 600); do
  grep -q 'Script File Loaded' debug.txt 2>/dev/null && break
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
sleep 1
xdotool key --window "$wid" Escape
for _ in $(seq 1 300); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
if kill -0 "$pid" 2>/dev/null; then echo "FAIL: voltra still running 30 s after Escape" >&2; exit 1; fi
wait "$pid"
code=$?
[ "$code" -eq 0 ] || { echo "FAIL: exit code $code" >&2; exit 1; }
grep -q 'Disposing Texture' debug.txt || { echo "FAIL: shutdown wrote no disposal lines" >&2; exit 1; }
[ ! -e error.txt ] || { echo "FAIL: error.txt written:"; cat error.txt; exit 1; } >&2
echo "voltra opened its window, logged its steps and ended with code 0 on Escape"
