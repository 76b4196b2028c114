#!/bin/sh
# Plays the real program at 800 x 600 on software GL (Mesa's llvmpipe) on a virtual display and
# drives it with keys as a player would (Pause on the menu, Return for the offered taxi):
#
#   tools/screenshots.sh          screenshots into docs/screenshots/: the city by day and by night,
#                                 the chase view while driving, and each F-key view F1 to F12
#   tools/screenshots.sh --cost   the free drive's CPU per presented frame on one core
#                                 (LP_NUM_THREADS=0: the rasteriser works in the game's thread),
#                                 three runs of 10 seconds, median and the machine's load
#
# The game runs in temporary copies of the demo tree; the build is build/ (RelWithDebInfo) unless
# BUILD names another. Keys reach the game through xdotool; pictures are the game's own
# screenshots (Print Screen), turned into PNGs.
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)
build=${BUILD:-build}

if [ "${1:-}" != "--on-display" ]; then
  mode=${1:-shots}
  case "$mode" in shots|--cost) ;; *) echo "usage: tools/screenshots.sh [--cost]" >&2; exit 2 ;; esac
  tools/install-deps.sh
  command -v xdotool >/dev/null || { echo "screenshots: xdotool is missing (tools/install-deps.sh installs it)" >&2; exit 1; }
  if [ -z "${BUILD:-}" ]; then
    cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMETROFARE_TESTS=OFF -DMETROFARE_BENCH=OFF >/dev/null
    cmake --build build -j "$(nproc)"
  fi
  exec tools/virtual-display.sh "$0" --on-display "$mode"
fi
mode=$2

game="$root/$build/app/metrofare"
demo="$root/$build/tools/metrofare-demo"
png="$root/$build/tools/metrofare-png"
work=$(mktemp -d)
pid=""
finish() {
  if [ -n "$pid" ]; then kill -INT "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap finish EXIT
export LIBGL_ALWAYS_SOFTWARE=1 SDL_AUDIODRIVER=dummy

# Waits up to $2 seconds for the text $1 in the running game's log.
wait_log() {
  n=0
  while ! grep -q "$1" "$tree/zkConsole.log" 2>/dev/null; do
    n=$((n + 1))
    if [ "$n" -gt $(($2 * 10)) ]; then echo "screenshots: no \"$1\" in the game's log" >&2; exit 1; fi
    sleep 0.1
  done
}

# Starts the game in the tree $1 (written first, with the metrofare-demo options after it), on
# the command $GAME_PREFIX, and waits for its main menu.
start() {
  tree="$work/$1"
  shift
  [ -d "$tree" ] || "$demo" "$@" "$tree" >/dev/null
  rm -f "$tree"/zkConsole.log "$tree"/Shot*.TGA
  (cd "$tree" && exec ${GAME_PREFIX:-} "$game" -M -W3 >game.out 2>&1) &
  pid=$!
  wait_log "Using Main" 60
  sleep 1
}

# From the main menu into the free drive, the offered taxi taken, the car come to rest.
drive_off() {
  xdotool key Pause
  wait_log "Using Game" 120
  sleep 2
  xdotool key Return
  sleep 3
}

stop() {
  kill -INT "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  pid=""
}

# The game's screenshot of what it shows now, as docs/screenshots/$1.png.
shot() {
  before=$(ls "$tree" | grep -c '^Shot.*\.TGA$' || true)
  xdotool key Print
  n=0
  while [ "$(ls "$tree" | grep -c '^Shot.*\.TGA$' || true)" -le "$before" ]; do
    n=$((n + 1))
    if [ "$n" -gt 300 ]; then
      echo "screenshots: the game wrote no screenshot for $1; the end of its log and output:" >&2
      tail -n 15 "$tree/zkConsole.log" "$tree/game.out" >&2 2>/dev/null || true
      exit 1
    fi
    sleep 0.1
  done
  sleep 0.5
  latest=$(ls "$tree" | grep '^Shot.*\.TGA$' | sort | tail -n 1)
  "$png" "$tree/$latest" "$root/docs/screenshots/$1.png"
  echo "docs/screenshots/$1.png"
}

if [ "$mode" = "shots" ]; then
  mkdir -p "$root/docs/screenshots"
  start day
  drive_off
  shot day
  xdotool keydown Up
  sleep 4
  shot driving
  xdotool keyup Up
  sleep 2
  for k in 1 2 3 4 5 6 7 8 9 10 11 12; do
    xdotool key "F$k"
    sleep 2
    shot "view-f$k"
  done
  stop
  start night --time-of-day 3
  drive_off
  shot night
  stop
  exit 0
fi

# CPU per presented frame: the process's CPU time (all its threads) over the frames the game
# drew in a 10-second window, the car standing at the start in the chase view.
core=$(($(nproc) - 1))
GAME_PREFIX="taskset -c $core env LP_NUM_THREADS=0"
ticks=$(getconf CLK_TCK)
results=""
for run in 1 2 3; do
  start day
  drive_off
  cpu0=$(awk '{print $14 + $15}' "/proc/$pid/stat")
  frames0=$(grep -c "Using Game for" "$tree/zkConsole.log")
  sleep 10
  cpu1=$(awk '{print $14 + $15}' "/proc/$pid/stat")
  frames1=$(grep -c "Using Game for" "$tree/zkConsole.log")
  stop
  ms=$(awk -v c=$((cpu1 - cpu0)) -v f=$((frames1 - frames0)) -v t="$ticks" 'BEGIN { printf "%.1f", c * 1000 / t / f }')
  echo "run $run: $((frames1 - frames0)) frames, $ms ms CPU per presented frame"
  results="$results $ms"
done
median=$(echo "$results" | tr ' ' '\n' | grep . | sort -n | sed -n 2p)
echo "median: $median ms CPU per presented frame on one core (core $core, LP_NUM_THREADS=0); load:$(uptime | sed 's/.*load average://')"
