#!/usr/bin/env bash
# voltra-render and voltra from the outside: options, errors, exit codes and
# output files. Usage: render_cli_test.sh VOLTRA_RENDER VOLTRA
set -u
render=$1
voltra=$2
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
: > script.qsc

# PNG width and height from the IHDR chunk.
png_size() { od -An -tu1 -j16 -N8 "$1" | awk '{printf "%dx%d", $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8}'; }

out=$("$render" --help) || fail "--help exited non-zero"
grep -q -- '--fps' <<<"$out" || fail "--help does not list --fps"

for bad in "--fps 0" "--size 10x10" "--size 800" "--from -1" "--to abc" "--bogus" "--out x.png" \
  "--size 801x600 --out odd.mp4"; do
  # shellcheck disable=SC2086
  err=$("$render" $bad 2>&1 >/dev/null); code=$?
  [ "$code" -eq 2 ] || fail "'$bad' exited $code, not 2"
  [ "$(wc -l <<<"$err")" -le 2 ] && grep -q 'voltra-render:' <<<"$err" || fail "'$bad' gave no clear message: $err"
done

if "$render" --at 0 --size 320x240 --out one.png >/dev/null 2>err.txt; then
  [ "$(png_size one.png)" = "320x240" ] || fail "--at --out wrote $(png_size one.png), not 320x240"
else
  # The show's data may not exist here: then the run must have said why.
  [ -s err.txt ] || [ -s error.txt ] || fail "--at failed without a word"
fi
ls ./*.part ./*.tmp-* >/dev/null 2>&1 && fail "a partial PNG was left behind"

# Missing GL libraries are named.
err=$(VOLTRA_GL_LIBRARY=libmissing-gl.so.1 "$render" 2>&1); code=$?
[ "$code" -ne 0 ] && [ "$err" = "Could not load OpenGL from libmissing-gl.so.1" ] || fail "GL: code $code, '$err'"
err=$(VOLTRA_GLU_LIBRARY=libmissing-glu.so.1 "$voltra" 2>&1); code=$?
[ "$code" -ne 0 ] && [ "$err" = "Could not load GLu from libmissing-glu.so.1" ] || fail "GLU: code $code, '$err'"

# An unwritable debug.txt: one clear line, a non-zero code, no crash.
mkdir unwritable && mkdir unwritable/debug.txt && : > unwritable/script.qsc
for program in "$render" "$voltra --no-dialog"; do
  # shellcheck disable=SC2086
  err=$(cd unwritable && SDL_VIDEODRIVER=offscreen $program 2>&1 >/dev/null); code=$?
  [ "$code" -ne 0 ] && [ "$code" -lt 128 ] || fail "$(basename "$program") with unwritable debug.txt exited $code"
  [ "$(grep -c . <<<"$err")" -eq 1 ] && grep -q 'debug.txt' <<<"$err" || fail "$(basename "$program"): '$err'"
done

# A fatal error: exit code 1 and the module and message on stderr, as voltra.
mkdir fatal && : > fatal/script.qsc && mkdir fatal/data
# A complete header whose fields are impossible (bits per pixel 7).
{ printf 'KPX\020\000\020\000\007'; head -c 192 /dev/zero; } > fatal/data/loading.kpx
err=$(cd fatal && "$render" --at 0 2>&1 >/dev/null); code=$?
[ "$code" -eq 1 ] && [ "$err" = "voltra-render: orbTexture: Could not load Texture" ] ||
  fail "a fatal error: code $code, '$err'"
grep -q 'orbTexture' fatal/error.txt 2>/dev/null || fail "a fatal error wrote no error.txt"

[ "$failures" -eq 0 ] && echo "all voltra-render and voltra command-line checks passed"
exit $((failures > 0))
