#!/usr/bin/env bash
# Builds the show and plays it: in a window where a display exists, otherwise
# rendered headless straight into a video with its music, build/show/show.mp4.
# Extra arguments go to the program (voltra --help, voltra-render --help).
# Stops with the program's own exit status.
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
  exec ../app/voltra "$@"
fi

echo "play: no display found; rendering the show headless into $PWD/show.mp4"
status=0
../app/voltra-render --out show.mp4 "$@" || status=$?
if [ "$status" -ne 0 ]; then
  echo "play: voltra-render failed (exit status $status); no video was written" >&2
  exit "$status"
fi
echo "play: the show with its music is in $PWD/show.mp4"
