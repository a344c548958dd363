"""Recording and snapshots through the real window under Xvfb, driven by the keyboard: the AVI
files are read back with ffprobe and ffmpeg, the pictures with their own headers and ImageMagick.
Every way out of a recording must leave a complete file: the frame count in its header equals
the frames in it."""

import os
import resource
import signal
import struct
import subprocess
import time

import uitest
from uitest import Session, check, is_red

RED_YUY2 = "id=cam; name=Cam; formats=YUY2 320x240@30; pattern=red\n"
BARS_RGB24 = "id=bars; name=Bars; formats=RGB24 320x240@30; pattern=smpte\n"
BANNER = 50


def probe(path):
    """What ffprobe reads of the file's video stream, counting the frames in it."""
    out = subprocess.run(
        ["ffprobe", "-v", "error", "-count_frames", "-select_streams", "v:0", "-show_entries",
         "stream=codec_name,pix_fmt,width,height,nb_frames,nb_read_frames", "-of",
         "default=nw=1", path], capture_output=True, text=True, timeout=30).stdout
    return dict(line.split("=", 1) for line in out.splitlines() if "=" in line)


def check_complete(path, width, height, frames=None):
    check(os.path.exists(path), "no file %s" % path)
    info = probe(path)
    check(info.get("codec_name") == "rawvideo", "%s: codec %s" % (path, info.get("codec_name")))
    check((info.get("width"), info.get("height")) == (str(width), str(height)),
          "%s: %sx%s" % (path, info.get("width"), info.get("height")))
    check(info.get("nb_frames") == info.get("nb_read_frames"),
          "%s: header says %s frames, the file holds %s" % (
              path, info.get("nb_frames"), info.get("nb_read_frames")))
    count = int(info["nb_read_frames"])
    if frames is not None:
        low, high = frames
        check(low <= count <= high, "%s holds %d frames, expected %d..%d" % (path, count, low,
                                                                            high))
    return info


def capture_item(s, frame, letter):
    """Capture > the item whose mnemonic is `letter`, from the keyboard."""
    s.xdotool("windowfocus", "--sync", frame.wid)
    before = s.mapped_windows()
    s.key("alt+c")
    s.wait_new_window(before)
    s.key(letter)


def save_as(s, path):
    """Types a full path into the Save As dialog's file-name field and accepts it."""
    wid = s.find_window("Save As", timeout=10)
    check(wid, "no Save As dialog")
    s.xdotool("windowfocus", "--sync", wid)
    s.xdotool("type", "--delay", "1", path)
    s.key("Return")
    s.wait_unmapped(wid)
    return time.time()


def start_recording(s, frame, path):
    capture_item(s, frame, "s")
    return save_as(s, path)


def stop_recording(s, frame):
    capture_item(s, frame, "p")


def pane(shot, frame):
    return shot.crop(frame.x + 2, frame.status_top + 2, frame.x + frame.width // 2,
                     frame.y + frame.height - 2).pixels


def wait_for_red_video(s, frame):
    def probe_video():
        shot = s.screenshot()
        top = frame.view_top + BANNER
        return shot.region_matches(frame.x + 10, top + 10, frame.x + 200, top + 100,
                                   is_red) > 0.9
    uitest.wait_until(probe_video, 10, "the red video is not shown")


def steady_pane(s, frame):
    """The status pane's pixels once two screenshots a second apart agree."""
    last = [None]

    def probe_pane():
        now = pane(s.screenshot(), frame)
        same = now == last[0]
        last[0] = now
        return now if same else None
    return uitest.wait_until(probe_pane, 10, "the status pane never settled", interval=1.1)


