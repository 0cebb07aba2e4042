#!/usr/bin/env bash
# usage: viewer_e2e.sh VOXWALK E2E_HELPER SOURCE_DIR [--no-display]. The real viewer as a user runs it: the
# walk with no display at all, the command line and --snapshot (also without), then the walk cycle and the model
# viewer on a virtual X server under real X events.
set -uo pipefail
voxwalk=$(realpath "$1") helper=$(realpath "$2") source_dir=$(realpath "$3")
golden=$source_dir/tests/data/voxwalk-stdout.txt work=$(mktemp -d) mode=${4:-}
m=$work/models
source "$source_dir/scripts/headless.sh"
trap '[ -n "${viewer:-}" ] && kill -9 "$viewer" 2>/dev/null; stop_virtual_display; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }  # the first failure ends the run
export LIBGL_ALWAYS_SOFTWARE=1
unset DISPLAY
mkdir -p "$m/none" "$m/anim/sub.vox" && ln -s "$source_dir/assets" "$work/assets"
"$helper" models "$m" || { echo "FAIL: cannot make the models"; exit 1; }
echo hello >"$m/text.vox" && echo notes >"$m/anim/notes.txt" && : >"$m/anim/.vox"  # for the folder to skip
cd "$work" || exit 1

# No display, as over ssh: status 0, one line on stderr, on stdout the log lines that still apply (no extension list,
# the frames read, or missing in a folder without the assets), one frame.
printf '%s\n' "" "GL_EXT_framebuffer_object is NOT supported" "GL_ARB_multitexture is NOT supported" \
  "GL_ARB_shading_language_100 is NOT supported" "glActiveStencilFaceEXT is NOT supported" \
  "font constructor called" "font loaded, assets/textures/fonts/font1.png" >"$work/head"
{ cat "$work/head"; sed -n '10,$p' "$golden"; } >"$work/with.exp"
{ cat "$work/head"; yes "Error opening the file" | head -n 30; echo "font destructor called"; } >"$work/without.exp"
line="voxwalk: no OpenGL window (X11: The DISPLAY environment variable is missing); the program stops after its first"
for row in "$work with" "$m/none without"; do
  set -- $row
  status=0 && (cd "$1" && env -u WAYLAND_DISPLAY "$voxwalk" </dev/null) >"$work/out" 2>"$work/err" || status=$?
  [ "$status" -eq 0 ] && [ "$(cat "$work/err")" = "$line frame" ] && diff -u "$work/$2.exp" "$work/out" \
    || fail "no display, $2 assets: status $status, stderr: $(cat "$work/err")"
done
[ "$mode" = --no-display ] && echo "no-display checks passed" && exit 0

answer() { # STATUS STREAM TEXT ARGS...: the exit status and TEXT on std$STREAM; an error is a line (and a hint)
  local status=$1 stream=$2 text=$3 got=0; shift 3
  "$voxwalk" "$@" </dev/null >"$work/out" 2>"$work/err" || got=$?
  [ "$got" -eq "$status" ] && grep -qF -- "$text" "$work/$stream" || fail "$*: status $got: $(head -c 300 "$work/err")"
  [ "$status" -eq 0 ] || { [ ! -s "$work/out" ] && [ "$(wc -l <"$work/err")" -le 2 ]; } || fail "$*: not one error line"
}
answer 0 out "Usage: voxwalk" --bogus --help
answer 0 out "voxwalk " --version
answer 0 out "1 to 8192 pixels a side" --help
for args in --help --version; do  # a full disk is a failure, not a success
  status=0 && "$voxwalk" $args >/dev/full 2>"$work/err" || status=$?
  [ "$status" -eq 1 ] && grep -q "voxwalk: standard output: No space left" "$work/err" || fail "$args >/dev/full: $status"
