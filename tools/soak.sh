#!/bin/sh
# A driving soak of the Release build on a virtual display: the quick-start free drive with the
# accelerator held, steering now and then and resetting the car now and then, for MINUTES
# minutes (default 10). The game's resident memory is read every 10 s; at the end the game gets
# SIGTERM. Fails when the game ends early (an abort), when its memory at the end is more than 5 %
# off its value after the first minute, or when it takes over 2 s to end.
#   tools/soak.sh [MINUTES]
# Figures go to stdout; the game's log stays in build-soak/demo/zkConsole.log.
set -u
minutes=${1:-10}
cd "$(dirname "$0")/.."
root=$(pwd)
tools/install-deps.sh >/dev/null
command -v xdotool >/dev/null 2>&1 || { echo "soak: xdotool is needed (apt-get install xdotool)" >&2; exit 2; }
cmake -S . -B build-soak -DCMAKE_BUILD_TYPE=Release -DMETROFARE_TESTS=OFF -DMETROFARE_BENCH=OFF >/dev/null || exit 1
cmake --build build-soak -j "${SOAK_JOBS:-3}" >/dev/null || exit 1
rm -rf build-soak/demo
build-soak/tools/metrofare-demo build-soak/demo >/dev/null || exit 1

work=$(mktemp -d)
mkfifo "$work/display"
setsid Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb=$!
game=""
cleanup() {
  [ -n "$game" ] && kill -KILL "$game" 2>/dev/null
  kill "$xvfb" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 143' TERM HUP INT
number=""
read -r number <"$work/display" || true
[ -n "$number" ] || { echo "soak: Xvfb did not start" >&2; cat "$work/xvfb.log" >&2; exit 1; }
export DISPLAY=":$number"

cd build-soak/demo
SDL_AUDIODRIVER=${SDL_AUDIODRIVER:-dummy} ../app/metrofare -M >"$work/stdout" 2>"$work/stderr" &
game=$!
cd "$root"

alive() { kill -0 "$game" 2>/dev/null; }
rss() { awk '/^VmRSS:/ { print $2 }' "/proc/$game/status" 2>/dev/null; }
key() { xdotool key --clearmodifiers "$1" 2>/dev/null; }

# The window, focused; then the menu's quick start, and Return takes the offered car.
window=$(xdotool search --sync --onlyvisible --pid "$game" 2>/dev/null | head -1)
[ -n "$window" ] || { echo "soak: the game's window never showed" >&2; exit 1; }
xdotool windowfocus "$window" 2>/dev/null
xdotool mousemove --window "$window" 400 300 2>/dev/null
sleep 3
key Pause
sleep 8
key Return
sleep 2
xdotool keydown Up

start=$(date +%s)
end=$((start + minutes * 60))
baseline=""
last=""
highest=0
lowest=0
step=0
while [ "$(date +%s)" -lt "$end" ]; do
  alive || break
  step=$((step + 1))
  # Steer for a second every 10 s, alternately; reset the car every minute.
  if [ $((step % 2)) -eq 0 ]; then side=Left; else side=Right; fi
  xdotool keydown "$side" 2>/dev/null
  sleep 1
  xdotool keyup "$side" 2>/dev/null
  if [ $((step % 6)) -eq 0 ]; then key r; fi
  sleep 9
  alive || break
  last=$(rss)
  elapsed=$(($(date +%s) - start))
  if [ -z "$baseline" ] && [ "$elapsed" -ge 60 ]; then baseline=$last; fi
  if [ -n "$baseline" ]; then
    [ "$last" -gt "$highest" ] && highest=$last
    { [ "$lowest" -eq 0 ] || [ "$last" -lt "$lowest" ]; } && lowest=$last
  fi
  echo "soak: ${elapsed}s resident ${last} KiB"
done
xdotool keyup Up 2>/dev/null

status=0
if ! alive; then
  wait "$game"
  code=$?
  echo "soak: FAILED: the game ended after $(($(date +%s) - start))s with status ${code}" >&2
  tail -5 "$work/stderr" >&2
  game=""
  exit 1
fi
[ -n "$baseline" ] || { echo "soak: FAILED: too short to take the first minute's value" >&2; exit 1; }
change=$(awk -v a="$baseline" -v b="$last" 'BEGIN { printf "%.1f", (b - a) * 100.0 / a }')
spread=$(awk -v a="$baseline" -v h="$highest" -v l="$lowest" 'BEGIN { printf "%.1f..%.1f", (l - a) * 100.0 / a, (h - a) * 100.0 / a }')
echo "soak: ${minutes} min driven; resident after 1 min ${baseline} KiB, at the end ${last} KiB (${change} %), range ${spread} %"
if awk -v c="$change" 'BEGIN { exit !(c > 5.0 || c < -5.0) }'; then
  echo "soak: FAILED: resident memory moved more than 5 %" >&2
  status=1
fi

# SIGTERM ends the game in order within 2 s.
t0=$(date +%s%N)
kill -TERM "$game"
wait "$game"
code=$?
game=""
ms=$((($(date +%s%N) - t0) / 1000000))
echo "soak: SIGTERM to exit ${ms} ms, exit status ${code}"
if [ "$ms" -gt 2000 ] || [ "$code" -ne 0 ]; then
  echo "soak: FAILED: the game took over 2 s to end, or did not end cleanly" >&2
  status=1
fi
exit $status
