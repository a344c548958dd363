"""The Windows build on a camera it did not write: Wine's own capture filter (listed by the
system device enumerator through avicap32) reading a simulated V4L2 camera, the 32-bit build of
tools/v4l2sim preloaded into the Wine process."""

import os, pathlib, time

import test_windows as win
import uitest
from test_recording import check_bars
from uitest import WinePrefix, WineSession, check

SYSTEM = "@device:cm:{860BB310-5D01-11D0-BD3B-00A0C911CE86}\\video0"
CAMERA = "node=0; name=KOVRA Wine Camera; formats=RGB24 320x240@30; read=yes; pattern=smpte"
VIRTUAL = "id=red; name=Red; formats=RGB24 320x240@30; pattern=red\n"
PREFIX = None  # the run's Wine prefix


def simulated(s, args, faults=""):
    """The environment that preloads the 32-bit simulated camera into Wine."""
    path = os.path.join(s.workdir, "sim.conf")
    pathlib.Path(path).write_text(CAMERA + faults + "\n")
    library = os.path.join(os.path.dirname(args.app), "i386", "libkovracam_v4l2sim.so")
    check(os.path.exists(library), "no 32-bit simulator at %s" % library)
    return {"LD_PRELOAD": library, "KOVRACAM_V4L2SIM": path}


def rate_inks(s, args):
    """The status bar's ink for 30.0 and the readings next to it, which a loaded machine's
    scheduling gives a 30 fps camera now and then."""
    return [win.reference(s, args, "Frame Rate %s" % rate)[1] for rate in ("30.0", "29.9", "30.1")]


def expect_30(frame, inks, what):
    uitest.wait_until(lambda: frame.status_ink() in inks, 30, "the status bar never showed "
                      "Frame Rate 30.0 (or 29.9, 30.1) %s" % what)


def shows_bars(s, frame):
    """The camera's bars on the screen, upright, in their colours, 320 x 240 under the banner."""
    grey = lambda p: all(170 < c < 210 for c in p)  # noqa: E731
    probes = (((68, 5), lambda p: p[0] > 150 and p[1] > 150 and p[2] < 80),  # yellow
              ((251, 20), win.is_red), ((297, 20), lambda p: p[2] > 150 and max(p[:2]) < 60),
              ((5, 235), uitest.is_dark), ((319, 179), lambda p: p[2] > 150))

    def probe():
        shot = s.screenshot()
        x0 = next((x for x in range(frame.x, frame.x + 12)
                   if grey(shot.at(x, frame.view_top + 70))), None)
        y0 = x0 is not None and next((y for y in range(frame.view_top + 44, frame.view_top + 60)
                                      if grey(shot.at(x0 + 3, y))), None)
        return y0 and all(test(shot.at(x0 + x, y0 + y)) for (x, y), test in probes)
    uitest.wait_until(probe, 20, "no upright picture of the camera's bars")
    check(s.geometry(frame.wid)[2] == 325, "the frame is not fitted to 320 pixels")


def test_listed_first_chosen_remembered_and_previewed(args):
    with WineSession(args.app, PREFIX) as s:
        rate30 = rate_inks(s, args)
        frame = s.start(VIRTUAL, simulated(s, args))  # nothing remembered: the first camera
        shows_bars(s, frame)
        expect_30(frame, rate30, "at first")
        popup = frame.open_menu(win.DEVICE_MENU)
        check(win.device_marks(popup) == [True, False], "the system camera is not first")
        krv = pathlib.Path(s.workdir, "HardWare.KRV")
        for row, name in ((1, "virtual:red"), (0, SYSTEM)):
            popup.click_row(popup.items(2)[0][row])
            uitest.wait_until(lambda: krv.exists() and krv.read_bytes() == win.krv_bytes(name),
                              10, "HardWare.KRV does not name %s" % name)
            time.sleep(1)  # the preview of the camera chosen starts
            popup = frame.open_menu(win.DEVICE_MENU)
        s.key("Escape")
        frame.choose("alt+f", "x")
        check(s.exit_status() == 0, "exit status %s after File > Exit" % s.proc.returncode)
        frame = s.start(VIRTUAL, simulated(s, args))  # the remembered system camera
        shows_bars(s, frame)
        expect_30(frame, rate30, "after the restart")


