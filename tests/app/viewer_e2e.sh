#!/usr/bin/env bash
# usage: viewer_e2e.sh VOXWALK E2E_HELPER SOURCE_DIR. The real viewer on a virtual X server of its own: exit statuses,
# the whole standard output (the driver's extension list, then literal lines: voxwalk-stdout.txt is a run with the
# shipped assets on Mesa llvmpipe) and pixels of the picture.
set -uo pipefail
voxwalk=$(realpath "$1") helper=$(realpath "$2") source_dir=$(realpath "$3")
golden=$source_dir/tests/data/voxwalk-stdout.txt work=$(mktemp -d) failures=0
source "$source_dir/scripts/headless.sh"
trap '[ -n "${viewer:-}" ] && kill -9 "$viewer" 2>/dev/null; stop_virtual_display; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
start_virtual_display || exit 1
export LIBGL_ALWAYS_SOFTWARE=1
mkdir "$work/with" "$work/without" && ln -s "$source_dir/assets" "$work/with/assets"
"$helper" extensions >"$work/extensions" || fail "no GL context for the extension list"

# run_viewer FOLDER NAME HOW EXPECTED: the viewer in FOLDER until its first picture (NAME.png), ended by HOW (escape
# or close); the output must be the extension list, then the file EXPECTED.
run_viewer() {
  local name=$2 window status=0
  (cd "$1" && exec "$voxwalk") >"$work/$name.out" 2>"$work/$name.err" &
  viewer=$! && window=$(wait_for_window "$viewer" 60)
  if [ -z "$window" ]; then fail "$name: no window"; kill -9 "$viewer" 2>/dev/null
  else
    wait_for_picture "$window" "$work/$name.png" 60 || fail "$name: the window stayed blank"
    if [ "$3" = escape ]; then press_escape "$window"; else "$helper" close "$window"; fi
  fi
  wait_for_exit "$viewer" 30 || status=$?
  viewer= && [ "$status" -eq 0 ] || fail "$name: exit status $status"
  cat "$work/extensions" "$4" | diff -u - "$work/$name.out" >"$work/$name.diff" \
    || { fail "$name: standard output differs from the expected lines"; head -n 40 "$work/$name.diff"; }
}

# check NAME WxH+X+Y EXPRESSION [OPERATIONS...]: that box of NAME.png (rows from the top), after the ImageMagick
# OPERATIONS, makes the fx EXPRESSION true.
check() {
  [ "$(convert "$work/$1.png" -crop "$2" +repage "${@:4}" -format "%[fx:$3]" info: 2>/dev/null)" = 1 ] \
    || fail "$1: $2 is not $3"
}
white=(-fx 'r>0.9&&g>0.9&&b>0.9' -trim)

run_viewer "$work/with" with escape "$golden"
# "FPS = N" in the top 16 rows and "Animation frame #N" in the 16 below, 5 pixels left of the centre per character;
# lit grass at the bottom; the character above the centre, where the camera looks, in colours not grass's.
check with 1024x16+0+0 'page.x>=467&&page.x<=481' "${white[@]}"
check with 1024x16+0+16 'page.x>=417&&page.x<=426' "${white[@]}"
check with 1024x40+0+728 'mean.g>0.15&&mean.g>mean.r&&mean.g>mean.b'
check with 80x100+472+290 'mean*w*h>40' -fx 'g<=r||g<=b'
{ head -n 9 "$golden"; yes "Error opening the file" | head -n 30; echo "font destructor called"; } >"$work/without.exp"
run_viewer "$work/without" without escape "$work/without.exp"
check without 1024x40+0+728 'mean.r==mean.g&&mean.g==mean.b&&mean.r>0.3'  # lit grey, untextured
# Closing the window ends the viewer like Escape, shut-down included.
run_viewer "$work/with" close close "$golden"
[ "$failures" -eq 0 ] || { echo "$failures check(s) failed"; exit 1; }
echo "all end-to-end checks passed"
