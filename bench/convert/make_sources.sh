#!/usr/bin/env bash
# Generates the four sources of the whole-conversion benchmark into DIR
# (default /tmp/reelcast-bench-sources), once; existing files are kept.
#   h264_444.mp4     1280x720 H.264 4:4:4, 280 pictures at 25 fps, MP3 sound
#   xvid.avi         640x360 XviD, 500 pictures, MP3 sound
#   still_mpeg4.avi  640x480 MPEG-4, 70 s of still pictures, 48 kHz PCM
#   raw_rgb.avi      720x576 uncompressed RGB, 150 pictures, PCM
set -euo pipefail
dir=${1:-/tmp/reelcast-bench-sources}
mkdir -p "$dir"
ff() { local out="$dir/$1"; shift; [ -s "$out" ] || ffmpeg -nostdin -v error -y "$@" "$out"; }
ff h264_444.mp4 -f lavfi -i testsrc2=size=1280x720:rate=25:duration=11.2 \
   -f lavfi -i sine=frequency=440:sample_rate=44100:duration=11.2 \
   -c:v libx264 -pix_fmt yuv444p -preset veryfast -crf 23 -c:a libmp3lame -b:a 128k -ac 2
ff xvid.avi -f lavfi -i testsrc2=size=640x360:rate=25:duration=20 \
   -f lavfi -i sine=frequency=300:sample_rate=44100:duration=20 \
   -c:v libxvid -q:v 4 -vtag XVID -c:a libmp3lame -b:a 128k -ac 2
ff still_mpeg4.avi -f lavfi -i smptebars=size=640x480:rate=25:duration=70 \
   -f lavfi -i sine=frequency=500:sample_rate=48000:duration=70 \
   -c:v mpeg4 -q:v 3 -c:a pcm_s16le -ac 2
ff raw_rgb.avi -f lavfi -i testsrc=size=720x576:rate=25:duration=6 \
   -f lavfi -i sine=frequency=600:sample_rate=44100:duration=6 \
   -c:v rawvideo -pix_fmt bgr24 -c:a pcm_s16le -ac 2
echo "$dir"
