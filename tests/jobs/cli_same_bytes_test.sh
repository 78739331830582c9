#!/usr/bin/env bash
# A conversion's bytes do not depend on how it is run: the vector kernels or
# --portable, one thread or several (the stages overlapping and each picture's
# rows shared out, the sound coded beside the pictures). Every MPEG mode and
# the AVI route, from an AVI that our scaler resizes and from an MP4 read
# through the media detector; the footage too when present.
set -u
cli="$1"
footage="${2:-}"
. "$(dirname "$0")/cli_test_support.sh"
make_source "$dir/src.avi" testsrc2=size=200x150:rate=25 44100 -t 1.6 -c:v mjpeg -q:v 3 -c:a pcm_s16le
make_source "$dir/src.mp4" testsrc2=size=320x240:rate=30 48000 -t 1.2 -c:v libx264 -preset ultrafast -bf 2 -c:a aac
sources=("$dir/src.avi" "$dir/src.mp4")
if [ -n "$footage" ] && [ -f "$footage" ]; then
  ffmpeg -nostdin -v error -i "$footage" -t 2 -c copy "$dir/footage.${footage##*.}" && sources+=("$dir/footage.${footage##*.}")
fi
fail=0
run() {  # run NAME ARGS... : converts, reports a failure
  local out="$1"; shift
  "$cli" convert --quiet "$@" "$out" >"$dir/log" 2>&1 || { echo "FAIL: $* ($(cat "$dir/log"))"; fail=1; }
}
for src in "${sources[@]}"; do
  for mode in mpg1 mpg2 vcd svcd dvd divx avi; do
    ext=mpg; case $mode in divx|avi) ext=avi ;; esac
    ref="$dir/ref.$ext"
    run "$ref" --mode $mode --threads 1 "$src"
    for variant in "--threads 2" "--threads 4" "--portable --threads 3"; do
      run "$dir/alt.$ext" --mode $mode $variant "$src"
      if ! cmp -s "$ref" "$dir/alt.$ext"; then
        echo "FAIL: $mode from $(basename "$src"): $variant differs from --threads 1"; fail=1
      fi
      rm -f "$dir/alt.$ext"
    done
    rm -f "$ref"
  done
done
exit $fail
