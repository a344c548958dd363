#!/usr/bin/env python3
"""Figures for the Windows build under Wine: CPU of the app's preview and of its preview +
record beside the bare DirectShow graph of bench/win/bare_graph.cpp (virtual camera -> Smart Tee
-> video renderer, plus AVI mux -> file writer), all in one run, and frames in each recorded
file against frames the virtual camera delivered. See bench/README.md."""

import argparse
import os
import subprocess
import sys
import time

from benchlib import (CLK_TCK, FPS, PATTERN, REPO, BenchError, bench_world, cpu_ticks, ratio,
                      stop, wait_until)

sys.path.insert(0, os.path.join(REPO, "tests", "ui"))
from uitest import WinePrefix  # noqa: E402  (the tests' scratch prefix, booted once)


def parse_args():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--build", default=os.path.join(REPO, "build-win32"),
                        help="the Windows build holding kovracam.exe and bench/win/bare_graph.exe")
    parser.add_argument("--seconds", type=float, default=8.0, help="CPU window")
    parser.add_argument("--warmup", type=float, default=3.0,
                        help="seconds between the graph running and the CPU window")
    parser.add_argument("--sizes", default="640x480,1280x720")
    parser.add_argument("--subtype", default="YUY2", choices=("YUY2", "RGB24"))
    parser.add_argument("--no-record", action="store_true", help="preview figures only")
    args = parser.parse_args()
    try:
        args.sizes = [tuple(int(v) for v in s.lower().split("x")) for s in args.sizes.split(",")]
    except ValueError:
        parser.error("--sizes takes a list like 640x480,1280x720")
    args.build = os.path.abspath(args.build)  # the programs run in a scratch folder
    args.app = os.path.join(args.build, "kovracam.exe")
    args.bare = os.path.join(args.build, "bench", "win", "bare_graph.exe")
    return args


def windows_path(path):  # Wine's drive Z: is the root of the file system
    return "Z:" + path.replace("/", "\\")


class Wine:
    """The prefix, the X server and the scratch folder every measured program runs in."""

    def __init__(self, prefix, xserver, workdir):
        self.prefix, self.x, self.workdir = prefix, xserver, workdir
        self.stats = os.path.join(workdir, "virtual-stats.txt")

    def spawn(self, *command, cameras=None):
        extra = {"DISPLAY": self.x.display, "KOVRACAM_VIRTUAL_STATS": windows_path(self.stats)}
        if cameras:
            extra["KOVRACAM_VIRTUAL_CAMERAS"] = windows_path(cameras)
        return subprocess.Popen(["wine", *command], cwd=self.workdir,
                                env=self.prefix.environment(**extra), stdout=subprocess.PIPE,
                                stderr=subprocess.DEVNULL, text=True)

    def processes(self):
        """Pids of every process of the prefix (the program, wineserver, Wine's services)."""
        marker = ("WINEPREFIX=%s\0" % self.prefix.path).encode()
        pids = []
        for name in os.listdir("/proc"):
            try:
                if name.isdigit() and int(name) != self.x.proc.pid and marker in open(
                        "/proc/%s/environ" % name, "rb").read():
                    pids.append(int(name))
            except OSError:
                pass  # gone, or not ours
        return pids

    def ticks(self):
        values = {}
        for pid in self.processes():
            try:
                values[pid] = cpu_ticks(pid)
            except BenchError:
                pass
        return values

    def measure(self, program, warmup, seconds):
        """% of one core over `seconds` after `warmup`: the program, all of Wine, the X server."""
        time.sleep(warmup)
        t0, w0, x0, p0 = time.monotonic(), self.ticks(), cpu_ticks(self.x.proc.pid), cpu_ticks(
            program.pid)
        time.sleep(seconds)
        t1, w1, x1, p1 = time.monotonic(), self.ticks(), cpu_ticks(self.x.proc.pid), cpu_ticks(
            program.pid)
        wine = sum(v - w0.get(pid, 0) for pid, v in w1.items())

        def pct(ticks):
            return 100.0 * ticks / CLK_TCK / (t1 - t0)
        return pct(p1 - p0), pct(wine), pct(x1 - x0)

    def settle(self):
        """Waits for the prefix's processes to end, so each run starts from the same state."""
        try:
            self.prefix.server("-w", timeout=30)
        except subprocess.TimeoutExpired:
            raise BenchError("Wine's processes did not end within 30 s")

    def delivered(self, lines_before):
        """Frames of the stream that ended after `lines_before` lines of the camera's log."""
        def line():
            try:
                lines = open(self.stats).read().splitlines()
            except OSError:
                return None
            return len(lines) > lines_before and lines[lines_before]
        return int(wait_until(line, 10, "the virtual camera logged no ended stream")
                   .rsplit("=", 1)[1])

    def stats_lines(self):
        try:
            return len(open(self.stats).read().splitlines())
        except OSError:
            return 0


