#!/usr/bin/env bash
# Runs a command on a private Xvfb display (800x600x24) with a window manager,
# so fullscreen windows fill the screen. Exits 77 (skipped) without Xvfb.
set -u
command -v Xvfb >/dev/null || { echo "with-xvfb: Xvfb is not installed" >&2; exit 77; }

# Xvfb picks a free display itself and writes its number to fd 3, so tests
# started at the same moment never share a server.
numberFile=$(mktemp)
Xvfb -displayfd 3 -screen 0 "${XVFB_SCREEN:-800x600x24}" -nolisten tcp 3>"$numberFile" >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 1 200); do
  [ -s "$numberFile" ] && break
  kill -0 "$xvfb" 2>/dev/null || break
  sleep 0.05
done
display=":$(head -n 1 "$numberFile" | tr -d '[:space:]')"
rm -f "$numberFile"
[ "$display" != ":" ] || { echo "with-xvfb: Xvfb did not start" >&2; exit 1; }
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
