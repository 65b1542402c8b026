#!/usr/bin/env bash
# Builds everything and runs every test: the release build's tests, the unit
# tests again under AddressSanitizer and UBSan, and the fuzz harnesses for a
# bounded time. Installs what it needs on a fresh Debian 12 machine.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh

jobs=$(nproc)
started=$(date +%s)
werror=ON

echo "== release build"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DVOLTRA_WERROR=$werror >/dev/null
cmake --build build -j"$jobs"
echo "== tests (release)"
ctest --test-dir build --output-on-failure -j"$jobs" -LE fuzz

echo "== sanitizer build (address, undefined)"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Release -DVOLTRA_SANITIZE=ON \
  -DVOLTRA_BENCH=OFF -DVOLTRA_WERROR=$werror >/dev/null
cmake --build build-asan -j"$jobs"
echo "== tests (sanitizers)"
# Mesa keeps allocations alive until exit; leaks are not what this run looks for.
ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j"$jobs" -L unit

echo "== the whole show under the sanitizers (voltra-render, 5 frames a second)"
# Every frame of the show through the engine and the scenes, under ASan and
# UBSan with leak checking: any report fails. Mesa's driver stays loaded until
# exit (preloaded), so what it holds is not mistaken for a leak through an
# unnamed module; the suppression names that one library and nothing else.
root=$PWD
check=build-asan/show-check
rm -rf "$check" && mkdir -p "$check"
ln -s "$root/build/show/data" "$root/build/show/music.ogg" "$root/build/show/script.qsc" "$check/"
dri=/usr/lib/$(gcc -print-multiarch)/dri/swrast_dri.so
show_started=$(date +%s)
(cd "$check" && env LD_PRELOAD="$(gcc -print-file-name=libasan.so) $dri" \
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
  LSAN_OPTIONS=suppressions="$root/scripts/lsan-mesa.supp" \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ../app/voltra-render --fps 5)
echo "(the show under the sanitizers took $(( $(date +%s) - show_started )) s)"

if command -v clang++ >/dev/null; then
  echo "== fuzz harnesses (libFuzzer, bounded)"
  CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=Release -DVOLTRA_FUZZ=ON \
    -DVOLTRA_GL=OFF -DVOLTRA_BENCH=OFF >/dev/null
  cmake --build build-fuzz -j"$jobs"
  ctest --test-dir build-fuzz --output-on-failure -L fuzz -j"$jobs"
fi

echo "== all tests passed in $(( $(date +%s) - started )) s"
