"""Drives the real KOVRACAM window under a private Xvfb: starts the app on virtual cameras, finds
its windows with xdotool and reads screenshots as RGB pixels."""

import argparse
import ctypes
import os
import re
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time


class Failure(AssertionError):
    pass


def check(condition, message):
    if not condition:
        raise Failure(message)


def wait_until(probe, timeout, message, interval=0.2):
    """probe()'s first truthy value; fails after `timeout` s with `message` (or message())."""
    deadline = time.time() + timeout
    while not (value := probe()):
        if time.time() >= deadline:
            raise Failure(message() if callable(message) else message)
        time.sleep(interval)
    return value


def luminance(rgb):
    return (299 * rgb[0] + 587 * rgb[1] + 114 * rgb[2]) // 1000


def is_red(rgb):
    return rgb[0] > 180 and rgb[1] < 60 and rgb[2] < 60


def is_blue(rgb):
    return rgb[2] > 180 and rgb[0] < 60 and rgb[1] < 60


def is_dark(rgb):
    return luminance(rgb) < 128


class Screenshot:
    def __init__(self, ppm):
        header = re.match(rb"P6\s+(\d+)\s+(\d+)\s+\d+\s", ppm)
        check(header, "the screenshot is not a PPM")
        self.width, self.height, self.pixels = int(header[1]), int(header[2]), ppm[header.end():]

    def at(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.pixels[i:i + 3])

    def share(self, box, predicate, step=4):
        """Fraction of the sampled pixels in box = (x0, y0, x1, y1) that satisfy predicate."""
        hits = [predicate(self.at(x, y)) for y in range(box[1], box[3], step)
                for x in range(box[0], box[2], step)]
        return sum(hits) / max(len(hits), 1)

    def crop(self, x0, y0, x1, y1):
        return b"".join(self.pixels[(y * self.width + x0) * 3:(y * self.width + x1) * 3]
                        for y in range(y0, y1))

    def bands(self, x0, y0, x1, y1, predicate, vertical=True, gap=1):
        """(first, end) runs of rows (vertical) or columns in the box holding a pixel that
        satisfies predicate; runs fewer than `gap` pixels apart are joined."""
        outer, inner = (range(y0, y1), range(x0, x1)) if vertical else (range(x0, x1),
                                                                        range(y0, y1))
        runs = []
        for a in outer:
            if any(predicate(self.at(b, a) if vertical else self.at(a, b)) for b in inner):
                if runs and a - runs[-1][1] < gap:
                    runs[-1] = (runs[-1][0], a + 1)
                else:
                    runs.append((a, a + 1))
        return runs

    def ink(self, x0, y0, x1, y1, predicate=is_dark):
        """The pixels in the box that satisfy predicate, relative to their own top-left."""
        points = [(x, y) for y in range(y0, y1) for x in range(x0, x1)
                  if predicate(self.at(x, y))]
        left, top = min((p[0] for p in points), default=0), min((p[1] for p in points), default=0)
        return frozenset((x - left, y - top) for x, y in points)


def picture(*command):
    """The PPM picture that `command` writes to its output."""
    return Screenshot(subprocess.run(command, capture_output=True, timeout=30).stdout)


def start_xvfb(size):
    """(server, ":N") for an Xvfb that dies with us. It picks the display itself: one whose
    sockets it can bind, so none another server, even a lost one, listens on."""
    read_fd, write_fd = os.pipe()
    # -noreset: otherwise the server resets when its last client leaves and turns away the app
    # starting meanwhile. PR_SET_PDEATHSIG: a test killed on time-out leaves no server behind.
    server = subprocess.Popen(
        ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", size, "-nolisten", "tcp",
         "-noreset"], pass_fds=[write_fd], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
        preexec_fn=lambda: ctypes.CDLL(None).prctl(1, signal.SIGTERM))
    os.close(write_fd)
    with os.fdopen(read_fd) as f:
        number = f.readline().strip() if select.select([f], [], [], 20)[0] else ""
    check(number, "Xvfb did not start")
    return server, ":" + number


