"""The camera's choice at start, its picture controls, its format and its power-line setting,
driven through the real window's menus and dialogs under Xvfb."""

import uitest
from uitest import Popup, Session, Window, check, is_blue, is_dark, is_red

OPTION_MENU = 2
OPTION_ITEMS = 4  # Preview, Video Capture filter, Video Capture Pin, Frequency
FILTER_ITEM, PIN_ITEM, FREQUENCY_ITEM = 1, 2, 3
BANNER = 50


def is_bluish(rgb):
    """The filled part of a slider's groove and a selected list row."""
    r, g, b = rgb
    return b > 150 and b > r + 60


def is_yellow(rgb):
    r, g, b = rgb
    return r > 180 and g > 180 and b < 80


def wait_for_video(session, frame, predicate, what, x_offset=10):
    """A screenshot on which the video's left part, under the banner, shows `what`."""
    def probe():
        shot = session.screenshot()
        top = frame.view_top + BANNER
        x = frame.x + x_offset
        return shot if shot.region_matches(x, top + 10, x + 60, top + 100, predicate) > 0.9 \
            else None
    return uitest.wait_until(probe, 15, "the video never showed %s" % what)


def video_rectangle(shot, frame, predicate, what):
    """(x, y, width, height) of the video relative to the view's top-left."""
    top, bottom = uitest.vertical_run(shot, frame.x + 40, frame.view_top, frame.status_top,
                                      predicate, what)
    left, right = uitest.horizontal_run(shot, (top + bottom) // 2, frame.x,
                                        frame.x + frame.width, predicate, what)
    return left - frame.x, top - frame.view_top, right - left, bottom - top


def settled_luminance(session, region, timeout=5):
    """Mean luminance of the region once two screenshots in a row agree on it."""
    last = [None]

    def probe():
        value = session.screenshot().mean_luminance(*region)
        steady = last[0] is not None and abs(value - last[0]) < 2
        last[0] = value
        return (value,) if steady else None
    return uitest.wait_until(probe, timeout, "the picture never settled", interval=0.3)[0]


def open_option_item(session, frame, index):
    """Clicks Option > the index-th item; returns the windows mapped just before the click."""
    popup = frame.open_menu(OPTION_MENU)
    rows, _ = popup.items(OPTION_ITEMS)
    before = session.mapped_windows()
    session.click(*popup.item_point(rows[index]))
    return popup, before


def open_frequency_submenu(session, frame):
    popup = frame.open_menu(OPTION_MENU)
    rows, _ = popup.items(OPTION_ITEMS)
    before = session.mapped_windows()
    session.click(*popup.item_point(rows[FREQUENCY_ITEM]))
    submenu = Popup(session, session.wait_new_window(before))
    items, shot = submenu.items(2)
    return popup, submenu, items, [submenu.check_mark_pixels(shot, row) for row in items]


def test_device_choice_file_selects_the_camera_at_start(args):
    s = Session(args.app)
    try:
        s.write_device_choice("virtual:two")
        frame = s.start_frame("id=one; name=First; formats=YUY2 320x240@30; pattern=red\n"
                              "id=two; name=Second; formats=YUY2 640x480@30; pattern=blue\n")
        check(frame.width == 645, "window %d wide: the remembered 640-wide camera is not shown" %
              frame.width)
        shot = wait_for_video(s, frame, is_blue, "blue")
        rect = video_rectangle(shot, frame, is_blue, "blue video")
        check(rect == (0, BANNER, 640, 480), "blue video at %d,%d size %dx%d, expected 0,50 "
              "640x480" % rect)

        # The Device menu agrees: the second camera carries the check mark.
        popup = frame.open_menu(1)
        rows, shot = popup.items(2)
        marks = [popup.check_mark_pixels(shot, row) for row in rows]
        check(marks[0] == 0 and marks[1] > 3, "Device menu check marks %s, expected only the "
              "second camera's" % marks)
        s.key("Escape")
        s.wait_unmapped(popup.wid)
    finally:
        s.close()


