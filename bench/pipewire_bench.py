#!/usr/bin/env python3
"""Figures for a camera read through PipeWire: start-up to the first painted frame, and CPU use
of the app previewing a PipeWire camera beside a bare `pipewiresrc ! videoconvert ! ximagesink`
reading the same node. A PipeWire daemon and WirePlumber run headless in a scratch runtime
directory; the camera is a gst-launch-1.0 pipeline offering a node. See bench/README.md."""

import argparse
import os
import statistics
import sys
import time

from benchlib import (FPS, PATTERN, REPO, AppRun, BenchError, bare_cpu, bench_world, measure_cpu,
                      ratio)

sys.path.insert(0, os.path.join(REPO, "tests", "ui"))
from uitest import PipeWire  # noqa: E402  (the daemon the window tests start, reused)

NODE = "kc-bench"
# Without a media type WirePlumber links no stream; the same properties the app gives its own.
STREAM = "props,media.type=Video,media.category=Capture,media.role=Camera"


def parse_args():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--app", default=os.path.join(REPO, "build-bench", "kovracam"))
    parser.add_argument("--seconds", type=float, default=10.0)
    parser.add_argument("--warmup", type=float, default=2.0)
    parser.add_argument("--runs", type=int, default=5, help="start-up runs")
    parser.add_argument("--sizes", default="640x480,1280x720")
    args = parser.parse_args()
    args.sizes = [tuple(int(v) for v in s.lower().split("x")) for s in args.sizes.split(",")]
    return args


def camera(pw, width, height):
    pw.add_camera(NODE, "Bench", "format=YUY2,width=%d,height=%d,framerate=%d/1"
                  % (width, height, FPS), PATTERN)


def app_run(xserver, args, workdir, pw, width, height, cpu):
    run = AppRun(xserver, args.app, workdir, width, height, camera_env=pw.env())
    try:
        run.wait_window()
        figures = measure_cpu(xserver, run.proc.pid, args.warmup, args.seconds) if cpu else None
        if not cpu:
            time.sleep(1.0)  # the first frame lands well within this
        if run.exit_through_menu() != 0:
            raise BenchError("kovracam exited with status %d" % run.proc.returncode)
        produced, painted, first_ns = run.stats()
    finally:
        run.kill()
    if painted == 0:
        raise BenchError("kovracam painted no frame of the PipeWire camera")
    return figures, (first_ns - run.started_ns) / 1e6, produced, painted


def main():
    args = parse_args()
    args.app = os.path.abspath(args.app)
    tools = ("Xvfb", "xdotool", "xwininfo", "gst-launch-1.0", "pipewire", "wireplumber")
    # The daemon's helper asserts what it needs of the daemon.
    with bench_world("pipewire_bench", tools, (BenchError, AssertionError)) as (xserver, workdir):
        with PipeWire() as pw:
            startup = []
            # A camera of a fresh pipeline each run: a pipewiresink that has seen a few readers
            # come and go stops delivering (a bare gst-launch-1.0 reader killed does it too).
            for _ in range(args.runs):
                camera(pw, 640, 480)
                startup.append(app_run(xserver, args, workdir, pw, 640, 480, False)[1])
                pw.remove_camera(NODE)
            rows = []
            for width, height in args.sizes:
                camera(pw, width, height)
                (a, ax, ah), _, produced, painted = app_run(xserver, args, workdir, pw, width,
                                                            height, True)
                b, bx, bh = bare_cpu(xserver, ["pipewiresrc", "target-object=" + NODE,
                                               "stream-properties=" + STREAM, "!", "videoconvert",
                                               "!", "ximagesink"], args.warmup, args.seconds,
                                     pw.env())
                pw.remove_camera(NODE)
                rows.append(("%dx%d" % (width, height), a, ax, ah, b, bx, bh, produced, painted))
        print("KOVRACAM through PipeWire (%d cores, pattern %s, YUY2 %d fps)"
              % (os.cpu_count(), PATTERN, FPS))
        print()
        print("Start-up, process start to first painted frame, 640x480, %d runs:" % len(startup))
        print("  median %.0f ms   min %.0f ms   (all: %s)" % (
            statistics.median(startup), min(startup), ", ".join("%.0f" % t for t in startup)))
        print()
        print("CPU over %.0f s after %.0f s warm-up, %% of one core (bare: pipewiresrc ! "
              "videoconvert ! ximagesink):" % (args.seconds, args.warmup))
        fmt = "  %-10s %7s %7s %9s %7s %7s %8s %10s %10s %9s"
        print(fmt % ("size", "app", "bare", "app/bare", "app+X", "bare+X", "ratio+X", "host(app)",
                     "host(bare)", "painted%"))
        for size, a, ax, ah, b, bx, bh, produced, painted in rows:
            print(fmt % (size, "%.1f" % a, "%.1f" % b, ratio(a, b), "%.1f" % (a + ax),
                         "%.1f" % (b + bx), ratio(a + ax, b + bx), "%.0f" % ah, "%.0f" % bh,
                         "%.1f" % (100.0 * painted / produced if produced else 0.0)))


if __name__ == "__main__":
    main()