class Session:
    """One Xvfb server and a scratch working directory; the app runs inside them."""

    def __init__(self, app, size="1600x1200x24"):
        self.app, self.proc = app, None
        self.xvfb, self.display = start_xvfb(size)
        self.workdir = tempfile.mkdtemp(prefix="kovracam-ui-")
        self.stderr_path = os.path.join(self.workdir, "stderr.txt")

    def env(self, extra=None):
        env = dict(os.environ, DISPLAY=self.display, QT_QPA_PLATFORM="xcb")
        env.pop("KOVRACAM_VIRTUAL_CAMERAS", None)
        return dict(env, **(extra or {}))

    def start(self, cameras, extra_env=None, preexec_fn=None):
        """Starts the app on the cameras described by `cameras`; None: no camera file."""
        self.stop()
        env = self.env(extra_env)
        if cameras is not None:
            env["KOVRACAM_VIRTUAL_CAMERAS"] = os.path.join(self.workdir, "cameras.conf")
            with open(env["KOVRACAM_VIRTUAL_CAMERAS"], "w") as f:
                f.write(cameras)
        with open(self.stderr_path, "w") as stderr:
            self.proc = subprocess.Popen([self.app], cwd=self.workdir, env=env, stderr=stderr,
                                         stdout=subprocess.DEVNULL, preexec_fn=preexec_fn)

    def start_frame(self, cameras, extra_env=None, preexec_fn=None):
        self.start(cameras, extra_env, preexec_fn)
        return Frame(self, self.find_window("KOVRACAM"))

    def stderr_text(self):
        with open(self.stderr_path) as f:
            return f.read()

    def xdotool(self, *args):
        return subprocess.run(["xdotool", *args], env=self.env(), capture_output=True, text=True,
                              timeout=20).stdout.strip()

    def find_window(self, title, timeout=20):
        def probe():
            check(self.proc.poll() is None, "the app ended: %s" % self.stderr_text())
            return self.xdotool("search", "--onlyvisible", "--name", "^%s$" % title).split()
        return wait_until(probe, timeout, "no window titled %s" % title, 0.1)[0]

    def mapped(self):
        return set(self.xdotool("search", "--onlyvisible", "--name", "").split())

    def wait_new_window(self, before, timeout=10):
        return wait_until(lambda: max(self.mapped() - set(before), key=int, default=None),
                          timeout, "no new window appeared", 0.1)

    def wait_unmapped(self, wid, timeout=10):
        wait_until(lambda: wid not in self.mapped(), timeout, "window %s still shown" % wid, 0.1)

    def geometry(self, wid):  # (x, y, width, height) of the client area on the screen
        out = dict(line.split("=") for line in
                   self.xdotool("getwindowgeometry", "--shell", wid).split())
        return tuple(int(out[k]) for k in ("X", "Y", "WIDTH", "HEIGHT"))

    def click(self, x, y):
        self.xdotool("mousemove", "--sync", str(x), str(y), "click", "1")

    def key(self, *names):  # to whichever window has the keyboard focus
        self.xdotool("key", *names)

    def screenshot(self):
        return picture("import", "-display", self.display, "-window", "root", "-depth", "8",
                       "ppm:-")

    def stop(self):
        if self.proc is not None and self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()

    def close(self):
        self.stop()
        self.xvfb.terminate()
        self.xvfb.wait()
        shutil.rmtree(self.workdir, ignore_errors=True)


class Window:
    """A mapped window and where it was when found: menus and dialogs do not move."""

    def __init__(self, session, wid):
        self.session, self.wid = session, wid
        self.x, self.y, self.width, self.height = session.geometry(wid)

    def rows(self, shot, predicate=is_dark, inset=2, bottom=2):
        return shot.bands(self.x + inset, self.y + inset, self.x + self.width - inset,
                          self.y + self.height - bottom, predicate)

    def items(self, expected, **inside):
        """(rows of text, (top, end), and the screenshot) once `expected` rows are painted."""
        def probe():
            shot = self.session.screenshot()
            rows = self.rows(shot, **inside)
            return len(rows) == expected and (rows, shot)
        return wait_until(probe, 5, "window %s never showed %d rows" % (self.wid, expected), 0.1)

    def click_row(self, row):
        self.session.click(self.x + self.width // 2, (row[0] + row[1]) // 2)


class Frame(Window):
    """The main window, with its menu bar's and status bar's heights measured on a screenshot."""

    def __init__(self, session, wid):
        super().__init__(session, wid)
        self.measure()

    def measure(self):
        s = self.session
        self.x, self.y, self.width, self.height = s.geometry(self.wid)
        shot = s.screenshot()
        # The menu bar is light and the banner under it dark, at its right end too.
        column = self.x + self.width - 3
        self.menu_height = next((y - self.y for y in range(self.y, self.y + 60)
                                 if luminance(shot.at(column, y)) < 100), 0)
        # The status bar is the uniform strip at the bottom, left of the size grip.
        column, bottom = self.x + self.width - 25, self.y + self.height - 1
        self.status_top = next(y for y in range(bottom, self.y, -1)
                               if shot.at(column, y - 1) != shot.at(column, bottom))
        check(10 < self.menu_height < 40 and 10 < bottom - self.status_top < 40,
              "menu bar %d px, status bar %d px high" % (self.menu_height,
                                                          bottom - self.status_top))
        self.view_top = self.y + self.menu_height

    def titles(self, shot):  # (left, end) of each, left to right
        return shot.bands(self.x, self.y + 1, self.x + self.width, self.view_top - 2, is_dark,
                          vertical=False, gap=8)

    def open_menu(self, index):  # the popup of the index-th title
        spans = self.titles(self.session.screenshot())
        check(len(spans) == 5, "found %d menu titles, expected 5" % len(spans))
        before = self.session.mapped()
        self.session.click(sum(spans[index]) // 2, self.y + self.menu_height // 2)
        return Window(self.session, self.session.wait_new_window(before))


def run(tests):
    """Runs each test(args) in turn, a line for each; exits non-zero if any failed."""
    parser = argparse.ArgumentParser()
    parser.add_argument("--app", required=True)
    parser.add_argument("--source", required=True)
    args = parser.parse_args()
    failed = 0
    for test in tests:
        started = time.time()
        try:
            test(args)
            print("PASS %s (%.1fs)" % (test.__name__, time.time() - started))
        except Exception as e:  # report every kind of failure, then go on with the next test
            failed += 1
            print("FAIL %s: %s: %s" % (test.__name__, type(e).__name__, e))
    sys.exit(1 if failed else 0)
