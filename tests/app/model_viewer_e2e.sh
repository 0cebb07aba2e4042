#!/usr/bin/env bash
# End-to-end runs of voxwalk on models of the test's own, as a user would:
# usage: model_viewer_e2e.sh VOXWALK MAKE_MODELS PROBE E2E_HELPER SOURCE_DIR
# The command line's answers, --snapshot pictures without any X server, then
# the window under real X events on a folder, an animation file and one model.
set -uo pipefail
voxwalk=$(realpath "$1") make_models=$(realpath "$2") probe=$(realpath "$3")
e2e_helper=$(realpath "$4") source_dir=$(realpath "$5")
source "$source_dir/scripts/headless.sh"
work=$(mktemp -d) failures=0
m=$work/models
cleanup() {
  [ -n "${viewer:-}" ] && kill -9 "$viewer" 2>/dev/null
  stop_virtual_display
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
export LIBGL_ALWAYS_SOFTWARE=1
unset DISPLAY
mkdir -p "$m" "$work/run"
"$make_models" "$m" || { echo "FAIL: cannot make the models"; exit 1; }
ln -s "$source_dir/assets" "$work/run/assets"
cd "$work/run" || exit 1

# value KEY FILE: the probe's value (the rest of the line) for KEY.
value() { "$probe" "$2" | awk -v k="$1" '$1 == k { $1 = ""; print substr($0, 2) }'; }
differ() { "$probe" "$1" "$2" "$3" "$4" | awk '{ print $2 }'; }
# is NAME KEY TEST EXPECTED: the probe's KEY for $work/NAME.png passes the test.
is() {
  local got; got=$(value "$2" "$work/$1.png")
  [ "$got" "$3" "$4" ] 2>/dev/null || fail "$1: $2 is '$got', expected $3 $4"
}

# answer NAME STATUS STREAM TEXT ARGS...: the exit status and a text shown.
answer() {
  local name=$1 status=$2 stream=$3 text=$4; shift 4
  "$voxwalk" "$@" >"$work/answer.out" 2>"$work/answer.err"
  local got=$?
  [ "$got" -eq "$status" ] || fail "$name: exit status $got, not $status"
  grep -qF -- "$text" "$work/answer.$stream" || fail "$name: '$text' not on std$stream: $(head -c 300 "$work/answer.$stream")"
  [ "$status" -eq 0 ] && return
  [ -s "$work/answer.out" ] && fail "$name: an error printed on stdout"
  [ "$(wc -l <"$work/answer.err")" -le 2 ] || fail "$name: more than a line and a hint on stderr"
}
answer help 0 out "Usage: voxwalk" --help
answer version 0 out "voxwalk " --version
answer unknown 2 err "unknown option '--bogus'" --bogus "$m/still.vox"
answer "missing file" 1 err "$m/missing.vox: No such file or directory" "$m/missing.vox"
answer "no voxels" 1 err "$m/empty.vox: holds no voxels" --snapshot "$work/e.png" "$m/empty.vox"
answer "frame out of range" 2 err "has 3 frames" --snapshot "$work/f.png" --frame 4 "$m/anim"
answer "unwritable output" 1 err "$work/nowhere/s.png" --snapshot "$work/nowhere/s.png" --size 32 "$m/still.vox"
answer "window without display" 1 err "--snapshot renders without one" "$m/still.vox"
ls "$work"/e.png* "$work"/f.png* "$work"/nowhere 2>/dev/null && fail "a refused snapshot left a file"

snap() { # NAME ARGS...: renders $work/NAME.png, silently and successfully
  local name=$1; shift
  "$voxwalk" --snapshot "$work/$name.png" "$@" >"$work/$name.out" 2>"$work/$name.err" \
    || fail "snapshot $name: status $?: $(cat "$work/$name.err")"
  [ -s "$work/$name.out" ] && fail "snapshot $name: printed on stdout"
}
snap still --size 96x64 --background '#ff00ff' "$m/still.vox"
is still size = 96x64; is still corner = "255 0 255 255"; is still yellow -gt 100
# The folder's frames and the animation file's frames alike, one colour each.
for row in "1 red anim" "2 green anim" "3 blue anim" "2 green anim.vox" "3 blue anim.vox"; do
  set -- $row
  snap "$3-$1" --size 128 --frame "$1" --view front --background '#000000' "$m/$3"
  for colour in red green blue; do
    if [ $colour = "$2" ]; then is "$3-$1" $colour -gt 200; else is "$3-$1" $colour -eq 0; fi
  done
done
# 0.04 s into the run is animation frame 2 (30 per second, from frame 1).
snap time --size 128 --time 0.04 --view iso --background '#000000' "$m/anim"
is time green -gt 200
snap clear --size 64 --view side --background transparent "$m/still.vox"
is clear opaque -gt 50; is clear transparent -gt 2048
snap scene --size 160x120 --view front "$m/still.vox"
is scene corner = "0 0 64 255"
snap big --size 4096 --view top "$m/still.vox"
is big size = 4096x4096
ls "$work"/*.tmp 2>/dev/null && fail "a temporary picture was left behind"

start_virtual_display 1280x1024x24 || exit 1
shot() { import -window "$window" "$work/$1.png" 2>/dev/null || fail "no screenshot $1"; }
# await NAME REFERENCE Y0 Y1 change|same|still: screenshots NAME until its
# rows Y0..Y1 differ from (or equal) REFERENCE's, then until it holds still
# below the HUD for three shots in a row (a busy machine answers slowly).
await() {
  local deadline=$((SECONDS + 90)) n held=0
  while [ "$5" != still ]; do
    [ $SECONDS -lt $deadline ] || return 1
    shot "$1"; n=$(differ "$2" "$work/$1.png" "$3" "$4")
    { [ "$5" = change ] && [ "$n" -gt 0 ]; } || { [ "$5" = same ] && [ "$n" -eq 0 ]; } && break
    sleep 0.3
  done
  shot "$1"
  while [ $held -lt 2 ]; do
    [ $SECONDS -lt $deadline ] || return 1
    cp "$work/$1.png" "$work/held.png"; sleep 0.7; shot "$1"
    if [ "$(differ "$work/held.png" "$work/$1.png" 60 768)" -eq 0 ]; then held=$((held + 1)); else held=0; fi
  done
}
# dominant FILE: red, green or blue, whichever colour of a frame shows most.
dominant() { "$probe" "$1" | awk '$1 ~ /^(red|green|blue)$/ && $2 > best { best = $2; name = $1 } END { print name }'; }
# open NAME MODEL: starts the window, waits for its first picture $work/NAME.png.
open() {
  "$voxwalk" "$2" >"$work/$1.out" 2>"$work/$1.err" &
  viewer=$! window=$(wait_for_window "$viewer" 60)
  [ -n "$window" ] || { fail "$1: no window: $(cat "$work/$1.err")"; kill -9 "$viewer"; wait "$viewer"; viewer=; return 1; }
  wait_for_picture "$window" "$work/$1.png" 60 || fail "$1: the window stayed blank"
}
# end NAME escape|close: ends the window that way; it must exit 0, stdout empty.
end() {
  if [ "$2" = escape ]; then press_escape "$window"; else "$e2e_helper" close "$window"; fi
  local status=0
  wait_for_exit "$viewer" 30 || status=$?
  viewer=
  [ "$status" -eq 0 ] || fail "$1: exit status $status"
  [ -s "$work/$1.out" ] && fail "$1: printed on stdout: $(head -c 200 "$work/$1.out")"
}
if open folder "$m/anim"; then
  xdotool windowfocus "$window" 2>/dev/null
  xdotool key space
  await paused - 0 0 still || fail "Space did not pause"
  xdotool key Right
  await stepped "$work/paused.png" 60 768 change || fail "Right changed nothing"
  case "$(dominant "$work/paused.png")-$(dominant "$work/stepped.png")" in
    red-green | green-blue | blue-red) ;;
    *) fail "Right while paused went from $(dominant "$work/paused.png") to $(dominant "$work/stepped.png")" ;;
  esac
  xdotool mousemove --window "$window" 400 500 mousedown 1; sleep 0.5
  xdotool mousemove --window "$window" 600 450; sleep 0.5; xdotool mouseup 1
  await dragged "$work/stepped.png" 60 768 change
  turned=$(differ "$work/stepped.png" "$work/dragged.png" 60 768)
  [ "$turned" -gt 20000 ] || fail "dragging did not turn the view ($turned pixels changed)"
  xdotool key r
  await reset "$work/stepped.png" 60 768 same || fail "R did not bring the view back"
  xdotool click --window "$window" 4 click --window "$window" 4 click --window "$window" 4
  await zoomed "$work/reset.png" 60 768 change || fail "the wheel changed nothing"
  colour=$(dominant "$work/reset.png")
  is zoomed "$colour" -gt "$(value "$colour" "$work/reset.png")"
  xdotool key plus
  await faster "$work/zoomed.png" 33 49 change || fail "+ did not show a new speed"
  [ "$(differ "$work/zoomed.png" "$work/faster.png" 60 768)" -eq 0 ] || fail "+ moved the paused model"
  xdotool key F12
  for _ in $(seq 60); do grep -q "screenshot saved" "$work/folder.err" && break; sleep 0.5; done
  grep -qF "voxwalk: screenshot saved to $m/anim-1.png" "$work/folder.err" || fail "F12: no path on stderr"
  [ "$(value size "$m/anim-1.png")" = 1024x768 ] || fail "F12: no 1024x768 picture beside the folder"
  # Multisampled edges read back a little differently than shown: about
  # 1,300 pixels, against tens of thousands for any change of view.
  edges=$(differ "$work/faster.png" "$m/anim-1.png" 60 768)
  [ "$edges" -lt 3000 ] || fail "F12: $edges pixels differ from the window's picture"
  end folder escape
fi
if open "animation file" "$m/anim.vox"; then
  is "animation file" "$(dominant "$work/animation file.png")" -gt 500
  end "animation file" escape
fi
if open "one model" "$m/still.vox"; then
  is "one model" yellow -gt 500
  end "one model" close
fi
[ "$failures" -eq 0 ] || { echo "$failures check(s) failed"; exit 1; }
echo "all model viewer checks passed"
