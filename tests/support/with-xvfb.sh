#!/usr/bin/env bash
# Runs a command on a private Xvfb display (800x600x24) with a window manager,
# so fullscreen windows fill the screen. Exits 77 (skipped) without Xvfb.
set -u
command -v Xvfb >/dev/null || { echo "with-xvfb: Xvfb is not installed" >&2; exit 77; }

display=""
for n in $(seq 91 140); do
  if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then display=":$n"; break; fi
done
[ -n "$display" ] || { echo "with-xvfb: no free display" >&2; exit 1; }

Xvfb "$display" -screen 0 "${XVFB_SCREEN:-800x600x24}" -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
cleanup() {
  [ -n "${wm:-}" ] && kill "$wm" 2>/dev/null
  kill "$xvfb" 2>/dev/null
  wait "$xvfb" 2>/dev/null
}
trap cleanup EXIT

for _ in $(seq 1 100); do
  DISPLAY=$display xdpyinfo >/dev/null 2>&1 && break
  sleep 0.05
done
if command -v openbox >/dev/null; then
  DISPLAY=$display openbox >/dev/null 2>&1 &
  wm=$!
  sleep 0.3
fi

DISPLAY=$display SDL_AUDIODRIVER=dummy "$@"