done
while IFS='|' read -r text args; do answer 2 err "voxwalk: $text" $args; done <<ROWS
unknown option '--fast'|--fast m
option '--snapshot' needs a value|--snapshot
no model given to '--snapshot'|--snapshot o.png
more than one model given ('a.vox', 'b.vox')|a.vox b.vox
option '--size' needs '--snapshot', '--animate' or '--sheet'|--size 64 m
option '--fps' needs '--animate' or '--sheet'|--snapshot o.png --fps 5 m
options '--snapshot' and '--export' exclude each other|--snapshot o.png --export o.glb m
options '--frame' and '--time' exclude each other|--snapshot o --frame 2 --time 1 m
frame 4 asked for, but $m/anim has 3 frames|--snapshot $work/f.png --frame 4 $m/anim
ROWS
for bad in "--size 0" "--time 0x10" "--background #fff"; do  # the rest of the table is CommandLineTest's
  set -- $bad
  answer 2 err "voxwalk: invalid value '$2' for option '$1'" --snapshot "$work/v.png" "$1" "$2" "$m/still.vox"
done
answer 2 err "voxwalk: the model's name is empty" --snapshot o.png ""
answer 1 err "voxwalk: missing.vox: No such file or directory" missing.vox  # unreadable input: status 1
answer 1 err "voxwalk: --odd: No such file or directory" -- --odd  # options end at "--"
answer 1 err "voxwalk: -: No such file or directory" -  # "-" is a path
answer 1 err "is missing); the model cannot be shown, but --snapshot renders without one" "$m/still.vox"
for row in "empty.vox: holds no voxels" "none: no .vox files in this folder" "text.vox: neither a MagicaVoxel"; do
  answer 1 err "$m/$row" --snapshot "$work/e.png" "$m/${row%%:*}"
done
answer 1 err "$work/nowhere/s.png: cannot write in '$work/nowhere': No such file" --snapshot "$work/nowhere/s.png" "$m/still.vox"
# Outputs never destroy: the model itself, a frame of the folder read, a device, a folder, a name ending in '/'.
cp "$m/still.vox" "$work/self.vox" && mkdir "$work/outdir"
for row in "$work/self.vox|$work/self.vox|is a file being read" "$m/anim/step_2.VOX|$m/anim|is a file being read" \
    "$m/anim/../anim/step_1.vox|$m/anim|is '$m/anim/step_1.vox', which is being read" "/dev/null|$m/still.vox|is a device" \
    "$work/outdir|$m/still.vox|is a folder" "$work/outdir/|$m/still.vox|names a folder; give a file name"; do
  IFS='|' read -r out model why <<<"$row"
  answer 1 err "voxwalk: $out: $why" --snapshot "$out" --size 16 "$model"
