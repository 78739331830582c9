#!/usr/bin/env bash
# The main job: builds Reelcast, then starts the desktop program when there is a
# display, or converts a sample to a VCD MPEG file when there is none.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
bash scripts/install-deps.sh
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}"
cmake --build build -j "$(nproc 2>/dev/null || echo 2)"

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x build/bin/Reelcast ]; then
  exec build/bin/Reelcast
fi

mkdir -p out
sample="$here/../shared/media/echo-hereweare.webm"
if [ ! -f "$sample" ]; then
  # No footage beside the project: make a 10 s test picture with a tone.
  sample=out/sample.avi
  [ -f "$sample" ] || ffmpeg -hide_banner -loglevel error -y \
    -f lavfi -i testsrc2=size=640x360:rate=25:duration=10 \
    -f lavfi -i sine=frequency=440:sample_rate=44100:duration=10 \
    -c:v mjpeg -q:v 3 -c:a pcm_s16le "$sample"
fi
build/bin/reelcast-cli info "$sample"
build/bin/reelcast-cli convert --mode vcd -y "$sample" out/sample-vcd.mpg
echo "wrote out/sample-vcd.mpg"
build/bin/reelcast-cli info out/sample-vcd.mpg
