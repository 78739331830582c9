#!/usr/bin/env bash
# Wall and processor time of MOV -> AVI through the bridge (reelcast-cli --mode mov)
# against ffmpeg's own MPEG-4 Part 2 + MP3 conversion, in the same run:
#   ffmpeg -i IN -c:v mpeg4 -vtag XVID -q:v 3 -c:a libmp3lame OUT.avi
# and the same at the bridge's own quantiser (-q:v 2), to tell the cost of the
# finer quality from the cost of the pipeline. Runs alternate between the sides
# so all see the same machine load; best and median of N runs are printed, with
# output sizes and PSNR against the source.
#
#   bench/movbridge/bridge_vs_ffmpeg.sh [BUILD_DIR] [RUNS]
# REELCAST_BENCH_SOURCES="a.mov b.mp4" replaces the sources made from the footage.
set -euo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$here/build}
runs=${2:-5}
cli=$build/bin/reelcast-cli
media=${REELCAST_MEDIA_DIR:-$here/../shared/media}
[ -d "$media" ] || media=/work/shared/media
footage=$media/echo-hereweare.webm
work=$(mktemp -d "${TMPDIR:-/tmp}/reelcast-bridge-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT

[ -x "$cli" ] || { echo "no $cli: build first" >&2; exit 1; }
if [ -n "${REELCAST_BENCH_SOURCES:-}" ]; then
  sources=($REELCAST_BENCH_SOURCES)
else
  # The footage as a phone would store it (H.264 + AAC in a MOV), and a 720p clip.
  ffmpeg -nostdin -v error -y -i "$footage" -c:v libx264 -preset fast -crf 18 -pix_fmt yuv420p \
    -c:a aac -b:a 160k "$work/footage.mov"
  ffmpeg -nostdin -v error -y -f lavfi -i testsrc2=size=1280x720:rate=30 -f lavfi -i sine=r=48000 \
    -t 20 -c:v libx264 -preset fast -crf 20 -c:a aac "$work/clip720.mov"
  sources=("$work/footage.mov" "$work/clip720.mov")
fi

# Prints "wall cpu" of one command in seconds.
timed() {
  local TIMEFORMAT='%R %U %S'
  { time "$@" >/dev/null 2>&1; } 2>&1 | awk '{ printf "%.3f %.3f\n", $1, $2 + $3 }'
}

stats() {  # stdin: one number per line -> "best median"
  sort -n | awk '{ v[NR] = $1 } END { m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2; printf "%.3f %.3f", v[1], m }'
}

psnr() {  # average Y PSNR of an AVI against its source
  ffmpeg -nostdin -v info -i "$1" -i "$2" -lavfi "[0:v][1:v]psnr" -f null - 2>&1 |
    sed -n 's/.*PSNR y:\([0-9.inf]*\).*/\1/p' | tail -1
}

echo "machine: $(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg) at start; $runs runs per side"
printf "%-14s %-9s %17s %17s %10s %8s\n" source side "wall best/median" "cpu best/median" "size KiB" "PSNR Y"
for src in "${sources[@]}"; do
  name=$(basename "$src")
  for f in b f q; do : >"$work/$f.wall"; : >"$work/$f.cpu"; done
  for ((i = 0; i < runs; i++)); do
    read -r w c < <(timed "$cli" convert --mode mov -q -y "$src" "$work/bridge.avi")
    echo "$w" >>"$work/b.wall"; echo "$c" >>"$work/b.cpu"
    read -r w c < <(timed ffmpeg -nostdin -v error -y -i "$src" -c:v mpeg4 -vtag XVID -q:v 3 \
                      -c:a libmp3lame "$work/ffmpeg.avi")
    echo "$w" >>"$work/f.wall"; echo "$c" >>"$work/f.cpu"
    read -r w c < <(timed ffmpeg -nostdin -v error -y -i "$src" -c:v mpeg4 -vtag XVID -q:v 2 \
                      -c:a libmp3lame "$work/ffmpeg-q2.avi")
    echo "$w" >>"$work/q.wall"; echo "$c" >>"$work/q.cpu"
  done
  for side in bridge ffmpeg ffmpeg-q2; do
    f=${side:0:1}; [ "$side" = ffmpeg-q2 ] && f=q
    printf "%-14s %-9s %17s %17s %10d %8s\n" "$name" "$side" "$(stats <"$work/$f.wall" | tr ' ' /)" \
      "$(stats <"$work/$f.cpu" | tr ' ' /)" $(($(stat -c %s "$work/$side.avi") / 1024)) "$(psnr "$work/$side.avi" "$src")"
  done
  bw=$(stats <"$work/b.wall" | cut -d' ' -f1); fw=$(stats <"$work/f.wall" | cut -d' ' -f1)
  echo "$name: bridge/ffmpeg best wall time ratio $(awk -v b="$bw" -v f="$fw" 'BEGIN { printf "%.2f", b / f }')"
done
echo "load average $(cut -d' ' -f1-3 /proc/loadavg) at the end"