def snapshot(s, frame, typed, written):
    frame.save("alt+c", "n", s.native_path(os.path.join(s.workdir, typed)))
    path = pathlib.Path(s.workdir, written)
    uitest.wait_until(path.exists, 10, "no %s after saving %s" % (written, typed))
    check_bars(uitest.picture("convert", str(path), "-depth", "8", "ppm:-"), written)


def test_pages_frequency_snapshots_and_a_camera_that_cannot_be_recorded(args):
    with WineSession(args.app, PREFIX) as s:
        rate30 = rate_inks(s, args)
        frame = s.start(None, simulated(s, args))
        expect_30(frame, rate30, "at first")
        # A filter without pages: nothing shows, and the preview runs on.
        for keys in (("Down", "Return"), ("Down", "Down", "Return")):
            before = s.mapped()
            frame.choose("alt+o", *keys)
            time.sleep(2)
            check(s.mapped() <= before, "a window appeared for Option %s" % (keys,))
            expect_30(frame, rate30, "after Option %s" % (keys,))
        # Frequency, the Option menu's last row, is grayed: ink, none of it dark.
        option = frame.open_menu(2)
        dark, shot = option.items()
        inked = shot.bands(option.x + 2, option.y + 2, option.x + option.width - 2,
                           option.y + option.height - 2, lambda p: uitest.luminance(p) < 200)
        check(inked[-1][0] > dark[-1][1],
              "Frequency is not grayed: rows %s, dark %s" % (inked, dark))
        s.key("Escape")
        snapshot(s, frame, "still.bmp", "still.bmp")
        snapshot(s, frame, "still", "still.jpg")
        # Start Capture: one box says why, no file is made, and the preview goes on.
        frame.choose("alt+c", "s")
        s.find_window("ERROR", 10)
        expect_30(frame, rate30, "beside the box")
        s.answer("ERROR")
        check(not [n for n in os.listdir(s.workdir) if n.endswith(".avi")], "a file was left")
        frame.choose("alt+f", "x")
        check(s.exit_status() == 0, "exit status %s after File > Exit" % s.proc.returncode)


def test_unplugged_and_busy_cameras(args):
    with WineSession(args.app, PREFIX) as s:
        _, rate0 = win.reference(s, args, "Frame Rate 0.0")
        frame = s.start(None, simulated(s, args, "; unplug=stream+3"))
        shows_bars(s, frame)
        # Unplugged: the rate falls to 0.0 or a box tells, and the window still answers.
        stopped = lambda: frame.status_ink() == rate0 or s.xdotool(  # noqa: E731
            "search", "--onlyvisible", "--name", "^ERROR$")
        uitest.wait_until(stopped, 20, "the unplugged camera went unnoticed")
        if frame.status_ink() != rate0:
            s.answer("ERROR")
        frame.choose("alt+f", "x")
        check(s.exit_status() == 0, "exit status %s after File > Exit" % s.proc.returncode)
    with WineSession(args.app, PREFIX) as s:  # busy: the program cannot start, and says so
        s.start(None, simulated(s, args, "; busy=open"), main=False)
        s.answer("ERROR")
        uitest.wait_until(lambda: s.proc.poll() is not None, 20, "the app did not end")
        check(s.proc.returncode != 0, "exit status 0 without a camera")


if __name__ == "__main__":
    started = time.time()
    with WinePrefix() as PREFIX:
        print("Wine prefix initialised in %.1f s" % (time.time() - started))
        uitest.run(test_listed_first_chosen_remembered_and_previewed,
                   test_pages_frequency_snapshots_and_a_camera_that_cannot_be_recorded,
                   test_unplugged_and_busy_cameras)
