#!/usr/bin/env bash
# Builds the show and plays it: in a window where a display exists, otherwise
# rendered headless to PNG frames and, where ffmpeg exists, a video with its music.
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

# The frame rate and start the frames were rendered at, for the video.
fps=30 from=0
args=("$@")
for ((i = 0; i + 1 < ${#args[@]}; i++)); do
  case "${args[i]}" in --fps) fps=${args[i + 1]} ;; --from) from=${args[i + 1]} ;; esac
done
echo "play: frames written to $PWD/$out/ (numbered PNG files, $fps per second)"
if command -v ffmpeg >/dev/null && [ -e "$out/frame_000000.png" ]; then
  ffmpeg -loglevel error -y -framerate "$fps" -i "$out/frame_%06d.png" \
    -ss "$(awk -v ms="$from" 'BEGIN { printf "%.3f", ms / 1000 }')" -i music.ogg \
    -c:v libx264 -pix_fmt yuv420p -c:a aac -shortest show.mp4 &&
    echo "play: video with its music written to $PWD/show.mp4"
fi
