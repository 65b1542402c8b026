#!/usr/bin/env bash
# Builds the show and plays it: in a window where a display exists, otherwise
# rendered headless to PNG frames (and a video with its music when ffmpeg can).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)"

show=build/show
if [ ! -f "$show/script.qsc" ] || [ ! -d "$show/data" ]; then
  echo "play: the show's data is missing: $show/script.qsc and $show/data/ were not built" >&2
  exit 1
fi

cd "$show"
if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  exec ../app/voltra
fi

out=frames
rm -rf "$out"
echo "play: no display found; rendering the show headless into $PWD/$out/"
../app/voltra-render --out "$out" "$@"
echo "play: frames written to $PWD/$out/ (numbered PNG files, 30 per second)"
