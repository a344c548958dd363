"""Drives the real KOVRACAM window under a private Xvfb: starts the app on virtual cameras, finds
its windows with xdotool and reads screenshots as RGB pixels."""

import argparse, contextlib, ctypes, os, pathlib, re, select, shutil, signal, subprocess, sys
import tempfile, time


def check(condition, message):
    if not condition:
        raise AssertionError(message)


def wait_until(probe, timeout, message, interval=0.1):
    """probe()'s first truthy value; fails after `timeout` s with `message` (or message())."""
    deadline = time.time() + timeout
    while not (value := probe()):
        check(time.time() < deadline, message() if callable(message) else message)
        time.sleep(interval)
    return value


def luminance(rgb):
    return (299 * rgb[0] + 587 * rgb[1] + 114 * rgb[2]) // 1000


def is_dark(rgb):
    return luminance(rgb) < 128


class Screenshot:
    def __init__(self, ppm):
        header = re.match(rb"P6\s+(\d+)\s+(\d+)\s+\d+\s", ppm)
        check(header, "the picture is not a PPM")
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
        runs = []
        for a in range(y0, y1) if vertical else range(x0, x1):
            if any(predicate(self.at(b, a) if vertical else self.at(a, b))
                   for b in (range(x0, x1) if vertical else range(y0, y1))):
                if runs and a - runs[-1][1] < gap:
                    runs[-1] = (runs[-1][0], a + 1)
                else:
                    runs.append((a, a + 1))
        return runs

    def ink(self, x0, y0, x1, y1):
        """The dark pixels in the box, relative to their own top-left."""
        points = [(x, y) for y in range(y0, y1) for x in range(x0, x1) if is_dark(self.at(x, y))]
        left, top = min((p[0] for p in points), default=0), min((p[1] for p in points), default=0)
        return frozenset((x - left, y - top) for x, y in points)


def picture(*command):
    """The PPM picture that `command` writes to its output."""
    return Screenshot(subprocess.run(command, capture_output=True, timeout=30).stdout)


