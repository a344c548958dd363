"""Drives the real KOVRACAM window under Xvfb: starts a private X server, launches the app with
virtual cameras, finds its windows with xdotool, and reads screenshots as RGB pixels."""

import argparse
import os
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time

from xserver import start_xvfb


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

    def crop(self, x0, y0, x1, y1):
        """The pixels of [x0,x1) x [y0,y1) as a Screenshot of their own."""
        rows = [self.pixels[(y * self.width + x0) * 3:(y * self.width + x1) * 3]
                for y in range(y0, y1)]
        return Screenshot(x1 - x0, y1 - y0, b"".join(rows))

    def mean_luminance(self, x0, y0, x1, y1, step=2):
        values = [luminance(self.at(x, y)) for y in range(y0, y1, step)
                  for x in range(x0, x1, step)]
        return sum(values) / len(values) if values else 0.0

    def bands(self, x0, y0, x1, y1, predicate, vertical=True):
        """Runs of rows (vertical) or columns in the box that hold a pixel satisfying predicate,
        as (first, end) pairs in screen coordinates."""
        outer = range(y0, y1) if vertical else range(x0, x1)
        inner = range(x0, x1) if vertical else range(y0, y1)
        runs, start = [], None
        for a in outer:
            hit = any(predicate(self.at(b, a) if vertical else self.at(a, b)) for b in inner)
            if hit and start is None:
                start = a
            elif not hit and start is not None:
                runs.append((start, a))
                start = None
        if start is not None:
            runs.append((start, outer.stop))
        return runs

    def ink_box(self, x0, y0, x1, y1, predicate):
        """(left, top, right, bottom) bounding the pixels that satisfy predicate, or None."""
        rows = self.bands(x0, y0, x1, y1, predicate, vertical=True)
        if not rows:
            return None
        columns = self.bands(x0, rows[0][0], x1, rows[-1][1], predicate, vertical=False)
        return columns[0][0], rows[0][0], columns[-1][1], rows[-1][1]


def luminance(rgb):
    r, g, b = rgb
    return (299 * r + 587 * g + 114 * b) // 1000


def is_red(rgb):
    r, g, b = rgb
    return r > 180 and g < 60 and b < 60


def is_blue(rgb):
    r, g, b = rgb
    return b > 180 and r < 60 and g < 60


def is_dark(rgb):
    """Text and check marks drawn on the light window background."""
    return luminance(rgb) < 128


def vertical_run(shot, x, y_from, y_to, predicate, what="video"):
    """Top row, bottom row (exclusive) of the first run in column x that satisfies predicate."""
    top = next((y for y in range(y_from, y_to) if predicate(shot.at(x, y))), None)
    check(top is not None, "no %s in column %d" % (what, x))
    bottom = next((y for y in range(top, y_to) if not predicate(shot.at(x, y))), y_to)
    return top, bottom


def horizontal_run(shot, y, x_from, x_to, predicate, what="video"):
    """Left column, right column (exclusive) of the first run in row y that satisfies predicate."""
    left = next((x for x in range(x_from, x_to) if predicate(shot.at(x, y))), None)
    check(left is not None, "no %s in row %d" % (what, y))
    right = next((x for x in range(left, x_to) if not predicate(shot.at(x, y))), x_to)
    return left, right


def wait_until(probe, timeout, message, interval=0.2):
    """Calls probe() until it returns something truthy, which is returned; fails after timeout
    with `message`, or what message() returns then."""
    deadline = time.time() + timeout
    while True:
        value = probe()
        if value:
            return value
        if time.time() >= deadline:
            raise Failure(message() if callable(message) else message)
        time.sleep(interval)


