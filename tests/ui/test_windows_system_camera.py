"""The Windows build on Wine's own capture filter, reading the 32-bit simulated V4L2 camera
(tools/v4l2sim) preloaded into Wine."""

import os, pathlib, time

import test_windows as win
import uitest
from test_recording import check_bars
from uitest import WinePrefix, WineSession, check

SYSTEM = "@device:cm:{860BB310-5D01-11D0-BD3B-00A0C911CE86}\\video0"
VIRTUAL = "id=red; name=Red; formats=RGB24 320x240@30; pattern=red\n"
PREFIX = None  # the run's Wine prefix


def start(s, args, cameras=VIRTUAL, faults="", main=True):
    path = os.path.join(s.workdir, "sim.conf")
    pathlib.Path(path).write_text("node=0; name=KOVRA Wine Camera; formats=RGB24 320x240@30; "
                                  "read=yes; pattern=smpte" + faults)
    library = os.path.join(os.path.dirname(args.app), "i386", "libkovracam_v4l2sim.so")
    return s.start(cameras, {"LD_PRELOAD": library, "KOVRACAM_V4L2SIM": path}, main=main)


def shows_bars(s, frame, inks):
    """The bars upright in their colours under the banner, the frame fitted to 320 pixels, and
    "Frame Rate 30.0" (29.9 or 30.1 too: a loaded machine's scheduling)."""
    at = lambda x, y: s.screenshot().at(frame.x + x, frame.view_top + 50 + y)  # noqa: E731
    uitest.wait_until(lambda: win.is_red(at(251, 100)) and at(297, 100)[2] > 150 and
                      uitest.is_dark(at(150, 230)), 20, "no upright picture of the bars")
    check(s.geometry(frame.wid)[2] == 325, "the frame is not fitted to 320 pixels")
    uitest.wait_until(lambda: frame.status_ink() in inks, 30, "the rate never read 30.0")


def test_system_camera(args):
    with WineSession(args.app, PREFIX) as s:
        inks = [win.reference(s, args, "Frame Rate " + r)[1] for r in ("30.0", "29.9", "30.1")]
        frame = start(s, args)  # nothing remembered: the first camera, the system's
        shows_bars(s, frame, inks)
        for row, name in ((1, "virtual:red"), (0, SYSTEM)):  # listed second, then first
            win.choose_camera(s, frame, row, name)
        frame.choose("alt+f", "x")
        check(s.exit_status() == 0, "exit status %s after File > Exit" % s.proc.returncode)
        frame = start(s, args)  # the remembered system camera
        shows_bars(s, frame, inks)
        for keys in (("Down", "Return"), ("Down", "Down", "Return")):  # a filter without pages
            before = s.mapped()
            frame.choose("alt+o", *keys)
            time.sleep(2)
            check(s.mapped() <= before, "a window appeared for Option %s" % (keys,))
            shows_bars(s, frame, inks)
        option = frame.open_menu(2)  # Frequency, the last row, grayed: ink, none of it dark
        dark, shot = option.items()
        inked = shot.bands(option.x + 2, option.y + 2, option.x + option.width - 2,
                           option.y + option.height - 2, lambda p: uitest.luminance(p) < 200)
        check(inked[-1][0] > dark[-1][1], "Frequency is not grayed")
        s.key("Escape")
        for typed, written in (("still.bmp", "still.bmp"), ("still", "still.jpg")):
            frame.save("alt+c", "n", s.native_path(os.path.join(s.workdir, typed)))
            uitest.wait_until(pathlib.Path(s.workdir, written).exists, 10, "no " + written)
            check_bars(uitest.picture("convert", os.path.join(s.workdir, written), "-depth", "8",
                                      "ppm:-"), written)
        frame.choose("alt+c", "s")  # Start Capture: one box, no file, the preview runs on
        s.find_window("ERROR", 10)
        shows_bars(s, frame, inks)
        s.answer("ERROR")
        check(not [n for n in os.listdir(s.workdir) if n.endswith(".avi")], "a file was left")
        s.stop()

        # Unplugged mid-preview: the rate falls to 0.0, or a box says so; Exit still ends well.
        rate0 = win.reference(s, args, "Frame Rate 0.0")[1]
        frame = start(s, args, None, "; unplug=stream+3")
        uitest.wait_until(lambda: frame.status_ink() == rate0 or s.xdotool(
            "search", "--onlyvisible", "--name", "^ERROR$"), 20, "the unplugging went unseen")
        if frame.status_ink() != rate0:
            s.answer("ERROR")
        frame.choose("alt+f", "x")
        check(s.exit_status() == 0, "exit status %s after File > Exit" % s.proc.returncode)
        start(s, args, None, "; busy=open", main=False)  # busy: not listed, so no camera at all
        s.answer("ERROR")
        uitest.wait_until(lambda: s.proc.poll() is not None, 20, "the app did not end")
        check(s.proc.returncode != 0, "exit status 0 without a camera")


if __name__ == "__main__":
    with WinePrefix() as PREFIX:
        uitest.run(test_system_camera)
