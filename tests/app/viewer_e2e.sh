#!/usr/bin/env bash
# End-to-end run of the real viewer on a virtual X server of its own:
# usage: viewer_e2e.sh VOXWALK EXPECTED_LOG CLOSE_WINDOW SOURCE_DIR
#  1. from a folder holding the assets: first frame, a screenshot that is not
#     blank, Escape, exit status 0, and the whole standard output in order;
#  2. from a folder without assets: one "Error opening the file" per frame,
#     still a picture, Escape, status 0;
#  3. closing the window ends the viewer like Escape.
set -uo pipefail
voxwalk=$(realpath "$1") expected_log=$(realpath "$2") close_window=$(realpath "$3")
source_dir=$(realpath "$4")
source "$source_dir/scripts/headless.sh"

work=$(mktemp -d)
cleanup() {
  [ -n "${viewer:-}" ] && kill -9 "$viewer" 2>/dev/null
  stop_virtual_display
  rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

start_virtual_display || exit 1
export LIBGL_ALWAYS_SOFTWARE=1

mkdir "$work/with" "$work/without"
ln -s "$source_dir/assets" "$work/with/assets"

# run_viewer FOLDER NAME HOW: runs the viewer in FOLDER until the first frame,
# screenshots it into NAME.png, ends it by HOW (escape or close) and leaves
# its output in NAME.out and its exit status in $status.
run_viewer() {
  local folder=$1 name=$2 how=$3
  (cd "$folder" && exec "$voxwalk") >"$work/$name.out" 2>"$work/$name.err" &
  viewer=$!
  local window
  window=$(wait_for_window "$viewer" 60)
  if [ -z "$window" ]; then
    fail "$name: no window"
    status=124
    kill -9 "$viewer" 2>/dev/null; wait "$viewer" 2>/dev/null; viewer=
    return
  fi
  wait_for_picture "$window" "$work/$name.png" 60 || fail "$name: the window stayed blank"
  if [ "$how" = escape ]; then
    press_escape "$window"
  else
    "$close_window" "$window"
  fi
  status=0
  wait_for_exit "$viewer" 30 || status=$?
  viewer=
}

# expected_output FOLDER: what a whole run in FOLDER must print.
expected_output() {
  "$expected_log" extensions
  echo "font constructor called"
  echo "font loaded, assets/textures/fonts/font1.png"
  (cd "$1" && "$expected_log" frames)
  echo "font destructor called"
}

# check_output NAME FOLDER
check_output() {
  expected_output "$2" >"$work/$1.expected" 2>/dev/null
  if ! diff -u "$work/$1.expected" "$work/$1.out" >"$work/$1.diff"; then
    fail "$1: standard output differs from the expected order"
    head -n 40 "$work/$1.diff"
  fi
}

# 1. With assets.
run_viewer "$work/with" with escape
[ "$status" -eq 0 ] || fail "with assets: exit status $status"
colours=$(colour_count "$work/with.png")
[ "$colours" -gt 50 ] || fail "with assets: only $colours colours in the screenshot"
check_output with "$work/with"
grep -q "Error opening the file" "$work/with.out" && fail "with assets: a frame file was missing"

# 2. Without assets.
run_viewer "$work/without" without escape
[ "$status" -eq 0 ] || fail "without assets: exit status $status"
errors=$(grep -c '^Error opening the file$' "$work/without.out")
[ "$errors" -eq 30 ] || fail "without assets: $errors lines \"Error opening the file\", not 30"
check_output without "$work/without"

# 3. Closing the window.
run_viewer "$work/with" close close
[ "$status" -eq 0 ] || fail "window closed: exit status $status"
[ "$(tail -n 1 "$work/close.out")" = "font destructor called" ] \
  || fail "window closed: the shut-down did not run"

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "all end-to-end checks passed"