class Session(contextlib.AbstractContextManager):  # which enters as itself
    """One Xvfb server and a scratch working directory; the app runs inside them."""

    def __init__(self, app, size="1600x1200x24"):
        self.app, self.proc = app, None
        # -displayfd: the server picks a display no other server, even a lost one, listens on.
        # -noreset: otherwise it resets when its last client leaves and turns away the app
        # starting meanwhile. PR_SET_PDEATHSIG: a test killed on time-out leaves no server behind.
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", "1", "-screen", "0", size, "-nolisten", "tcp", "-noreset"],
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True,
            preexec_fn=lambda: ctypes.CDLL(None).prctl(1, signal.SIGTERM))
        ready = select.select([self.xvfb.stdout], [], [], 20)[0]
        self.display = ":" + (self.xvfb.stdout.readline().strip() if ready else "")
        check(self.display != ":", "Xvfb did not start")
        self.workdir = tempfile.mkdtemp(prefix="kovracam-ui-")

    def __exit__(self, *failure):
        self.stop()
        self.xvfb.terminate()
        self.xvfb.wait()
        shutil.rmtree(self.workdir, ignore_errors=True)

    start_timeout = 20  # s until the main window shows

    def environment(self, extra_env):
        env = {k: v for k, v in os.environ.items() if k != "KOVRACAM_VIRTUAL_CAMERAS"}
        # No PipeWire daemon of the user's is ever seen: a test that wants one passes its own.
        env.update(DISPLAY=self.display, QT_QPA_PLATFORM="xcb", XDG_RUNTIME_DIR=self.workdir,
                   PIPEWIRE_REMOTE=os.path.join(self.workdir, "no-pipewire"))
        env.update(extra_env)
        return env

    def native_path(self, path):  # a path as the app spells it
        return path

    def command(self):
        return [self.app]

    def start(self, cameras, extra_env={}, preexec_fn=None, main=True):
        """The app started on `cameras` (None: no camera file), and its main window if `main`."""
        self.stop()
        env = self.environment(extra_env)
        if cameras is not None:
            path = os.path.join(self.workdir, "cameras.conf")
            pathlib.Path(path).write_text(cameras)
            env["KOVRACAM_VIRTUAL_CAMERAS"] = self.native_path(path)
        self.proc = self.spawn(self.command(), env, preexec_fn)
        return main and Frame(self, self.find_window("KOVRACAM", self.start_timeout))

    def spawn(self, command, env, preexec_fn=None):
        with open(os.path.join(self.workdir, "stderr.txt"), "w") as stderr:
            return subprocess.Popen(command, cwd=self.workdir, env=env, stderr=stderr,
                                    stdout=subprocess.DEVNULL, preexec_fn=preexec_fn)

    def stderr_text(self):
        return pathlib.Path(self.workdir, "stderr.txt").read_text()

    def xdotool(self, *args):
        return subprocess.run(["xdotool", *args], env=dict(os.environ, DISPLAY=self.display),
                              capture_output=True, text=True, timeout=20).stdout.strip()

    def find_window(self, title, timeout=20):
        def probe():
            check(self.proc.poll() is None, "the app ended: %s" % self.stderr_text())
            return self.xdotool("search", "--onlyvisible", "--name", "^%s$" % title).split()
        found = wait_until(probe, timeout, "no window titled %s" % title)
        check(len(found) == 1, "%d windows titled %s" % (len(found), title))
        return found[0]

    def answer(self, title, key="Return", text=""):
        """Types `text`, then `key`, into the window titled `title`; returns once it closed."""
        wid = self.find_window(title, timeout=10)
        self.xdotool("windowfocus", "--sync", wid, "type", "--delay", "1", text)
        self.key(key)
        self.wait_unmapped(wid)

    def mapped(self):
        return set(self.xdotool("search", "--onlyvisible", "--name", "").split())

    def new_window(self, action):
        """The window that doing `action` maps (the newest, if more), other than a menu popup
        `action` returns: one chosen from may still be mapped when its dialog is not yet."""
        before = self.mapped()
        before.add(action())
        return wait_until(lambda: max(self.mapped() - before, key=int, default=None), 10,
                          "no new window appeared")

    def wait_unmapped(self, wid):
        wait_until(lambda: wid not in self.mapped(), 10, "window %s still shown" % wid)

    def geometry(self, wid):  # (x, y, width, height) of the client area on the screen
        out = self.xdotool("getwindowgeometry", "--shell", wid)  # WINDOW=, X=, ..., SCREEN=
        return tuple(int(v) for v in re.findall(r"=(-?\d+)", out)[1:5])

    def click(self, x, y):
        self.xdotool("mousemove", "--sync", str(x), str(y), "click", "1")

    def key(self, *names):  # to whichever window has the keyboard focus
        self.xdotool("key", *names)

    def screenshot(self):
        return picture("import", "-display", self.display, "-window", "root", "-depth", "8",
                       "ppm:-")

    def stop(self):
        if self.proc:  # killing one that ended already is harmless
            self.proc.kill()
            self.proc.wait()


