#!/bin/sh
# Runs a program on a virtual X display (Xvfb) of the game's own 800 x 600 mode, then removes
# the display. The display runs in a session of its own, so Ctrl-C in this terminal reaches only
# the program (as SIGINT) and the program ends in order on the display it started with. Exits
# with the program's status.
#   tools/virtual-display.sh PROGRAM [ARGS...]
set -u
if [ $# -eq 0 ]; then
  echo "usage: tools/virtual-display.sh PROGRAM [ARGS...]" >&2
  exit 2
fi
work=$(mktemp -d)
mkfifo "$work/display"
# Xvfb picks a free display and writes its number once it accepts connections.
setsid Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null; rm -rf "$work"' EXIT
trap 'exit 143' TERM HUP
number=""
read -r number <"$work/display" || true
if [ -z "$number" ]; then
  echo "virtual-display: Xvfb did not start:" >&2
  cat "$work/xvfb.log" >&2
  exit 1
fi
echo "virtual-display: $1 runs on the virtual display :$number (800x600); no window opens on this screen."

# While the program runs, Ctrl-C is the program's to handle; this script only waits.
trap 'true' INT
DISPLAY=":$number" "$@"
status=$?
trap - INT
kill "$xvfb" 2>/dev/null
wait "$xvfb" 2>/dev/null
exit "$status"
