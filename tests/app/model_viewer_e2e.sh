#!/usr/bin/env bash
# End-to-end runs of voxwalk on models of the test's own, as a user would:
# usage: model_viewer_e2e.sh VOXWALK MAKE_MODELS PROBE E2E_HELPER SOURCE_DIR
#  1. the command line's answers and exit statuses, without any display;
#  2. --snapshot pictures, probed pixel by pixel, with no X server at all;
#  3. the window on a folder of frames, driven by real X events: pause, step,
#     orbit, reset, zoom, speed, F12, Escape; standard output stays empty;
#  4. the window on an animation file, ended by Escape;
#  5. the window on one model, closed by the window manager's request.
set -uo pipefail
voxwalk=$(realpath "$1") make_models=$(realpath "$2") probe=$(realpath "$3")
e2e_helper=$(realpath "$4") source_dir=$(realpath "$5")
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
export LIBGL_ALWAYS_SOFTWARE=1
unset DISPLAY

m=$work/models
mkdir -p "$m" "$work/run"
"$make_models" "$m" || { echo "FAIL: cannot make the models"; exit 1; }
ln -s "$source_dir/assets" "$work/run/assets"
cd "$work/run" || exit 1

# value KEY FILE: the probe's number for KEY.
value() { "$probe" "$2" | awk -v k="$1" '$1 == k { print $2 }'; }
differ() { "$probe" "$1" "$2" "$3" "$4" | awk '{ print $2 }'; }

# 1. Answers of the command line: args, status, the stream and text it must show.
check_answer() {
  local name=$1 status=$2 stream=$3 text=$4; shift 4
  "$voxwalk" "$@" >"$work/answer.out" 2>"$work/answer.err"
  local got=$?
  [ "$got" -eq "$status" ] || fail "$name: exit status $got, not $status"
  grep -qF -- "$text" "$work/answer.$stream" || fail "$name: '$text' not on std$stream: $(head -c 300 "$work/answer.$stream")"
  if [ "$status" -ne 0 ]; then
    [ -s "$work/answer.out" ] && fail "$name: an error printed on stdout"
    [ "$(wc -l <"$work/answer.err")" -le 2 ] || fail "$name: more than a line and a hint on stderr"
  fi
}
check_answer help 0 out "Usage: voxwalk" --help
check_answer version 0 out "voxwalk " --version
check_answer unknown 2 err "unknown option '--bogus'" --bogus "$m/still.vox"
check_answer "missing file" 1 err "$m/missing.vox: No such file or directory" "$m/missing.vox"
check_answer "no voxels" 1 err "$m/empty.vox: holds no voxels" --snapshot "$work/e.png" "$m/empty.vox"
check_answer "frame out of range" 2 err "has 3 frames" --snapshot "$work/f.png" --frame 4 "$m/anim"
check_answer "unwritable output" 1 err "$work/nowhere/s.png" --snapshot "$work/nowhere/s.png" --size 32 "$m/still.vox"
check_answer "window without display" 1 err "--snapshot renders without one" "$m/still.vox"
ls "$work"/e.png* "$work"/f.png* "$work"/nowhere 2>/dev/null && fail "a refused snapshot left a file"

# 2. Snapshots.
snap() { # NAME ARGS...: renders $work/NAME.png, fails on a non-zero status
  local name=$1; shift
  "$voxwalk" --snapshot "$work/$name.png" "$@" >"$work/$name.out" 2>"$work/$name.err" \
    || fail "snapshot $name: status $?: $(cat "$work/$name.err")"
  [ -s "$work/$name.out" ] && fail "snapshot $name: printed on stdout"
}
snap still --size 96x64 --background '#ff00ff' "$m/still.vox"
[ "$(value size "$work/still.png")" = 96x64 ] || fail "still: size $(value size "$work/still.png")"
[ "$("$probe" "$work/still.png" | grep '^corner')" = "corner 255 0 255 255" ] || fail "still: background is not #ff00ff"
[ "$(value yellow "$work/still.png")" -gt 100 ] || fail "still: the yellow tower is not in the picture"
# The folder's frames and the animation file's frames alike.
for row in "1 red anim" "2 green anim" "3 blue anim" "2 green anim.vox" "3 blue anim.vox"; do
  set -- $row
  snap "frame$1" --size 128 --frame "$1" --view front --background '#000000' "$m/$3"
  for colour in red green blue; do
    count=$(value $colour "$work/frame$1.png")
    if [ $colour = "$2" ]; then
      [ "$count" -gt 200 ] || fail "$3, frame $1: only $count $colour pixels"
    else
      [ "$count" -eq 0 ] || fail "$3, frame $1: $count $colour pixels of another frame"
    fi
  done