done
cmp -s "$m/still.vox" "$work/self.vox" && [ -c /dev/null ] && [ -z "$(ls -A "$work/outdir")" ] || fail "an output destroyed a file"
ls "$work"/*.png* "$work"/.vw-* "$work/nowhere" 2>/dev/null && fail "a refused snapshot left a file"
# Standard output, a symlink written through, a name as long as the file system takes.
"$voxwalk" --snapshot - --size 24 "$m/still.vox" >"$work/stdout.png" && [ "$(identify -format %wx%h "$work/stdout.png")" = 24x24 ] \
  || fail "--snapshot - did not write the picture to standard output"
quiet() { "$voxwalk" "$@" </dev/null >"$work/out" 2>"$work/err" && [ ! -s "$work/out" ] && [ ! -s "$work/err" ]; }
ln -s outdir/linked.png "$work/link.png" && quiet --snapshot "$work/link.png" --size 24 "$m/still.vox"
[ -L "$work/link.png" ] && [ "$(identify -format %w "$work/outdir/linked.png")" = 24 ] || fail "a symlink was not written through"
long=$work/outdir/$(printf 'n%.0s' $(seq 250)).png
quiet --snapshot "$long" --size 24 "$m/still.vox" && [ -s "$long" ] || fail "a 254-byte name was refused"
rm -f "$work/link.png" "$work/stdout.png" && rm -rf "$work/outdir"

check() { # NAME FX [OPERATIONS...]: $work/NAME.png after the ImageMagick OPERATIONS makes the fx expression FX true
  [ "$(convert "$work/$1.png" "${@:3}" -format "%[fx:$2]" info: 2>/dev/null)" = 1 ] || fail "$1: not $2 after ${*:3}"
}
# Colour classes: a channel above 100 and 40 over the others; the sky and the lit grass stay out of all of them.
red='r>.4&&r>g+.16&&r>b+.16' green='g>.4&&g>r+.16&&g>b+.16' blue='b>.4&&b>r+.16&&b>g+.16'
yellow='r>.4&&g>.4&&r>b+.24&&g>b+.24' white=(-fx 'r>0.9&&g>0.9&&b>0.9' -trim)
snap() { # NAME ARGS...: renders $work/NAME.png, silently and successfully
  "$voxwalk" --snapshot "$work/$1.png" "${@:2}" >"$work/out" 2>"$work/err" || fail "snapshot $1: $(cat "$work/err")"
  [ -s "$work/out" ] && fail "snapshot $1: printed on stdout"
}
snap still --size 96x64 --background '#Ff00fF' "$m/still.vox"
check still 'w==96&&h==64&&p{0,0}.r==1&&p{0,0}.g==0&&p{0,0}.b==1&&p{0,0}.a==1'
check still 'mean*w*h>100' -fx "$yellow"
for row in "1 red anim" "2 green anim" "3 blue anim" "2 green anim.vox" "3 blue anim.vox"; do
  set -- $row  # the folder's frames and the animation file's frames alike, one colour each
  snap "$3-$1" --size 128 --frame "$1" --view front --background '#000000' "$m/$3"
  check "$3-$1" 'mean*w*h>200' -fx "${!2}"
  check "$3-$1" 'maxima==0' -fx "($red||$green||$blue)&&!(${!2})"
done
snap time --size 128 --time 0.04 --view iso --background '#000000' "$m/anim"; check time 'mean*w*h>200' -fx "$green"  # frame 2
snap clear --size 64 --view side --background transparent "$m/still.vox"; check clear 'mean*w*h>50&&mean<0.5' -alpha extract
snap scene --size 160x120 --view front "$m/still.vox"
check scene 'p{0,0}.r==0&&p{0,0}.g==0&&abs(p{0,0}.b*255-64)<0.5&&p{0,0}.a==1'
snap big --size 8192x16 --view top "$m/still.vox"; check big 'w==8192&&h==16'
# Exports: a .vox written back reads as the same file (voxwalk-info --json, bar the name); a mesh file and its
# side files appear together; an unknown format is a usage error and a refused output leaves nothing.
info=$(dirname "$voxwalk")/../tools/voxwalk-info
for model in keyed.vox anim.vox still.vox; do
  quiet --export "$work/back.vox" "$m/$model" || fail "export $model: $(cat "$work/err")"
  diff <("$info" --json "$m/$model" | sed 's/"file": "[^"]*"//') <("$info" --json "$work/back.vox" | sed 's/"file": "[^"]*"//') \
    >/dev/null || fail "$model written back as .vox reads differently"
done
quiet --export "$work/folder.vox" "$m/anim" && [ "$("$info" --json "$work/folder.vox" | grep -o '"frames": [0-9]*')" = '"frames": 3' ] \
  || fail "a folder of frames did not become one editor file of three frames"
# A Poly2Vox bar longer than an editor model: bricks in the editor file, the same cells (frame_stats) read back.
stats() { "$info" --json "$1" | grep -o '"frame_stats": .*\]' | sed 's/, "error".*//'; }
quiet --export "$work/raw-back.vox" "$m/raw.vox" && [ "$(stats "$work/raw-back.vox")" = "$(stats "$m/raw.vox")" ] \
  && quiet --export "$work/raw.glb" "$m/raw.vox" && [ -s "$work/raw.glb" ] || fail "a Poly2Vox file did not export"
