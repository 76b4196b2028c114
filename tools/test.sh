#!/bin/sh
# Sets up the machine, builds everything with the sanitizers and runs every test.
set -e
cd "$(dirname "$0")/.."
tools/install-deps.sh
JOBS=$(nproc)
cmake -S . -B build-test -DCMAKE_BUILD_TYPE=Debug -DMETROFARE_SANITIZE=ON
cmake --build build-test -j "$JOBS"
cd build-test
export SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy
ctest --output-on-failure -j "$JOBS" --timeout 600