def test_three_seconds_of_yuy2_and_snapshots(args):
    s = Session(args.app)
    try:
        frame = s.start_frame(RED_YUY2)
        wait_for_red_video(s, frame)
        idle_pane = steady_pane(s, frame)
        name = os.path.join(s.workdir, "take")
        accepted = start_recording(s, frame, name)
        time.sleep(max(0.0, accepted + 3.0 - time.time()))
        stop_recording(s, frame)
        check_complete(name + ".avi", 320, 240, (85, 95))
        check(probe(name + ".avi")["pix_fmt"] == "yuyv422", "YUY2 not stored as YUY2")
        # The plain preview runs again: the pane reads as it did before the recording.
        uitest.wait_until(lambda: pane(s.screenshot(), frame) == idle_pane, 10,
                          "the status pane does not show the frame rate again")

        for typed, written, kind in (("a.png", "a.png.jpg", "JPEG"), ("b.Bmp", "b.Bmp", "BMP3"),
                                     ("c", "c.jpg", "JPEG")):
            capture_item(s, frame, "n")
            save_as(s, os.path.join(s.workdir, typed))
            path = os.path.join(s.workdir, written)
            uitest.wait_until(lambda: os.path.exists(path), 5, "no picture %s" % written)
            check(not os.path.exists(os.path.join(s.workdir, typed)) or typed == written,
                  "a file %s was written besides %s" % (typed, written))
            described = subprocess.run(["identify", "-format", "%m %w %h", path],
                                       capture_output=True, text=True, timeout=10).stdout
            check(described == "%s 320 240" % kind, "%s is %r" % (written, described))
        check_bmp(os.path.join(s.workdir, "b.Bmp"), 320, 240)
        # An existing name is replaced without a question.
        os.truncate(os.path.join(s.workdir, "c.jpg"), 0)
        capture_item(s, frame, "n")
        save_as(s, os.path.join(s.workdir, "c"))
        uitest.wait_until(lambda: os.path.getsize(os.path.join(s.workdir, "c.jpg")) > 0, 5,
                          "c.jpg was not replaced")
        leftovers = [f for f in os.listdir(s.workdir) if f.startswith(".")]
        check(not leftovers, "temporary files left: %s" % leftovers)
    finally:
        s.close()


def check_bmp(path, width, height):
    with open(path, "rb") as f:
        data = f.read()
    check(data[:2] == b"BM", "no BMP signature")
    offset, = struct.unpack_from("<I", data, 10)
    w, h, planes, bits = struct.unpack_from("<iiHH", data, 18)
    check((w, h, planes, bits) == (width, height, 1, 24), "BMP header %s" % ((w, h, planes,
                                                                              bits),))
    stride = (width * 3 + 3) & ~3
    check(len(data) == offset + stride * height, "BMP holds %d bytes" % len(data))
    for x, y in ((0, 0), (width - 1, height - 1), (width // 2, height // 2)):
        b, g, r = data[offset + y * stride + x * 3:offset + y * stride + x * 3 + 3]
        check(r > 220 and g < 40 and b < 40, "BMP pixel %d,%d is %s, not red" % (x, y, (r, g, b)))


def first_frame(path):
    data = subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-frames:v", "1", "-f", "image2pipe",
                           "-vcodec", "ppm", "-"], capture_output=True, timeout=30).stdout
    return uitest.parse_ppm(data)


def test_rgb24_recording_plays_upright(args):
    s = Session(args.app)
    try:
        frame = s.start_frame(BARS_RGB24)
        name = os.path.join(s.workdir, "bars.avi")
        accepted = start_recording(s, frame, name)
        # A snapshot while recording costs the recording no frame.
        time.sleep(0.5)
        capture_item(s, frame, "n")
        save_as(s, os.path.join(s.workdir, "during.bmp"))
        uitest.wait_until(lambda: os.path.exists(os.path.join(s.workdir, "during.bmp")), 5,
                          "no snapshot taken while recording")
        time.sleep(max(0.0, accepted + 2.0 - time.time()))
        stop_recording(s, frame)
        info = check_complete(name, 320, 240, (55, 64))
        check(info["pix_fmt"] == "bgr24", "RGB24 stored as %s" % info["pix_fmt"])
        picture = first_frame(name)
        # The bars' top-left is light grey, the strip along the bottom dark.
        top, bottom = picture.at(5, 5), picture.at(5, 235)
        check(uitest.luminance(top) > 150 and uitest.luminance(bottom) < 100,
              "first frame upside down: top %s, bottom %s" % (top, bottom))
    finally:
        s.close()


