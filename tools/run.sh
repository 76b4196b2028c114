#!/bin/sh
# Sets up the machine, builds the game, writes the demo data tree and starts the game on it.
set -e
cd "$(dirname "$0")/.."
tools/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMETROFARE_TESTS=OFF -DMETROFARE_BENCH=OFF
cmake --build build -j "$(nproc)"
mkdir -p build/demo
build/tools/metrofare-demo build/demo
if [ -x build/app/metrofare ]; then
  cd build/demo
  if [ -z "$DISPLAY" ] && [ -z "$WAYLAND_DISPLAY" ]; then
    # No display: a virtual one of the game's own 800 x 600 mode, so full screen fills it exactly.
    exec xvfb-run -a -s "-screen 0 800x600x24" ../app/metrofare "$@"
  fi
  exec ../app/metrofare "$@"
fi
echo "Demo data tree written to build/demo"
