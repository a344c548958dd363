"""The Windows build's real window under Wine in Xvfb: the title, menu bar and status-bar texts
(compared with a reference program's drawing of the texts expected), the About box, the banner
and the camera picture under it, the Device menu and the remembered camera, Preview off and on,
the start-up error boxes, and the exit status."""

import os, pathlib, shutil, struct, subprocess, tempfile, time

import uitest
from test_recording import check_bars, check_complete, probe
from uitest import WinePrefix, WineSession, check, luminance

DEVICE_MENU = 1
TITLES = ("&File", "&Device", "&Option", "&Captue", "&Help")
GERMAN = ("&Datei", "&Gerät", "&Optionen", "&Aufnahme", "&Hilfe")
ABOUT = ("About KORVACAM", "KORVACAM Version 20081229", "Copyright (C) 2008", "OK")
CAMERAS = ("id=one; name=First; formats=YUY2 320x240@30; pattern=red\n"
           "id=two; name=Second; formats=YUY2 640x480@7.5; pattern=blue\n")
PREFIX = None  # the run's Wine prefix


def is_red(rgb):
    return rgb[0] > 180 and rgb[1] < 60 and rgb[2] < 60


def reference(s, args, pane_text, titles=TITLES):
    """The menu titles' ink and the status bar's ink as the reference program draws them."""
    started = time.time()
    s.proc = s.run_windows(os.path.abspath(args.reference), pane_text, *titles)
    frame = uitest.Frame(s, s.find_window("REFERENCE", WineSession.start_timeout))
    print("  the reference window showed %.1f s after its start" % (time.time() - started))
    titles, status = title_ink(frame), frame.status_ink()
    s.stop()
    s.wait_unmapped(frame.wid)
    return titles, status


def title_ink(frame):
    shot = frame.session.screenshot()
    return [shot.ink(x0, frame.y + 1, x1, frame.view_top - 2) for x0, x1 in frame.titles(shot)]


def video_box(s, frame, predicate):
    """(x0, y0, x1, y1) of the picture's pixels in the view, from the first screenshot showing
    one: scanned along the column a few pixels into the video and the row under the banner."""
    def probe():
        shot = s.screenshot()
        top = frame.view_top + 50
        column = next((x for x in range(frame.x, frame.x + 20) if predicate(
            shot.at(x, top + 8))), None)
        if column is None:
            return None
        rows = shot.bands(column + 4, top - 8, column + 5, frame.status_top, predicate)
        cols = shot.bands(frame.x, rows[0][0] + 4, frame.x + frame.width, rows[0][0] + 5,
                          predicate, vertical=False)
        return rows and cols and (cols[0][0], rows[0][0], cols[0][1], rows[0][1])
    return uitest.wait_until(probe, 20, "no camera picture under the banner")


def check_picture(s, frame, source, predicate, width, height):
    """The camera's picture, width x height, right under the banner, which is res/banner.bmp
    stretched across the view."""
    box = video_box(s, frame, predicate)
    check(box[2] - box[0] == width and box[3] - box[1] == height,
          "picture %dx%d, expected %dx%d" % (box[2] - box[0], box[3] - box[1], width, height))
    left, top = box[0], box[1] - 50  # the view's client starts at the banner
    check(0 <= left - frame.x <= 4 and 0 <= top - frame.view_top <= 4,
          "picture at (%d, %d) of the frame" % (left - frame.x, box[1] - frame.view_top))
    client_right = frame.x + frame.width - (left - frame.x)
    bad = banner_faults(s.screenshot(), left, top, client_right - left, source)
    check(bad < 0.01 * (client_right - left) * 50, "%d banner pixels differ" % bad)


