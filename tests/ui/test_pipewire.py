"""Cameras through a real PipeWire daemon and WirePlumber, started here headless in a scratch
runtime directory: the cameras are nodes other processes offer, read by the real window."""

import os, pathlib, shutil, struct, subprocess, sys, time

import test_real_path, test_recording, test_window, uitest
from test_window import is_blue
from uitest import PipeWire, Session, check

BLUE = ("kc-cam-a", "Desk Camera", "format=YUY2,width=320,height=240,framerate=30/1", "blue")
RED = ("kc-cam-b", "Wide \"RGB\" Camera", "format=RGB,width=640,height=480,framerate=30/1", "red")
# The same names and rates as virtual cameras: what the window must look like.
VIRTUAL = ("id=a; name=Desk Camera; formats=YUY2 320x240@30; powerline=none\n"
           "id=b; name=Wide \"RGB\" Camera; formats=RGB24 640x480@30\n")


def is_red(rgb):
    return rgb[0] > 180 and rgb[1] < 60 and rgb[2] < 60


def shows(s, frame, colour, width, what):
    """`colour` fills the video under the banner and the frame fits `width`."""
    top = frame.view_top + 50
    uitest.wait_until(lambda: s.geometry(frame.wid)[2] == width + 5 and s.screenshot().share(
        (frame.x + 10, top + 10, frame.x + width - 10, top + 100), colour) > 0.95, 15,
        lambda: "%s: no %d wide picture: %s" % (what, width, s.stderr_text()))


def option_menu_rows(frame):
    """How many of the Option menu's rows are written dark, how many at all (grayed ones)."""
    popup = uitest.Window(frame.session, frame.choose("alt+o"))
    dark = len(popup.items()[0])
    written = len(popup.items(predicate=lambda c: uitest.luminance(c) < 200)[0])
    frame.session.key("Escape")
    frame.session.wait_unmapped(popup.wid)
    return dark, written


def remembered(s):
    krv = pathlib.Path(s.workdir, "HardWare.KRV")
    data = krv.read_bytes() if krv.exists() else b""
    return data[4:].decode("utf-16-le") if len(data) > 4 else None


def test_listed_previewed_and_remembered_across_restarts(args):
    with PipeWire() as pw, Session(args.app) as s:
        frame = s.start(VIRTUAL)
        popup, expected = test_real_path.device_menu_ink(frame)
        s.key("Escape")
        s.wait_unmapped(popup.wid)
        rate = test_real_path.pane_inks(frame)
        options = option_menu_rows(frame)  # no power-line control: Frequency grayed
        s.stop()

        pw.add_camera(*BLUE)
        pw.add_camera(*RED)
        frame = s.start(None, pw.env())
        popup, listed = test_real_path.device_menu_ink(frame)
        check(listed == expected, "the Device menu does not list the descriptions")
        s.key("Escape")
        s.wait_unmapped(popup.wid)
        test_window.check_view(s, frame, args.source, 320, 240)
        if not test_real_path.sanitized(args.app):
            uitest.wait_until(lambda: frame.status_ink() in rate, 10, "no Frame Rate 30.0")
        got = option_menu_rows(frame)
        check(got == options and got[0] == 3, "Frequency is not grayed without a control: "
              "rows %s, expected %s" % (got, options))

        frame.choose("alt+d", "Down", "Return")
        shows(s, frame, is_red, 640, "the RGB camera")
        uitest.wait_until(lambda: remembered(s) == "pipewire:kc-cam-b", 10,
                          lambda: "HardWare.KRV holds %r" % remembered(s))

        # Both restarted, the cameras offered in the other order: the choice still holds.
        s.stop()
        pw.stop()
        pw.start()
        pw.add_camera(*RED)
        pw.add_camera(*BLUE)
        frame = s.start(None, pw.env())
        shows(s, frame, is_red, 640, "after the restarts")


def test_recording_snapshot_and_a_camera_leaving(args):
    with PipeWire() as pw, Session(args.app) as s:
        pw.add_camera(*BLUE[:3], "smpte")
        frame = s.start(None, pw.env())
        movie = os.path.join(s.workdir, "take.avi")
        asked = time.time()
        frame.save("alt+c", "s", movie)
        time.sleep(3)
        frame.choose("alt+c", "p")
        test_recording.check_complete(movie, "yuyv422", 85,
                                      int(30 * (time.time() + 0.5 - asked)) + 1)

        shot = pathlib.Path(s.workdir, "shot.jpg")
        frame.save("alt+c", "n", str(shot))
        uitest.wait_until(lambda: shot.exists() and shot.read_bytes()[:2] == b"\xff\xd8", 5,
                          "no snapshot")
        test_recording.check_bars(uitest.picture("convert", shot, "-depth", "8", "ppm:-"),
                                  "the snapshot")

        # The camera goes mid-recording: the file is completed, the app goes on.
        movie = os.path.join(s.workdir, "left.avi")
        frame.save("alt+c", "s", movie)
        time.sleep(1.5)
        pw.remove_camera(BLUE[0])
        uitest.wait_until(lambda: "the camera stopped" in s.stderr_text(), 10,
                          lambda: "the app did not notice: %s" % s.stderr_text())
        s.answer("ERROR")
        check(s.proc.poll() is None, "the app ended when the camera left")
        test_recording.check_complete(movie, "yuyv422", 20, 70)


