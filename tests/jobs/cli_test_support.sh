# Shared by the reelcast-cli test scripts (sourced): skips without ffmpeg,
# gives a scratch folder $dir removed at exit, and make_source OUT ARGS... that
# encodes a generated test picture with a tone (the ARGS after the lavfi inputs).
command -v ffmpeg >/dev/null || { echo "ffmpeg missing: skipped"; exit 0; }
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
make_source() {  # make_source OUT PICTURE_SOURCE TONE_RATE ARGS...
  local out="$1" pictures="$2" rate="$3"; shift 3
  ffmpeg -nostdin -v error -f lavfi -i "$pictures" -f lavfi -i sine=frequency=440:sample_rate="$rate" "$@" "$out" ||
    { echo "FAIL: $(basename "$out") not made"; exit 1; }
}
