#!/usr/bin/env bash
# The start-up dialog as a person meets it, on an X display with a window
# manager (run under with-xvfb.sh): its caption, the mouse at positions taken
# from the dialog's own units, Escape, Cancel and the close box; then the
# command line without the dialog, with and without a sound device.
# Usage: voltra_dialog_e2e.sh VOLTRA SHOW_DIR SCREENSHOT.png
# Exits 77 (skipped) when the show's data or a tool is missing.
set -u
voltra=$1
show=$2
shot=$3
[ -f "$show/script.qsc" ] && [ -d "$show/data" ] || { echo "show not built in $show" >&2; exit 77; }
for tool in xdotool xwininfo xprop wmctrl ffmpeg; do
  command -v "$tool" >/dev/null || { echo "$tool missing" >&2; exit 77; }
done
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

work=$(mktemp -d)
pid=
trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null; rm -rf "$work"' EXIT
for entry in "$show"/*; do
  case "$(basename "$entry")" in debug.txt|error.txt|frames) continue ;; esac
  ln -s "$(readlink -f "$entry")" "$work/"
done
cd "$work"

start() {
  rm -f debug.txt error.txt
  "$voltra" "$@" 2>stderr.txt &
  pid=$!
}
# Waits up to $2 tenths of a second for the window titled $1; prints its id.
window() { timeout "$(( $2 / 10 + 1 ))" xdotool search --sync --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1; }
# The exit code of voltra, after up to 30 s; 124 when it is still running.
finish() {
  for _ in $(seq 1 300); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  if kill -0 "$pid" 2>/dev/null; then kill "$pid"; wait "$pid" 2>/dev/null; pid=; return 124; fi
  wait "$pid"; local code=$?; pid=; return $code
}
size() { xwininfo -id "$1" | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w "x" h}'; }
fullscreen() { xprop -id "$1" _NET_WM_STATE | grep -q _NET_WM_STATE_FULLSCREEN; }
# Clicks the dialog $1 at dialog units ($2, $3): the client area is 142 x 131 units.
click() {
  local w h
  read -r w h < <(xwininfo -id "$1" | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w, h}')
  xdotool mousemove --window "$1" $(( $2 * w / 142 )) $(( $3 * h / 131 )) click 1
  sleep 0.3
}
waitForLine() {
  for _ in $(seq 1 600); do
    grep -q "$1" debug.txt 2>/dev/null && return 0
    kill -0 "$pid" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}

# 1. The dialog, its picture, and Escape that leaves it open. Then the mouse:
#    Fullscreen off, Go! -- a Voltra window of 800 x 600 that is not fullscreen.
start
wid=$(window Config 200)
if [ -z "$wid" ]; then
  fail "no window titled Config appeared: $(cat stderr.txt)"
else
  sleep 0.5
  [ ! -e debug.txt ] || fail "debug.txt exists while the dialog is open"
  # The dialog with its frame, as the window manager shows it.
  read -r cx cy cw ch < <(xwininfo -id "$wid" | awk '/Absolute upper-left X/ {x=$4} /Absolute upper-left Y/ {y=$4}
    /Width:/ {w=$2} /Height:/ {h=$2} END {print x, y, w, h}')
  read -r left right top bottom < <(xprop -id "$wid" _NET_FRAME_EXTENTS | tr -d ',' | awk '{print $3, $4, $5, $6}')
  xdotool mousemove 0 0
  sleep 0.3
  ffmpeg -loglevel error -y -f x11grab -draw_mouse 0 -video_size "$((cw + ${left:-0} + ${right:-0}))x$((ch + ${top:-0} + ${bottom:-0}))" \
    -i "$DISPLAY+$((cx - ${left:-0})),$((cy - ${top:-0}))" -frames:v 1 "$shot" || fail "no screenshot"
  xdotool key --window "$wid" Escape
  sleep 1
  kill -0 "$pid" 2>/dev/null && [ -n "$(window Config 10)" ] || fail "Escape closed the dialog"
  click "$wid" 16 62   # the Fullscreen box
  click "$wid" 30 118  # Go!
  vid=$(window Voltra 300)
  if [ -z "$vid" ]; then
    fail "Go! opened no window titled Voltra: $(cat stderr.txt)"
  else
    waitForLine 'Initialisation done.' || fail "no 'Initialisation done.' after Go!"
    sleep 0.5
    [ "$(size "$vid")" = "800x600" ] || fail "the window is $(size "$vid"), not 800x600"
    fullscreen "$vid" && fail "Fullscreen was unchecked, but the window is fullscreen"
  fi
  kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; pid=
fi

# 2. The close box: exit 0, nothing written.
start --windowed
wid=$(window Config 200)
[ -n "$wid" ] || fail "no dialog for the close box"
sleep 0.3
wmctrl -c Config
finish; code=$?
[ "$code" -eq 0 ] || fail "the close box gave exit code $code"
[ ! -e debug.txt ] && [ ! -e error.txt ] || fail "the close box left debug.txt or error.txt"

# 3. Cancel: the same.
start
wid=$(window Config 200)
[ -n "$wid" ] && sleep 0.3 && click "$wid" 110 118
finish; code=$?
[ "$code" -eq 0 ] || fail "Cancel gave exit code $code"
[ ! -e debug.txt ] && [ ! -e error.txt ] || fail "Cancel left debug.txt or error.txt"

# 4. No sound device at all. Without music the show runs ...
SDL_AUDIODRIVER=no-such-driver start --no-dialog --no-music --windowed
vid=$(window Voltra 300)
if [ -n "$vid" ] && waitForLine 'Script File Loaded'; then
  sleep 1
  fullscreen "$vid" && fail "--windowed gave a fullscreen window"
  xdotool key --window "$vid" Escape
  finish; code=$?
  [ "$code" -eq 0 ] || fail "--no-music without a sound device: exit code $code: $(cat stderr.txt)"
  [ ! -e error.txt ] || fail "--no-music without a sound device: $(tr -d '\r' < error.txt)"
else
  fail "--no-dialog --no-music --windowed did not start: $(cat stderr.txt)"
fi

# ... and with music it stops, saying what to do.
SDL_AUDIODRIVER=no-such-driver start --no-dialog --windowed --size 640x480
finish; code=$?
[ "$code" -eq 1 ] || fail "music without a sound device: exit code $code"
grep -qx 'voltra: FMOD: Error initializing output device (no sound device: uncheck Music, or pass --no-music)' stderr.txt ||
  fail "music without a sound device: stderr '$(cat stderr.txt)'"
grep -q 'FMOD' error.txt 2>/dev/null || fail "music without a sound device: no error.txt"

[ "$failures" -eq 0 ] && echo "the dialog, its keys and buttons, and the command line passed; picture in $shot"
exit $((failures > 0))