def listed(frame):
    """The Device menu's rows, opened from the keyboard."""
    popup = uitest.Window(frame.session, frame.choose("alt+d"))
    rows = popup.items()[0]
    frame.session.key("Escape")
    frame.session.wait_unmapped(popup.wid)
    return len(rows)


def test_two_instances_preview_one_camera_and_cameras_coming_and_going(args):
    with PipeWire() as pw, Session(args.app) as one, Session(args.app) as two:
        pw.add_camera(*BLUE)
        frames = [one.start(None, pw.env()), two.start(None, pw.env())]
        for s, frame in zip((one, two), frames):
            test_window.check_view(s, frame, args.source, 320, 240)
        time.sleep(1)
        for s, frame in zip((one, two), frames):
            test_window.check_view(s, frame, args.source, 320, 240)  # both still live
        # The Device menu shows what the daemon offers each time it opens.
        pw.add_camera(*RED)
        check(listed(frames[0]) == 2, "a camera that came is not listed")
        pw.remove_camera(RED[0])
        check(listed(frames[0]) == 1, "a camera that left is still listed")
        test_window.check_view(one, frames[0], args.source, 320, 240)


def test_a_camera_behind_a_v4l2_node(args):
    """A node that names the simulated V4L2 camera as its own: listed once, found by the name a
    V4L2 camera was remembered by, and its controls are the V4L2 node's."""
    with PipeWire() as pw, Session(args.app) as s:
        pw.add_camera("v4l2_input.kovra-sim", "KOVRA Sim Camera",
                      "format=YUY2,width=640,height=480,framerate=30/1", "blue",
                      ",api.v4l2.path=/dev/video0,device.api=v4l2")
        pw.add_camera(*RED)
        name = "/dev/v4l/by-id/usb-KOVRA_Sim_Camera_SIM0001-video-index0".encode("utf-16-le")
        pathlib.Path(s.workdir, "HardWare.KRV").write_bytes(struct.pack("<I", len(name) // 2) +
                                                           name)
        env = dict(pw.env(), **test_real_path.simulated(args.app, s.workdir,
                                                         test_real_path.PREVIEW + "; busy=stream"))
        frame = s.start(None, env)
        shows(s, frame, is_blue, 640, "the remembered V4L2 camera")
        popup, listed = test_real_path.device_menu_ink(frame)
        check(len(listed) == 2, "%d cameras listed, expected 2" % len(listed))
        s.key("Escape")
        s.wait_unmapped(popup.wid)
        popup, submenu, rows, marks = test_window.frequency_marks(frame)
        check(marks == [True, False], "the V4L2 node's 50 Hz reads back as %s" % marks)


def test_controls_a_node_publishes(args):
    """PipeWire's own test source: no V4L2 node behind it, its pattern is a property it
    publishes, and its frames come in R, G, B order."""
    with PipeWire([("kc-spa", "Pattern Camera")]) as pw, Session(args.app) as s:
        frame = s.start(None, pw.env())
        top, x = frame.view_top + 50, frame.x
        bars = (x + 10, top + 10, x + 30, top + 100)  # the grey bar of SMPTE bars
        grey = lambda c: abs(c[0] - 191) < 20 and abs(c[1] - c[0]) < 8 and abs(c[2] - c[0]) < 8
        uitest.wait_until(lambda: s.geometry(frame.wid)[2] == 325 and
                          s.screenshot().share(bars, grey) > 0.95, 10, "no SMPTE bars")
        red = (x + 236, top + 10, x + 266, top + 100)  # red, not blue, sixth: bytes turned
        check(s.screenshot().share(red, lambda c: c[0] > 150 and c[2] < 60) > 0.95,
              "the colours are not in their places")
        check(option_menu_rows(frame)[0] == 3, "Frequency is not grayed without a control")

        popup = frame.open_menu(test_window.OPTION_MENU)
        item = popup.items(3)[0][test_window.FILTER_ITEM]
        dialog = uitest.Window(s, s.new_window(lambda: popup.click_row(item)))
        rows = dialog.items(inset=4, bottom=40)[0]
        check(len(rows) == 2, "the dialog shows %d controls, expected 2" % len(rows))
        s.click(dialog.x + dialog.width - 60, sum(rows[1]) // 2)  # the pattern's list
        time.sleep(0.5)
        s.key("Down", "Return")
        uitest.wait_until(lambda: s.screenshot().share(bars, uitest.is_dark) > 0.3, 5,
                          "choosing Snow did not reach the camera")
        s.answer("Capture Filter")


if __name__ == "__main__":
    if not all(shutil.which(p) for p in ("pipewire", "wireplumber", "dbus-run-session")) or \
            subprocess.run(["gst-inspect-1.0", "pipewiresrc"], capture_output=True).returncode:
        print("SKIP: no PipeWire (scripts/deps installs pipewire, wireplumber, "
              "gstreamer1.0-pipewire)")
        sys.exit(0)
    tests = [test_listed_previewed_and_remembered_across_restarts,
             test_recording_snapshot_and_a_camera_leaving,
             test_two_instances_preview_one_camera_and_cameras_coming_and_going,
             test_a_camera_behind_a_v4l2_node, test_controls_a_node_publishes]
    only = [t for t in tests if t.__name__ in os.environ.get("KOVRACAM_ONLY", t.__name__)]
    uitest.run(*only)
