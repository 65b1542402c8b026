#!/usr/bin/env bash
# voltra-render on the real show: starts inside the show give the frames a run
# from 0 gives, two runs give the same frames, videos come out whole, and every
# failure leaves nothing under the output name.
# Usage: capture_test.sh VOLTRA_RENDER SHOW_DIR   (exit 77: no show data here)
set -u
render=$1
show=$2
[ -f "$show/script.qsc" ] && [ -d "$show/data" ] || { echo "no show data in $show"; exit 77; }
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

work=$(mktemp -d)
cleanup() { mountpoint -q "$work/full-disk" 2>/dev/null && umount "$work/full-disk"; rm -rf "$work"; }
trap cleanup EXIT
cd "$work"
ln -s "$show/data" data && ln -s "$show/script.qsc" script.qsc && ln -s "$show/music.ogg" music.ogg

small=(--size 96x72 --fps 10)
sums() { (cd "$1" && md5sum frame_*.png | awk '{print $1}'); }

# --- Exact starts: one run from 0, then --at and --from inside scenes with
# built-up state (star swirl beats, corridor, vortex particles, greetings
# sheet, the spinning star grid) must repeat its frames byte for byte.
"$render" "${small[@]}" --to 121000 --out full >/dev/null 2>&1 || fail "run from 0 failed"
for at in 35000 55000 63000 75000 100800 120000; do
  "$render" "${small[@]}" --at "$at" --out at.png >/dev/null 2>&1 || { fail "--at $at failed"; continue; }
  frame=$(printf 'full/frame_%06d.png' $((at / 100)))
  cmp -s at.png "$frame" || fail "--at $at differs from the run from 0"
done
"$render" "${small[@]}" --from 99950 --to 100500 --out part >/dev/null 2>&1 || fail "--from 99950 failed"
# The first frame on the grid at or after 99950 is frame 1000 (100000 ms).
[ "$(sums part)" = "$(cd full && md5sum $(seq -f 'frame_%06g.png' 1000 1005) | awk '{print $1}')" ] ||
  fail "--from 99950 does not repeat frames 1000 to 1005 of the run from 0"

# --- Two runs of a star-grid stretch (the blur turns with the tick count).
"$render" "${small[@]}" --from 170000 --to 170600 --out grid1 >/dev/null 2>&1 &&
  "$render" "${small[@]}" --from 170000 --to 170600 --out grid2 >/dev/null 2>&1 || fail "star-grid runs failed"
[ -n "$(sums grid1)" ] && [ "$(sums grid1)" = "$(sums grid2)" ] || fail "two star-grid runs differ"

# --- A video with the music, trimmed to its frames.
if command -v ffprobe >/dev/null; then
  "$render" --size 160x120 --from 50000 --to 51000 --out clip.mp4 >/dev/null 2>err.txt || fail "mp4: $(cat err.txt)"
  probe() { ffprobe -v error -select_streams "$2" -show_entries stream=codec_name,nb_frames,duration -of csv=p=0 "$1"; }
  IFS=, read -r vcodec vduration vframes <<<"$(probe clip.mp4 v:0)"
  IFS=, read -r acodec aduration _ <<<"$(probe clip.mp4 a:0)"
  [ "$vcodec" = h264 ] && [ "$vframes" = 31 ] || fail "mp4 video: '$vcodec' with '$vframes' frames, not h264 with 31"
  [ "$acodec" = aac ] && awk -v a="$aduration" -v v="$vduration" 'BEGIN { exit !(a > v - 0.05 && a < v + 0.1) }' ||
    fail "mp4 sound: '$acodec' lasting $aduration s for $vduration s of video"
  "$render" --size 96x72 --fps 10 --from 50000 --to 50400 --out clip.webm >/dev/null 2>err.txt &&
    [ "$(probe clip.webm v:0 | cut -d, -f1)" = vp9 ] || fail "webm: $(cat err.txt)"
fi
# Temporaries are named NAME.tmp-XXXXXX.EXT beside the output.
ls -A | grep -q '\.tmp-' && fail "temporary files left behind: $(ls -A | grep '\.tmp-')"

# --- Failures: a clear message, a non-zero code, the old file untouched.
echo old > kept.mp4
err=$(PATH=/nonexistent "$render" "${small[@]}" --to 200 --out kept.mp4 2>&1 >/dev/null); code=$?
[ "$code" -eq 1 ] && grep -q 'ffmpeg' <<<"$err" || fail "without ffmpeg: exit $code, '$err'"
[ "$(cat kept.mp4)" = old ] || fail "a failed run replaced kept.mp4"
err=$("$render" "${small[@]}" --to 200 --out missing/x.mp4 2>&1 >/dev/null); code=$?
[ "$code" -eq 1 ] && grep -q 'cannot write missing/x.mp4' <<<"$err" || fail "unwritable folder: exit $code, '$err'"

# A full disk (a small tmpfs; needs root).
mkdir full-disk
if mount -t tmpfs -o size=16k tmpfs full-disk 2>/dev/null; then
  err=$("$render" --size 320x240 --crf 0 --from 50000 --to 51000 --out full-disk/x.mp4 2>&1 >/dev/null); code=$?
  [ "$code" -eq 1 ] && grep -q 'cannot write full-disk/x.mp4' <<<"$err" || fail "full disk: exit $code, '$err'"
  [ -z "$(ls -A full-disk)" ] || fail "full disk: left $(ls -A full-disk)"
  umount full-disk
else
  echo "note: not root, the full-disk case is skipped"
fi

# Ctrl-C: the renderer stops the encoder and removes the partial video.
"$render" "${small[@]}" --out stopped.mp4 >/dev/null 2>err.txt &
pid=$!
for _ in $(seq 100); do [ -n "$(ls -A | grep '^stopped\.tmp-')" ] && break; sleep 0.1; done
sleep 0.5
kill -INT "$pid"
wait "$pid"; code=$?
[ "$code" -eq 130 ] || fail "Ctrl-C: exit $code, not 130 ($(cat err.txt))"
[ -z "$(ls -A | grep stopped)" ] || fail "Ctrl-C left $(ls -A | grep stopped)"

[ "$failures" -eq 0 ] && echo "all capture checks passed"
exit $((failures > 0))
