#!/usr/bin/env bash
# usage: no_display.sh VOXWALK SOURCE_DIR. The real viewer with no X display at all, as over ssh: one line on stderr,
# the log lines that still apply on stdout, one frame, status 0; with the shipped assets and from a folder without.
set -uo pipefail
voxwalk=$(realpath "$1") source_dir=$(realpath "$2") work=$(mktemp -d) failures=0
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
printf '%s\n' "" "GL_EXT_framebuffer_object is NOT supported" "GL_ARB_multitexture is NOT supported" \
  "GL_ARB_shading_language_100 is NOT supported" "glActiveStencilFaceEXT is NOT supported" \
  "font constructor called" "font loaded, assets/textures/fonts/font1.png" >"$work/head"
mkdir "$work/empty"
# NAME FOLDER HEADERS ERRORS: the viewer run in FOLDER reads HEADERS frames and misses ERRORS.
while read -r name folder headers errors; do
  out=$work/$name.out status=0
  (cd "$folder" && env -u DISPLAY -u WAYLAND_DISPLAY "$voxwalk" </dev/null) >"$out" 2>"$work/$name.err" || status=$?
  [ "$status" -eq 0 ] || fail "$name: exit status $status"
  [ "$(cat "$work/$name.err")" = "voxwalk: no OpenGL window (X11: The DISPLAY environment variable is missing); the program stops after its first frame" ] \
    || { fail "$name: stderr"; cat "$work/$name.err"; }
  head -n 7 "$out" | cmp -s - "$work/head" || fail "$name: the first lines differ"
  [ "$(tail -n 1 "$out")" = "font destructor called" ] || fail "$name: no shut-down"
  [ "$(grep -c '^Magic Header ID = (VOX )$' "$out")" -eq "$headers" ] || fail "$name: not $headers frames read"
  [ "$(grep -c '^Error opening the file$' "$out")" -eq "$errors" ] || fail "$name: not $errors frames missing"
done <<TABLE
with-assets $source_dir 30 0
without-assets $work/empty 0 30
TABLE
[ "$failures" -eq 0 ] || exit 1
echo "no-display checks passed"