class Session:
    """One Xvfb server and a scratch working directory; the app runs inside them."""

    def __init__(self, app, size="1600x1200x24"):
        self.app = app
        self.xvfb, self.display = start_xvfb(size)
        self.workdir = tempfile.mkdtemp(prefix="kovracam-ui-")
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

    def start(self, cameras_file, extra_env=None, preexec_fn=None):
        env = self.env(cameras_file)
        env.update(extra_env or {})
        self.stderr = open(self.stderr_path, "w")
        self.proc = subprocess.Popen([self.app], cwd=self.workdir, env=env,
                                     stdout=subprocess.DEVNULL, stderr=self.stderr,
                                     preexec_fn=preexec_fn)
        return self.proc

    def start_frame(self, cameras, extra_env=None):
        """Starts the app on the cameras described by `cameras` and measures its window."""
        self.start(self.write_cameras(cameras), extra_env)
        wid = self.find_window("KOVRACAM")
        check(wid, "no window titled KOVRACAM; stderr: %s" % self.stderr_text())
        return Frame(self, wid)

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

    def move(self, x, y):
        self.xdotool("mousemove", "--sync", str(x), str(y))

    def key(self, *names):
        """Sends keys to whichever window has the keyboard focus."""
        for name in names:
            self.xdotool("key", name)

    def write_device_choice(self, display_name):
        """Writes the device-choice file the app reads from its working directory at start."""
        units = display_name.encode("utf-16-le")
        with open(os.path.join(self.workdir, "HardWare.KRV"), "wb") as f:
            f.write(struct.pack("<I", len(units) // 2) + units)

    def mapped_windows(self):
        """Ids of every mapped window, whatever its title (dialogs may have none)."""
        return set(self.xdotool("search", "--onlyvisible", "--name", "").split())

    def wait_new_window(self, before, timeout=10):
        """Id of a mapped window that is not in `before`, once one shows up."""
        def probe():
            fresh = self.mapped_windows() - set(before)
            return sorted(fresh, key=int)[-1] if fresh else None
        return wait_until(probe, timeout, "no new window appeared", interval=0.1)

    def wait_unmapped(self, wid, timeout=10):
        wait_until(lambda: wid not in self.mapped_windows(), timeout,
                   "window %s is still shown" % wid, interval=0.1)

    def visible_windows(self):
        out = self.xdotool("search", "--onlyvisible", "--name", ".")
        return [w for w in out.split() if w]

    def window_name(self, wid):
        return self.xdotool("getwindowname", wid)

    def wm_name(self, wid):
        """The window's WM_NAME: the title exactly as the app set it. (Qt puts the app's name in
        _NET_WM_NAME, which getwindowname reads, when the title is empty.)"""
        out = subprocess.run(["xprop", "-id", wid, "WM_NAME"], env=self.env(None),
                             capture_output=True, text=True, timeout=10).stdout
        value = out.partition("=")[2].strip()
        return value[1:-1] if value.startswith('"') else value

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


def merge_runs(runs, gap):
    """Joins (first, end) runs separated by fewer than `gap` pixels: letters into words."""
    merged = []
    for first, end in runs:
        if merged and first - merged[-1][1] < gap:
            merged[-1] = (merged[-1][0], end)
        else:
            merged.append((first, end))
    return merged


class Frame:
    """The main window's parts, measured on a screenshot: menu bar, view and status bar."""

    def __init__(self, session, wid):
        self.session, self.wid = session, wid
        self.measure()

    def measure(self):
        self.x, self.y, self.width, self.height = self.session.geometry(self.wid)
        shot = self.session.screenshot()
        # The menu bar is light and the banner under it dark, at its right end too.
        column = self.x + self.width - 3
        self.menu_height = next((y - self.y for y in range(self.y, self.y + 60)
                                 if luminance(shot.at(column, y)) < 100), 0)
        check(10 < self.menu_height < 40, "menu bar measured %d px high" % self.menu_height)
        # The status bar is the uniform strip at the bottom, left of the size grip.
        column = self.x + self.width - 25
        background = shot.at(column, self.y + self.height - 2)
        top = self.y + self.height - 1
        while top > self.y and shot.at(column, top - 1) == background:
            top -= 1
        self.status_top = top
        check(10 < self.y + self.height - top < 40, "status bar measured %d px high" %
              (self.y + self.height - top))
        return shot

    @property
    def view_top(self):
        return self.y + self.menu_height

    def menu_titles(self, shot):
        """(left, right) of each title in the menu bar, left to right."""
        runs = shot.bands(self.x, self.y + 1, self.x + self.width, self.view_top - 2, is_dark,
                          vertical=False)
        return merge_runs(runs, 8)

    def open_menu(self, index, titles=5):
        """Clicks the index-th menu title and returns the popup that opens."""
        spans = self.menu_titles(self.session.screenshot())
        check(len(spans) == titles, "found %d menu titles, expected %d" % (len(spans), titles))
        left, right = spans[index]
        before = self.session.mapped_windows()
        self.session.click((left + right) // 2, self.y + self.menu_height // 2)
        return Popup(self.session, self.session.wait_new_window(before))


class Window:
    """A mapped window and where it was when found: menus and dialogs do not move."""

    def __init__(self, session, wid):
        self.session, self.wid = session, wid
        self.x, self.y, self.width, self.height = session.geometry(wid)


class Popup(Window):
    """A menu popup: its items are found as the bands of dark text rows inside it."""

    def items(self, expected, timeout=5):
        """(top, bottom) of each item's text row once `expected` rows are painted, and the
        screenshot they were found on."""
        found = {}

        def probe():
            found["shot"] = self.session.screenshot()
            found["rows"] = found["shot"].bands(self.x + 2, self.y + 2, self.x + self.width - 2,
                                                self.y + self.height - 2, is_dark)
            return len(found["rows"]) == expected
        wait_until(probe, timeout, lambda: "menu shows %d rows of text, expected %d" %
                   (len(found["rows"]), expected), interval=0.1)
        return found["rows"], found["shot"]

    def item_point(self, row):
        top, bottom = row
        return self.x + self.width // 2, (top + bottom) // 2

    def check_mark_pixels(self, shot, row):
        """Dark pixels inside the check box that leads the row: none unless the item is checked.
        The box's light-grey frame is what finds it, ticked or not."""
        top, bottom = row[0] - 4, row[1] + 4
        runs = shot.bands(self.x + 2, top, self.x + self.width - 2, bottom,
                          lambda rgb: luminance(rgb) < 220, vertical=False)
        check(runs, "nothing drawn in the menu row at y=%d" % row[0])
        left, right = merge_runs(runs, 3)[0]
        check(8 <= right - left <= 24, "no check box in the menu row at y=%d" % row[0])
        return sum(is_dark(shot.at(x, y)) for y in range(top, bottom)
                   for x in range(left + 1, right - 1))


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
