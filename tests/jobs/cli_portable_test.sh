#!/usr/bin/env bash
# The same conversion with the vector kernels and with --portable gives the same
# bytes: the kernel families must agree all the way through the file.
set -u
cli="$1"
command -v ffmpeg >/dev/null || { echo "ffmpeg missing: skipped"; exit 0; }
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
ffmpeg -nostdin -v error -f lavfi -i testsrc2=size=200x150:rate=25 -f lavfi -i sine=frequency=660:sample_rate=44100 \
  -t 2 -c:v mjpeg -q:v 3 -c:a pcm_s16le "$dir/src.avi" || { echo "FAIL: source not made"; exit 1; }
fail=0
for mode in vcd mpg2; do
  "$cli" convert --mode $mode --quiet "$dir/src.avi" "$dir/vec_$mode.mpg" >/dev/null 2>&1 || { echo "FAIL: $mode"; fail=1; }
  "$cli" convert --mode $mode --quiet --portable "$dir/src.avi" "$dir/por_$mode.mpg" >/dev/null 2>&1 || { echo "FAIL: $mode --portable"; fail=1; }
  if ! cmp -s "$dir/vec_$mode.mpg" "$dir/por_$mode.mpg"; then
    echo "FAIL: $mode differs between kernel families"; fail=1
  fi
done
exit $fail
