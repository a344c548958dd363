"""The real window under Xvfb: the remembered camera under the banner, its power-line setting,
format and brightness through the menus and dialogs, stretching, and a start without a camera."""

import os, pathlib, struct

import uitest
from uitest import Session, Window, check, is_dark, luminance

OPTION_MENU, FILTER_ITEM, PIN_ITEM, FREQUENCY_ITEM = 2, 1, 2, 3
CAMERAS = ("id=one; name=First; formats=YUY2 320x240@30; pattern=red\n"
           "id=two; name=Second; formats=YUY2 640x480@30, YUY2 320x240@30; pattern=blue; "
           "powerline=50\n")


def is_blue(rgb):
    return rgb[2] > 180 and rgb[0] < 60 and rgb[1] < 60


def is_bluish(rgb):
    """A selected list row and the filled part of a slider's groove."""
    return rgb[2] > 150 and rgb[2] > rgb[0] + 60


def check_view(s, frame, source, width, height):
    """Waits for the blue video, width x height, at the view's left under the 50 rows of the
    banner; those must be res/banner.bmp stretched across the view."""
    x0, y0, x1, y1 = frame.x, frame.view_top + 50, frame.x + width, frame.view_top + 50 + height
    # Qt stretches the banner as ImageMagick's -sample does: pixel for pixel.
    bmp = uitest.picture("convert", os.path.join(source, "res", "banner.bmp"), "-sample",
                         "%dx50!" % frame.width, "-depth", "8", "ppm:-")
    seen = {"banner": "not looked at"}

    def probe():  # blue to the bottom-right corner, and not a pixel further up, right or down
        shot = s.screenshot()
        if not (shot.share((x0, y0, x1, y1), is_blue, 8) == 1 and is_blue(shot.at(x1 - 1, y1 - 1))
                and not any(is_blue(shot.at(*p)) for p in ((x0 + 40, y0 - 1), (x1, y0), (x0, y1)))):
            return None
        banner = shot.crop(frame.x, frame.view_top, frame.x + frame.width, frame.view_top + 50)
        bad = sum(abs(a - b) > 8 for a, b in zip(banner, bmp.pixels))
        seen["banner"] = "%d of %d banner values differ" % (bad, len(banner))
        return bad < 0.01 * len(banner)
    uitest.wait_until(probe, 15, lambda: "no blue video %dx%d under the banner, or %s" % (
        width, height, seen["banner"]))


def open_option_item(frame, index):
    popup = frame.open_menu(OPTION_MENU)
    row = popup.items(4)[0][index]
    return popup, Window(frame.session, frame.session.new_window(lambda: popup.click_row(row)))


def frequency_marks(frame):
    """The Frequency submenu's two rows and which carry a check mark: a grey box leads each row,
    with a dark mark in the chosen one's. The menus are left open."""
    popup, submenu = open_option_item(frame, FREQUENCY_ITEM)
    rows, shot = submenu.items(2)
    lead = [(submenu.x + 2, top - 4, submenu.x + 24, end + 4) for top, end in rows]
    boxed = [shot.share(box, lambda c: luminance(c) < 220, 1) > 0.05 for box in lead]
    check(all(boxed), "no boxes leading the Frequency rows: %s" % boxed)
    return popup, submenu, rows, [shot.share(box, is_dark, 1) > 0.02 for box in lead]


def brighten(s, frame, region):
    """Page Up on the filter dialog's first slider (Brightness) brightens `region` live, and
    closing the dialog keeps it."""
    before = s.screenshot().share(region, luminance, 2)
    dialog = open_option_item(frame, FILTER_ITEM)[1]
    rows, shot = dialog.items(predicate=is_bluish)  # the first slider's fill: Brightness
    middle = sum(rows[0]) // 2
    fill = shot.bands(dialog.x, middle, dialog.x + dialog.width, middle + 1, is_bluish,
                      vertical=False)[0]
    s.click(fill[1] + 4, middle)  # the handle: focus, no move
    s.key("Page_Up", "Page_Up", "Page_Up")
    brighter = lambda: s.screenshot().share(region, luminance, 2) > before + 20  # noqa: E731
    uitest.wait_until(brighter, 5, "Brightness up did not brighten the picture")
    s.answer("Capture Filter")  # its title, and Return closes it
    check(brighter(), "closing undid Brightness")


def test_remembered_camera_its_settings_and_the_stretched_view(args):
    with Session(args.app) as s:
        units = "virtual:two".encode("utf-16-le")  # the camera chosen last
        pathlib.Path(s.workdir, "HardWare.KRV").write_bytes(struct.pack("<I", 11) + units)
        frame = s.start(CAMERAS)
        check_view(s, frame, args.source, 640, 480)

        # The power-line setting: 50Hz from the camera, then 60Hz as chosen.
        for expected in ([True, False], [False, True]):
            popup, submenu, rows, marks = frequency_marks(frame)
            check(marks == expected, "check marks %s" % marks)
            submenu.click_row(rows[1])
            s.wait_unmapped(popup.wid)

        # The format dialog: the current format selected, the preview stopped behind it, and
        # the second format restarts the camera at its size, the window refitted.
        dialog = open_option_item(frame, PIN_ITEM)[1]
        rows, shot = dialog.items(2, inset=4, bottom=40)
        selected = [shot.share((dialog.x + 8, top, dialog.x + 100, end), is_bluish, 2) > 0.3
                    for top, end in rows]
        check(selected == [True, False], "selected format rows %s" % selected)
        check(shot.share((frame.x + 400, frame.view_top + 100, frame.x + 600,
                          frame.view_top + 400), is_blue) < 0.1, "the preview runs on")
        dialog.click_row(rows[1])
        s.key("Return")
        s.wait_unmapped(dialog.wid)
        uitest.wait_until(lambda: s.geometry(frame.wid)[2] == 325, 10, "window not refitted")

        # Dragged larger, the view stretches the banner and the video.
        s.xdotool("windowsize", frame.wid, "800", "600")
        uitest.wait_until(lambda: s.geometry(frame.wid)[2:] == (800, 600), 10, "not resized")
        frame.measure()
        height = frame.status_top - frame.view_top - 55
        check_view(s, frame, args.source, 795, height)

        # Brightness, on the lower half of the video.
        top = frame.view_top + 50 + height // 2
        brighten(s, frame, (frame.x, top, frame.x + 795, top + height // 2))


def test_no_usable_camera_shows_a_box_and_ends(args):
    # A server of its own for each start: nothing typed at one box can reach the next.
    for cameras, caption in ((None, "ERROR"),
                             ("id=mj; name=MJPEG Only; formats=MJPG 640x480@30\n", "Error")):
        with Session(args.app) as s:
            s.start(cameras, main=False)
            box = s.find_window(caption)
            check(not s.xdotool("search", "--onlyvisible", "--name", "^KOVRACAM$"),
                  "a KOVRACAM window is shown beside the %s box" % caption)
            uitest.answer_until_it_ends(s, box, caption)


if __name__ == "__main__":
    uitest.run(test_remembered_camera_its_settings_and_the_stretched_view,
               test_no_usable_camera_shows_a_box_and_ends)
