#!/usr/bin/env python3
"""Figures for recording and snapshots: CPU of preview + record beside a bare GStreamer pipeline
doing the same, frames in the file against frames produced, the longest gap between painted
preview frames while recording, how long Stop Capture takes to complete the file and bring the
preview back, and how long a snapshot takes to reach the disk. The app runs under a private Xvfb
and is driven by the keyboard through the Capture menu; see bench/README.md."""

import argparse
import os
import statistics
import subprocess
import sys
import time

from benchlib import (FPS, PATTERN, REPO, SCREEN, AppRun, BenchError, bare_cpu, bench_world,
                      measure_cpu, ratio, wait_until)

FRAME_MS = 1000.0 / FPS
AIM_CPU = 1.2
AIM_GAP_MS = 2 * FRAME_MS
AIM_STOP_MS = 300.0
AIM_SNAPSHOT_MS = FRAME_MS + 20.0
PROBE_TIMEOUT = 120


def parse_args():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--app", default=os.path.join(REPO, "build-bench", "kovracam"))
    parser.add_argument("--seconds", type=float, default=10.0,
                        help="length of each recording, from accepting Save As to Stop Capture")
    parser.add_argument("--cpu-seconds", type=float, default=8.0,
                        help="length of each CPU window (inside the recording)")
    parser.add_argument("--warmup", type=float, default=1.0,
                        help="seconds from the recording (or the bare pipeline's window) "
                        "starting to the CPU window")
    parser.add_argument("--sizes", default="640x480,1280x720,1920x1080",
                        help="comma-separated WxH list for the recording figures")
    parser.add_argument("--passes", type=int, default=1,
                        help="times the recording figures are taken for every size")
    parser.add_argument("--snapshots", type=int, default=3,
                        help="snapshots per format, each in an app started for it")
    parser.add_argument("--snapshot-size", default="1920x1080")
    args = parser.parse_args()
    try:
        args.sizes = [parse_size(s) for s in args.sizes.split(",")]
        args.snapshot_size = parse_size(args.snapshot_size)
    except ValueError:
        parser.error("sizes are written like 640x480,1280x720")
    if args.passes < 1 or args.snapshots < 0 or args.warmup < 0 or args.cpu_seconds <= 0:
        parser.error("--passes must be at least 1 and --cpu-seconds positive")
    if args.warmup + args.cpu_seconds > args.seconds:
        parser.error("the CPU window (--warmup + --cpu-seconds) must fit in --seconds")
    return args


def parse_size(text):
    width, height = (int(v) for v in text.lower().split("x"))
    if width <= 0 or height <= 0:
        raise ValueError(text)
    return width, height


def capture_item(run, letter):
    """Capture > the item whose mnemonic is `letter`, from the keyboard, as a user would."""
    x = run.x
    x.run("xdotool", "windowfocus", "--sync", run.wid)
    before = x.mapped_windows()
    x.key("alt+c")
    x.wait_new_window(before, "Capture menu")
    x.key(letter)


def save_as(run, path):
    """Types a full path into the Save As dialog's file-name field and accepts it."""
    wid = run.x.find_window(run.proc, "^Save As$", timeout=10)
    run.x.run("xdotool", "windowfocus", "--sync", wid)
    run.x.run("xdotool", "type", "--delay", "1", path)
    run.x.key("Return")
    run.x.wait_unmapped(wid, "Save As dialog")


def probe_frames(path):
    """(frames counted in the file, frames its header gives), read by ffprobe."""
    try:
        out = subprocess.run(
            ["ffprobe", "-v", "error", "-count_frames", "-select_streams", "v:0",
             "-show_entries", "stream=nb_frames,nb_read_frames", "-of", "default=nw=1", path],
            capture_output=True, text=True, timeout=PROBE_TIMEOUT).stdout
    except subprocess.TimeoutExpired:
        raise BenchError("ffprobe did not read %s within %d s" % (path, PROBE_TIMEOUT))
    info = dict(line.split("=", 1) for line in out.splitlines() if "=" in line)

    def number(key):
        return int(info[key]) if info.get(key, "").isdigit() else -1
    return number("nb_read_frames"), number("nb_frames")


def ms_between(fields, start, end):
    """Milliseconds between two of the app's timestamps, or None when either is missing."""
    a, b = fields.get(start, 0), fields.get(end, 0)
    return (b - a) / 1e6 if a > 0 and b >= a else None


