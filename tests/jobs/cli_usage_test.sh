#!/usr/bin/env bash
# reelcast-cli's exit codes: 2 for usage errors, 1 for a refused conversion.
set -u
cli="$1"
fail=0
expect() {
  local want="$1"; shift
  "$cli" "$@" >/dev/null 2>/tmp/reelcast-cli-usage.$$
  local got=$?
  if [ "$got" != "$want" ]; then
    echo "FAIL: reelcast-cli $* exited $got, wanted $want"; cat /tmp/reelcast-cli-usage.$$; fail=1
  fi
}
expect 2
expect 2 frobnicate
expect 2 convert --mode vcd onlyone.avi
expect 2 convert --mode nope a.avi b.mpg
expect 2 convert a.avi b.mpg
expect 2 convert --mode vcd --fps 25 a.avi b.mpg
expect 2 convert --mode mpg1 --size 12 a.avi b.mpg
expect 2 convert --mode mpg1 --ntsc a.avi b.mpg
expect 2 convert --mode avi --rate 22050 a.avi b.avi
expect 2 convert --mode mpg1 --fps 50 a.avi b.mpg
expect 2 convert --mode vcd --bogus a.avi b.mpg
expect 2 info
expect 0 --help
expect 1 convert --mode vcd /nonexistent/missing.avi /tmp/reelcast-cli-out.mpg
msg=$("$cli" convert --mode vcd /nonexistent/missing.avi /tmp/reelcast-cli-out.mpg 2>&1)
want="reelcast-cli: /nonexistent/missing.avi: Can't get media information from input file
reelcast-cli: /nonexistent/missing.avi: the file does not exist"
if [ "$msg" != "$want" ]; then
  echo "FAIL: missing input said '$msg'"; fail=1
fi
rm -f /tmp/reelcast-cli-usage.$$
exit $fail
