#!/usr/bin/env bash
# Capture against rendering alone, in one run on one machine.
#
#   bash bench/capture/capture_speed.sh [BUILD_DIR] [voltra-render options]
#
# Renders the same frames with no output (the anchor), straight into an MP4
# with the music, and, with CAPTURE_PNG=1, as PNG frames (the old way), then
# renders the anchor again: the anchor is the mean of the two, so a machine
# whose speed drifts during the minutes this takes skews the ratios less.
# Prints each time, its ratio to the anchor and the real-time factor
# (seconds of show per second of work), then what a start inside the show
# costs: --at 120000 against --at 0.
# Defaults: the whole show at 800x600 and 30 frames per second.
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
shift || true
render="$build/app/voltra-render"
show="$build/show"
[ -x "$render" ] && [ -f "$show/script.qsc" ] || { echo "build the project and its show first" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
ln -s "$show/data" data && ln -s "$show/script.qsc" script.qsc && ln -s "$show/music.ogg" music.ogg

args=(--size 800x600 --fps 30 "$@")
calc() { awk "BEGIN { print $1 }"; }
seconds() { local s; s=$(date +%s.%N); "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; exit 1; }; calc "$(date +%s.%N) - $s"; }

before=$(seconds "$render" "${args[@]}")
video=$(seconds "$render" "${args[@]}" --out show.mp4)
[ "${CAPTURE_PNG:-0}" = 1 ] && png=$(seconds "$render" "${args[@]}" --out frames)
after=$(seconds "$render" "${args[@]}")
none=$(calc "($before + $after) / 2")
length=$(ffprobe -v error -show_entries format=duration -of csv=p=0 show.mp4)
frames=$(ffprobe -v error -select_streams v:0 -show_entries stream=nb_frames -of csv=p=0 show.mp4)

printf '%-26s %8s %8s %10s\n' "" seconds ratio "real-time"
row() { printf '%-26s %8.1f %8.3f %9.2fx\n' "$1" "$2" "$(calc "$2 / $none")" "$(calc "$length / $2")"; }
row "render only, first" "$before"
row "render only, last" "$after"
row "render only (anchor: mean)" "$none"
row "render + MP4 with music" "$video"
[ -n "${png:-}" ] && row "render + PNG frames" "$png"
echo "($frames frames, $length s of show, $(stat -c %s show.mp4) bytes of MP4)"

at0=$(seconds "$render" --at 0 --out a.png)
at120=$(seconds "$render" --at 120000 --out b.png)
printf 'start at 120000: %.2f s, at 0: %.2f s, so the catch-up costs %.2f s\n' "$at120" "$at0" "$(calc "$at120 - $at0")"
