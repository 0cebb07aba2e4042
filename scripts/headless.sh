# Helpers to run the viewer on a virtual X server: shared by scripts/run and
# the end-to-end test.
# shellcheck shell=bash

# start_virtual_display [SCREEN]: starts Xvfb on a display number it picks
# itself (no guessing of free numbers), by default with a 1024x768 screen so
# the viewer's window fills the root exactly. Exports DISPLAY, sets XVFB_PID.
# -noreset: by default the server resets whenever its last client leaves, and
# refuses connections while it does; one GL test after another would now and
# then find no display.
start_virtual_display() {
  local numberFile
  numberFile=$(mktemp)
  Xvfb -displayfd 3 -screen 0 "${1:-1024x768x24}" -nolisten tcp -noreset 3>"$numberFile" 2>/dev/null &
  XVFB_PID=$!
  local waited=0
  while [ ! -s "$numberFile" ]; do
    if ! kill -0 "$XVFB_PID" 2>/dev/null || [ $waited -ge 100 ]; then
      echo "Xvfb did not start" >&2
      rm -f "$numberFile"
      return 1
    fi
    sleep 0.1
    waited=$((waited + 1))
  done
  export DISPLAY=":$(head -n 1 "$numberFile")"
  rm -f "$numberFile"
}

stop_virtual_display() {
  if [ -n "${XVFB_PID:-}" ]; then
    kill "$XVFB_PID" 2>/dev/null || true
    wait "$XVFB_PID" 2>/dev/null || true
    XVFB_PID=
    unset DISPLAY
  fi
}

# wait_for_window PID [SECONDS]: prints the id of the first visible window of
# process PID; fails after SECONDS (default 60).
wait_for_window() {
  timeout "${2:-60}" xdotool search --sync --onlyvisible --pid "$1" 2>/dev/null | head -n 1
}

# The number of distinct colours in a picture; a blank frame has one.
colour_count() {
  identify -format '%k' "$1" 2>/dev/null || echo 0
}

# wait_for_picture WINDOW FILE [SECONDS]: screenshots the window into FILE
# until it shows more than one colour, that is until a frame was presented.
wait_for_picture() {
  local deadline=$((SECONDS + ${3:-60}))
  while [ $SECONDS -lt $deadline ]; do
    if import -window "$1" "$2" 2>/dev/null && [ "$(colour_count "$2")" -gt 1 ]; then
      return 0
    fi
    sleep 0.2
  done
  return 1
}

# Holds Escape for a moment over the window, as a user would; a press and
# release inside one event poll would never be seen as held.
press_escape() {
  xdotool windowfocus "$1" 2>/dev/null || true
  xdotool keydown Escape
  sleep 0.3
  xdotool keyup Escape
}

# wait_for_exit PID [SECONDS]: waits for a child process and returns its exit
# status; kills it and returns 124 when it outlives SECONDS (default 20).
wait_for_exit() {
  local deadline=$((SECONDS + ${2:-20}))
  while kill -0 "$1" 2>/dev/null; do
    if [ $SECONDS -ge $deadline ]; then
      kill -9 "$1" 2>/dev/null || true
      wait "$1" 2>/dev/null || true
      return 124
    fi
    sleep 0.1
  done
  local status=0
  wait "$1" || status=$?
  return $status
}