def slider_fill_end(shot, dialog):
    """(x, y) where the blue fill of the first slider's groove ends: the handle starts there."""
    x0, y0 = dialog.x, dialog.y
    bands = shot.bands(x0, y0, x0 + dialog.width, y0 + dialog.height, is_bluish)
    check(bands, "no slider groove in the filter dialog")
    middle = (bands[0][0] + bands[0][1]) // 2
    _, right = uitest.horizontal_run(shot, middle, x0, x0 + dialog.width, is_bluish,
                                     "slider groove")
    return right, middle


def open_filter_dialog(session, frame):
    open_option_item(session, frame, FILTER_ITEM)
    wid = session.find_window("Capture Filter", timeout=10)
    check(wid, "no dialog titled Capture Filter")
    dialog = Window(session, wid)
    check((dialog.x, dialog.y) == (frame.x, frame.view_top),
          "filter dialog at %d,%d, expected the view's corner %d,%d" % (
              dialog.x, dialog.y, frame.x, frame.view_top))
    def painted():
        shot = session.screenshot()
        return shot if shot.bands(dialog.x, dialog.y, dialog.x + dialog.width,
                                  dialog.y + dialog.height, is_bluish) else None
    return dialog, uitest.wait_until(painted, 5, "the filter dialog was never painted")


def test_filter_dialog_brightness_changes_the_picture(args):
    s = Session(args.app)
    try:
        frame = s.start_frame("id=bars; name=Bars; formats=YUY2 640x480@30; pattern=smpte\n")
        wait_for_video(s, frame, is_yellow, "the yellow bar", x_offset=110)
        # The lower half of the video: the dialog, in the view's corner, leaves it in sight.
        region = (frame.x, frame.view_top + BANNER + 240, frame.x + 640,
                  frame.view_top + BANNER + 480)
        before = settled_luminance(s, region)

        dialog, shot = open_filter_dialog(s, frame)
        check(dialog.y + dialog.height < region[1], "the filter dialog covers the measured rows")
        fill_end, middle = slider_fill_end(shot, dialog)
        # Click the handle itself (focus, no move), then three pages up: +60 of -100..100.
        s.click(fill_end + 4, middle)
        s.key("Page_Up", "Page_Up", "Page_Up")
        uitest.wait_until(lambda: s.screenshot().mean_luminance(*region) > before + 20, 5,
                          "Brightness up did not brighten the picture (mean luminance %.1f)" %
                          before)
        brighter = settled_luminance(s, region)

        # Return presses Close; the value set stays in force.
        s.key("Return")
        s.wait_unmapped(dialog.wid)
        after_close = settled_luminance(s, region)
        check(abs(after_close - brighter) < 5, "closing the dialog changed the picture: mean "
              "luminance %.1f, was %.1f" % (after_close, brighter))

        # Opened again, the dialog shows the raised value: the handle sits further right.
        dialog, shot = open_filter_dialog(s, frame)
        fill_end_again, _ = slider_fill_end(shot, dialog)
        check(fill_end_again > fill_end + 20, "the reopened slider does not show the new value "
              "(handle at %d, was %d)" % (fill_end_again, fill_end))

        # Default puts the picture back as it was.
        s.click(*default_button_point(shot, dialog))
        uitest.wait_until(
            lambda: abs(s.screenshot().mean_luminance(*region) - before) < 5, 5,
            "Default did not restore the picture's brightness")
        s.key("Escape")
        s.wait_unmapped(dialog.wid)
    finally:
        s.close()


def default_button_point(shot, dialog):
    """Centre of the label of the first button in the dialog's bottom row, which is Default."""
    bottom = dialog.y + dialog.height
    # The default button's frame is dark too: join it with the labels into one band.
    rows = uitest.merge_runs(shot.bands(dialog.x + 2, bottom - 45, dialog.x + dialog.width - 2,
                                        bottom - 2, is_dark), 4)
    check(rows, "no buttons at the bottom of the filter dialog")
    top, end = rows[-1]
    words = uitest.merge_runs(shot.bands(dialog.x + 2, top, dialog.x + dialog.width - 2, end,
                                         is_dark, vertical=False), 12)
    check(len(words) >= 2, "expected Default and Close at the bottom of the filter dialog")
    return (words[0][0] + words[0][1]) // 2, (top + end) // 2


