#!/usr/bin/env python3
"""Splits a `perf record` profile of one reelcast-cli conversion into the
stages of the conversion by symbol and library.

    perf record -e cpu-clock -F 1999 -o run.data reelcast-cli convert ...
    bench/convert/profile_stages.py run.data [more.data ...]
"""
import collections
import subprocess
import sys

# First match wins: (stage, test on (library, symbol)).
STAGES = [
    ("decoding (libavcodec)", lambda d, s: d.startswith("libavcodec") or d.startswith("libdav1d")),
    ("RGB bitmap (libswscale)", lambda d, s: d.startswith("libswscale") or "DibConverter" in s),
    ("colour conversion + scaling", lambda d, s: "reelcast::picture::" in s),
    ("video: motion search", lambda d, s: "MotionSearch" in s or any(k in s for k in (
        "Sad16", "Sad4x4", "HalfPelSads", "PredictionError", "BidirAbsError", "MacroblockVariance",
        "QuarterRow", "CoarseRing32"))),
    ("video: transform, quantise, code", lambda d, s: "reelcast::mpeg::video" in s or "reelcast::kernels" in s),
    ("sound: Layer II + resampling", lambda d, s: "reelcast::mpeg::audio" in s or "MpegAudioEncoder" in s
        or d.startswith("libswresample") or "AsConvert" in s or "reelcast::media::" in s),
    ("multiplexer", lambda d, s: "reelcast::mpeg::mux" in s or "Multiplexer" in s or "ScanOffsets" in s),
    ("library loading (ld.so)", lambda d, s: d.startswith("ld-linux")),
    ("kernel (I/O, page faults, threads)", lambda d, s: d.startswith("[kernel")),
    ("libc (copies, memset, malloc)", lambda d, s: d.startswith("libc.so")),
]


def profile(path):
    out = subprocess.run(["perf", "report", "-i", path, "--sort", "dso,sym", "--stdio", "-q",
                          "--percent-limit", "0"], capture_output=True, text=True).stdout
    totals = collections.OrderedDict((name, 0.0) for name, _ in STAGES)
    totals["other"] = 0.0
    for line in out.splitlines():
        parts = line.split(None, 2)
        if len(parts) < 3 or not parts[0].endswith("%"):
            continue
        pct = float(parts[0][:-1])
        dso = parts[1]
        sym = parts[2]
        for name, test in STAGES:
            if test(dso, sym):
                totals[name] += pct
                break
        else:
            totals["other"] += pct
    return totals


def main():
    if len(sys.argv) < 2:
        print(__doc__)
        return 2
    results = [(p, profile(p)) for p in sys.argv[1:]]
    names = list(results[0][1].keys())
    print("| stage | " + " | ".join(p.rsplit("/", 1)[-1].replace(".data", "") for p, _ in results) + " |")
    print("|---|" + "---|" * len(results))
    for n in names:
        print("| " + n + " | " + " | ".join("%.1f" % r[n] for _, r in results) + " |")
    return 0


if __name__ == "__main__":
    sys.exit(main())
