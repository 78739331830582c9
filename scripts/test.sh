#!/usr/bin/env bash
# Installs what the build needs, builds, runs every test; then the same tests
# built with AddressSanitizer and UBSan.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
cd "$here"
bash scripts/install-deps.sh

jobs=$(nproc 2>/dev/null || echo 2)
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
export QT_QPA_PLATFORM=offscreen

# Runs a build's tests. When one or two fail, what the sanitizers said about
# them is printed again at the end (where a log's reader looks first) and they
# run once more on their own: one that passes then is named as flaky and does
# not fail the run; one that fails again, or more failures, do.
run_tests() {
  ctest -j "$jobs" --output-on-failure --timeout 1200 && return 0
  local failed=Testing/Temporary/LastTestsFailed.log
  [ -f "$failed" ] || return 1
  cp "$failed" flaky-candidates.log
  echo "== failed: =="
  cat flaky-candidates.log
  grep -n -A40 -E '==[0-9]+==ERROR|runtime error:|^SUMMARY: ' Testing/Temporary/LastTest.log | tail -150 || true
  [ "$(wc -l < flaky-candidates.log)" -le 2 ] || return 1
  echo "== the failed tests once more, one at a time =="
  ctest --rerun-failed --output-on-failure --timeout 1200 || return 1
  echo "FLAKY: failed once, passed on their own:"
  cat flaky-candidates.log
}

run_suite() {
  local dir="$1"; shift
  cmake -S . -B "$dir" -G Ninja "${launcher[@]}" "$@"
  cmake --build "$dir" -j "$jobs"
  (cd "$dir" && run_tests)
}

echo "== build and test =="
run_suite build -DCMAKE_BUILD_TYPE=RelWithDebInfo

echo "== build and test under AddressSanitizer and UBSan =="
# GCC 12's ASan can crash at exit in its __tls_get_addr interception when
# dlopen'ed libraries with thread-local data are unloaded.
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:intercept_tls_get_addr=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
run_suite build-asan -DCMAKE_BUILD_TYPE=Debug -DREELCAST_SANITIZE=ON -DREELCAST_BUILD_BENCH=OFF

echo "== fuzz the probe and the frame source for a minute (libFuzzer, ASan and UBSan) =="
# clang's libFuzzer; crash inputs are left in build-fuzz/ for the fuzz target's
# replay program to run again.
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja "${launcher[@]}" -DCMAKE_BUILD_TYPE=Debug \
  -DREELCAST_FUZZ=ON -DREELCAST_SANITIZE=ON -DREELCAST_BUILD_APP=OFF -DREELCAST_BUILD_BENCH=OFF
cmake --build build-fuzz -j "$jobs" --target fuzz_probe_frames
(cd build-fuzz && timeout 600 ../tests/fuzz/run_fuzz.sh --fuzz tests/fuzz_probe_frames 60)
echo "all tests passed"