def test_format_dialog_switches_to_320x240(args):
    s = Session(args.app)
    try:
        frame = s.start_frame("id=a; name=Cam A; formats=YUY2 640x480@30, YUY2 320x240@30; "
                              "pattern=red\n")
        wait_for_video(s, frame, is_red, "red")
        _, before = open_option_item(s, frame, PIN_ITEM)
        dialog = Window(s, s.wait_new_window(before))
        check((dialog.x, dialog.y) == (frame.x + 30, frame.view_top + 30),
              "format dialog at %d,%d, expected 30,30 from the view's corner %d,%d" % (
                  dialog.x, dialog.y, frame.x, frame.view_top))
        check(s.wm_name(dialog.wid) == "", "the format dialog is titled %r" %
              s.wm_name(dialog.wid))

        def list_rows():
            shot = s.screenshot()
            rows = shot.bands(dialog.x + 4, dialog.y + 4, dialog.x + dialog.width - 4,
                              dialog.y + dialog.height - 40, is_dark)
            return (rows, shot) if len(rows) == 2 else None
        rows, shot = uitest.wait_until(list_rows, 5, "the format list does not show two rows")
        selected = [shot.region_matches(dialog.x + 8, top, dialog.x + 100, bottom, is_bluish, 2)
                    for top, bottom in rows]
        check(selected[0] > 0.3 and selected[1] < 0.05,
              "the current format (first row) is not the selected one: %s" % selected)
        # The preview stops while the dialog is open.
        check(shot.region_matches(frame.x + 400, frame.view_top + 100, frame.x + 600,
                                  frame.view_top + 400, is_red) < 0.1,
              "the video still runs behind the format dialog")

        s.click(dialog.x + 60, (rows[1][0] + rows[1][1]) // 2)
        uitest.wait_until(
            lambda: s.screenshot().region_matches(dialog.x + 8, rows[1][0], dialog.x + 100,
                                                  rows[1][1], is_bluish, 2) > 0.3,
            5, "clicking the 320 x 240 row did not select it")
        s.key("Return")
        s.wait_unmapped(dialog.wid)

        uitest.wait_until(lambda: s.geometry(frame.wid)[2] == 325, 10,
                          lambda: "window %d wide after choosing 320 x 240, expected 325" %
                          s.geometry(frame.wid)[2])
        frame.measure()
        shot = wait_for_video(s, frame, is_red, "red at 320 x 240")
        rect = video_rectangle(shot, frame, is_red, "red video")
        check(rect == (0, BANNER, 320, 240), "red video at %d,%d size %dx%d, expected 0,50 "
              "320x240" % rect)
        view_height = frame.status_top - frame.view_top
        check(view_height == BANNER + 240 + 5, "view %d high, expected 50 + 240 + 5" %
              view_height)
    finally:
        s.close()


def test_frequency_menu_sets_and_shows_the_power_line(args):
    s = Session(args.app)
    try:
        frame = s.start_frame("id=a; name=Cam A; formats=YUY2 640x480@30; pattern=red; "
                              "powerline=50\n")
        wait_for_video(s, frame, is_red, "red")
        popup, submenu, items, marks = open_frequency_submenu(s, frame)
        check(marks[0] > 3 and marks[1] == 0,
              "at start the check marks are %s, expected 50Hz only" % marks)
        s.click(*submenu.item_point(items[1]))
        s.wait_unmapped(submenu.wid)
        s.wait_unmapped(popup.wid)

        popup, submenu, items, marks = open_frequency_submenu(s, frame)
        check(marks[1] > 3 and marks[0] == 0,
              "after choosing 60Hz the check marks are %s, expected 60Hz only" % marks)
        s.key("Escape", "Escape")
        s.wait_unmapped(popup.wid)
    finally:
        s.close()


if __name__ == "__main__":
    uitest.run([
        test_device_choice_file_selects_the_camera_at_start,
        test_filter_dialog_brightness_changes_the_picture,
        test_format_dialog_switches_to_320x240,
        test_frequency_menu_sets_and_shows_the_power_line,
    ])