def app_record_run(xserver, args, workdir, width, height, tag):
    run = AppRun(xserver, args.app, workdir, width, height)
    path = os.path.join(workdir, "record-%s.avi" % tag)
    try:
        run.wait_window()
        time.sleep(1.5)  # the preview runs well within this
        capture_item(run, "s")
        save_as(run, path)
        started = time.monotonic()
        cpu = measure_cpu(xserver, run.proc.pid, args.warmup, args.cpu_seconds)
        time.sleep(max(0.0, started + args.seconds - time.monotonic()))
        menu_ns = time.monotonic_ns()  # the app's timestamps are on this clock
        capture_item(run, "p")
        time.sleep(1.5)  # the file completes and the preview comes back well within this
        if run.exit_through_menu() != 0:
            raise BenchError("kovracam exited with status %d" % run.proc.returncode)
        fields = run.stats_fields()
        if not os.path.exists(path):
            raise BenchError("kovracam wrote no %s" % path)
        in_file, in_header = probe_frames(path)
    finally:
        run.kill()
        if os.path.exists(path):
            os.unlink(path)
    if "rec_produced" not in fields:
        raise BenchError("the app prints no recording figures: rebuild it")
    return {"cpu": cpu, "produced": fields["rec_produced"], "in_file": in_file,
            "in_header": in_header,
            "recorded_s": ms_between(fields, "save_accepted_ns", "stop_ns"),
            "gap": fields["rec_max_gap_ns"] / 1e6 if fields["rec_max_gap_ns"] else None,
            "gap_at": ms_between(fields, "save_accepted_ns", "rec_max_gap_end_ns"),
            "gap_in_menu": fields.get("rec_max_gap_end_ns", 0) >= menu_ns,
            "eos": ms_between(fields, "stop_ns", "file_done_ns"),
            "closed": ms_between(fields, "stop_ns", "rec_closed_ns"),
            "running": ms_between(fields, "stop_ns", "preview_run_ns"),
            "painted": ms_between(fields, "stop_ns", "preview_paint_ns")}


def bare_record_run(xserver, args, workdir, width, height, tag):
    path = os.path.join(workdir, "bare-%s.avi" % tag)
    caps = "video/x-raw,format=YUY2,width=%d,height=%d,framerate=%d/1" % (width, height, FPS)
    pipeline = ["videotestsrc", "is-live=true", "pattern=" + PATTERN, "!", caps, "!", "tee",
                "name=t", "!", "queue", "!", "videoconvert", "!", "ximagesink", "t.", "!",
                "queue", "!", "avimux", "!", "filesink", "location=" + path]
    try:
        return bare_cpu(xserver, pipeline, args.warmup, args.cpu_seconds)
    finally:
        if os.path.exists(path):
            os.unlink(path)


def snapshot_run(xserver, args, workdir, extension, index):
    width, height = args.snapshot_size
    run = AppRun(xserver, args.app, workdir, width, height)
    path = os.path.join(workdir, "snapshot-%d.%s" % (index, extension))
    try:
        run.wait_window()
        time.sleep(1.5)
        capture_item(run, "n")
        save_as(run, path)
        wait_until(lambda: os.path.exists(path), 5, "no snapshot %s within 5 s" % path)
        with open(path, "rb") as f:
            magic = f.read(2)
        if magic != (b"BM" if extension == "bmp" else b"\xff\xd8"):
            raise BenchError("%s is not a %s file" % (path, extension.upper()))
        time.sleep(0.3)
        if run.exit_through_menu() != 0:
            raise BenchError("kovracam exited with status %d" % run.proc.returncode)
        fields = run.stats_fields()
    finally:
        run.kill()
        if os.path.exists(path):
            os.unlink(path)
    total = ms_between(fields, "save_accepted_ns", "snapshot_saved_ns")
    if total is None:
        raise BenchError("the app gives no snapshot timestamps: rebuild it")
    return {"total": total, "dialog": ms_between(fields, "save_accepted_ns", "snapshot_asked_ns"),
            "frame": ms_between(fields, "snapshot_asked_ns", "snapshot_frame_ns"),
            "encode": ms_between(fields, "snapshot_frame_ns", "snapshot_encoded_ns"),
            "write": ms_between(fields, "snapshot_encoded_ns", "snapshot_saved_ns")}


def fmt_ms(value):
    return "n/a" if value is None else "%.1f" % value


def verdict(ok):
    return "met" if ok else "MISSED"


