"""Cameras through a real PipeWire daemon and WirePlumber (uitest.PipeWire), read by the window."""

import os, pathlib, shutil, struct, subprocess, sys, time

import test_real_path, test_recording, test_window, uitest
is_red = lambda rgb: rgb[0] > 150 and rgb[1] < 60 and rgb[2] < 60  # noqa: E731
from uitest import PipeWire, Session, check

BLUE = ("kc-cam-a", "Desk Camera", "format=YUY2,width=320,height=240,framerate=30/1", "blue")
RED = ("kc-cam-b", "Wide \"RGB\" Camera", "format=RGB,width=640,height=480,framerate=30/1", "red")
# The same names and rates as virtual cameras: what the window must look like.
VIRTUAL = ("id=a; name=Desk Camera; formats=YUY2 320x240@30; powerline=none\n"
           "id=b; name=Wide \"RGB\" Camera; formats=RGB24 640x480@30\n")


def shows(s, frame, colour, width, what):  # the video that colour, the frame fitted to it
    top = frame.view_top + 50
    uitest.wait_until(lambda: s.geometry(frame.wid)[2] == width + 5 and s.screenshot().share(
        (frame.x + 10, top + 10, frame.x + width - 10, top + 100), colour) > 0.95, 15,
        lambda: "%s: no %d wide picture: %s" % (what, width, s.stderr_text()))


def menu_ink(frame, key):
    """The ink of the items (none for grayed ones) of the menu `key` opens (a click where the
    pointer already is makes xdotool wait), closed again."""
    popup = uitest.Window(frame.session, frame.choose(key))
    rows, shot = popup.items()
    frame.session.key("Escape")
    frame.session.wait_unmapped(popup.wid)
    return [shot.ink(popup.x + 2, top, popup.x + popup.width - 2, end) for top, end in rows]


def test_listed_previewed_and_remembered_across_restarts(args):
    with PipeWire() as pw, Session(args.app) as s:
        frame = s.start(VIRTUAL)
        expected = menu_ink(frame, "alt+d")
        rate = test_real_path.pane_inks(frame)
        options = menu_ink(frame, "alt+o")  # no power-line control: Frequency grayed
        s.stop()

        pw.add_camera(*BLUE)
        pw.add_camera(*RED)
        frame = s.start(None, pw.env())
        check(menu_ink(frame, "alt+d") == expected, "the Device menu lists other names")
        test_window.check_view(s, frame, args.source, 320, 240)
        if not test_real_path.sanitized(args.app):
            uitest.wait_until(lambda: frame.status_ink() in rate, 10, "no Frame Rate 30.0")
        check(menu_ink(frame, "alt+o") == options and len(options) == 3,
              "Frequency is not grayed without a control")

        frame.choose("alt+d", "Down", "Return")
        shows(s, frame, is_red, 640, "the RGB camera")
        krv = pathlib.Path(s.workdir, "HardWare.KRV").read_bytes()
        check(krv[4:].decode("utf-16-le") == "pipewire:kc-cam-b", "HardWare.KRV holds %r" % krv)

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
        uitest.wait_until(lambda: shot.exists() and shot.stat().st_size > 1000, 5, "no snapshot")
        test_recording.check_bars(uitest.picture("convert", shot, "-depth", "8", "ppm:-"), "shot")

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


def test_two_instances_preview_one_camera_and_cameras_coming_and_going(args):
    with PipeWire() as pw, Session(args.app) as one, Session(args.app) as two:
        pw.add_camera(*BLUE)
        frames = [one.start(None, pw.env()), two.start(None, pw.env())]
        for s, frame in 2 * list(zip((one, two), frames)):  # both live, and a second later too
            test_window.check_view(s, frame, args.source, 320, 240)
            time.sleep(0.5)
        # The Device menu shows what the daemon offers each time it opens.
        pw.add_camera(*RED)
        check(len(menu_ink(frames[0], "alt+d")) == 2, "a camera that came is not listed")
        pw.remove_camera(RED[0])
        check(len(menu_ink(frames[0], "alt+d")) == 1, "a camera that left is still listed")
        test_window.check_view(one, frames[0], args.source, 320, 240)


def test_a_camera_behind_a_v4l2_node(args):
    """A node naming the simulated V4L2 camera its own: listed once, found by its V4L2 name."""
    with PipeWire() as pw, Session(args.app) as s:
        pw.add_camera("v4l2_input.kovra-sim", "KOVRA Sim Camera",
                      "format=YUY2,width=640,height=480,framerate=30/1", "blue",
                      ",api.v4l2.path=/dev/video0,device.api=v4l2")
        pw.add_camera(*RED)
        name = "/dev/v4l/by-id/usb-KOVRA_Sim_Camera_SIM0001-video-index0".encode("utf-16-le")
        pathlib.Path(s.workdir, "HardWare.KRV").write_bytes(struct.pack("<I", 56) + name)
        env = dict(pw.env(), **test_real_path.simulated(args.app, s.workdir,
                                                         test_real_path.PREVIEW + "; busy=stream"))
        frame = s.start(None, env)
        shows(s, frame, test_window.is_blue, 640, "the remembered V4L2 camera")
        check(len(menu_ink(frame, "alt+d")) == 2, "the V4L2 node is listed beside PipeWire's")
        popup, submenu, rows, marks = test_window.frequency_marks(frame)
        check(marks == [True, False], "the V4L2 node's 50 Hz reads back as %s" % marks)


def test_controls_a_node_publishes(args):
    """PipeWire's test source: no V4L2 node, its pattern a property, its frames R, G, B."""
    with PipeWire([("kc-spa", "Pattern Camera")]) as pw, Session(args.app) as s:
        frame = s.start(None, pw.env())
        top, x = frame.view_top + 50, frame.x
        bars = (x + 10, top + 10, x + 30, top + 100)  # the grey bar of SMPTE bars
        grey = lambda c: abs(c[0] - 191) < 20 and abs(c[1] - c[0]) < 8 and abs(c[2] - c[0]) < 8
        uitest.wait_until(lambda: s.geometry(frame.wid)[2] == 325 and
                          s.screenshot().share(bars, grey) > 0.95, 10, "no SMPTE bars")
        red = (x + 236, top + 10, x + 266, top + 100)  # red, not blue, sixth: bytes turned
        check(s.screenshot().share(red, is_red) > 0.95, "the colours are not in their places")
        check(len(menu_ink(frame, "alt+o")) == 3, "Frequency is not grayed without a control")

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
        sys.exit(print("SKIP: no PipeWire (scripts/deps installs it)"))
    uitest.run(test_listed_previewed_and_remembered_across_restarts,
               test_recording_snapshot_and_a_camera_leaving,
               test_two_instances_preview_one_camera_and_cameras_coming_and_going,
               test_a_camera_behind_a_v4l2_node, test_controls_a_node_publishes)
