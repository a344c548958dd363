"""The real window under Xvfb: the remembered camera under the banner, its power-line setting,
format and brightness through the menus and dialogs, stretching, and a start without a camera."""

import os
import struct

import uitest
from uitest import Session, Window, check, is_blue, is_dark, luminance

OPTION_MENU, FILTER_ITEM, PIN_ITEM, FREQUENCY_ITEM = 2, 1, 2, 3
CAMERAS = ("id=one; name=First; formats=YUY2 320x240@30; pattern=red\n"
           "id=two; name=Second; formats=YUY2 640x480@30, YUY2 320x240@30; pattern=blue; "
           "powerline=50\n")


def is_bluish(rgb):
    """A selected list row and the filled part of a slider's groove."""
    return rgb[2] > 150 and rgb[2] > rgb[0] + 60


def expect_video(s, frame, expected):
    """Waits for the blue video at (x, y, width, height) from the view's top-left."""
    seen = {}

    def probe():
        shot = s.screenshot()
        rows = shot.bands(frame.x + 40, frame.view_top, frame.x + 41, frame.status_top, is_blue)
        if rows:
            top, end = rows[0]
            mid = (top + end) // 2
            left, right = shot.bands(frame.x, mid, frame.x + frame.width, mid + 1, is_blue,
                                     vertical=False)[0]
            seen["rect"] = (left - frame.x, top - frame.view_top, right - left, end - top)
        return shot if seen.get("rect") == expected else None
    return uitest.wait_until(probe, 15, lambda: "blue video at %s, expected %s" % (
        seen.get("rect"), expected))


