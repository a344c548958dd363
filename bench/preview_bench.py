#!/usr/bin/env python3
"""Figures for the preview path: start-up time to the first painted frame, CPU use of the app
beside a bare GStreamer pipeline doing the same conversion, and frames painted against frames
produced. Everything runs under a private Xvfb; see bench/README.md."""

import argparse
import os
import statistics
import sys
import time

from benchlib import (FPS, PATTERN, REPO, SCREEN, AppRun, BenchError, bare_cpu, bench_world,
                      measure_cpu, ratio)


def parse_args():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--app", default=os.path.join(REPO, "build-bench", "kovracam"))
    parser.add_argument("--seconds", type=float, default=10.0,
                        help="length of each CPU measuring window")
    parser.add_argument("--warmup", type=float, default=2.0,
                        help="seconds between the window appearing and the CPU window")
    parser.add_argument("--runs", type=int, default=5, help="start-up runs")
    parser.add_argument("--sizes", default="640x480,1280x720,1920x1080",
                        help="comma-separated WxH list for the CPU and frame figures")
    args = parser.parse_args()
    try:
        args.sizes = [tuple(int(v) for v in s.lower().split("x")) for s in args.sizes.split(",")]
    except ValueError:
        parser.error("--sizes takes a list like 640x480,1280x720")
    if any(len(s) != 2 or min(s) <= 0 for s in args.sizes):
        parser.error("--sizes takes a list like 640x480,1280x720")
    if args.runs < 1 or args.seconds <= 0 or args.warmup < 0:
        parser.error("--runs must be at least 1 and --seconds positive")
    return args


def startup_runs(xserver, args, workdir):
    times = []
    for _ in range(args.runs):
        run = AppRun(xserver, args.app, workdir, 640, 480)
        try:
            run.wait_window()
            time.sleep(1.0)  # the first frame lands well within this at 30 fps
            if run.exit_through_menu() != 0:
                raise BenchError("kovracam exited with status %d" % run.proc.returncode)
            _, painted, first_ns = run.stats()
        finally:
            run.kill()
        if painted == 0 or first_ns == 0:
            raise BenchError("kovracam painted no frame within 1 s of its window appearing")
        times.append((first_ns - run.started_ns) / 1e6)
    return times


def app_cpu_run(xserver, args, workdir, width, height):
    run = AppRun(xserver, args.app, workdir, width, height)
    try:
        run.wait_window()
        cpu, xcpu, host = measure_cpu(xserver, run.proc.pid, args.warmup, args.seconds)
        if run.exit_through_menu() != 0:
            raise BenchError("kovracam exited with status %d" % run.proc.returncode)
        produced, painted, _ = run.stats()
    finally:
        run.kill()
    return cpu, xcpu, host, produced, painted


def bare_cpu_run(xserver, args, width, height):
    caps = "video/x-raw,format=YUY2,width=%d,height=%d,framerate=%d/1" % (width, height, FPS)
    return bare_cpu(xserver, ["videotestsrc", "is-live=true", "pattern=" + PATTERN, "!", caps, "!",
                              "videoconvert", "!", "ximagesink"], args.warmup, args.seconds)


def print_report(args, startup, rows):
    print("KOVRACAM preview figures (%d cores, pattern %s, YUY2 %d fps, Xvfb %s)"
          % (os.cpu_count(), PATTERN, FPS, SCREEN))
    print()
    print("Start-up, process start to first painted frame, 640x480, %d runs:" % len(startup))
    print("  median %.0f ms   min %.0f ms   (all: %s)"
          % (statistics.median(startup), min(startup), ", ".join("%.0f" % t for t in startup)))
    print()
    print("CPU over %.0f s after %.0f s warm-up, %% of one core:" % (args.seconds, args.warmup))
    head = ("size", "app", "bare", "app/bare", "app+X", "bare+X", "ratio+X", "host(app)",
            "host(bare)")
    fmt = "  %-10s %7s %7s %9s %7s %7s %8s %10s %10s"
    print(fmt % head)
    for r in rows:
        a, ax, ah = r["app"]
        b, bx, bh = r["bare"]
        print(fmt % (r["size"], "%.1f" % a, "%.1f" % b, ratio(a, b), "%.1f" % (a + ax),
                     "%.1f" % (b + bx), ratio(a + ax, b + bx), "%.0f" % ah, "%.0f" % bh))
    print("  (X = the Xvfb server's own CPU; host = all processes on the machine, "
          "%% of one core, out of %d)" % (100 * os.cpu_count()))
    print()
    print("Frames painted against frames produced (whole app run):")
    print("  %-10s %9s %9s %8s" % ("size", "produced", "painted", "painted%"))
    for r in rows:
        pct = 100.0 * r["painted"] / r["produced"] if r["produced"] else 0.0
        print("  %-10s %9d %9d %7.1f%%" % (r["size"], r["produced"], r["painted"], pct))


def main():
    args = parse_args()
    args.app = os.path.abspath(args.app)  # the app runs in a scratch directory
    if not os.access(args.app, os.X_OK):
        sys.exit("preview_bench: no app at %s (build it, or pass --app)" % args.app)
    with bench_world("preview_bench", ("Xvfb", "xdotool", "xwininfo", "gst-launch-1.0")) as (
            xserver, workdir):
        startup = startup_runs(xserver, args, workdir)
        rows = []
        for width, height in args.sizes:
            cpu, xcpu, host, produced, painted = app_cpu_run(xserver, args, workdir, width,
                                                            height)
            bare = bare_cpu_run(xserver, args, width, height)
            rows.append({"size": "%dx%d" % (width, height), "app": (cpu, xcpu, host),
                         "bare": bare, "produced": produced, "painted": painted})
        print_report(args, startup, rows)


if __name__ == "__main__":
    main()