def banner_faults(shot, left, top, width, source):
    """Pixels of the strip at (left, top), width x 50, that are no pixel of res/banner.bmp from
    the source columns the screen column covers: a stretch without smoothing, whatever phase
    the platform's sampling takes."""
    bmp = uitest.picture("convert", os.path.join(source, "res", "banner.bmp"), "-depth", "8",
                         "ppm:-")
    near = lambda a, b: all(abs(p - q) <= 8 for p, q in zip(a, b))  # noqa: E731
    bad = 0
    for x in range(width):
        first, last = x * bmp.width // width, min(bmp.width - 1, ((x + 1) * bmp.width) // width)
        for y in range(50):
            seen = shot.at(left + x, top + y)
            bad += not any(near(seen, bmp.at(column, y)) for column in range(first, last + 1))
    return bad


def expect_status(frame, ink, text, timeout=15):
    uitest.wait_until(lambda: frame.status_ink() == ink, timeout,
                      "the status bar never showed %s" % text)


def device_marks(popup):
    """Which of the Device popup's two rows carry a check mark, dark left of the text."""
    rows, shot = popup.items(2)
    return [shot.share((popup.x + 2, top - 2, popup.x + 16, end + 2), uitest.is_dark, 1) > 0.05
            for top, end in rows]


def krv_bytes(display_name):
    units = display_name.encode("utf-16-le")
    return struct.pack("<I", len(units) // 2) + units


def choose_camera(s, frame, row, display_name, popup=None):
    """The Device menu's camera on `row` chosen: HardWare.KRV names it (its path given)."""
    popup = popup or frame.open_menu(DEVICE_MENU)
    popup.click_row(popup.items(2)[0][row])
    krv = pathlib.Path(s.workdir, "HardWare.KRV")
    uitest.wait_until(lambda: krv.exists() and krv.read_bytes() == krv_bytes(display_name), 10,
                      "HardWare.KRV does not name %s" % display_name)
    return krv


def start(s, args, cameras=CAMERAS, env=None):
    """The app's frame, and the reference's ink: titles, then the pane at 30.0 and at 7.5."""
    titles, rate30 = reference(s, args, "Frame Rate 30.0")
    rate75 = reference(s, args, "Frame Rate 7.5")[1]
    started = time.time()
    frame = s.start(cameras, env or {})
    print("  the window showed %.1f s after the start" % (time.time() - started))
    return frame, titles, rate30, rate75


def test_title_menu_bar_rate_and_exit(args):
    with WineSession(args.app, PREFIX) as s:
        s.proc = s.run_windows(os.path.abspath(args.reference), "--about", *ABOUT)
        box = s.find_window(ABOUT[0], WineSession.start_timeout)
        about = box_pixels(s, box)
        s.stop()
        s.wait_unmapped(box)
        stats = os.path.join(s.workdir, "stats.txt")  # the program's own figures, asked for
        frame, titles, rate30, _ = start(s, args, env={"KOVRACAM_STATS": s.native_path(stats)})
        check(title_ink(frame) == titles, "the menu bar does not read %s" % " ".join(TITLES))
        expect_status(frame, rate30, "Frame Rate 30.0")
        # The About box takes its texts from the same table as the menu bar.
        frame.choose("alt+h", "a")
        check(box_pixels(s, s.find_window(ABOUT[0], 10)) == about, "About reads not %s" % (ABOUT,))
        s.answer(ABOUT[0], "Escape")
        frame.choose("alt+f", "x")  # File > Exit
        check(s.exit_status() == 0, "exit status %s after File > Exit" % s.proc.returncode)
        lines = pathlib.Path(stats).read_text().splitlines()
        check(lines and [lines[0].split()[1], lines[-1].split()[1]] == ["start", "exit"] and
              all(" handles=0 " not in line for line in lines), "figures: %s" % lines)


def test_device_menu_and_the_remembered_camera(args):
    with WineSession(args.app, PREFIX) as s:
        frame, _, rate30, rate75 = start(s, args)
        expect_status(frame, rate30, "Frame Rate 30.0")
        # Both cameras listed, the first checked; choosing the second writes its name and
        # previews it at 7.5 fps, and the check mark follows.
        popup = frame.open_menu(DEVICE_MENU)
        check(device_marks(popup) == [True, False], "device marks %s" % device_marks(popup))
        krv = choose_camera(s, frame, 1, "virtual:two", popup)
        frame.measure_grown()  # around the larger video
        expect_status(frame, rate75, "Frame Rate 7.5")
        popup = frame.open_menu(DEVICE_MENU)
        check(device_marks(popup) == [False, True], "device marks %s" % device_marks(popup))
        # The checked camera chosen again: nothing written.
        written = krv.stat().st_mtime_ns
        popup.click_row(popup.items(2)[0][1])
        s.wait_unmapped(popup.wid)
        time.sleep(1)
        check(krv.stat().st_mtime_ns == written, "choosing the checked camera wrote HardWare.KRV")
        s.xdotool("windowfocus", "--sync", frame.wid, "key", "alt+F4")
        check(s.exit_status() == 0, "exit status %s after Alt+F4" % s.proc.returncode)
        # The next start previews the remembered camera.
        frame = s.start(CAMERAS)
        expect_status(frame, rate75, "Frame Rate 7.5")


def test_preview_off_and_on(args):
    with WineSession(args.app, PREFIX) as s:
        frame, _, rate30, rate75 = start(s, args)
        expect_status(frame, rate30, "Frame Rate 30.0")
        frame.save("alt+c", "s", None)  # Start Capture cancelled: the preview goes on
        time.sleep(1.5)
        expect_status(frame, rate30, "Frame Rate 30.0 with Start Capture cancelled", 5)
        frame.choose("alt+o", "p")
        expect_status(frame, frozenset(), "an empty pane with Preview off", 5)
        # Another camera chosen with Preview off is remembered and starts nothing.
        choose_camera(s, frame, 1, "virtual:two")
        time.sleep(1.5)
        check(frame.status_ink() == frozenset(), "a camera started with Preview off")
        frame.choose("alt+o", "p")
        frame.measure_grown()
        expect_status(frame, rate75, "Frame Rate 7.5 of the second camera with Preview on")


def test_picture_under_the_banner(args):
    with WineSession(args.app, PREFIX) as s:
        # RGB24: Wine's renderers draw it without a converter.
        frame = s.start("id=rgb; name=RGB; formats=RGB24 320x240@30; pattern=red\n")
        check_picture(s, frame, args.source, is_red, 320, 240)
        frame.choose("alt+o", "p")
        uitest.wait_until(lambda: s.screenshot().share(
            (frame.x + 20, frame.view_top + 80, frame.x + 300, frame.view_top + 280),
            is_red, 16) == 0, 5, "the picture stayed with Preview off")
        frame.choose("alt+o", "p")
        check_picture(s, frame, args.source, is_red, 320, 240)
    with WineSession(args.app, PREFIX) as s:
        # YUY2: no renderer of Wine's takes it, so the engine draws the frames itself. The frame
        # is too narrow for the menu bar's five titles in one row, and it takes two.
        frame = s.start("id=yuv; name=YUV; formats=YUY2 160x120@30; pattern=red\n")
        check_picture(s, frame, args.source, is_red, 160, 120)


# SMPTE bars at 320x240: the red and the blue bar at the top right, black under the red one.
BARS = "id=bars; name=Bars; formats=YUY2 320x240@30; pattern=smpte\n"
BAR_PROBES = (((251, 20), is_red), ((297, 20), lambda p: p[2] > 180 and max(p[:2]) < 60),
              ((251, 230), lambda p: max(p) < 60))


def bmp_reader(data):
    """(r, g, b) at (x, y) from the top left of a 24-bit bottom-up BMP of the camera's size."""
    offset, = struct.unpack_from("<I", data, 10)
    header = struct.unpack_from("<iiHHI", data, 18)  # width, height, planes, bits, compression
    check(data[:2] == b"BM" and header == (320, 240, 1, 24, 0), "BMP header %s" % (header,))
    stride = (320 * 3 + 3) & ~3
    return lambda x, y: tuple(reversed(data[offset + (239 - y) * stride + 3 * x:][:3]))


def test_snapshots(args):
    with WineSession(args.app, PREFIX) as s:
        frame = s.start(BARS)
        for typed, written in (("a.png", "a.png.jpg"), ("b.Bmp", "b.Bmp"), ("c", "c.jpg")):
            if typed == "b.Bmp":  # the others while recording
                record(s, frame, "recording", 0)
            frame.save("alt+c", "n", s.native_path(os.path.join(s.workdir, typed)))
            path = pathlib.Path(s.workdir, written)  # renamed into place once complete
            uitest.wait_until(path.exists, 10, "no %s after saving %s" % (written, typed))
            data = path.read_bytes()
            if written.endswith(".jpg"):
                check(data[:3] == b"\xff\xd8\xff", "%s holds no JPEG" % written)
                picture = uitest.picture("convert", str(path), "-depth", "8", "ppm:-")
                check((picture.width, picture.height) == (320, 240), "%s: wrong size" % written)
                at = picture.at
            else:
                at = bmp_reader(data)
            for point, predicate in BAR_PROBES:
                check(predicate(at(*point)), "%s at %s is %s" % (written, point, at(*point)))
        left = [n for n in os.listdir(s.workdir) if n.endswith(".tmp")]
        check(not left, "temporary files left: %s" % left)


def test_language_modules(args):
    """A German user gets the German module's menu bar and Option items; the German texts under
    another LANGID (de-AT), or the German module through a folder link, leave the English one."""
    built = os.path.dirname(args.app)
    with WineSession(args.app, PREFIX) as s:
        english, german = (reference(s, args, "-", titles)[0] for titles in (TITLES, GERMAN))
        folder, options = os.path.join(s.workdir, "Language"), []
        for source, titles, expected in ((os.path.join(built, "Language"), GERMAN, german),
                                         (os.path.join(built, "test_modules"), TITLES, english),
                                         (None, TITLES, english)):
            shutil.rmtree(folder, ignore_errors=True)
            if source:
                shutil.copytree(source, folder)
            else:
                os.symlink(os.path.join(built, "Language"), folder)
            frame = s.start(CAMERAS, {"LC_ALL": "de_DE.UTF-8"})
            check(title_ink(frame) == expected, "with %s the menu bar does not read %s" % (
                source, " ".join(titles)))
            popup = frame.open_menu(2)
            rows, shot = popup.items()
            options.append([shot.ink(popup.x + 2, top, popup.x + popup.width - 2, end)
                            for top, end in rows])
        german_rows, english_rows = options[:2]
        check(len(german_rows) == len(english_rows) and not set(german_rows) & set(english_rows),
              "Option items the German module left in English")
        check("Language skipped: a link to elsewhere" in s.stderr_text(), s.stderr_text())


def box_pixels(s, box):
    window = uitest.Window(s, box)
    shot = window.items()[1]
    return (window.width, window.height), shot.crop(window.x, window.y, window.x + window.width,
                                                    window.y + window.height)


def test_no_usable_camera_shows_a_box_and_ends(args):
    for cameras, caption, text in (
            (None, "ERROR", "Can't find Camera device"),
            ("id=mj; name=MJPEG Only; formats=MJPG 640x480@30\n", "Error",
             "This type is not support")):
        with WineSession(args.app, PREFIX) as s:
            s.start(cameras, main=False)
            box = s.find_window(caption, WineSession.start_timeout)
            check(not s.xdotool("search", "--onlyvisible", "--name", "^KOVRACAM$"),
                  "a KOVRACAM window is shown beside the %s box" % caption)
            shown = box_pixels(s, box)
            uitest.answer_until_it_ends(s, box, caption)

            s.proc = s.run_windows(os.path.abspath(args.reference), "--box", caption, text)
            expected = box_pixels(s, s.find_window(caption, WineSession.start_timeout))
            check(shown == expected, "the %s box does not read %s" % (caption, text))
    # A camera another program holds is listed and opened, but its stream cannot start.
    with WineSession(args.app, PREFIX) as s:
        s.start("id=held; name=Held; formats=YUY2 320x240@30; busy=yes\n", main=False)
        check(s.exit_status() != 0, "a start on a camera whose stream cannot start succeeded")


def test_filter_page_reaches_the_picture(args):
    with WineSession(args.app, PREFIX) as s:
        frame = s.start("id=amp; name=Amp; formats=YUY2 320x240@30; pattern=white\n")
        # Inside the 320x240 picture: the view around it is white as well.
        box = (frame.x + 20, frame.view_top + 70, frame.x + 300, frame.view_top + 270)
        uitest.wait_until(lambda: s.screenshot().share(box, lambda p: luminance(p) > 200) > 0.95,
                          20, "no white picture")
        frame.choose("alt+o", "Down", "Return")  # Option > Video Capture filter
        page = s.find_window(".*Capture Filter.*")  # the frame's title names the filter
        shown = uitest.Window(s, page)
        shown.items()  # painted, the keyboard on its first control
        s.key("Home")  # the first slider, brightness, to its lowest
        # At once, in the picture's strip that the frame (at the view's origin) leaves in sight.
        strip = (box[0], shown.y + shown.height + 8, box[2], box[3])
        uitest.wait_until(lambda: s.screenshot().share(strip, uitest.is_dark, 2) > 0.95, 10,
                          "the picture did not darken with the brightness")
        s.key("Return")
        s.wait_unmapped(page)
        uitest.wait_until(lambda: s.screenshot().share(box, uitest.is_dark) > 0.95, 10,
                          "the picture is not dark under the frame")
        # The camera keeps the value: a graph built again shows it too.
        frame.choose("alt+o", "p")
        frame.choose("alt+o", "p")
        uitest.wait_until(lambda: s.screenshot().share(box, uitest.is_dark) > 0.95, 10,
                          "the picture is no longer dark")


def test_pin_page_changes_the_size(args):
    for pins in ("", "; pins=capture, preview, still"):  # the preview pin follows the page
        with WineSession(args.app, PREFIX) as s:
            frame = s.start("id=two; name=Two; formats=YUY2 320x240@30, YUY2 640x480@30; "
                            "pattern=red%s\n" % pins)
            check_picture(s, frame, args.source, is_red, 320, 240)
            page = s.new_window(lambda: frame.choose("alt+o", "Down", "Down", "Return"))
            s.key("Down", "Return")  # the second format, OK
            s.wait_unmapped(page)
            frame.measure_grown()
            check_picture(s, frame, args.source, is_red, 640, 480)
            frame.choose("alt+o", "p")  # the chosen format outlives the graph
            frame.choose("alt+o", "p")
            check_picture(s, frame, args.source, is_red, 640, 480)
            if pins:
                continue
            # Another program took the camera meanwhile: the restart fails with one box and the
            # preview is off, so Preview on starts it again once the camera is free.
            cameras = pathlib.Path(s.workdir, "cameras.conf")
            cameras.write_text(cameras.read_text().replace("\n", "; busy=yes\n"))
            s.new_window(lambda: frame.choose("alt+o", "Down", "Down", "Return"))
            s.key("Return")
            s.answer("ERROR")
            cameras.write_text(cameras.read_text().replace("; busy=yes", ""))
            frame.choose("alt+o", "p")
            check_picture(s, frame, args.source, is_red, 640, 480)


def frequency_marks(s, frame):
    """The 50Hz and 60Hz marks, the submenu opened by the mouse (so no row is highlighted)."""
    option = frame.open_menu(2)
    rows = option.items()[0]  # Frequency is the last
    submenu = uitest.Window(s, s.new_window(lambda: option.click_row(rows[-1]) or option.wid))
    return submenu, device_marks(submenu)


def test_power_line_frequency(args):
    with WineSession(args.app, PREFIX) as s:
        frame = s.start("id=pl; name=PL; formats=YUY2 320x240@30; powerline=60\n")
        submenu, marks = frequency_marks(s, frame)
        check(marks == [False, True], "50Hz/60Hz marks %s for a 60 Hz camera" % marks)
        submenu.click_row(submenu.items(2)[0][0])  # 50Hz
        s.wait_unmapped(submenu.wid)
        submenu, marks = frequency_marks(s, frame)
        check(marks == [True, False], "50Hz/60Hz marks %s after 50Hz" % marks)
        s.key("Escape", "Escape")
RED = "id=yuv; name=YUV; formats=YUY2 320x240@30; pattern=red\n"
# The second with a preview pin: the stop paths it records through are the capture pin's.
RECORDED = (RED + "id=bars; name=Bars; formats=RGB24 320x240@30; pattern=smpte; "
            "pins=capture, preview, still\n")


def record(s, frame, name, seconds):
    """Start Capture typing `name` (no extension), then `seconds` from the first frame written
    (the file grows); the .avi path and when its first frame was written."""
    frame.save("alt+c", "s", s.native_path(os.path.join(s.workdir, name)))
    path = os.path.join(s.workdir, name + ".avi")
    uitest.wait_until(lambda: os.path.exists(path) and os.path.getsize(path), 10,
                      "nothing written to %s" % path, 0.01)
    started = time.monotonic()
    time.sleep(seconds)
    return path, started


def check_ended(path, pix_fmt, started, asked):
    """Finished and complete, with 30 frames a second from `started` until the end was asked for
    at `asked`, or until now at the latest (a busy menu or app may take a second or more)."""
    uitest.wait_until(lambda: probe(path)[4:5] != ["N/A"], 10, "%s not finished" % path)
    check_complete(path, pix_fmt, round(30 * (asked - started)) - 5,
                   round(30 * (time.monotonic() - started)) + 5)


def test_recordings_are_complete_whichever_way_they_end(args):
    with WineSession(args.app, PREFIX) as s:
        frame = s.start(RECORDED)
        movie, started = record(s, frame, "take", 3.0)
        # The writer's handle and the flusher's, which Wine opens in the process at its first use.
        fds = pathlib.Path("/proc/%d/fd" % s.proc.pid).iterdir()
        check(sum(os.path.realpath(fd) == os.path.realpath(movie) for fd in fds) == 2,
              "the recording is not flushed while written")
        asked = time.monotonic()
        frame.choose("alt+c", "p")  # Stop Capture
        check_ended(movie, "yuyv422", started, asked)
        # Another camera chosen while recording ends the file too; Stop Capture then restarts
        # the preview, of the RGB24 camera, which records next.
        movie, started = record(s, frame, "switch", 1.0)
        popup = frame.open_menu(DEVICE_MENU)
        row = popup.items(2)[0][1]
        asked = time.monotonic()
        popup.click_row(row)
        s.wait_unmapped(popup.wid)
        check_ended(movie, "yuyv422", started, asked)
        frame.choose("alt+c", "p")
        movie, started = record(s, frame, "bars", 1.0)
        asked = time.monotonic()
        frame.choose("alt+f", "x")  # File > Exit while recording
        check(s.exit_status() == 0, "exit status %s after File > Exit" % s.proc.returncode)
        check_ended(movie, "bgr24", started, asked)
        check_bars(uitest.picture("ffmpeg", "-v", "error", "-i", movie, "-frames:v", "1", "-f",
                                  "image2pipe", "-vcodec", "ppm", "-"), "the first frame")
        for how in ("close", "end session"):
            frame = s.start(RECORDED)  # the RGB24 camera, remembered
            movie, started = record(s, frame, how.replace(" ", "_"), 1.0)
            asked = time.monotonic()
            if how == "close":  # the system menu's Close, as the close box
                s.xdotool("windowfocus", "--sync", frame.wid, "key", "alt+space", "c")
            else:
                subprocess.run(["wineboot", "--end-session"], env=s.environment({}), timeout=60)
            uitest.wait_until(lambda: s.proc.poll() is not None, 20, "the app did not end")
            check_ended(movie, "bgr24", started, asked)


def test_a_write_that_fails_is_told_and_the_preview_goes_on(args):
    with WineSession(args.app, PREFIX) as s, tempfile.TemporaryDirectory(dir=s.workdir) as small:
        if subprocess.run(["mount", "-t", "tmpfs", "-o", "size=1m", "tmpfs", small]).returncode:
            print("  no small file system to fill (mounting needs root): not tried")
            return
        try:
            frame, _, rate30, _ = start(s, args, RED)
            path = s.native_path(os.path.join(small, "full.avi"))
            frame.save("alt+c", "s", path)
            box = s.find_window("ERROR", 10)
            shown = box_pixels(s, box)
            s.answer("ERROR")
            expect_status(frame, rate30, "Frame Rate 30.0 after the failed recording")
            app, s.proc = s.proc, s.run_windows(os.path.abspath(args.reference), "--box", "ERROR",
                                   'Recording to "%s" stopped: Disk full.' % path)  # Wine's words
            check(box_pixels(s, s.find_window("ERROR", 30)) == shown, "the box names no reason")
            s.stop()
            s.proc = app
            s.stop()
            # A recording started while the preview could not run fails the same way.
            os.remove(os.path.join(small, "full.avi"))
            cameras = pathlib.Path(s.workdir, "cameras.conf")
            late = "id=late; name=Late; formats=%s 320x240@30; pattern=red\n"
            frame = s.start(RED + late % "MJPG")
            popup = frame.open_menu(DEVICE_MENU)
            popup.click_row(popup.items(2)[0][1])
            s.answer("Error")  # This type is not support
            cameras.write_text(RED + late % "YUY2")
            frame.save("alt+c", "s", s.native_path(os.path.join(small, "late.avi")))
            s.answer("ERROR")
            expect_status(frame, rate30, "Frame Rate 30.0 after the failed late recording")
        finally:
            s.stop()
            subprocess.run(["umount", "-l", small])


def test_a_camera_lost_mid_preview_and_mid_recording(args):
    """One box each time, saying why; the window answers; the recording (from the capture pin of
    a camera with a preview pin) is complete."""
    lost = lambda t: RED.replace(";", "; pins=capture, preview; unplug=stream+%d;" % t, 1)  # noqa
    texts = ["The camera stopped: the camera was disconnected.\nTurn Preview on to start it "
             "again.", 'Recording to "%s" stopped: the camera was disconnected.\nTurn Preview '
             'on to start the camera again.']
    boxes = []
    with WineSession(args.app, PREFIX) as s:
        movie = os.path.join(s.workdir, "lost.avi")
        texts[1] %= s.native_path(movie)
        for fault in ("preview", "recording"):
            frame = s.start(lost(2) if fault == "preview" else RED)
            if fault == "recording":  # the recording's graph reads the file again
                pathlib.Path(s.workdir, "cameras.conf").write_text(lost(3))
                frame.save("alt+c", "s", s.native_path(movie))
            boxes.append(box_pixels(s, s.find_window("ERROR", 20)))
            s.answer("ERROR")
            time.sleep(2)
            check(not s.xdotool("search", "--onlyvisible", "--name", "^ERROR$"), "a second box")
            frame.choose("alt+f", "x")
            check(s.exit_status() == 0, "exit status %s after the %s" % (s.proc.returncode, fault))
        check_complete(movie, "yuyv422", 45, 100)
        for shown, text in zip(boxes, texts):
            s.proc = s.run_windows(os.path.abspath(args.reference), "--box", "ERROR", text)
            check(box_pixels(s, s.find_window("ERROR", 30)) == shown, "no box reads " + text)
            s.stop()


if __name__ == "__main__":
    started = time.time()
    with WinePrefix() as PREFIX:
        print("Wine prefix initialised in %.1f s" % (time.time() - started))
        uitest.run(test_title_menu_bar_rate_and_exit, test_device_menu_and_the_remembered_camera,
                   test_preview_off_and_on, test_language_modules,
                   test_no_usable_camera_shows_a_box_and_ends, test_picture_under_the_banner,
                   test_filter_page_reaches_the_picture, test_pin_page_changes_the_size,
                   test_power_line_frequency, test_recordings_are_complete_whichever_way_they_end,
                   test_a_write_that_fails_is_told_and_the_preview_goes_on,
                   test_snapshots, test_a_camera_lost_mid_preview_and_mid_recording)
