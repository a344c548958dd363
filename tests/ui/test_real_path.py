"""The real device path on a simulated V4L2 camera (tools/v4l2sim) preloaded into
v4l2-compliance, v4l2-ctl, GStreamer and the app, whose SystemV4l2Io and v4l2src then drive it."""

import os, pathlib, re, shutil, socket, struct, subprocess, sys, tempfile, time

import test_window, uitest
from uitest import Session, check

CAMERA = ("node=0; name=KOVRA Sim Camera; bus=usb-0000:00:14.0-1; "
          "id=usb-KOVRA_Sim_Camera_SIM0001-video-index0; "
          "path=pci-0000:00:14.0-usb-0:1:1.0-video-index0; "
          "formats=YUY2 640x480@30/15 320x240@30, RGB24 160x120-640x480/16x8@30/15; "
          "controls=brightness int -64..64 =0, contrast int 0..95 =32, "
          "auto_exposure menu 1..3 =3 {1:Manual Mode|3:Aperture Priority Mode}; "
          "powerline=50; pattern=ball; read=yes\n")
PREVIEW = ("node=0; name=KOVRA Sim Camera; id=usb-KOVRA_Sim_Camera_SIM0001-video-index0; "
           "formats=YUY2 640x480@30 320x240@15; controls=brightness int -64..64/4 =0; "
           "powerline=50; pattern=blue")
SECOND = ("node=2; name=Second Sim Camera; id=usb-Second_SIM0002-video-index0; "
          "formats=YUY2 320x240@30; powerline=60; pattern=blue")


def asan_runtime(binary):
    """The AddressSanitizer runtime `binary` is linked with, or None."""
    linked = subprocess.run(["ldd", binary], capture_output=True, text=True, timeout=30).stdout
    found = re.search(r"libasan\.so\S* => (\S+)", linked)
    return found and found[1]


def simulated(app, folder, cameras):
    """The environment that preloads the simulator with `cameras`."""
    path = os.path.join(folder, "sim.conf")
    pathlib.Path(path).write_text(cameras)
    library = os.path.join(os.path.dirname(os.path.abspath(app)), "libkovracam_v4l2sim.so")
    check(os.path.exists(library), "no simulator at %s" % library)
    # A sanitizer build's runtime must come first of all libraries.
    runtime = asan_runtime(library)
    return {"LD_PRELOAD": ":".join(([runtime] if runtime else []) + [library]),
            "KOVRACAM_V4L2SIM": path}


def test_compliance_listings_and_gstreamer(args):
    with tempfile.TemporaryDirectory(prefix="kovracam-sim-") as folder:
        # Other programs' leaks are not ours to report.
        env = dict(os.environ, ASAN_OPTIONS="detect_leaks=0", **simulated(args.app, folder, CAMERA))
        run = lambda *command: subprocess.run(  # noqa: E731
            command, env=env, capture_output=True, text=True, timeout=120)
        out = run("v4l2-compliance", "-d", "/dev/video0", "-s").stdout
        total = [line for line in out.splitlines() if line.startswith("Total for")]
        check(total and ", Failed: 0," in total[0], "compliance: %s" % (total or out[-2000:]))
        devices = run("v4l2-ctl", "--list-devices").stdout
        check("KOVRA Sim Camera (usb-0000:00:14.0-1)" in devices, devices)
        formats = run("v4l2-ctl", "--list-formats-ext").stdout
        check("Stepwise 160x120 - 640x480 with step 16/8" in formats and
              "(15.000 fps)" in formats, formats)
        controls = run("v4l2-ctl", "--list-ctrls-menus").stdout
        check("brightness 0x00980900 (int)    : min=-64 max=64" in controls and
              "3: Aperture Priority Mode" in controls and "1: 50 Hz" in controls, controls)
        # Streamed, then read() I/O (one whole frame a read): both at the camera's pace.
        for frames, least, most, extra in ((90, 2.5, 10, []), (60, 1.6, 8, [
                "io-mode=rw", "!", "video/x-raw,format=BGR,width=320,height=240"])):
            started = time.time()
            gst = run("gst-launch-1.0", "v4l2src", "device=/dev/video0",
                      "num-buffers=%d" % frames, *extra, "!", "fakesink")
            took = time.time() - started
            check(gst.returncode == 0 and "Got EOS" in gst.stdout, gst.stdout + gst.stderr)
            check(least < took < most, "%d frames at 30 fps took %.1f s" % (frames, took))


def device_menu_ink(frame):
    """The Device menu's items as ink, left open."""
    popup = frame.open_menu(1)
    rows, shot = popup.items()
    return popup, [shot.ink(popup.x + 2, top, popup.x + popup.width - 2, end) for top, end in rows]


def sanitized(app):
    """A sanitizer build: slower than a camera's pace, so its rate readings prove nothing."""
    return asan_runtime(app) is not None


def pane_inks(frame):
    """The status bar's texts over four seconds: the readings of a camera's rate, 30.0 or 29.9
    say, as the measured intervals jitter."""
    seen = set()
    for _ in range(16):
        time.sleep(0.25)
        seen.add(frame.status_ink())
    return seen


