#!/bin/sh
# Ctrl-C while the game runs through tools/virtual-display.sh: SIGINT reaches the game's whole
# process group as a terminal sends it; the game alone handles it, ends in order on the display
# it started with, and the script exits 0.
#   interrupt_on_virtual_display.sh METROFARE METROFARE_DEMO SOURCE_DIR WORK_DIR
set -u
game=$1
demo=$2
source=$3
work=$4
if ! command -v Xvfb >/dev/null 2>&1; then
  echo "no Xvfb on this machine"
  exit 77
fi
rm -rf "$work"
mkdir -p "$work"
"$demo" "$work/tree" >/dev/null || exit 1
cd "$work/tree" || exit 1
# The game's log is a pipe to this script: its first line says the game is up, its end says the
# game has ended.
mkfifo zkConsole.log
unset SDL_VIDEODRIVER DISPLAY WAYLAND_DISPLAY
export ASAN_OPTIONS=detect_leaks=0
# A session of its own, as a terminal starts a command: its id is the process group's. A
# background command of a script starts with SIGINT ignored; a terminal's does not.
setsid env --default-signal=INT "$source/tools/virtual-display.sh" "$game" -M >"$work/run.log" 2>&1 &
runner=$!
# Whatever happens, nothing started here outlives the test.
trap 'kill -TERM "-$runner" 2>/dev/null' EXIT
exec 3<zkConsole.log
IFS= read -r first <&3
echo "game up: $first"
kill -INT "-$runner"
cat <&3 >"$work/rest.log"
wait "$runner"
status=$?
cat "$work/run.log" "$work/rest.log" | grep -v '^ALSA'
if [ "$status" != 0 ]; then
  echo "FAIL: the run ended with status $status"
  exit 1
fi
if ! grep -q "Shutting down" "$work/rest.log"; then
  echo "FAIL: the game did not shut down in order"
  exit 1
fi
echo "ended in order with status 0"
