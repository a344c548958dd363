#!/usr/bin/env python3
"""Figures for the preview path: start-up time to the first painted frame, CPU use of the app
beside a bare GStreamer pipeline doing the same conversion, and frames painted against frames
produced. Everything runs under a private Xvfb; see bench/README.md."""

import argparse
import os
import select
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

REPO = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
CLK_TCK = os.sysconf("SC_CLK_TCK")
PATTERN = "smpte"
FPS = 30
# Big enough for a 1920x1080 preview plus banner, menu and status bar.
SCREEN = "2560x1600x24"
WINDOW_TIMEOUT = 30
EXIT_TIMEOUT = 15


class BenchError(Exception):
    pass


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


def cpu_ticks(pid):
    """utime + stime of a process, in clock ticks."""
    try:
        with open("/proc/%d/stat" % pid) as f:
            stat = f.read()
    except OSError as e:
        raise BenchError("process %d vanished while being measured (%s)" % (pid, e))
    # The command name may hold spaces; the fields after it are fixed.
    fields = stat[stat.rindex(")") + 2:].split()
    return int(fields[11]) + int(fields[12])


def host_ticks():
    """(busy, total) ticks over all cores, to show how loaded the shared machine was."""
    with open("/proc/stat") as f:
        values = [int(v) for v in f.readline().split()[1:]]
    idle = values[3] + values[4]
    total = sum(values[:8])
    return total - idle, total


class XServer:
    """A private Xvfb that every measured process draws into."""

    def __init__(self):
        # Without -noreset the server resets whenever its last client leaves, and a client
        # that connects during the reset is refused: that happens between runs here.
        for _ in range(3):
            read_fd, write_fd = os.pipe()
            self.proc = subprocess.Popen(
                ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", SCREEN, "-nolisten",
                 "tcp", "-noreset"], pass_fds=[write_fd], stdout=subprocess.DEVNULL,
                stderr=subprocess.DEVNULL)
            os.close(write_fd)
            self.display = ":" + wait_for_line(read_fd, 15)
            if self.display != ":" and self.accepts_clients():
                return
            self.close()
        raise BenchError("could not start an Xvfb that accepts clients (3 tries)")

    def accepts_clients(self):
        try:
            return subprocess.run(["xwininfo", "-root"], env=self.env(), capture_output=True,
                                  timeout=10).returncode == 0
        except subprocess.TimeoutExpired:
            return False

    def env(self):
        env = dict(os.environ)
        env["DISPLAY"] = self.display
        env["QT_QPA_PLATFORM"] = "xcb"
        return env

    def run(self, *cmd, timeout=15):
        try:
            return subprocess.run(list(cmd), env=self.env(), capture_output=True, text=True,
                                  timeout=timeout).stdout.strip()
        except subprocess.TimeoutExpired:
            raise BenchError("%s did not finish within %d s" % (cmd[0], timeout))

    def find_window(self, proc, name_regex, timeout=WINDOW_TIMEOUT):
        """Id of the first visible window whose title matches, or a BenchError."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if proc.poll() is not None:
                raise BenchError("process exited (status %d) before its window appeared"
                                 % proc.returncode)
            out = self.run("xdotool", "search", "--onlyvisible", "--name", name_regex)
            if out:
                return out.split()[0]
            time.sleep(0.05)
        raise BenchError("no window matching %r within %d s" % (name_regex, timeout))

    def origin(self, wid):
        """Screen position of a window's client area."""
        values = {}
        for line in self.run("xwininfo", "-id", wid).splitlines():
            key, _, value = line.strip().partition(":")
            values[key] = value.strip()
        try:
            return int(values["Absolute upper-left X"]), int(values["Absolute upper-left Y"])
        except (KeyError, ValueError):
            raise BenchError("xwininfo gave no position for window %s" % wid)

    def click(self, x, y):
        self.run("xdotool", "mousemove", "--sync", str(x), str(y), "click", "1")

    def close(self):
        stop(self.proc, signal.SIGTERM)


def wait_for_line(fd, timeout):
    """First line written to fd within timeout seconds, or ''."""
    data = b""
    deadline = time.monotonic() + timeout
    with os.fdopen(fd, "rb", buffering=0) as f:
        while b"\n" not in data:
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([f], [], [], left)[0]:
                break
            chunk = f.read(64)
            if not chunk:
                break
            data += chunk
    return data.decode(errors="replace").split("\n")[0].strip() if b"\n" in data else ""


def stop(proc, sig):
    """Ends a process we started: sig first, SIGKILL if it does not go within 10 s."""
    if proc.poll() is None:
        proc.send_signal(sig)
        try:
            proc.wait(timeout=10)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait(timeout=10)


