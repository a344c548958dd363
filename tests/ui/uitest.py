"""Drives the real KOVRACAM window under Xvfb: starts a private X server, launches the app with
virtual cameras, finds its windows with xdotool, and reads screenshots as RGB pixels."""

import argparse
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time


def parse_args():
    parser = argparse.ArgumentParser()
    parser.add_argument("--app", required=True)
    parser.add_argument("--source", required=True)
    return parser.parse_args()


class Failure(AssertionError):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


class Screenshot:
    def __init__(self, width, height, pixels):
        self.width, self.height, self.pixels = width, height, pixels

    def at(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.pixels[i:i + 3])

    def region_matches(self, x0, y0, x1, y1, predicate, step=4):
        """Fraction of sampled pixels in [x0,x1) x [y0,y1) for which predicate(rgb) holds."""
        total = hits = 0
        for y in range(y0, y1, step):
            for x in range(x0, x1, step):
                total += 1
                hits += bool(predicate(self.at(x, y)))
        return hits / total if total else 0.0


def is_red(rgb):
    r, g, b = rgb
    return r > 180 and g < 60 and b < 60


class Session:
    """One Xvfb server and a scratch working directory; the app runs inside them."""

    def __init__(self, app, size="1600x1200x24"):
        self.app = app
        self.workdir = tempfile.mkdtemp(prefix="kovracam-ui-")
        read_fd, write_fd = os.pipe()
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", size, "-nolisten", "tcp"],
            pass_fds=[write_fd], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_fd)
        with os.fdopen(read_fd) as f:
            number = f.readline().strip()
        check(number, "Xvfb did not start")
        self.display = ":" + number
        self.proc = None
        self.stderr_path = os.path.join(self.workdir, "stderr.txt")

    def env(self, cameras_file):
        env = dict(os.environ)
        env["DISPLAY"] = self.display
        env["QT_QPA_PLATFORM"] = "xcb"
        env.pop("KOVRACAM_VIRTUAL_CAMERAS", None)
        if cameras_file is not None:
            env["KOVRACAM_VIRTUAL_CAMERAS"] = cameras_file
        return env

    def write_cameras(self, text, name="cameras.conf"):
        path = os.path.join(self.workdir, name)
        with open(path, "w") as f:
            f.write(text)
        return path

    def start(self, cameras_file, extra_env=None):
        env = self.env(cameras_file)
        env.update(extra_env or {})
        self.stderr = open(self.stderr_path, "w")
        self.proc = subprocess.Popen([self.app], cwd=self.workdir, env=env,
                                     stdout=subprocess.DEVNULL, stderr=self.stderr)
        return self.proc

    def xdotool(self, *args, timeout=20):
        result = subprocess.run(["xdotool", *args], env=self.env(None), capture_output=True,
                                text=True, timeout=timeout)
        return result.stdout.strip()

    def find_window(self, name, timeout=20):
        """Id of the first mapped window whose title is exactly `name`."""
        deadline = time.time() + timeout
        while time.time() < deadline:
            if self.proc is not None and self.proc.poll() is not None:
                return None
            out = self.xdotool("search", "--onlyvisible", "--name", "^%s$" % name)
            if out:
                return out.split()[0]
            time.sleep(0.1)
        return None

    def click(self, x, y):
        self.xdotool("mousemove", "--sync", str(x), str(y))
        self.xdotool("click", "1")

    def visible_windows(self):
        out = self.xdotool("search", "--onlyvisible", "--name", ".")
        return [w for w in out.split() if w]

    def window_name(self, wid):
        return self.xdotool("getwindowname", wid)

    def geometry(self, wid):
        """(x, y, width, height) of the window's client area on the screen."""
        out = subprocess.run(["xwininfo", "-id", wid], env=self.env(None), capture_output=True,
                             text=True, timeout=10).stdout
        values = {}
        for line in out.splitlines():
            line = line.strip()
            for key in ("Absolute upper-left X", "Absolute upper-left Y", "Width", "Height"):
                if line.startswith(key + ":"):
                    values[key] = int(line.split(":")[1])
        return (values["Absolute upper-left X"], values["Absolute upper-left Y"],
                values["Width"], values["Height"])

    def screenshot(self):
        data = subprocess.run(["import", "-window", "root", "-depth", "8", "ppm:-"],
                              env=self.env(None), capture_output=True, timeout=30).stdout
        return parse_ppm(data)

    def save_screenshot(self, name):
        path = os.path.join(self.workdir, name)
        subprocess.run(["import", "-window", "root", path], env=self.env(None), timeout=30)
        return path

    def wait_exit(self, timeout=20):
        try:
            return self.proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            return None

    def stderr_text(self):
        if hasattr(self, "stderr"):
            self.stderr.flush()
        with open(self.stderr_path) as f:
            return f.read()

    def close(self):
        if self.proc is not None and self.proc.poll() is None:
            self.proc.send_signal(signal.SIGKILL)
            self.proc.wait()
        self.xvfb.terminate()
        try:
            self.xvfb.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.xvfb.kill()
        if os.environ.get("KOVRACAM_KEEP_UI_OUTPUT"):
            print("kept", self.workdir)
        else:
            shutil.rmtree(self.workdir, ignore_errors=True)


def parse_ppm(data):
    # P6 header: magic, width, height, maxval, each separated by whitespace.
    fields, pos = [], 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        start = pos
        while not data[pos:pos + 1].isspace():
            pos += 1
        fields.append(data[start:pos])
    check(fields[0] == b"P6", "screenshot is not a PPM")
    width, height = int(fields[1]), int(fields[2])
    return Screenshot(width, height, data[pos + 1:pos + 1 + width * height * 3])


def run(test_functions):
    """Runs each function(args) in turn; prints a line per test and exits non-zero on failure."""
    args = parse_args()
    failed = 0
    for fn in test_functions:
        started = time.time()
        try:
            fn(args)
            print("PASS %s (%.1fs)" % (fn.__name__, time.time() - started))
        except Exception as e:  # report every kind of failure, then go on with the next test
            failed += 1
            print("FAIL %s: %s" % (fn.__name__, e))
    sys.exit(1 if failed else 0)