rm -f "$work/raw-back.vox" "$work/raw.glb"
quiet --export "$work/still.gltf" "$m/still.vox" && [ -s "$work/still.bin" ] && [ -s "$work/still.png" ] || fail "export .gltf"
answer 2 err "voxwalk: $work/x.stl: unknown export format" --export "$work/x.stl" "$m/still.vox"
answer 1 err "is a file being read" --export "$m/still.vox" "$m/still.vox"
rm -f "$work"/back.vox "$work"/folder.vox "$work"/still.gltf "$work"/still.bin "$work"/still.png
# A keyframed scene moves as its keys say: the red block 40 cells further along x at frame 5, the whole path framed.
for f in 1 5; do
  snap keyed-$f --size 128 --frame $f --view side --background '#000000' "$m/keyed.vox"; check keyed-$f 'mean*w*h>100' -fx "$red"
done
red_x() { convert "$work/$1.png" -fx "$red" -trim -format '%[fx:page.x+w/2]' info:; }
[ "$(red_x keyed-5)" -gt "$(( $(red_x keyed-1) + 40 ))" ] || fail "the keyframed block did not move: $(red_x keyed-1) $(red_x keyed-5)"
# Assets: a build run from a folder without them finds the source tree's, silently; a copy of the program
# away from its build finds none and says so once, drawing a plain ground.
green_bottom='mean.g>0.15&&mean.g>mean.r&&mean.g>mean.b'
(cd "$m/none" && "$voxwalk" --snapshot "$work/grass.png" --size 64 --view iso "$m/still.vox") 2>"$work/err" \
  && [ ! -s "$work/err" ] || fail "no grass from the source tree: $(cat "$work/err")"
check grass "$green_bottom" -crop 64x8+0+56
mkdir "$work/copy" && cp "$voxwalk" "$work/copy/voxwalk"
(cd "$m/none" && "$work/copy/voxwalk" --snapshot "$work/plain.png" --size 64 --view iso "$m/still.vox") 2>"$work/err" \
  && [ "$(wc -l <"$work/err")" = 1 ] && grep -q "voxwalk: no grass found (looked in the working folder, " "$work/err" \
  || fail "a program without assets did not say so once: $(cat "$work/err")"