def probe_frames(path):
    """(frames ffprobe decodes, frames the header gives, width, height) of an AVI file."""
    out = subprocess.run(["ffprobe", "-v", "error", "-count_frames", "-select_streams", "v:0",
                          "-show_entries", "stream=nb_read_frames,nb_frames,width,height", "-of",
                          "default=nw=1", path], capture_output=True, text=True, timeout=120)
    fields = dict(line.split("=", 1) for line in out.stdout.split() if "=" in line)
    value = lambda key: int(fields[key]) if fields.get(key, "").isdigit() else -1  # noqa: E731
    return value("nb_read_frames"), value("nb_frames"), value("width"), value("height")


class App:
    """kovracam.exe on one virtual camera, driven from the keyboard."""

    def __init__(self, wine, args, width, height):
        self.wine, self.x = wine, wine.x
        cameras = os.path.join(wine.workdir, "cameras.conf")
        with open(cameras, "w") as f:
            f.write("id=b; name=Bench; formats=%s %dx%d@%d; pattern=%s\n"
                    % (args.subtype, width, height, FPS, PATTERN))
        self.proc = wine.spawn(args.app, cameras=cameras)
        self.wid = self.x.find_window(self.proc, "^KOVRACAM$", timeout=60)

    def choose(self, menu, item):
        self.x.run("xdotool", "windowfocus", "--sync", self.wid)
        before = self.x.mapped_windows()
        self.x.key(menu)
        self.x.wait_new_window(before, "menu popup")
        self.x.key(item)

    def save_as(self, path):
        dialog = self.x.find_window(self.proc, "^Save As$", timeout=15)
        self.x.run("xdotool", "windowfocus", "--sync", dialog, "type", "--delay", "1", path)
        self.x.key("Return")
        self.x.wait_unmapped(dialog, "Save As dialog")

    def exit(self):
        self.choose("alt+f", "x")
        try:
            self.proc.wait(timeout=20)
        except subprocess.TimeoutExpired:
            raise BenchError("kovracam did not end after File > Exit")
        finally:
            stop(self.proc, 9)


def app_preview(wine, args, width, height):
    app = App(wine, args, width, height)
    try:
        return wine.measure(app.proc, args.warmup, args.seconds)
    finally:
        app.exit()
        wine.settle()


def app_record(wine, args, width, height):
    app = App(wine, args, width, height)
    movie = os.path.join(wine.workdir, "app-%dx%d.avi" % (width, height))
    try:
        app.choose("alt+c", "s")  # Start Capture
        app.save_as(windows_path(movie))
        cpu = wine.measure(app.proc, args.warmup, args.seconds)
        lines = wine.stats_lines()
        app.choose("alt+c", "p")  # Stop Capture: the recording graph's stream ends
        delivered = wine.delivered(lines)
    finally:
        app.exit()
        wine.settle()
    return cpu, delivered, probe_frames(movie)


