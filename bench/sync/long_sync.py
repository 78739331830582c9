#!/usr/bin/env python3
"""Picture and sound over a long conversion: a flash-and-beep source (a white
picture and a 1 kHz beep every 10 s) with sound at each source rate goes through
reelcast-cli in each mode; FFmpeg decodes the result and the beep-to-flash offset
is measured at every beep. Prints, per mode and rate, the offset at the first
and the last beep and the change between them (the drift), in ms and ppm.

  long_sync.py [--cli PATH] [--seconds 600] [--modes vcd,dvd,...] [--rates 48000,...] [--keep DIR]
"""
import argparse
import os
import struct
import subprocess
import sys
import tempfile

EVERY = 10.0  # seconds from one flash (and beep) to the next


def run(cmd, **kw):
    return subprocess.run(cmd, capture_output=True, **kw)


def make_source(path, rate, seconds):
    video = ("color=c=black:s=176x144:r=25,drawbox=x=0:y=0:w=iw:h=ih:color=white:t=fill:"
             "enable='lt(mod(t\\,%g)\\,0.02)'" % EVERY)
    audio = "aevalsrc=exprs='if(lt(mod(t\\,%g)\\,0.06)\\,0.7*sin(2*PI*1000*t)\\,0)':s=%d" % (EVERY, rate)
    codec = ["-ac", "1", "-c:a", "pcm_mulaw"] if rate == 8000 else ["-c:a", "pcm_s16le"]
    r = run(["ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i", video, "-f", "lavfi", "-i", audio,
             "-t", str(seconds), "-c:v", "mpeg4", "-q:v", "5"] + codec + [path])
    if r.returncode:
        sys.exit("ffmpeg failed: " + r.stderr.decode())


def flashes(path):
    err = run(["ffmpeg", "-nostdin", "-copyts", "-i", path, "-map", "0:v:0", "-vf", "scale=16:16,showinfo",
               "-f", "null", "-"], text=True).stderr
    times, bright = [], False
    for line in err.splitlines():
        if "pts_time:" not in line or "mean:[" not in line:
            continue
        t = float(line.split("pts_time:")[1].split()[0])
        now = int(line.split("mean:[")[1].split()[0].rstrip("]")) > 125
        if now and not bright:
            times.append(t)
        bright = now
    return times


def beeps(path):
    out = run(["ffprobe", "-v", "error", "-select_streams", "a:0", "-show_entries", "stream=sample_rate",
               "-of", "csv=p=0", path], text=True).stdout.strip()
    rate = int(out.split(",")[0])
    first = run(["ffprobe", "-v", "error", "-select_streams", "a:0", "-show_entries", "packet=pts_time",
                 "-of", "csv=p=0", "-read_intervals", "%+#1", path], text=True).stdout.strip()
    start = float(first.split()[0]) if first and first.split()[0] != "N/A" else 0.0
    pcm = run(["ffmpeg", "-nostdin", "-v", "error", "-i", path, "-map", "0:a:0", "-ac", "1", "-f", "s16le", "-"]).stdout
    n = len(pcm) // 2
    samples = struct.unpack("<%dh" % n, pcm[:2 * n])
    times, last, quiet = [], -rate, rate // 2
    for i, v in enumerate(samples):
        if -9000 < v < 9000:
            continue
        if i - last > quiet:
            times.append(start + i / rate)
        last = i
    return times


def main():
    ap = argparse.ArgumentParser()
    here = os.path.dirname(os.path.abspath(__file__))
    ap.add_argument("--cli", default=os.path.join(here, "..", "..", "build", "bin", "reelcast-cli"))
    ap.add_argument("--seconds", type=int, default=600)
    ap.add_argument("--modes", default="vcd,svcd,dvd,mpg1,mpg2,divx,avi")
    ap.add_argument("--rates", default="8000,22050,32000,44100,48000,96000")
    ap.add_argument("--keep")
    a = ap.parse_args()
    work = a.keep or tempfile.mkdtemp(prefix="reelcast-sync-")
    os.makedirs(work, exist_ok=True)
    print("%-5s %6s %6s %10s %10s %10s %8s" % ("mode", "rate", "beeps", "first ms", "last ms", "drift ms", "ppm"))
    for rate in [int(r) for r in a.rates.split(",")]:
        src = os.path.join(work, "source%d.mkv" % rate)
        make_source(src, rate, a.seconds)
        for mode in a.modes.split(","):
            out = os.path.join(work, "%s_%d.%s" % (mode, rate, "avi" if mode in ("avi", "divx") else "mpg"))
            r = run([a.cli, "convert", "--mode", mode, "-q", "-y", src, out], text=True)
            if r.returncode:
                print("%-5s %6d conversion failed: %s" % (mode, rate, r.stderr.strip()[:200]))
                continue
            f, b = flashes(out), beeps(out)
            pairs = [(x, min(f, key=lambda y: abs(y - x))) for x in b]
            d = [x - y for x, y in pairs if abs(x - y) < EVERY / 2]
            if len(d) < 2:
                print("%-5s %6d too few beeps" % (mode, rate))
                continue
            span = pairs[-1][0] - pairs[0][0]
            drift = d[-1] - d[0]
            print("%-5s %6d %6d %+10.1f %+10.1f %+10.2f %+8.1f" % (mode, rate, len(d), d[0] * 1e3, d[-1] * 1e3,
                                                                 drift * 1e3, drift / span * 1e6 if span else 0))
            sys.stdout.flush()
            if not a.keep:
                os.remove(out)
        if not a.keep:
            os.remove(src)


if __name__ == "__main__":
    main()
