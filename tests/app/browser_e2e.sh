#!/usr/bin/env bash
# usage: browser_e2e.sh VOXWALK SOURCE_DIR. A browser plays what --animate writes: headless Chromium shows a
# turntable APNG (and the same as a GIF) in an <img>, and two screenshots a second apart differ; a one-frame APNG,
# the control, must not change. Installs Debian's chromium on demand: it is large, and only this check uses it.
set -uo pipefail
voxwalk=$(realpath "$1") source_dir=$(realpath "$2") work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
if ! command -v chromium >/dev/null; then
  sudo=() && [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  "${sudo[@]}" apt-get update -qq && "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y -qq --no-install-recommends chromium >/dev/null || fail "cannot install chromium"
fi
cd "$source_dir" || exit 1  # the grass
frame=assets/voxels/ZevezuRezov/Walk/walk_00001.vox
for out in turn.png turn.gif; do
  env -u DISPLAY LIBGL_ALWAYS_SOFTWARE=1 "$voxwalk" --animate "$work/$out" --size 128 --turntable 12 --fps 6 "$frame" \
    || fail "cannot write $out"
  /usr/bin/python3 "$source_dir/tests/app/browser_plays.py" "$work/$out" 1 || exit 1
done
env -u DISPLAY LIBGL_ALWAYS_SOFTWARE=1 "$voxwalk" --animate "$work/one.png" --size 128 --turntable 1 "$frame" \
  || fail "cannot write one.png"
/usr/bin/python3 "$source_dir/tests/app/browser_plays.py" "$work/one.png" 1 >/dev/null && fail "one frame changed"
echo "the browser plays both animations and holds a single frame still"