check plain 'abs(mean.g-mean.r)<0.02' -crop 64x8+0+56
rm -rf "$work/copy"
ls "$work"/*.tmp "$work"/.vw-* 2>/dev/null && fail "a temporary picture was left behind"

start_virtual_display 1280x1024x24 || exit 1
"$helper" extensions | cat - "$golden" >"$work/walk.exp" || fail "no GL context for the extension list"
open() { # NAME [MODEL]: starts the viewer and waits for the window's first picture, $work/NAME.png
  "$voxwalk" "${@:2}" >"$work/$1.out" 2>"$work/$1.err" &
  viewer=$! window=$(wait_for_window "$viewer" 60)
  [ -n "$window" ] || fail "$1: no window: $(cat "$work/$1.err")"
  wait_for_picture "$window" "$work/$1.png" 60 || fail "$1: the window stayed blank"
}
end() { # NAME escape|close EXPECTED: ends the window that way: status 0, stdout the file EXPECTED
  if [ "$2" = escape ]; then press_escape "$window"; else "$helper" close "$window"; fi
  local status=0
  wait_for_exit "$viewer" 30 || status=$?
  viewer=
  [ "$status" -eq 0 ] || fail "$1: exit status $status"
  diff -u "$3" "$work/$1.out" >"$work/diff" || fail "$1: standard output differs: $(head -n 40 "$work/diff")"
}
open walk; end walk escape "$work/walk.exp"  # the driver's extension list, then a run on Mesa llvmpipe
# "FPS = N" in the top 16 rows and "Animation frame #N" in the 16 below, 5 pixels left of the centre per character;
# lit grass at the bottom; the character above the centre, where the camera looks, in colours not grass's.
check walk 'w==1024&&h==768'
check walk 'page.x>=467&&page.x<=481' -crop 1024x16+0+0 +repage "${white[@]}"
check walk 'page.x>=417&&page.x<=426' -crop 1024x16+0+16 +repage "${white[@]}"
check walk 'mean.g>0.15&&mean.g>mean.r&&mean.g>mean.b' -crop 1024x40+0+728
check walk 'mean*w*h>40' -crop 80x100+472+290 -fx 'g<=r||g<=b'
open close; end close close "$work/walk.exp"

shot() { import -window "$window" "$work/$1.png" 2>/dev/null || fail "no screenshot $1"; }
differ() { # A B Y0 Y1: the pixels of rows Y0..Y1-1 that differ between the pictures A and B
  compare -metric AE "$1[1024x$(($4 - $3))+0+$3]" "$2[1024x$(($4 - $3))+0+$3]" null: 2>&1
}
# await NAME REFERENCE Y0 Y1 change|same|still: screenshots NAME until its rows Y0..Y1 differ from (or equal)
# REFERENCE's and it holds still below the HUD for three shots in a row (a busy machine answers slowly).
await() {
  local deadline=$((SECONDS + 90)) held=0
  shot "$1"
  while [ $held -lt 2 ] || ! [[ $5/$(differ "$work/$2.png" "$work/$1.png" $3 $4) =~ ^(same/0$|change/[1-9]|still) ]]; do
    [ $SECONDS -lt $deadline ] || return 1
    cp "$work/$1.png" "$work/held.png"; sleep 0.5; shot "$1"
    [ "$(differ "$work/held.png" "$work/$1.png" 60 768)" = 0 ] && held=$((held + 1)) || held=0
  done
}
count() { # NAME FX: pixels of $work/NAME.png (every fourth row and column) where FX holds
  convert "$work/$1.png" -sample 25% -alpha off -fx "$2" -format '%[fx:round(mean*w*h)]' info:
}
dominant() { # NAME: whichever of red, green and blue shows most
  for c in red green blue; do echo "$(count "$1" "${!c}") $c"; done | sort -n | tail -n 1 | cut -d' ' -f2
}
open folder "$m/anim"
xdotool windowfocus "$window" 2>/dev/null
xdotool key space
await paused - 0 0 still || fail "Space did not pause"
xdotool key Right
await stepped paused 60 768 change || fail "Right changed nothing"
[[ $(dominant paused)-$(dominant stepped) =~ ^(red-green|green-blue|blue-red)$ ]] || fail "Right: not the next frame"
xdotool key Left
await back paused 60 768 same || fail "Left did not step back"
xdotool mousemove --window "$window" 400 500 mousedown 1; sleep 0.5
xdotool mousemove --window "$window" 600 450; sleep 0.5; xdotool mouseup 1
await dragged paused 60 768 change
[ "$(differ "$work/paused.png" "$work/dragged.png" 60 768)" -gt 20000 ] || fail "dragging did not turn the view"
xdotool key r
await reset paused 60 768 same || fail "R did not bring the view back"
xdotool click --window "$window" 4 click --window "$window" 4 click --window "$window" 4
await zoomed reset 60 768 change || fail "the wheel changed nothing"
colour=$(dominant reset)
[ "$(count zoomed "${!colour}")" -gt "$(count reset "${!colour}")" ] || fail "the wheel did not zoom in"
xdotool key plus
await faster zoomed 33 49 change || fail "+ did not show a new speed"
[ "$(differ "$work/zoomed.png" "$work/faster.png" 60 768)" -eq 0 ] || fail "+ moved the paused model"
xdotool key minus
await slower zoomed 33 49 same || fail "- did not bring the speed back"
xdotool key F12
for _ in $(seq 60); do grep -q "screenshot saved" "$work/folder.err" && break; sleep 0.5; done
grep -qF "voxwalk: screenshot saved to $m/anim-1.png" "$work/folder.err" || fail "F12: no path on stderr"
# The window's picture: multisampled edges read back a little differently than shown, about 1,300 pixels.
[ "$(identify -format %wx%h "$m/anim-1.png")" = 1024x768 ] \
  && [ "$(differ "$work/slower.png" "$m/anim-1.png" 60 768)" -lt 3000 ] || fail "F12: not the window's picture"
end folder escape /dev/null
open animation "$m/anim.vox"
colour=$(dominant animation)
[ "$(count animation "${!colour}")" -gt 30 ] || fail "animation file: no model shown"
end animation close /dev/null
echo "all end-to-end checks passed"
