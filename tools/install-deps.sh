#!/bin/sh
# Puts every Debian package the project needs on a fresh machine. Idempotent.
set -e
PKGS="build-essential cmake pkgconf git clang libclang-rt-14-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libsdl2-dev libasound2-dev libepoxy-dev libegl-dev libgl-dev libgles-dev libegl-mesa0 libgl1-mesa-dri
  libfreetype-dev libfontconfig-dev fonts-liberation libstb-dev
  libode-dev libvorbis-dev libogg-dev libenet-dev
  libavformat-dev libavcodec-dev libswscale-dev libswresample-dev libavutil-dev
  xvfb xauth xdotool"
missing=""
for p in $PKGS; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
  SUDO=""
  [ "$(id -u)" = 0 ] || SUDO=sudo
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update
  $SUDO apt-get install -y --no-install-recommends $missing
fi
