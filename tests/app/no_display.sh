#!/usr/bin/env bash
# The real viewer with no X display at all, as over ssh: one line on stderr,
# the log lines that still apply on stdout, one frame, status 0; with the
# shipped assets and from a folder without any.
# usage: no_display.sh VOXWALK SOURCE_DIR
set -uo pipefail
voxwalk=$(realpath "$1") source_dir=$(realpath "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# check NAME FOLDER HEADERS ERRORS: runs the viewer in FOLDER and expects
# HEADERS frames read and ERRORS frames missing.
check() {
  local name=$1 folder=$2 headers=$3 errors=$4 status=0
  (cd "$folder" && env -u DISPLAY -u WAYLAND_DISPLAY "$voxwalk") >"$work/$name.out" 2>"$work/$name.err" \
    || status=$?
  [ "$status" -eq 0 ] || fail "$name: exit status $status"
  [ "$(cat "$work/$name.err")" = "voxwalk: no OpenGL window (X11: The DISPLAY environment variable is missing); the program stops after its first frame" ] \
    || { fail "$name: stderr"; cat "$work/$name.err"; }
  printf '%s\n' "" "GL_EXT_framebuffer_object is NOT supported" "GL_ARB_multitexture is NOT supported" \
    "GL_ARB_shading_language_100 is NOT supported" "glActiveStencilFaceEXT is NOT supported" \
    "font constructor called" "font loaded, assets/textures/fonts/font1.png" >"$work/head"
  head -n 7 "$work/$name.out" | cmp -s - "$work/head" || fail "$name: the first lines differ"
  [ "$(tail -n 1 "$work/$name.out")" = "font destructor called" ] || fail "$name: no shut-down"
  [ "$(grep -c '^Magic Header ID = (VOX )$' "$work/$name.out")" -eq "$headers" ] \
    || fail "$name: not $headers frames read"
  [ "$(grep -c '^Error opening the file$' "$work/$name.out")" -eq "$errors" ] \
    || fail "$name: not $errors frames missing"
}

mkdir "$work/empty"
check with-assets "$source_dir" 30 0
check without-assets "$work/empty" 0 30

[ "$failures" -eq 0 ] || exit 1
echo "no-display checks passed"