done
# 0.04 s into the run is animation frame 2 (30 per second, from frame 1).
snap time --size 128 --time 0.04 --view iso --background '#000000' "$m/anim"
[ "$(value green "$work/time.png")" -gt 200 ] || fail "--time 0.04 does not show frame 2"
snap clear --size 64 --view side --background transparent "$m/still.vox"
[ "$("$probe" "$work/clear.png" | grep '^corner' | cut -d' ' -f5)" = 0 ] || fail "transparent: the corner is not clear"
[ "$(value opaque "$work/clear.png")" -gt 50 ] || fail "transparent: the model is not opaque"
[ "$(value transparent "$work/clear.png")" -gt 2048 ] || fail "transparent: the background is not clear"
snap scene --size 160x120 --view front "$m/still.vox"
[ "$("$probe" "$work/scene.png" | grep '^corner')" = "corner 0 0 64 255" ] || fail "scene: the sky is not the walk's"
snap big --size 4096 --view top "$m/still.vox"
[ "$(value size "$work/big.png")" = 4096x4096 ] || fail "4096 x 4096: size $(value size "$work/big.png")"
ls "$work"/*.tmp 2>/dev/null && fail "a temporary picture was left behind"

# 3. The window on a folder of three frames.
start_virtual_display 1280x1024x24 || exit 1
shot() { import -window "$window" "$work/$1.png" 2>/dev/null || fail "no screenshot $1"; }
# await NAME REFERENCE Y0 Y1 change|same|still: screenshots NAME until its
# rows Y0..Y1 differ from (or equal) REFERENCE's, then until it holds still
# below the HUD for three shots in a row; a busy machine may take a while to
# answer an event and draws only a few frames a second.
await() {
  local deadline=$((SECONDS + 90)) n held=0
  if [ "$5" != still ]; then
    while :; do
      [ $SECONDS -lt $deadline ] || return 1
      shot "$1"
      n=$(differ "$2" "$work/$1.png" "$3" "$4")
      { [ "$5" = change ] && [ "$n" -gt 0 ]; } || { [ "$5" = same ] && [ "$n" -eq 0 ]; } && break
      sleep 0.3
    done
  fi
  shot "$1"
  while [ $held -lt 2 ]; do
    [ $SECONDS -lt $deadline ] || return 1
    cp "$work/$1.png" "$work/held.png"
    sleep 0.7; shot "$1"
    if [ "$(differ "$work/held.png" "$work/$1.png" 60 768)" -eq 0 ]; then held=$((held + 1)); else held=0; fi
  done
}
# dominant FILE: red, green or blue, whichever colour of a frame shows most.
dominant() {
  "$probe" "$1" | awk '$1 ~ /^(red|green|blue)$/ && $2 > best { best = $2; name = $1 } END { print name }'
}
"$voxwalk" "$m/anim" >"$work/window.out" 2>"$work/window.err" &
viewer=$!
window=$(wait_for_window "$viewer" 60)
if [ -z "$window" ]; then
  fail "folder: no window: $(cat "$work/window.err")"
else
  wait_for_picture "$window" "$work/first.png" 60 || fail "folder: the window stayed blank"
  xdotool windowfocus "$window" 2>/dev/null
  xdotool key space
  await paused - 0 0 still || fail "Space did not pause"
  xdotool key Right
  await stepped "$work/paused.png" 60 768 change || fail "Right changed nothing"
  before=$(dominant "$work/paused.png") after=$(dominant "$work/stepped.png")
  case "$before-$after" in
    red-green | green-blue | blue-red) ;;
    *) fail "Right while paused went from $before to $after" ;;
  esac
  xdotool mousemove --window "$window" 400 500 mousedown 1; sleep 0.5
  xdotool mousemove --window "$window" 600 450; sleep 0.5
  xdotool mouseup 1
  await dragged "$work/stepped.png" 60 768 change
  turned=$(differ "$work/stepped.png" "$work/dragged.png" 60 768)
  [ "$turned" -gt 20000 ] || fail "dragging did not turn the view ($turned pixels changed)"
  xdotool key r
  await reset "$work/stepped.png" 60 768 same || fail "R did not bring the view back"
  xdotool click --window "$window" 4 click --window "$window" 4 click --window "$window" 4
  await zoomed "$work/reset.png" 60 768 change || fail "the wheel changed nothing"
  colour=$(dominant "$work/reset.png")
  [ "$(value "$colour" "$work/zoomed.png")" -gt "$(value "$colour" "$work/reset.png")" ] \
    || fail "the wheel did not bring the model closer"
  xdotool key plus
  await faster "$work/zoomed.png" 33 49 change || fail "+ did not show a new speed"
  [ "$(differ "$work/zoomed.png" "$work/faster.png" 60 768)" -eq 0 ] || fail "+ moved the paused model"
  xdotool key F12
  for _ in $(seq 60); do grep -q "screenshot saved" "$work/window.err" && break; sleep 0.5; done
  grep -qF "voxwalk: screenshot saved to $m/anim-1.png" "$work/window.err" || fail "F12: no path on stderr"
  [ "$(value size "$m/anim-1.png")" = 1024x768 ] || fail "F12: no 1024x768 picture beside the folder"
  # The window's multisampled edges resolve a little differently when read
  # back than when shown: about 1,300 edge pixels, against tens of thousands
  # for any change of view.
  edges=$(differ "$work/faster.png" "$m/anim-1.png" 60 768)
  [ "$edges" -lt 3000 ] || fail "F12: $edges pixels differ from the window's picture"
  press_escape "$window"
  status=0
  wait_for_exit "$viewer" 30 || status=$?
  viewer=
  [ "$status" -eq 0 ] || fail "folder: exit status $status after Escape"
  [ -s "$work/window.out" ] && fail "folder: printed on stdout: $(head -c 200 "$work/window.out")"
fi

# 4, 5. An animation file ended by Escape, one model by the window manager.
# open_and_end NAME MODEL HOW COLOUR: the first picture must show COLOUR
# (any frame colour for "frame").
open_and_end() {
  local name=$1 how=$3 colour=$4
  "$voxwalk" "$2" >"$work/$name.out" 2>"$work/$name.err" &
  viewer=$!
  window=$(wait_for_window "$viewer" 60)
  [ -n "$window" ] || { fail "$name: no window"; kill -9 "$viewer"; wait "$viewer"; viewer=; return; }
  wait_for_picture "$window" "$work/$name.png" 60 || fail "$name: the window stayed blank"
  [ "$colour" = frame ] && colour=$(dominant "$work/$name.png")
  [ "$(value "${colour:-red}" "$work/$name.png")" -gt 500 ] || fail "$name: the model is not in view"
  if [ "$how" = escape ]; then press_escape "$window"; else "$e2e_helper" close "$window"; fi
  status=0
  wait_for_exit "$viewer" 30 || status=$?
  viewer=
  [ "$status" -eq 0 ] || fail "$name: exit status $status"
  [ -s "$work/$name.out" ] && fail "$name: printed on stdout"
}
open_and_end "animation file" "$m/anim.vox" escape frame
open_and_end "one model" "$m/still.vox" close yellow

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "all model viewer checks passed"