def test_cancel_changes_nothing_and_an_unwritable_path_is_reported(args):
    s = Session(args.app)
    try:
        frame = s.start_frame(RED_YUY2)
        capture_item(s, frame, "s")
        dialog = s.find_window("Save As", timeout=10)
        check(dialog, "no Save As dialog")
        s.xdotool("windowfocus", "--sync", dialog)
        s.key("Escape")
        s.wait_unmapped(dialog)
        check(sorted(os.listdir(s.workdir)) == ["cameras.conf", "stderr.txt"],
              "files after a cancelled dialog: %s" % os.listdir(s.workdir))
        wait_for_red_video(s, frame)

        # A name that leads nowhere: a link into a folder that does not exist.
        dead = os.path.join(s.workdir, "dead.avi")
        os.symlink("/nonexistent/folder/take.avi", dead)
        start_recording(s, frame, dead)
        box = s.find_window("ERROR", timeout=10)
        check(box, "no message box for a path that cannot be written")
        s.xdotool("windowfocus", "--sync", box)
        s.key("Return")
        s.wait_unmapped(box)
        check(frame.width == s.geometry(frame.wid)[2], "the window changed its size")
        check(s.proc.poll() is None, "the app ended")
    finally:
        s.close()


def test_window_close_and_signals_complete_the_file(args):
    for how in ("exit", "SIGTERM", "SIGINT", "SIGHUP"):
        s = Session(args.app)
        try:
            frame = s.start_frame(RED_YUY2)
            name = os.path.join(s.workdir, "%s.avi" % how)
            start_recording(s, frame, name)
            time.sleep(1.0)
            if how == "exit":
                s.xdotool("windowfocus", "--sync", frame.wid)
                before = s.mapped_windows()
                s.key("alt+f")
                s.wait_new_window(before)
                s.key("x")
            else:
                s.proc.send_signal(getattr(signal, how))
            code = s.wait_exit(10)
            check(code == 0, "%s: the app ended with %s" % (how, code))
            check_complete(name, 320, 240, (20, 40))
        finally:
            s.close()


def test_a_failed_write_keeps_what_was_recorded(args):
    s = Session(args.app)
    try:
        limit = 3 * 1024 * 1024  # about 20 frames of 320 x 240 YUY2
        s.start(s.write_cameras(RED_YUY2), preexec_fn=lambda: resource.setrlimit(
            resource.RLIMIT_FSIZE, (limit, limit)))
        wid = s.find_window("KOVRACAM")
        check(wid, "no window; stderr: %s" % s.stderr_text())
        frame = uitest.Frame(s, wid)
        name = os.path.join(s.workdir, "full.avi")
        start_recording(s, frame, name)
        box = s.find_window("ERROR", timeout=10)
        check(box, "no message box after the write failed")
        boxes = s.xdotool("search", "--onlyvisible", "--name", "^ERROR$").split()
        check(len(boxes) == 1, "%d boxes shown" % len(boxes))
        check("File too large" in s.stderr_text(), "reason not reported: %s" % s.stderr_text())
        s.xdotool("windowfocus", "--sync", box)
        s.key("Return")
        s.wait_unmapped(box)
        check(int(probe(name).get("nb_read_frames", 0)) >= 10, "the frames written are lost")
        wait_for_red_video(s, frame)  # the preview goes on
        check(s.proc.poll() is None, "the app ended")
    finally:
        s.close()


if __name__ == "__main__":
    uitest.run([
        test_three_seconds_of_yuy2_and_snapshots,
        test_rgb24_recording_plays_upright,
        test_cancel_changes_nothing_and_an_unwritable_path_is_reported,
        test_window_close_and_signals_complete_the_file,
        test_a_failed_write_keeps_what_was_recorded,
    ])
