"""What the benchmarks share: a private Xvfb, the app under it with virtual cameras, CPU time
read from /proc, and bounded waits. Imported by every benchmark."""

import contextlib
import os
import select
import shutil
import signal
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


@contextlib.contextmanager
def bench_world(name, tools, errors=(BenchError,)):
    """A private X server and a scratch directory for one benchmark, both gone afterwards. A
    missing tool or one of `errors` ends the program with a line naming the benchmark `name`."""
    for tool in tools:
        if shutil.which(tool) is None:
            sys.exit("%s: %s is not installed" % (name, tool))
    workdir = tempfile.mkdtemp(prefix="kovracam-%s-" % name)
    xserver = None
    try:
        xserver = XServer()
        yield xserver, workdir
    except errors as e:
        sys.exit("%s: %s" % (name, e))
    finally:
        if xserver is not None:
            xserver.close()
        shutil.rmtree(workdir, ignore_errors=True)


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
        # The virtual cameras alone: a PipeWire daemon of the user's is not asked.
        env["PIPEWIRE_REMOTE"] = "/nonexistent/pipewire-0"
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

    def key(self, *names):
        """Sends keys to whichever window has the keyboard focus."""
        for name in names:
            self.run("xdotool", "key", name)

    def mapped_windows(self):
        """Ids of every mapped window, whatever its title (menus have none)."""
        return set(self.run("xdotool", "search", "--onlyvisible", "--name", "").split())

    def wait_new_window(self, before, what, timeout=10):
        """Id of a mapped window not in `before`, once one shows up."""
        def fresh():
            new = self.mapped_windows() - set(before)
            return sorted(new, key=int)[-1] if new else None
        return wait_until(fresh, timeout, "no %s appeared within %d s" % (what, timeout))

    def wait_unmapped(self, wid, what, timeout=10):
        wait_until(lambda: wid not in self.mapped_windows(), timeout,
                   "the %s was still shown after %d s" % (what, timeout))

    def close(self):
        stop(self.proc, signal.SIGTERM)


def wait_until(probe, timeout, failure, interval=0.05):
    """The first true value probe() returns within timeout seconds, or a BenchError."""
    deadline = time.monotonic() + timeout
    while True:
        value = probe()
        if value:
            return value
        if time.monotonic() >= deadline:
            raise BenchError(failure)
        time.sleep(interval)


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

    def __init__(self, xserver, app, workdir, width, height, camera_env=None):
        """`camera_env`: where the camera comes from instead (a PipeWire daemon's variables)."""
        self.x = xserver
        env = xserver.env()
        if camera_env is None:
            cameras = os.path.join(workdir, "cameras-%dx%d.conf" % (width, height))
            with open(cameras, "w") as f:
                f.write("id=b; name=Bench; formats=YUY2 %dx%d@%d; pattern=%s\n"
                        % (width, height, FPS, PATTERN))
            env["KOVRACAM_VIRTUAL_CAMERAS"] = cameras
        else:
            env.update(camera_env)
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
        fields = self.stats_fields()
        return fields["produced"], fields["painted"], fields["first_paint_ns"]

    def stats_fields(self):
        """Every key=value of the kovracam-stats line printed at exit, as integers."""
        self.stderr.close()
        with open(self.stderr_path) as f:
            lines = [l for l in f.read().splitlines() if l.startswith("kovracam-stats ")]
        if not lines:
            raise BenchError("kovracam printed no kovracam-stats line (exit status %s)%s"
                             % (self.proc.returncode, self.stderr_tail()))
        try:
            fields = {k: int(v) for k, v in (kv.split("=", 1) for kv in lines[-1].split()[1:])}
        except ValueError:
            fields = {}
        if not all(k in fields for k in ("produced", "painted", "first_paint_ns")):
            raise BenchError("unreadable stats line: %r" % lines[-1])
        return fields

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


def bare_cpu(xserver, pipeline, warmup, seconds, extra_env=None):
    """measure_cpu of `gst-launch-1.0 -e <pipeline>` showing its picture on the X server; ended
    with SIGINT, which -e turns into an end-of-stream so any file it writes is completed."""
    proc = subprocess.Popen(["gst-launch-1.0", "-q", "-e"] + pipeline,
                            env=dict(xserver.env(), **(extra_env or {})),
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    try:
        # Nothing else is mapped on this server, so any visible window is the sink's.
        xserver.find_window(proc, ".")
        return measure_cpu(xserver, proc.pid, warmup, seconds)
    except BenchError as e:
        stop(proc, signal.SIGKILL)
        raise BenchError("bare pipeline: %s: %s" % (e, proc.stderr.read().decode().strip()))
    finally:
        stop(proc, signal.SIGINT)
        proc.stderr.close()


def ratio(a, b):
    return "%.2fx" % (a / b) if b > 0 else "n/a"


