#!/usr/bin/env bash
# Renders the frames listed in scripts/gallery.txt (each scene's key moments,
# every page and greeting switch, the credits, the finale) exactly as the show
# draws them, and tiles them into one labelled PNG for review:
# build/show-gallery.png. Extra arguments: --size WxH (default 320x240),
# --columns N (default 8), --list FILE (default scripts/gallery.txt).
# Uses an existing build in build/ (or $VOLTRA_BUILD) and builds only the
# three targets it needs.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${VOLTRA_BUILD:-build}
size=320x240 columns=8 list=scripts/gallery.txt
while [ $# -gt 0 ]; do
  case "$1" in
    --size | --columns | --list)
      [ $# -ge 2 ] || { echo "gallery: $1 needs a value" >&2; exit 2; }
      case "$1" in --size) size=$2 ;; --columns) columns=$2 ;; --list) list=$2 ;; esac
      shift 2 ;;
    *) echo "gallery: unknown argument $1 (--size WxH, --columns N, --list FILE)" >&2; exit 2 ;;
  esac
done
[ -f "$list" ] || { echo "gallery: no list file $list" >&2; exit 1; }
list=$(cd "$(dirname "$list")" && pwd)/$(basename "$list")

if [ ! -f "$build/build.ninja" ] && [ ! -f "$build/Makefile" ]; then
  bash scripts/deps.sh
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$build" -j2 --target voltra-render frame-gallery show >/dev/null

frames=$root/$build/gallery-frames
out=$root/$build/show-gallery.png
rm -rf "$frames"
mkdir -p "$frames"
count=0 started=$SECONDS
cd "$build/show"
# The list's own lines: a time, then a label; '#' notes and blank lines skipped.
line=0
while read -r ms _ || [ -n "$ms" ]; do
  line=$((line + 1))
  ms=${ms%$'\r'}
  case "$ms" in '' | '#'*) continue ;; esac
  if ! [[ "$ms" =~ ^[0-9]+$ ]]; then
    echo "gallery: $list line $line: '$ms' is not a time in milliseconds" >&2
    exit 1
  fi
  if ! ../app/voltra-render --at "$ms" --size "$size" --out "$frames/$ms.png" >/dev/null 2>"$frames/error.txt"; then
    echo "gallery: the frame at $ms ms did not render:" >&2
    cat "$frames/error.txt" >&2
    exit 1
  fi
  count=$((count + 1))
done <"$list"
cd "$root"
"$build/tools/forge/frame-gallery" "$list" "$frames" "$out" --columns "$columns"
echo "gallery: $count frames at $size in $((SECONDS - started)) s: $out"