class PipeWire(contextlib.AbstractContextManager):
    """A PipeWire daemon and WirePlumber on a session bus of their own, in a scratch runtime
    directory; cameras are gst-launch-1.0 pipelines offering a node of role Camera."""

    def __init__(self, spa_cameras=()):
        """`spa_cameras`: (name, description) of PipeWire's test sources the daemon makes."""
        self.runtime, self.daemon, self.cameras = tempfile.mkdtemp(prefix="kovracam-pw-"), None, {}
        folder = os.path.join(self.runtime, "config", "pipewire", "pipewire.conf.d")
        os.makedirs(folder)
        nodes = "".join('{ factory = spa-node-factory args = { factory.name = videotestsrc '
                        'node.name = "%s" node.description = "%s" media.class = Video/Source '
                        'media.role = Camera } }\n' % camera for camera in spa_cameras)
        pathlib.Path(folder, "cameras.conf").write_text(
            "context.spa-libs = { videotestsrc = videotestsrc/libspa-videotestsrc }\n"
            "context.objects = [\n%s]\n" % nodes)
        self.start()

    def env(self):
        env = {k: v for k, v in os.environ.items() if k not in ("PIPEWIRE_REMOTE", "DISPLAY")}
        env.update(XDG_RUNTIME_DIR=self.runtime, PIPEWIRE_REMOTE="pipewire-0")
        return env

    def spawn(self, command, **extra):  # in a process group of its own, ended as a whole
        return subprocess.Popen(command, env=dict(self.env(), **extra), stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL, start_new_session=True)

    def start(self):
        self.daemon = self.spawn(["dbus-run-session", "--", "sh", "-c",
                                  "pipewire & sleep 0.3; exec wireplumber"],
                                 XDG_CONFIG_HOME=os.path.join(self.runtime, "config"))
        # Up once WirePlumber has made its own link-holding objects (metadata "default").
        wait_until(lambda: "default" in self.run("pw-cli", "ls", "Metadata"), 15,
                   "no PipeWire daemon and WirePlumber came up")

    def run(self, *command):  # "" when the daemon does not answer within 5 s
        with contextlib.suppress(subprocess.TimeoutExpired):
            return subprocess.run(command, env=self.env(), capture_output=True, text=True,
                                  timeout=5).stdout
        return ""

    def add_camera(self, name, description, caps, pattern="smpte", extra=""):
        """A camera node `name` of `caps` (format, size, rate); returns once the daemon lists it."""
        props = 'props,media.class=Video/Source,media.role=Camera,node.name=%s,' \
                'node.description="%s"%s' % (name, description.replace('"', '\\"'), extra)
        # gst-launch-1.0 reads the value once more: the whole in quotes, its own escaped.
        props = '"%s"' % props.replace('\\', '\\\\').replace('"', '\\"')
        self.cameras[name] = self.spawn([
            "gst-launch-1.0", "-q", "videotestsrc", "is-live=true", "pattern=" + pattern, "!",
            "video/x-raw," + caps, "!", "pipewiresink", "mode=provide",
            "stream-properties=%s" % props])
        wait_until(lambda: ('node.name = "%s"' % name) in self.run("pw-cli", "ls", "Node"), 10,
                   "the daemon does not list camera %s" % name)

    def remove_camera(self, name):
        self.end(self.cameras.pop(name))

    @staticmethod
    def end(proc):
        for sig in (signal.SIGTERM, signal.SIGKILL):
            with contextlib.suppress(ProcessLookupError, subprocess.TimeoutExpired):
                os.killpg(proc.pid, sig)
                return proc.wait(5)

    def stop(self):
        for proc in filter(None, [*self.cameras.values(), self.daemon]):
            self.end(proc)
        self.cameras, self.daemon = {}, None
        # Its group's leader gone, the daemon itself may still be letting go of its socket.
        socket = os.path.join(self.runtime, "pipewire-0")
        wait_until(lambda: not os.path.exists(socket), 10, "the PipeWire daemon did not end")

    def __exit__(self, *failure):
        self.stop()
        shutil.rmtree(self.runtime, ignore_errors=True)


