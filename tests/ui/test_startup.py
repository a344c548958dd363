"""Start-up, layout and shutdown of the real window under Xvfb."""

import os
import struct
import time

import uitest
from uitest import Session, check, is_red

RED_CAMERA = "id=red; name=Red Camera; formats=YUY2 640x480@30; pattern=red\n"


def load_bmp(path):
    """(width, height, rows) of a 24-bit bottom-up BMP; rows[y][x] = (r, g, b), top row first."""
    with open(path, "rb") as f:
        data = f.read()
    offset = struct.unpack_from("<I", data, 10)[0]
    width, height = struct.unpack_from("<ii", data, 18)
    stride = (width * 3 + 3) & ~3
    rows = []
    for y in range(height):
        base = offset + (height - 1 - y) * stride
        rows.append([(data[base + 3 * x + 2], data[base + 3 * x + 1], data[base + 3 * x])
                     for x in range(width)])
    return width, height, rows


def red_rectangle(shot, x, y_from, y_to):
    return uitest.vertical_run(shot, x, y_from, y_to, is_red, "red video")


def red_width(shot, y, x_from, x_to):
    return uitest.horizontal_run(shot, y, x_from, x_to, is_red, "red video")


def wait_for_red(session, wid, timeout=10):
    deadline = time.time() + timeout
    while time.time() < deadline:
        x, y, w, h = session.geometry(wid)
        shot = session.screenshot()
        if shot.region_matches(x + 10, y + 100, x + 200, y + 300, is_red) > 0.9:
            return shot
        time.sleep(0.2)
    raise uitest.Failure("the red video never appeared")


def banner_matches(shot, x0, y0, view_width, banner):
    bw, bh, rows = banner
    mismatches = 0
    samples = 0
    for y in range(0, 50, 3):
        for x in range(0, view_width, 7):
            got = shot.at(x0 + x, y0 + y)
            sy = y * bh // 50
            sx = x * bw // view_width
            near = [rows[sy][min(max(sx + d, 0), bw - 1)] for d in (-1, 0, 1)]
            samples += 1
            if not any(all(abs(a - b) <= 8 for a, b in zip(got, want)) for want in near):
                mismatches += 1
    return mismatches / samples


def test_red_camera_fills_640x480_under_the_banner(args):
    s = Session(args.app)
    try:
        s.start(s.write_cameras(RED_CAMERA))
        wid = s.find_window("KOVRACAM")
        check(wid, "no window titled KOVRACAM")
        wx, wy, ww, wh = s.geometry(wid)
        check(ww == 645, "window client width %d, expected 640 + 5" % ww)
        shot = wait_for_red(s, wid)
        top, bottom = red_rectangle(shot, wx + 320, wy, wy + wh)
        left, right = red_width(shot, top + 240, wx, wx + ww)
        check((left - wx, right - left, bottom - top) == (0, 640, 480),
              "video at x=%d size %dx%d, expected x=0 640x480" % (left - wx, right - left,
                                                                  bottom - top))
        banner = load_bmp(os.path.join(args.source, "res", "banner.bmp"))
        bad = banner_matches(shot, wx, top - 50, ww, banner)
        check(bad < 0.02, "the 50 rows above the video are not the banner (%.0f%% differ)" %
              (bad * 100))
        menu_height = top - 50 - wy
        status_height = wh - menu_height - 535
        check(menu_height > 10 and status_height > 10,
              "menu bar %d px, status bar %d px" % (menu_height, status_height))

        # Dragging the window larger stretches the video as the frame lays it out.
        s.xdotool("windowsize", wid, "800", "600")
        time.sleep(1.0)
        wx, wy, ww, wh = s.geometry(wid)
        check((ww, wh) == (800, 600), "window is %dx%d after resizing" % (ww, wh))
        shot = s.screenshot()
        top2, bottom2 = red_rectangle(shot, wx + 400, wy, wy + wh)
        left2, right2 = red_width(shot, top2 + 100, wx, wx + ww)
        expected_height = 600 - menu_height - status_height - 55
        check((top2, right2 - left2, bottom2 - top2) == (top, 795, expected_height),
              "stretched video %dx%d at y=%d, expected 795x%d at y=%d" % (
                  right2 - left2, bottom2 - top2, top2 - wy, expected_height, top - wy))
        bad = banner_matches(shot, wx, top2 - 50, ww, banner)
        check(bad < 0.02, "banner not stretched to 800 pixels (%.0f%% differ)" % (bad * 100))

        # File > Exit, with the mouse.
        s.click(wx + 20, wy + menu_height // 2)
        time.sleep(0.5)
        s.click(wx + 30, wy + menu_height + 12)
        code = s.wait_exit()
        check(code == 0, "exit code %r after File > Exit" % code)
        err = s.stderr_text()
        check("WARN" not in err and "CRITICAL" not in err, "warnings at exit: %s" % err)
    finally:
        s.close()


def test_two_cameras_preview_the_first(args):
    s = Session(args.app)
    try:
        s.start(s.write_cameras(
            "id=one; name=First; formats=YUY2 320x240@30; pattern=red\n"
            "id=two; name=Second; formats=YUY2 640x480@30; pattern=blue\n"))
        wid = s.find_window("KOVRACAM")
        check(wid, "no window")
        wx, wy, ww, wh = s.geometry(wid)
        check(ww == 325, "window width %d: the first (320 wide) camera is not the one shown" % ww)
        shot = wait_for_red(s, wid)
        check(shot is not None, "first camera not red")
    finally:
        s.close()


def watch_for_box(session, caption, forbidden="KOVRACAM", timeout=20):
    """Waits for a box titled `caption` while checking that no `forbidden` window is ever mapped."""
    deadline = time.time() + timeout
    while time.time() < deadline:
        check(not session.xdotool("search", "--onlyvisible", "--name", "^%s$" % forbidden),
              "a %s window was shown" % forbidden)
        box = session.xdotool("search", "--onlyvisible", "--name", "^%s$" % caption)
        if box:
            return box.split()[0]
        check(session.proc.poll() is None, "the app ended without showing %s" % caption)
        time.sleep(0.05)
    raise uitest.Failure("no box titled %s" % caption)


def dismiss_and_expect_exit(session, box):
    session.xdotool("windowactivate", "--sync", box)
    session.xdotool("key", "--window", box, "Return")
    code = session.wait_exit()
    check(code is not None, "the app did not end after the box")
    check(not session.xdotool("search", "--name", "^KOVRACAM$"), "a KOVRACAM window exists")
    return code


def test_mjpg_only_camera_says_type_not_supported(args):
    s = Session(args.app)
    try:
        s.start(s.write_cameras("id=mj; name=MJPEG Only; formats=MJPG 640x480@30\n"))
        box = watch_for_box(s, "Error")
        code = dismiss_and_expect_exit(s, box)
        check(code != 0, "exit code 0 after a failed start")
    finally:
        s.close()


def test_no_camera_file_says_cant_find_camera(args):
    s = Session(args.app)
    try:
        s.start(None)
        box = watch_for_box(s, "ERROR")
        code = dismiss_and_expect_exit(s, box)
        check(code != 0, "exit code 0 without a camera")
    finally:
        s.close()


if __name__ == "__main__":
    uitest.run([
        test_red_camera_fills_640x480_under_the_banner,
        test_two_cameras_preview_the_first,
        test_mjpg_only_camera_says_type_not_supported,
        test_no_camera_file_says_cant_find_camera,
    ])