class AppRun:
    """One kovracam process previewing a virtual camera of the given size."""

    def __init__(self, xserver, app, workdir, width, height):
        self.x = xserver
        cameras = os.path.join(workdir, "cameras-%dx%d.conf" % (width, height))
        with open(cameras, "w") as f:
            f.write("id=b; name=Bench; formats=YUY2 %dx%d@%d; pattern=%s\n"
                    % (width, height, FPS, PATTERN))
        env = xserver.env()
        env["KOVRACAM_VIRTUAL_CAMERAS"] = cameras
        env["KOVRACAM_STATS"] = "1"
        self.stderr_path = os.path.join(workdir, "stderr-%dx%d.txt" % (width, height))
        self.stderr = open(self.stderr_path, "w")
        self.started_ns = time.monotonic_ns()
        self.proc = subprocess.Popen([app], cwd=workdir, env=env, stdout=subprocess.DEVNULL,
                                     stderr=self.stderr)
        self.wid = None

    def wait_window(self):
        try:
            self.wid = self.x.find_window(self.proc, "^KOVRACAM$")
        except BenchError as e:
            raise BenchError("kovracam: %s%s" % (e, self.stderr_tail()))
        return self.wid

    def exit_through_menu(self):
        """Closes the window with File > Exit (SIGTERM would lose the stats line)."""
        x, y = self.x.origin(self.wid)
        for _ in range(3):
            self.x.click(x + 20, y + 10)  # File
            time.sleep(0.3)
            self.x.click(x + 20, y + 28)  # Exit, the first item below the menu bar
            try:
                return self.proc.wait(timeout=EXIT_TIMEOUT / 3)
            except subprocess.TimeoutExpired:
                self.x.run("xdotool", "key", "Escape")
        stop(self.proc, signal.SIGKILL)
        raise BenchError("kovracam did not exit through File > Exit within %d s"
                         % EXIT_TIMEOUT)

    def stats(self):
        """(produced, painted, first_paint_ns) from the line printed at exit."""
        self.stderr.close()
        with open(self.stderr_path) as f:
            lines = [l for l in f.read().splitlines() if l.startswith("kovracam-stats ")]
        if not lines:
            raise BenchError("kovracam printed no kovracam-stats line (exit status %s)%s"
                             % (self.proc.returncode, self.stderr_tail()))
        fields = dict(kv.split("=", 1) for kv in lines[-1].split()[1:])
        try:
            return (int(fields["produced"]), int(fields["painted"]),
                    int(fields["first_paint_ns"]))
        except (KeyError, ValueError):
            raise BenchError("unreadable stats line: %r" % lines[-1])

    def stderr_tail(self):
        if not self.stderr.closed:
            self.stderr.flush()
        with open(self.stderr_path) as f:
            tail = f.read().strip().splitlines()[-5:]
        return ("\n  stderr: " + "\n  stderr: ".join(tail)) if tail else ""

    def kill(self):
        stop(self.proc, signal.SIGKILL)
        if not self.stderr.closed:
            self.stderr.close()


def measure_cpu(xserver, pid, warmup, seconds):
    """CPU of pid and of the X server over a window starting `warmup` s from now, each as a
    percentage of one core, plus the whole host's busy percentage over the same window."""
    time.sleep(warmup)
    t0, p0, x0, h0 = time.monotonic(), cpu_ticks(pid), cpu_ticks(xserver.proc.pid), host_ticks()
    time.sleep(seconds)
    t1, p1, x1, h1 = time.monotonic(), cpu_ticks(pid), cpu_ticks(xserver.proc.pid), host_ticks()
    wall = t1 - t0

    def pct(ticks):
        return 100.0 * ticks / CLK_TCK / wall

    host = 100.0 * (h1[0] - h0[0]) / max(1, h1[1] - h0[1]) * os.cpu_count()
    return pct(p1 - p0), pct(x1 - x0), host


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
    cmd = ["gst-launch-1.0", "-q", "videotestsrc", "is-live=true", "pattern=" + PATTERN, "!",
           caps, "!", "videoconvert", "!", "ximagesink"]
    proc = subprocess.Popen(cmd, env=xserver.env(), stdout=subprocess.DEVNULL,
                            stderr=subprocess.PIPE)
    try:
        # Nothing else is mapped on this server, so any visible window is the sink's.
        xserver.find_window(proc, ".")
        return measure_cpu(xserver, proc.pid, args.warmup, args.seconds)
    except BenchError as e:
        stop(proc, signal.SIGKILL)
        raise BenchError("bare pipeline: %s: %s" % (e, proc.stderr.read().decode().strip()))
    finally:
        stop(proc, signal.SIGINT)
        proc.stderr.close()


def ratio(a, b):
    return "%.2fx" % (a / b) if b > 0 else "n/a"


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
    for tool in ("Xvfb", "xdotool", "xwininfo", "gst-launch-1.0"):
        if shutil.which(tool) is None:
            sys.exit("preview_bench: %s is not installed" % tool)
    if not os.access(args.app, os.X_OK):
        sys.exit("preview_bench: no app at %s (build it, or pass --app)" % args.app)
    workdir = tempfile.mkdtemp(prefix="kovracam-bench-")
    xserver = None
    try:
        xserver = XServer()
        startup = startup_runs(xserver, args, workdir)
        rows = []
        for width, height in args.sizes:
            cpu, xcpu, host, produced, painted = app_cpu_run(xserver, args, workdir, width,
                                                            height)
            bare = bare_cpu_run(xserver, args, width, height)
            rows.append({"size": "%dx%d" % (width, height), "app": (cpu, xcpu, host),
                         "bare": bare, "produced": produced, "painted": painted})
        print_report(args, startup, rows)
    except BenchError as e:
        sys.exit("preview_bench: %s" % e)
    finally:
        if xserver is not None:
            xserver.close()
        shutil.rmtree(workdir, ignore_errors=True)


if __name__ == "__main__":
    main()
