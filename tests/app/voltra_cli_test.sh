#!/usr/bin/env bash
# voltra from the outside without a display: its options, usage errors, and
# the fatal errors that say so (exit code 1, one stderr line with the remedy,
# error.txt as always). Usage: voltra_cli_test.sh VOLTRA
set -u
voltra=$1
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
: > script.qsc
# No display of any kind: SDL falls back to its offscreen driver, which must
# count as none.
nodisplay() { env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER "$@"; }
header=$'Sorry, but the following module had something to say:\r\n\r\n'

out=$("$voltra" --help); code=$?
[ "$code" -eq 0 ] || fail "--help exited $code"
for option in --no-dialog --size --windowed --colour-bits --no-music --from --help; do
  grep -q -- "$option" <<<"$out" || fail "--help does not list $option"
done
[ ! -e debug.txt ] || fail "--help wrote debug.txt"

for bad in "--size 10x10" "--size 800" "--size 800x600x" "--colour-bits 24" "--colour-bits" "--from -1" \
           "--from 600001" "--from 12ms" "--bogus" "stray" "-x"; do
  # shellcheck disable=SC2086
  err=$(nodisplay "$voltra" $bad 2>&1 >/dev/null); code=$?
  [ "$code" -eq 2 ] || fail "'$bad' exited $code, not 2"
  [ "$(wc -l <<<"$err")" -le 2 ] && grep -q '^voltra: ' <<<"$err" || fail "'$bad' gave no clear message: $err"
done
[ ! -e debug.txt ] && [ ! -e error.txt ] || fail "a usage error wrote a file"

# The dialog cannot open without a display.
err=$(nodisplay "$voltra" --size 640x480 2>&1 >/dev/null); code=$?
[ "$code" -eq 1 ] || fail "no display: exit $code, not 1"
[ "$err" = 'voltra: Startup Dialog: Can`t create startup dialog (no display: set DISPLAY, or use voltra-render)' ] ||
  fail "no display: stderr '$err'"
[ "$(cat error.txt 2>/dev/null)" = "${header}Startup Dialog"$'\r\n''Can`t create startup dialog'$'\r' ] ||
  fail "no display: error.txt is '$(cat -A error.txt 2>/dev/null)'"
[ ! -e debug.txt ] || fail "the dialog's failure wrote debug.txt"

# Without the dialog the window is the first to find there is no display.
rm -f error.txt
err=$(nodisplay "$voltra" --no-dialog --windowed 2>&1 >/dev/null); code=$?
[ "$code" -eq 1 ] || fail "--no-dialog, no display: exit $code, not 1"
[ "$err" = 'voltra: orbWinAPI: Could not register orbWindow! (no display: set DISPLAY, or use voltra-render)' ] ||
  fail "--no-dialog, no display: stderr '$err'"
[ "$(head -n 3 debug.txt 2>/dev/null | tr -d '\r')" = $'orbCreateWindow | 0\nWindowRegister | 0' ] ||
  fail "--no-dialog, no display: debug.txt is '$(cat debug.txt 2>/dev/null)'"
grep -q 'orbWinAPI' error.txt 2>/dev/null || fail "--no-dialog, no display: no error.txt"

# error.txt cannot be written: the module and the message still reach stderr.
mkdir unwritable && mkdir unwritable/error.txt
err=$(cd unwritable && nodisplay "$voltra" 2>&1 >/dev/null); code=$?
[ "$code" -ne 0 ] && [ "$code" -lt 128 ] || fail "unwritable error.txt: exit $code"
grep -qx 'voltra: Startup Dialog: Can`t create startup dialog (no display: .*)' <<<"$err" &&
  grep -q 'error.txt' <<<"$err" || fail "unwritable error.txt: stderr '$err'"

[ "$failures" -eq 0 ] && echo "all voltra command-line and fatal-error checks passed"
exit $((failures > 0))
