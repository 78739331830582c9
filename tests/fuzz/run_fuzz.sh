#!/usr/bin/env bash
# Makes a few small seed sources with ffmpeg, then
#   run_fuzz.sh --replay TARGET          runs the target once over each seed;
#   run_fuzz.sh --fuzz TARGET SECONDS    fuzzes from the seeds for SECONDS
#                                        (a libFuzzer build of the target).
set -euo pipefail
mode=$1
target=$2
seconds=${3:-60}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/reelcast-fuzz-XXXXXX")
trap 'rm -rf "$work"' EXIT
seeds=$work/seeds
mkdir -p "$seeds" "$work/corpus"

ff() { ffmpeg -nostdin -v error -y "$@"; }
pictures="-f lavfi -i testsrc2=size=32x24:rate=25:duration=0.2"
sound="-f lavfi -i sine=f=440:r=8000:d=0.2"
ff $pictures $sound -c:v mpeg4 -vtag XVID -c:a pcm_s16le "$seeds/mpeg4.avi"
ff $pictures -c:v rawvideo -pix_fmt pal8 "$seeds/pal8.avi"
ff $pictures -c:v rawvideo -pix_fmt bgr24 "$seeds/rgb24.avi"
ff $pictures -c:v mjpeg "$seeds/mjpeg.avi"
ff $pictures $sound -c:v mpeg1video -c:a mp2 -ar 32000 -f mpeg "$seeds/mpeg1.mpg"
ff $sound -c:a pcm_s16le "$seeds/tone.wav"

case "$mode" in
  --replay)
    "$target" "$seeds"/* ;;
  --fuzz)
    # The target writes its input to a file each run; keep those off the seeds.
    "$target" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=3072 -max_len=65536 \
      -dict="$here/avi.dict" -artifact_prefix="${FUZZ_ARTIFACTS:-$PWD}/" "$work/corpus" "$seeds" ;;
  *)
    echo "usage: $0 --replay|--fuzz TARGET [SECONDS]" >&2; exit 2 ;;
esac
