#!/usr/bin/env bash
# Installs every Debian 12 package the build, the tests and the benchmarks need.
# Safe to run again: apt-get skips what is already there.
set -euo pipefail
packages=(
  build-essential cmake pkg-config ninja-build ccache
  libavformat-dev libavcodec-dev libavfilter-dev libavutil-dev libswscale-dev libswresample-dev
  libmp3lame-dev qt6-base-dev libgl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  ffmpeg mpeg2dec mpg123 vcdimager twolame xvfb xauth mediainfo
  openbox xdotool imagemagick x11-utils fonts-dejavu-core
  clang libclang-rt-14-dev
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