def check_banner(shot, frame, source):
    """The 50 rows above the video are res/banner.bmp stretched across the view."""
    with open(os.path.join(source, "res", "banner.bmp"), "rb") as f:
        data = f.read()
    offset, (width, height) = struct.unpack_from("<I", data, 10)[0], struct.unpack_from(
        "<ii", data, 18)
    stride, bad, samples = (width * 3 + 3) & ~3, 0, 0
    for y in range(0, 50, 3):
        for x in range(0, frame.width, 7):
            got = shot.at(frame.x + x, frame.view_top + y)
            row = offset + (height - 1 - y * height // 50) * stride
            near = [min(max(x * width // frame.width + d, 0), width - 1) for d in (-1, 0, 1)]
            samples += 1
            bad += not any(all(abs(got[c] - data[row + 3 * n + 2 - c]) <= 8 for c in range(3))
                           for n in near)
    check(bad < 0.02 * samples, "%d of %d banner pixels differ" % (bad, samples))


def open_option_item(s, frame, index):
    popup = frame.open_menu(OPTION_MENU)
    rows, _ = popup.items(4)
    before = s.mapped()
    popup.click_row(rows[index])
    return popup, s.wait_new_window(before)


def frequency_marks(s, frame):
    """Dark pixels in the check box leading the 50Hz and 60Hz rows: none unless checked."""
    popup, submenu = open_option_item(s, frame, FREQUENCY_ITEM)
    submenu = Window(s, submenu)
    rows, shot = submenu.items(2)
    marks = []
    for top, end in rows:
        left, right = shot.bands(submenu.x + 2, top - 4, submenu.x + submenu.width - 2, end + 4,
                                 lambda c: luminance(c) < 220, vertical=False, gap=3)[0]
        check(8 <= right - left <= 24, "no check box in the menu row at y=%d" % top)
        marks.append(sum(is_dark(shot.at(x, y)) for y in range(top - 4, end + 4)
                         for x in range(left + 1, right - 1)) > 3)
    return popup, submenu, rows, marks


def filter_dialog_slider(s, frame):
    """The filter dialog and where the blue fill of its first slider (Brightness) ends."""
    dialog = Window(s, open_option_item(s, frame, FILTER_ITEM)[1])
    check(s.xdotool("getwindowname", dialog.wid) == "Capture Filter", "not the filter dialog")
    rows, shot = uitest.wait_until(lambda: (lambda shot: (dialog.rows(
        shot, is_bluish), shot))(s.screenshot()), 5, "no slider in the filter dialog")
    middle = sum(rows[0]) // 2
    groove = shot.bands(dialog.x, middle, dialog.x + dialog.width, middle + 1, is_bluish,
                        vertical=False)
    return dialog, groove[0][1], middle


def test_remembered_camera_its_settings_and_the_stretched_view(args):
    s = Session(args.app)
    try:
        units = "virtual:two".encode("utf-16-le")
        with open(os.path.join(s.workdir, "HardWare.KRV"), "wb") as f:
            f.write(struct.pack("<I", len(units) // 2) + units)
        frame = s.start_frame(CAMERAS)
        check(frame.width == 645, "window %d wide, not the remembered camera's" % frame.width)
        check_banner(expect_video(s, frame, (0, 50, 640, 480)), frame, args.source)

        # The power-line setting: 50Hz from the camera, then 60Hz as chosen.
        for expected in ([True, False], [False, True]):
            popup, submenu, rows, marks = frequency_marks(s, frame)
            check(marks == expected, "frequency check marks %s, expected %s" % (marks, expected))
            submenu.click_row(rows[1])
            s.wait_unmapped(popup.wid)

        # The format dialog: the current format selected, the preview stopped behind it, and
        # the second format restarts the camera at its size, the window refitted.
        dialog = Window(s, open_option_item(s, frame, PIN_ITEM)[1])
        rows, shot = uitest.wait_until(
            lambda: (lambda shot: len(dialog.rows(shot, inset=4, bottom=40)) == 2 and (
                dialog.rows(shot, inset=4, bottom=40), shot))(s.screenshot()), 5,
            "the format list does not show two rows")
        selected = [shot.share((dialog.x + 8, top, dialog.x + 100, end), is_bluish, 2) > 0.3
                    for top, end in rows]
        check(selected == [True, False], "selected format rows %s" % selected)
        check(shot.share((frame.x + 400, frame.view_top + 100, frame.x + 600,
                          frame.view_top + 400), is_blue) < 0.1, "the preview runs on")
        dialog.click_row(rows[1])
        s.key("Return")
        s.wait_unmapped(dialog.wid)
        uitest.wait_until(lambda: s.geometry(frame.wid)[2] == 325, 10, "window not refitted")
        frame.measure()
        expect_video(s, frame, (0, 50, 320, 240))
        check(frame.status_top - frame.view_top == 295, "view not 50 + 240 + 5 high")

        # Dragged larger, the view stretches the banner and the video.
        s.xdotool("windowsize", frame.wid, "800", "600")
        uitest.wait_until(lambda: s.geometry(frame.wid)[2:] == (800, 600), 10, "not resized")
        frame.measure()
        video_height = frame.status_top - frame.view_top - 55
        check_banner(expect_video(s, frame, (0, 50, 795, video_height)), frame, args.source)

        # Brightness: Page Up on the slider brightens the picture live, closing keeps it, and
        # the dialog opened again shows the new value.
        region = (frame.x, frame.view_top + 50 + video_height // 2, frame.x + 795,
                  frame.view_top + 50 + video_height)
        before = s.screenshot().mean_luminance(region)
        dialog, fill_end, middle = filter_dialog_slider(s, frame)
        check(dialog.y + dialog.height < region[1], "the filter dialog covers the picture")
        s.click(fill_end + 4, middle)  # the handle: focus, no move
        s.key("Page_Up", "Page_Up", "Page_Up")
        uitest.wait_until(lambda: s.screenshot().mean_luminance(region) > before + 20, 5,
                          "Brightness up did not brighten the picture")
        s.key("Return")
        s.wait_unmapped(dialog.wid)
        check(s.screenshot().mean_luminance(region) > before + 20, "closing undid Brightness")
        dialog, fill_end_again, _ = filter_dialog_slider(s, frame)
        check(fill_end_again > fill_end + 20, "the reopened slider does not show the new value")
        s.key("Escape")
        s.wait_unmapped(dialog.wid)
    finally:
        s.close()


def test_no_usable_camera_shows_a_box_and_ends(args):
    s = Session(args.app)
    try:
        for cameras, caption in ((None, "ERROR"),
                                 ("id=mj; name=MJPEG Only; formats=MJPG 640x480@30\n", "Error")):
            s.start(cameras)

            def probe():
                check(not s.xdotool("search", "--onlyvisible", "--name", "^KOVRACAM$"),
                      "a KOVRACAM window was shown")
                check(s.proc.poll() is None, "the app ended without a box titled " + caption)
                return s.xdotool("search", "--onlyvisible", "--name", "^%s$" % caption).split()
            box = uitest.wait_until(probe, 20, "no box titled " + caption, 0.05)[0]

            def dismissed():  # a box only just mapped may miss the first key
                s.xdotool("windowactivate", "--sync", box)
                s.xdotool("key", "--window", box, "Return")
                return s.wait_exit(2) is not None
            uitest.wait_until(dismissed, 20, "the app did not end after the %s box" % caption)
            check(s.proc.returncode != 0, "exit code 0 after the %s box" % caption)
    finally:
        s.close()


if __name__ == "__main__":
    uitest.run([test_remembered_camera_its_settings_and_the_stretched_view,
                test_no_usable_camera_shows_a_box_and_ends])
