#!/usr/bin/env bash
# Installs the build into a temporary prefix and uses it as a user would:
# usage: install_test.sh BUILD_DIR
#  1. the programs, assets, launcher, MIME type and thumbnailer are in place,
#     and the MIME database and launcher tools accept them;
#  2. the installed voxwalk, started from a folder without assets and without
#     a display, reads the installed assets;
#  3. a file manager's thumbnail: the thumbnailer entry's command line, with
#     no X server, gives a picture of the requested size.
set -uo pipefail
build=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
share=$prefix/share
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 \
  || { cat "$work/install.log"; echo "FAIL: cmake --install"; exit 1; }

# 1. Files.
for file in bin/voxwalk share/voxwalk/assets/textures/fonts/font1.png \
    share/voxwalk/assets/textures/grass.png \
    share/voxwalk/assets/voxels/ZevezuRezov/Walk/walk_00030.vox \
    share/applications/voxwalk.desktop share/icons/hicolor/256x256/apps/voxwalk.png \
    share/mime/packages/voxwalk.xml \
    share/thumbnailers/voxwalk.thumbnailer; do
  [ -f "$prefix/$file" ] || fail "not installed: $file"
done
[ -x "$prefix/bin/voxwalk" ] || fail "bin/voxwalk is not executable"
if grep -q 'voxwalk-info' "$build/CMakeCache.txt" "$build/build.ninja" 2>/dev/null; then
  [ -x "$prefix/bin/voxwalk-info" ] || fail "voxwalk-info is built but not installed"
fi
update-mime-database "$share/mime" >/dev/null 2>&1 || fail "update-mime-database refused the MIME type"
grep -q 'model/x-vox:\*\.vox' "$share/mime/globs2" 2>/dev/null || fail "*.vox is not model/x-vox"
grep -q 'VOX ' "$share/mime/magic" 2>/dev/null || fail "the MIME type has no magic"
desktop-file-validate "$share/applications/voxwalk.desktop" || fail "the launcher is not valid"

# 2. The walk from elsewhere, without a display: one frame, the installed assets.
mkdir "$work/elsewhere"
(cd "$work/elsewhere" && env -u DISPLAY "$prefix/bin/voxwalk") >"$work/walk.out" 2>"$work/walk.err"
status=$?
[ "$status" -eq 0 ] || fail "installed walk: exit status $status"
grep -qx "font loaded, $share/voxwalk/assets/textures/fonts/font1.png" "$work/walk.out" \
  || fail "installed walk: the font was not read from the install"
grep -q "Error opening the file" "$work/walk.out" && fail "installed walk: a frame file was missing"

# 3. The thumbnailer's own command line: %i input, %o output, %s size.
exec_line=$(sed -n 's/^Exec=//p' "$share/thumbnailers/voxwalk.thumbnailer")
[ "$exec_line" = "voxwalk --snapshot %o --size %s %i" ] || fail "thumbnailer Exec is '$exec_line'"
command=${exec_line//%i/$work/model.vox}
command=${command//%o/$work/thumbs/model.png}
command=${command//%s/128}
mkdir "$work/thumbs"
cp "$share/voxwalk/assets/voxels/ZevezuRezov/Walk/walk_00007.vox" "$work/model.vox"
(cd "$work/elsewhere" && env -u DISPLAY PATH="$prefix/bin:$PATH" LIBGL_ALWAYS_SOFTWARE=1 \
  $command) >"$work/thumb.out" 2>"$work/thumb.err"
status=$?
[ "$status" -eq 0 ] || { cat "$work/thumb.err"; fail "thumbnail: exit status $status"; }
size=$(identify -format '%w %h' "$work/thumbs/model.png" 2>/dev/null)
[ "$size" = "128 128" ] || fail "thumbnail: size '$size', not 128 x 128"
colours=$(identify -format '%k' "$work/thumbs/model.png" 2>/dev/null || echo 0)
[ "$colours" -gt 20 ] || fail "thumbnail: only $colours colours"

[ "$failures" -eq 0 ] && echo "install: all checks passed"
exit $((failures > 0))