class WinePrefix(contextlib.AbstractContextManager):
    """A scratch Wine prefix for one test run, initialised once (tens of seconds)."""

    # No .NET or HTML engine (their installers would ask to download), no sound drivers (the
    # machine has no sound card; they only complain), no host menu entries for shortcuts made.
    OVERRIDES = "mscoree,mshtml,winealsa.drv,winepulse.drv=;winemenubuilder.exe=d"

    def __init__(self, timeout=180):
        self.path = tempfile.mkdtemp(prefix="kovracam-wine-")
        started = time.time()
        subprocess.run(["wineboot", "-i"], env=self.environment(), stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=timeout, check=True)
        self.server("-w", timeout=timeout)
        self.boot_seconds = time.time() - started

    def environment(self, **extra):
        env = {k: v for k, v in os.environ.items()
               if k not in ("DISPLAY", "KOVRACAM_VIRTUAL_CAMERAS")}  # booting needs no display
        env.update(WINEPREFIX=self.path, WINEDEBUG="-all", WINEDLLOVERRIDES=self.OVERRIDES)
        env.update(extra)
        return env

    def server(self, *args, timeout=60):
        """Runs wineserver of this prefix with `args` (-k ends its processes, -w waits)."""
        subprocess.run(["wineserver", *args], env=self.environment(), timeout=timeout,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def __exit__(self, *failure):
        self.server("-k")
        self.server("-w")
        shutil.rmtree(self.path, ignore_errors=True)


class WineSession(Session):
    """A Session whose app is a Windows program run by Wine in the prefix given."""

    start_timeout = 60  # Wine starts its own services first

    def __init__(self, app, prefix, size="1600x1200x24"):
        super().__init__(app, size)
        self.prefix = prefix

    def environment(self, extra_env):
        return self.prefix.environment(DISPLAY=self.display, **extra_env)

    def native_path(self, path):  # Wine's drive Z: is the root of the file system
        return "Z:" + path.replace("/", "\\")

    def command(self):
        return ["wine", self.app]

    def run_windows(self, program, *args):
        """Starts another Windows program (a reference drawing) in this session."""
        return self.spawn(["wine", program, *args], self.environment({}))

    def exit_status(self, timeout=20):
        """The app's exit status once it ended within `timeout` s."""
        wait_until(lambda: self.proc.poll() is not None, timeout, "the app did not end")
        return self.proc.returncode

    def __exit__(self, *failure):
        super().__exit__(*failure)
        # Wine's own processes of this prefix go with the display they used.
        self.prefix.server("-k")
        self.prefix.server("-w")


class Window:
    """A mapped window and where it was when found: menus and dialogs do not move."""

    def __init__(self, session, wid):
        self.session, self.wid = session, wid
        self.measure()

    def measure(self):
        self.x, self.y, self.width, self.height = self.session.geometry(self.wid)

    def items(self, expected=None, predicate=is_dark, inset=2, bottom=2):
        """(top, end) of each row of ink, and the screenshot, once `expected` (None: any) show
        and the window looks as on the screenshot before (a slow build paints in steps)."""
        last = {}

        def probe():
            shot = self.session.screenshot()
            pixels = shot.crop(self.x, self.y, self.x + self.width, self.y + self.height)
            steady, last["pixels"] = pixels == last.get("pixels"), pixels
            rows = shot.bands(self.x + inset, self.y + inset, self.x + self.width - inset,
                              self.y + self.height - bottom, predicate)
            return steady and (len(rows) == expected if expected else rows) and (rows, shot)
        return wait_until(probe, 5, "window %s never showed %s rows" % (self.wid, expected))

    def click_row(self, row):
        self.session.click(self.x + self.width // 2, (row[0] + row[1]) // 2)


class Frame(Window):
    """The main window, with its menu bar's and status bar's heights measured on a screenshot."""

    def measure_grown(self):
        """Measured again once grown beyond the size last measured (around a larger video)."""
        small = (self.width, self.height)
        wait_until(lambda: self.session.geometry(self.wid)[2:] > small, 10,
                   "the frame kept its size")
        self.measure()

    def measure(self):
        # A window just mapped may not be painted yet (a sanitizer build is slow), nor placed and
        # sized for good (Wine configures its X window apart from mapping it): look again, each
        # time at where the window is then, until two looks agree.
        looks = [None]

        def settled():
            Window.measure(self)
            looks.append((self.x, self.y, self.width, self.height, self.bars()))
            return looks[-1] == looks[-2] and looks[-1][4]
        self.view_top, self.status_top = wait_until(settled, 10, lambda: (
            "no menu bar and status bar painted: (x, y, width, height) %s, heights %s" %
            (looks[-1][:4], self.heights)), 0.2)

    def bars(self):
        shot = self.session.screenshot()
        # The menu bar is light and the banner under it dark, at its right end too.
        column = self.x + self.width - 3
        view_top = next((y for y in range(self.y, self.y + 60)
                         if luminance(shot.at(column, y)) < 100), self.y)
        # The status bar is the uniform strip at the bottom, left of the size grip.
        column, bottom = self.x + self.width - 25, self.y + self.height - 1
        status_top = next((y for y in range(bottom, self.y, -1)
                           if shot.at(column, y - 1) != shot.at(column, bottom)), self.y)
        # The menu bar takes one row or more: the frame may be narrower than its titles.
        self.heights = menu, status = view_top - self.y, bottom - status_top
        return menu > 10 and 10 < status < 40 and (view_top, status_top)

    def status_ink(self):  # the status bar's text, left of its size grip
        return self.session.screenshot().ink(self.x, self.status_top, self.x + self.width - 20,
                                             self.y + self.height)

    def titles(self, shot):  # (left, end) of each, left to right
        return shot.bands(self.x, self.y + 1, self.x + self.width, self.view_top - 2, is_dark,
                          vertical=False, gap=8)

    def choose(self, menu, *keys):
        """Opens a menu from the keyboard (alt+c: Capture) and types `keys` into it."""
        self.session.xdotool("windowfocus", "--sync", self.wid)
        popup = self.session.new_window(lambda: self.session.key(menu))
        self.session.key(*keys)
        return popup

    def save(self, menu, item, path):
        """Saves as `path` (None: cancels) through the menu item whose mnemonic is `item`."""
        self.choose(menu, item)
        self.session.answer("Save As", "Return" if path else "Escape", path or "")

    def open_menu(self, index):  # the popup of the index-th title
        spans = self.titles(self.session.screenshot())
        check(len(spans) == 5, "found %d menu titles, expected 5" % len(spans))
        return Window(self.session, self.session.new_window(lambda: self.session.click(
            sum(spans[index]) // 2, (self.y + self.view_top) // 2)))


def app_path(path):
    """`path` as the caller meant it, from their directory (the app runs in a scratch one); a
    missing app ends the script with one line."""
    app = os.path.abspath(path)
    if not os.access(app, os.X_OK):
        sys.exit("%s: no app at %s (build it, or pass --app)" % (os.path.basename(sys.argv[0]), app))
    return app


def answer_until_it_ends(s, box, caption):
    """Return at the app's last box (one only just mapped may miss the first key) until the app
    ends, which it must with a failure status."""
    def ended():
        s.xdotool("windowfocus", "--sync", box, "key", "--window", box, "Return")
        return s.proc.poll() is not None
    wait_until(ended, 20, "the app did not end after the %s box" % caption, 1)
    check(s.proc.returncode != 0, "exit status 0 after the %s box" % caption)


def run(*tests):
    """Runs each test(args) in turn, a line for each; exits non-zero if any failed."""
    parser = argparse.ArgumentParser()
    parser.add_argument("--app", required=True)
    parser.add_argument("--source", required=True)
    parser.add_argument("--reference", help="a program drawing the texts expected")
    args, failed = parser.parse_args(), 0
    args.app = app_path(args.app)
    for test in tests:
        started = time.time()
        try:
            test(args)
            print("PASS %s (%.1fs)" % (test.__name__, time.time() - started))
        except Exception as e:  # report every kind of failure, then go on with the next test
            failed += 1
            print("FAIL %s: %s: %s" % (test.__name__, type(e).__name__, e))
    sys.exit(1 if failed else 0)
