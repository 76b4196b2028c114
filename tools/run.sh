#!/bin/sh
# Sets up the machine, builds the game, writes the demo data tree and starts the game on it.
# Without a display, the game runs on a virtual one. Ctrl-C ends the game in order either way.
set -e
cd "$(dirname "$0")/.."
tools/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMETROFARE_TESTS=OFF -DMETROFARE_BENCH=OFF
cmake --build build -j "$(nproc)"
mkdir -p build/demo
build/tools/metrofare-demo build/demo
if [ ! -x build/app/metrofare ]; then
  echo "Demo data tree written to build/demo"
  exit 0
fi
cd build/demo
echo "run.sh: the game's log is $(pwd)/zkConsole.log; press Ctrl-C here to end the game."
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  exec ../../tools/virtual-display.sh ../app/metrofare "$@"
fi
exec ../app/metrofare "$@"
