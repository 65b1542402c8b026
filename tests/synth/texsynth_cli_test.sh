#!/usr/bin/env bash
# texsynth from the outside: a hand-written list renders to a PNG, its
# compiled dump to the same picture, errors go to stderr with a non-zero
# exit, and a failed run leaves an existing output alone.
# Usage: texsynth_cli_test.sh TEXSYNTH
set -u
texsynth=$1
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

png_size() { od -An -tu1 -j16 -N8 "$1" | awk '{printf "%dx%d", $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8}'; }

cat > list.txt <<'LIST'
# hand-written
[layer 0]
perlinNoise(0,16,99,255,140,5,true);
[layer 4]
checkerBoardLayer(4,8,8,0,0,0,255,255,255);   # board
mulLayers(0,4,4,1,1)
LIST

"$texsynth" --help | grep -q 'texsynth render' || fail "--help lists no render"
"$texsynth" render list.txt --size 64 --height 32 -o text.png || fail "render of the list failed"
[ "$(png_size text.png)" = "64x32" ] || fail "text.png is $(png_size text.png)"
"$texsynth" compile list.txt -o list.dump || fail "compile failed"
[ "$(stat -c %s list.dump)" = 22020 ] || fail "dump is not 22020 bytes"
"$texsynth" render list.dump --size 64 --height 32 -o dump.png || fail "render of the dump failed"
cmp -s text.png dump.png || fail "dump and list render differently"
"$texsynth" export list.dump > exported.txt || fail "export failed"
grep -q '^mulLayers(0,4,4,1,1);$' exported.txt || fail "export lacks the mulLayers line"
"$texsynth" render exported.txt --size 64 --height 32 -o exported.png || fail "render of the export failed"
cmp -s text.png exported.png || fail "export renders differently"
"$texsynth" render list.txt --size 64 -o out.kpx || fail "kpx output failed"
[ "$(head -c 3 out.kpx)" = KPX ] || fail "out.kpx has no KPX magic"

# A dump whose only entry (layer 4) names no operation: black, with a warning.
head -c 22020 /dev/zero > skip.dump
printf '\001\000\000\000\011\000\000\000' | dd of=skip.dump bs=1 seek=17616 conv=notrunc 2>/dev/null
err=$("$texsynth" render skip.dump --size 8 -o skip.png 2>&1 >/dev/null) || fail "render of a dump with a skipped entry failed"
grep -q 'layer 4 entry 0 skipped' <<<"$err" || fail "no warning for the skipped entry: $err"

printf 'perlinNoise(0,16,99,255,140,5,true);\nkaleidLayer(4,4,9);\n' > bad.txt
cp text.png keep.png
err=$("$texsynth" render bad.txt --size 64 -o keep.png 2>&1 >/dev/null); code=$?
[ "$code" -ne 0 ] || fail "an invalid command exited 0"
grep -q 'line 2' <<<"$err" || fail "the error names no line: $err"
cmp -s text.png keep.png || fail "a failed render changed the output file"
for bad in "render list.txt --size 100 -o x.png" "render list.txt -o x.png" "render list.txt --size 64 -o x.jpg" \
           "render missing.txt --size 64 -o x.png" "export list.txt" "compile bad.txt -o x.dump" "frobnicate"; do
  # shellcheck disable=SC2086
  err=$("$texsynth" $bad 2>&1 >/dev/null); code=$?
  [ "$code" -ne 0 ] || fail "'$bad' exited 0"
  grep -q 'texsynth:' <<<"$err" || fail "'$bad' gave no message"
done
[ ! -e x.png ] && [ ! -e x.dump ] || fail "a failed run left an output file"

# An input is never the output; a folder, a missing file or an endless
# stream as input is a clear error (exit 1), never an abort.
cp list.txt keep.txt
err=$("$texsynth" compile keep.txt -o keep.txt 2>&1); code=$?
[ "$code" -eq 1 ] && grep -q 'it is the input keep.txt' <<<"$err" || fail "compile over its input: $code $err"
cmp -s list.txt keep.txt || fail "compile destroyed its input"
err=$("$texsynth" render list.dump --size 8 -o list.dump.kpx 2>&1) || fail "render to a new .kpx failed: $err"
cp list.dump same.kpx
err=$("$texsynth" render same.kpx --size 8 -o same.kpx 2>&1); code=$?
[ "$code" -eq 1 ] && cmp -s list.dump same.kpx || fail "render over its input: $code $err"
mkdir folder
for cmd in "compile folder -o f.dump" "render folder --size 8 -o f.png" "export folder"; do
  # shellcheck disable=SC2086
  err=$("$texsynth" $cmd 2>&1); code=$?
  [ "$code" -eq 1 ] && grep -q 'folder is a directory' <<<"$err" || fail "'$cmd': $code $err"
done
err=$("$texsynth" compile /dev/zero -o z.dump 2>&1); code=$?
[ "$code" -eq 1 ] && grep -q 'larger than 1 MiB' <<<"$err" || fail "compile /dev/zero: $code $err"
err=$("$texsynth" compile nope.txt -o z.dump 2>&1)
grep -q 'cannot open nope.txt: No such file or directory' <<<"$err" || fail "no reason for a missing file: $err"
ls ./*.tmp* >/dev/null 2>&1 && fail "temporaries left behind: $(ls ./*.tmp*)"

[ "$failures" -eq 0 ] && echo "texsynth: all checks passed"
exit $((failures > 0))
