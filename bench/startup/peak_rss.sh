#!/usr/bin/env bash
# Peak memory of the show: the "Maximum resident set size" /usr/bin/time -v
# reports for a whole headless run (voltra-render over the whole show at
# FPS frames a second of music, default 1) and for voltra on a private Xvfb
# display (fullscreen 800 × 600, music on SDL's dummy driver) ended with
# SIGINT after SECONDS seconds (default 20; the peak comes with the start-up).
# Each folder given holds voltra, voltra-render and libvoltra.so (build/app,
# or a copy of an older build), so before and after run side by side.
#
#   bench/startup/peak_rss.sh SHOW_DIR APP_DIR [APP_DIR …]
#   FPS=1 SECONDS_VOLTRA=20 bench/startup/peak_rss.sh build/show build/app
set -eu
here=$(cd "$(dirname "$0")" && pwd)
show=$(cd "$1" && pwd)
shift
fps=${FPS:-1}
seconds=${SECONDS_VOLTRA:-20}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
peak() { sed -n 's/.*Maximum resident set size (kbytes): //p' "$1"; }
for app in "$@"; do
  app=$(cd "$app" && pwd)
  rm -rf "$work/show" && cp -r "$show" "$work/show"
  (cd "$work/show" && /usr/bin/time -v -o "$work/render.txt" "$app/voltra-render" --fps "$fps" >/dev/null)
  (cd "$work/show" && bash "$here/../../tests/support/with-xvfb.sh" \
     /usr/bin/time -v -o "$work/voltra.txt" timeout -s INT "$seconds" "$app/voltra" >/dev/null 2>&1 || true)
  printf '%s: voltra-render --fps %s peak %s kB; voltra %s s peak %s kB\n' \
    "$app" "$fps" "$(peak "$work/render.txt")" "$seconds" "$(peak "$work/voltra.txt")"
done