def test_preview_controls_format_and_identity(args):
    with Session(args.app) as s:
        # The Device menu lists the nodes by their card names, as it lists cameras so named, and
        # the status bar reads the rates virtual cameras of the same rates are read at.
        frame = s.start("id=a; name=KOVRA Sim Camera; formats=YUY2 320x240@30\n"
                        "id=b; name=Second Sim Camera; formats=YUY2 320x240@15\n")
        popup, expected = device_menu_ink(frame)
        s.key("Escape")
        rates = {}
        if not sanitized(args.app):
            time.sleep(1)
            rates[30] = pane_inks(frame)
            frame.choose("alt+d", "Down", "Return")
            time.sleep(1.5)
            rates[15] = pane_inks(frame)
            check(not rates[30] & rates[15], "the status bar shows no frame rate")
        s.stop()
        frame = s.start(None, simulated(args.app, s.workdir, PREVIEW + "\n" + SECOND))
        popup, listed = device_menu_ink(frame)
        check(listed == expected, "the Device menu does not show the card names")
        s.key("Escape")
        s.wait_unmapped(popup.wid)
        test_window.check_view(s, frame, args.source, 640, 480)
        reads = lambda rate: not rates or uitest.wait_until(  # noqa: E731
            lambda: frame.status_ink() in rates[rate], 10, "the pane does not read %d" % rate)
        reads(30)
        popup, submenu, rows, marks = test_window.frequency_marks(frame)
        check(marks == [True, False], "the camera's 50 Hz reads back as %s" % marks)
        submenu.click_row(rows[1])
        s.wait_unmapped(popup.wid)
        popup, submenu, rows, marks = test_window.frequency_marks(frame)
        check(marks == [False, True], "60 Hz set on the camera reads back as %s" % marks)
        s.key("Escape", "Escape")
        s.wait_unmapped(popup.wid)

        test_window.brighten(s, frame, (frame.x + 100, frame.view_top + 150, frame.x + 500,
                                        frame.view_top + 450))
        # The format dialog: the second format restarts the camera at 320 x 240.
        dialog = uitest.Window(s, s.new_window(lambda: frame.choose("alt+o", "Down", "Down",
                                                                    "Return")))
        dialog.click_row(dialog.items(2, inset=4, bottom=40)[0][1])  # once its rows show
        s.key("Return")
        s.wait_unmapped(dialog.wid)
        uitest.wait_until(lambda: s.geometry(frame.wid)[2] == 325, 10, "window not refitted")
        frame.measure()
        reads(15)

        # The second camera, chosen: its identity is the by-id link, kept in HardWare.KRV.
        frame.choose("alt+d", "Down", "Return")
        krv = pathlib.Path(s.workdir, "HardWare.KRV")
        name = "/dev/v4l/by-id/usb-Second_SIM0002-video-index0".encode("utf-16-le")
        uitest.wait_until(lambda: krv.exists() and krv.read_bytes() ==
                          struct.pack("<I", len(name) // 2) + name, 10,
                          lambda: "HardWare.KRV holds %r" % (krv.exists() and krv.read_bytes()))


def test_unplugged_stalled_and_busy_cameras(args):
    for fault, expected in (("unplug=stream+1.5", "the camera stopped"),
                            ("busy=stream", "the camera cannot"),
                            ("stall=1+20", "sent no frame in time")):
        with Session(args.app) as s:
            started = time.time()
            frame = s.start(None, simulated(args.app, s.workdir, PREVIEW + "; " + fault),
                            main=not fault.startswith("busy"))
            if fault.startswith("stall"):  # a snapshot waits a bounded time, then says so
                time.sleep(max(0.0, started + 3 - time.time()))
                asked = time.time()
                frame.save("alt+c", "n", os.path.join(s.workdir, "shot.jpg"))
                s.answer("ERROR")
                check(time.time() - asked < 5, "the snapshot waited %.1f s" % (time.time() - asked))
            if fault.startswith("busy"):  # the start fails with a box, then the app ends
                s.answer("ERROR")
                check(s.proc.wait(10) != 0, "a failed start ended with exit code 0")
            uitest.wait_until(lambda: expected in s.stderr_text(), 15,
                              lambda: "%s: stderr %r" % (fault, s.stderr_text()))
            if fault.startswith("unplug"):
                time.sleep(1)
                check(s.proc.poll() is None, "the app ended when the camera was unplugged")


def strange_things(folder):
    """What may stand where a file is read: each made at `folder`/name, with what keeps it so."""
    def fifo(path, held=False):
        os.mkfifo(path)
        return held and os.open(path, os.O_RDWR | os.O_NONBLOCK)  # a writer that never closes
    def sock(path):
        server = socket.socket(socket.AF_UNIX)
        server.bind(path)
        return server
    return {"pipe": fifo, "held pipe": lambda p: fifo(p, True), "socket": sock,
            "directory": os.mkdir, "/dev/zero": lambda p: os.symlink("/dev/zero", p),
            "dangling link": lambda p: os.symlink("gone", p)}


def shows(s, frame, colour, what):
    top = frame.view_top + 50
    uitest.wait_until(lambda: s.screenshot().share(
        (frame.x + 10, top + 10, frame.x + 150, top + 100), colour) > 0.9, 10, what)


def test_strange_files_and_a_refused_format(args):
    for name, make in strange_things("").items():
        with Session(args.app) as s:  # as the device choice: the first camera, then the second
            kept = make(os.path.join(s.workdir, "HardWare.KRV"))
            frame = s.start(test_window.CAMERAS)
            shows(s, frame, lambda c: c[0] > 180 and c[2] < 60, "%s: not the first camera" % name)
            frame.choose("alt+d", "Down", "Return")
            shows(s, frame, test_window.is_blue, "%s: the choice is not in force" % name)
            saved = s.stderr_text().count("cannot be saved")
            check(saved == (name != "dangling link"), "%s: %d lines" % (name, saved))
        with Session(args.app) as s:  # as the camera list: only the simulated camera
            path = os.path.join(s.workdir, "cameras")
            kept = make(path) or kept
            frame = s.start(None, dict(simulated(args.app, s.workdir, PREVIEW),
                                       KOVRACAM_VIRTUAL_CAMERAS=path))
            shows(s, frame, test_window.is_blue, "%s: no preview" % name)
        print("  %s: the window came up and previewed" % name)

    with Session(args.app) as s:  # a format the camera lists but refuses: told, preview off
        frame = s.start(None, simulated(args.app, s.workdir, PREVIEW + "; refuse=320x240"))
        dialog = uitest.Window(s, s.new_window(lambda: frame.choose("alt+o", "Down", "Down",
                                                                    "Return")))
        dialog.click_row(dialog.items(2, inset=4, bottom=40)[0][1])
        s.key("Return")
        s.answer("ERROR")
        check("cannot go on with the chosen format" in s.stderr_text(), s.stderr_text())
        shows(s, frame, lambda c: not test_window.is_blue(c), "a picture is left standing")
        frame.choose("alt+o", "Return")  # Preview on again: the format that ran before
        shows(s, frame, test_window.is_blue, "Preview on shows nothing")
        uitest.wait_until(lambda: s.geometry(frame.wid)[2] == 645, 10, "not refitted to 640")


PADDED = ("node=0; name=Padded YUY2; formats=YUY2 320x240@30; pattern=smpte; padding=36\n"
          "node=1; name=Odd BGR; formats=RGB24 170x120@30; pattern=smpte; padding=4\n")


def check_unskewed(picture, width, height, what):
    """The simulator's bars over the top three quarters: grey at the left, yellow next, and every
    column one colour from top to the bars' foot, which lines read at the wrong length would
    slant."""
    check((picture.width, picture.height) == (width, height),
          "%s: %dx%d" % (what, picture.width, picture.height))
    grey, yellow = picture.at(width // 28, 1), picture.at(width * 3 // 14, 1)
    check(uitest.luminance(grey) > 150 and yellow[0] > 150 and yellow[2] < 80,
          "%s: grey %s, yellow %s" % (what, grey, yellow))
    for x in range(2, width, 5):
        top = picture.at(x, 1)
        for y in (height // 2, height * 3 // 4 - 2):
            check(max(abs(a - b) for a, b in zip(top, picture.at(x, y))) < 40,
                  "%s: (%d, %d) is %s under %s" % (what, x, y, picture.at(x, y), top))


def test_padded_lines_in_snapshots_and_recordings(args):
    """Lines longer than their pixels (a padded bytesperline, a 24-bit width not a multiple of
    4) give upright, unslanted snapshots and recordings."""
    with Session(args.app) as s:
        frame = s.start(None, simulated(args.app, s.workdir, PADDED))
        for width, height in ((320, 240), (170, 120)):
            movie, shot = [os.path.join(s.workdir, "%d.%s" % (width, kind))
                           for kind in ("avi", "bmp")]
            frame.save("alt+c", "n", shot)
            uitest.wait_until(lambda: os.path.exists(shot), 5, "no snapshot %s" % shot)
            check_unskewed(uitest.picture("convert", shot, "-depth", "8", "ppm:-"), width, height,
                           shot)
            frame.save("alt+c", "s", movie)
            time.sleep(1.5)
            frame.choose("alt+c", "p")
            check_unskewed(uitest.picture("ffmpeg", "-v", "error", "-i", movie, "-frames:v", "1",
                                          "-f", "image2pipe", "-vcodec", "ppm", "-"),
                           width, height, movie)
            if width == 320:  # then the second camera
                frame.choose("alt+d", "Down", "Return")
                uitest.wait_until(lambda: s.geometry(frame.wid)[2] == 175, 10, "not fitted to 170")


if __name__ == "__main__":
    if shutil.which("v4l2-compliance") is None:
        print("SKIP: v4l2-compliance is not installed (scripts/deps installs v4l-utils)")
        sys.exit(0)
    uitest.run(test_compliance_listings_and_gstreamer, test_preview_controls_format_and_identity,
               test_unplugged_stalled_and_busy_cameras, test_strange_files_and_a_refused_format,
               test_padded_lines_in_snapshots_and_recordings)