def bare(wine, args, width, height, record):
    movie = os.path.join(wine.workdir, "bare-%dx%d.avi" % (width, height))
    lines = wine.stats_lines()
    command = [args.bare, args.subtype, str(width), str(height),
               str(args.warmup + args.seconds + 1)] + ([windows_path(movie)] if record else [])
    proc = wine.spawn(*command)
    try:
        cpu = wine.measure(proc, args.warmup, args.seconds)
        out, _ = proc.communicate(timeout=30)
    except subprocess.TimeoutExpired:
        raise BenchError("bare_graph did not end")
    finally:
        stop(proc, 9)
        wine.settle()
    if proc.returncode != 0:
        raise BenchError("bare_graph %s failed (status %d)" % (" ".join(command[1:]),
                                                                proc.returncode))
    renderer = out.split("renderer=")[1].split()[0] if "renderer=" in out else "?"
    return cpu, renderer, (wine.delivered(lines), probe_frames(movie)) if record else None


def print_cpu(title, rows):
    """One line a size; a side that could not be measured shows n/a."""
    def share(value):
        return "n/a" if value != value else "%.1f" % value

    def times(a, b):
        return "n/a" if a != a or b != b else ratio(a, b)
    print(title)
    fmt = "  %-10s %8s %8s %9s   %8s %8s %9s   %6s %6s"
    print(fmt % ("size", "app", "bare", "app/bare", "W app", "W bare", "W ratio", "X app",
                 "X bare"))
    for size, a, b in rows:
        a, b = (v or (float("nan"),) * 3 for v in (a, b))
        print(fmt % (size, share(a[0]), share(b[0]), times(a[0], b[0]), share(a[1]), share(b[1]),
                     times(a[1], b[1]), share(a[2]), share(b[2])))


def main():
    args = parse_args()
    for program in (args.app, args.bare):
        if not os.path.exists(program):
            sys.exit("win_bench: no %s (build the Windows build, or pass --build)" % program)
    tools = ("wine", "wineserver", "Xvfb", "xdotool", "xwininfo", "ffprobe")
    with bench_world("win_bench", tools) as (xserver, workdir):
        with WinePrefix() as prefix:
            wine = Wine(prefix, xserver, workdir)
            preview, record, frames, renderers, failures = [], [], [], set(), []
            for width, height in args.sizes:
                size = "%dx%d" % (width, height)
                app = app_preview(wine, args, width, height)
                cpu, renderer, _ = bare(wine, args, width, height, False)
                preview.append((size, app, cpu))
                renderers.add(renderer)
                if args.no_record:
                    continue
                try:
                    app, app_delivered, app_file = app_record(wine, args, width, height)
                    frames.append((size, "app", app_delivered, app_file))
                except BenchError as e:  # the bare graph's figures are still worth having
                    app, failures = None, failures + ["app recording at %s: %s" % (size, e)]
                    wine.settle()
                try:
                    cpu, _, (bare_delivered, bare_file) = bare(wine, args, width, height, True)
                    frames.append((size, "bare", bare_delivered, bare_file))
                except BenchError as e:
                    cpu, failures = None, failures + ["bare recording at %s: %s" % (size, e)]
                record.append((size, app, cpu))
        print("KOVRACAM Windows build under Wine (%d cores, %s %d fps, pattern %s)"
              % (os.cpu_count(), args.subtype, FPS, PATTERN))
        print("bare graph's renderer: %s" % ", ".join(sorted(renderers)))
        print("CPU over %.0f s after %.0f s warm-up, %% of one core (W = every process of the "
              "Wine prefix: the program, wineserver, Wine's services; X = Xvfb):"
              % (args.seconds, args.warmup))
        print_cpu("Preview:", preview)
        if record:
            print_cpu("Preview + record:", record)
            print("Frames in the file against frames the camera delivered while recording:")
            print("  %-10s %-5s %9s %9s %9s %11s" % ("size", "graph", "delivered", "decoded",
                                                     "header", "picture"))
            for size, who, delivered, (decoded, header, w, h) in frames:
                print("  %-10s %-5s %9d %9d %9d %11s" % (size, who, delivered, decoded, header,
                                                          "%dx%d" % (w, h)))
        for failure in failures:
            print("not measured: " + failure)


if __name__ == "__main__":
    main()