def print_report(args, rows, snapshots):
    print("KOVRACAM recording figures (%d cores, pattern %s, YUY2 %d fps, Xvfb %s)"
          % (os.cpu_count(), PATTERN, FPS, SCREEN))
    print()
    print("Preview + record CPU over %g s, from %g s after Start Capture (app) or the window "
          "(bare), %% of one core; aim app/bare <= %.2fx:" % (args.cpu_seconds, args.warmup,
                                                             AIM_CPU))
    fmt = "  %-10s %4s %7s %7s %9s %7s %7s %8s %10s %10s %7s"
    print(fmt % ("size", "pass", "app", "bare", "app/bare", "app+X", "bare+X", "ratio+X",
                 "host(app)", "host(bare)", "aim"))
    for r in rows:
        a, ax, ah = r["app"]["cpu"]
        b, bx, bh = r["bare"]
        print(fmt % (r["size"], r["pass"], "%.1f" % a, "%.1f" % b, ratio(a, b),
                     "%.1f" % (a + ax), "%.1f" % (b + bx), ratio(a + ax, b + bx), "%.0f" % ah,
                     "%.0f" % bh, verdict(b > 0 and a / b <= AIM_CPU)))
    print("  (X = the Xvfb server's own CPU; host = all processes on the machine, "
          "%% of one core, out of %d)" % (100 * os.cpu_count()))
    print()
    print("Recording of %.0f s: frames produced by the camera against frames in the file "
          "(ffprobe count / header); aim: all of them" % args.seconds)
    fmt = "  %-10s %4s %9s %9s %9s %8s %8s %7s"
    print(fmt % ("size", "pass", "length s", "produced", "in file", "header", "missing", "aim"))
    for r in rows:
        a = r["app"]
        missing = a["produced"] - a["in_file"]
        print(fmt % (r["size"], r["pass"], fmt_ms(a["recorded_s"] and a["recorded_s"] / 1000),
                     a["produced"], a["in_file"], a["in_header"], missing,
                     verdict(missing <= 0 and a["in_header"] == a["in_file"])))
    print()
    print("Longest gap between painted preview frames while recording; aim <= %.1f ms "
          "(two frame intervals)" % AIM_GAP_MS)
    print("Stop Capture, ms from the command to: end-of-stream at the writer (file complete), "
          "recording graph released, preview running, first frame painted; aim < %.0f ms"
          % AIM_STOP_MS)
    print("(gap ended: seconds after Start Capture's dialog was accepted; \"menu\" when it ended "
          "after the Capture menu was opened to stop)")
    fmt = "  %-10s %4s %8s %12s %6s   %8s %9s %8s %8s %6s"
    print(fmt % ("size", "pass", "gap ms", "gap ended", "aim", "complete", "released", "running",
                 "painted", "aim"))
    for r in rows:
        a = r["app"]
        slowest = max((v for v in (a["eos"], a["running"], a["painted"]) if v is not None),
                      default=None)
        at = "n/a" if a["gap_at"] is None else "%.2f s%s" % (
            a["gap_at"] / 1000, " menu" if a["gap_in_menu"] else "")
        print(fmt % (r["size"], r["pass"], fmt_ms(a["gap"]), at,
                     verdict(a["gap"] is not None and a["gap"] <= AIM_GAP_MS), fmt_ms(a["eos"]),
                     fmt_ms(a["closed"]), fmt_ms(a["running"]), fmt_ms(a["painted"]),
                     verdict(slowest is not None and a["painted"] is not None
                             and slowest < AIM_STOP_MS)))
    if not snapshots:
        return
    print()
    print("Snapshot at %dx%d while previewing, ms from accepting Save As to the file renamed "
          "into place; aim <= %.1f ms (one frame interval + 20 ms). Steps: the dialog gone, the "
          "next frame copied and converted to BGR, encoded, written + fsynced + renamed:"
          % (args.snapshot_size + (AIM_SNAPSHOT_MS,)))
    fmt = "  %-6s %4s %8s %8s %8s %8s %8s %7s"
    print(fmt % ("format", "run", "total", "dialog", "frame", "encode", "write", "aim"))
    for name, runs in snapshots:
        for number, r in enumerate(runs, 1):
            print(fmt % (name, number, fmt_ms(r["total"]), fmt_ms(r["dialog"]),
                         fmt_ms(r["frame"]), fmt_ms(r["encode"]), fmt_ms(r["write"]),
                         verdict(r["total"] <= AIM_SNAPSHOT_MS)))
    for name, runs in snapshots:
        totals = [r["total"] for r in runs]
        print("  %s: median %.1f ms, max %.1f ms" % (name, statistics.median(totals),
                                                      max(totals)))


def main():
    args = parse_args()
    args.app = os.path.abspath(args.app)  # the app runs in a scratch directory
    if not os.access(args.app, os.X_OK):
        sys.exit("record_bench: no app at %s (build it, or pass --app)" % args.app)
    tools = ("Xvfb", "xdotool", "xwininfo", "gst-launch-1.0", "ffprobe")
    with bench_world("record_bench", tools) as (xserver, workdir):
        rows = []
        for number in range(1, args.passes + 1):
            for width, height in args.sizes:
                tag = "%dx%d-%d" % (width, height, number)
                app = app_record_run(xserver, args, workdir, width, height, tag)
                bare = bare_record_run(xserver, args, workdir, width, height, tag)
                rows.append({"size": "%dx%d" % (width, height), "pass": number, "app": app,
                             "bare": bare})
        snapshots = []
        if args.snapshots:
            for name, extension in (("JPEG", "jpg"), ("BMP", "bmp")):
                snapshots.append((name, [snapshot_run(xserver, args, workdir, extension, i)
                                         for i in range(args.snapshots)]))
        print_report(args, rows, snapshots)


if __name__ == "__main__":
    main()
