#!/usr/bin/env bash
# Ctrl-C during a conversion (MPEG and AVI routes) running on one or several
# threads: reelcast-cli stops through the job's cancel path, says it was
# interrupted and exits 1; it does not hang waiting for a stage. (The bound is a
# hang detector for loaded machines, not a speed target.)
set -u
cli="$1"
. "$(dirname "$0")/cli_test_support.sh"
make_source "$dir/src.avi" testsrc2=size=720x576:rate=25 48000 -t 60 -c:v mpeg4 -q:v 5 -c:a pcm_s16le
fail=0
for run in "dvd 1" "dvd 2" "dvd 4" "divx 1" "divx 2"; do
  set -- $run; mode=$1; threads=$2
  out="$dir/out.mpg"; [ $mode = divx ] && out="$dir/out.avi"
  "$cli" convert --mode $mode --quiet --threads $threads "$dir/src.avi" "$out" 2>"$dir/err" &
  pid=$!
  # Until the file has data: the conversion is under way.
  for _ in $(seq 1 600); do [ -s "$out" ] && break; kill -0 $pid 2>/dev/null || break; sleep 0.1; done
  kill -INT $pid
  start=$(date +%s)
  while kill -0 $pid 2>/dev/null && [ $(( $(date +%s) - start )) -lt 30 ]; do sleep 0.1; done
  if kill -0 $pid 2>/dev/null; then
    echo "FAIL: $mode --threads $threads still running 30 s after Ctrl-C"; kill -9 $pid; fail=1
  fi
  wait $pid; rc=$?
  [ $rc -eq 1 ] || { echo "FAIL: $mode --threads $threads exit status $rc after Ctrl-C"; fail=1; }
  grep -q "interrupted" "$dir/err" || { echo "FAIL: $mode --threads $threads: $(cat "$dir/err")"; fail=1; }
  rm -f "$out"
done
exit $fail
