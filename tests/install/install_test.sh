#!/usr/bin/env bash
# install_test.sh BUILD_DIR: installs into a temporary prefix and uses it without a display: the
# desktop files, the walk started from a folder without assets, a thumbnail by the thumbnailer's command line.
set -uo pipefail
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
share=$prefix/share
fail() { echo "FAIL: $*"; exit 1; }

cmake --install "$1" --prefix "$prefix" >"$work/install.log" 2>&1 || fail "cmake --install: $(<"$work/install.log")"

[ -f "$share/icons/hicolor/256x256/apps/voxwalk.png" ] || fail "the icon is not installed"
[ -x "$prefix/bin/voxwalk-info" ] || fail "voxwalk-info is not installed"
update-mime-database "$share/mime" >/dev/null 2>&1 || fail "update-mime-database refused the MIME type"
grep -q 'model/x-vox:\*\.vox' "$share/mime/globs2" 2>/dev/null || fail "*.vox is not model/x-vox"
grep -q 'VOX ' "$share/mime/magic" 2>/dev/null || fail "the MIME type has no magic"
desktop-file-validate "$share/applications/voxwalk.desktop" || fail "the launcher is not valid"

# The walk's assets: those of the working directory first, else the install's.
mkdir "$work/elsewhere" "$work/thumbs" "$work/here" && ln -s "$share/voxwalk/assets" "$work/here/assets"
for row in "elsewhere $share/voxwalk/" "here "; do
  set -- $row
  (cd "$work/$1" && env -u DISPLAY "$prefix/bin/voxwalk") >"$work/walk.out" 2>&1 || fail "walk in $1: status $?"
  grep -qx "font loaded, ${2:-}assets/textures/fonts/font1.png" "$work/walk.out" || fail "walk in $1: not its font"
  grep -q "Error opening the file" "$work/walk.out" && fail "walk in $1: a frame file was missing"
done

exec_line=$(sed -n 's/^Exec=//p' "$share/thumbnailers/voxwalk.thumbnailer")
[ "$exec_line" = "voxwalk --snapshot %o --size %s --background transparent --time-limit 3 %i" ] \
  || fail "thumbnailer Exec is '$exec_line'"
cp "$share/voxwalk/assets/voxels/ZevezuRezov/Walk/walk_00007.vox" "$work/model.vox"
command=${exec_line//%i/$work/model.vox}
command=${command//%o/$work/thumbs/model.png}
(cd "$work/elsewhere" && env -u DISPLAY PATH="$prefix/bin:$PATH" LIBGL_ALWAYS_SOFTWARE=1 ${command//%s/128}) \
  >"$work/thumb.out" 2>&1 || fail "thumbnail: exit status $?: $(<"$work/thumb.out")"
read -r width height colours < <(identify -format '%w %h %k' "$work/thumbs/model.png" 2>/dev/null)
[ "${width:-} ${height:-}" = "128 128" ] && [ "${colours:-0}" -gt 20 ] \
  || fail "thumbnail: ${width:-?} x ${height:-?} with ${colours:-no} colours, not 128 x 128 with more than 20"
# File managers draw thumbnails on their own background: transparent corners, an opaque model.
alpha=$(convert "$work/thumbs/model.png" -format '%[fx:p{0,0}.a] %[fx:p{64,64}.a]' info: 2>/dev/null)
[ "$alpha" = "0 1" ] || fail "thumbnail: alpha at a corner and the middle is '$alpha', not '0 1'"
# A thumbnail not ready within its time limit: status 1, one line, nothing written.
status=0
(cd "$work/elsewhere" && env -u DISPLAY PATH="$prefix/bin:$PATH" LIBGL_ALWAYS_SOFTWARE=1 \
  voxwalk --snapshot "$work/thumbs/late.png" --size 128 --time-limit 0.001 "$work/model.vox") \
  >"$work/late.out" 2>"$work/late.err" || status=$?
[ "$status" -eq 1 ] && [ "$(wc -l <"$work/late.err")" -eq 1 ] && grep -q "no picture within the time limit" "$work/late.err" \
  || fail "late thumbnail: status $status: $(<"$work/late.err")"
[ "$(ls -A "$work/thumbs")" = model.png ] || fail "late thumbnail: left $(ls -A "$work/thumbs")"
echo "install checks passed"
