"""Recording and snapshots through the real window under Xvfb, driven by the keyboard. Every way
out of a recording must leave a complete file: its header counts the frames ffprobe reads."""

import os
import resource
import signal
import subprocess
import time

import uitest
from uitest import Session, check, is_red, luminance

RED_YUY2 = "id=cam; name=Cam; formats=YUY2 320x240@30; pattern=red\n"
BARS_RGB24 = "id=bars; name=Bars; formats=RGB24 320x240@30; pattern=smpte\n"


def probe(path):
    out = subprocess.run(
        ["ffprobe", "-v", "error", "-count_frames", "-select_streams", "v:0", "-show_entries",
         "stream=codec_name,pix_fmt,width,height,nb_frames,nb_read_frames", "-of",
         "default=nw=1", path], capture_output=True, text=True, timeout=30).stdout
    return dict(line.split("=", 1) for line in out.splitlines() if "=" in line)


def check_complete(path, pix_fmt, low, high):
    """A raw 320 x 240 AVI whose header counts the frames in it, low to high of them."""
    info = probe(path)
    got = [info.get(k) for k in ("codec_name", "pix_fmt", "width", "height", "nb_frames")]
    check(got == ["rawvideo", pix_fmt, "320", "240", info.get("nb_read_frames")] and low <=
          int(got[4]) <= high, "%s: %s, %s read" % (path, got, info.get("nb_read_frames")))


def check_bars(picture, what):
    """SMPTE bars upright in their colours: grey, then yellow at the top; dark at the bottom."""
    grey, yellow, bottom = picture.at(5, 5), picture.at(68, 5), picture.at(5, 235)
    check(luminance(grey) > 150 and yellow[0] > 150 and yellow[1] > 150 and yellow[2] < 80 and
          luminance(bottom) < 100, "%s: top %s, second bar %s, bottom %s" % (
              what, grey, yellow, bottom))


def capture_item(s, frame, letter, menu="alt+c"):
    """Capture (or `menu`) > the item whose mnemonic is `letter`, from the keyboard."""
    s.xdotool("windowfocus", "--sync", frame.wid)
    before = s.mapped()
    s.key(menu)
    s.wait_new_window(before)
    s.key(letter)


def save_as(s, path):
    """Types a full path into the Save As dialog and accepts it; returns when it closed."""
    wid = s.find_window("Save As", timeout=10)
    s.xdotool("windowfocus", "--sync", wid)
    s.xdotool("type", "--delay", "1", path)
    s.key("Return")
    s.wait_unmapped(wid)
    return time.time()


def dismiss_error(s):
    box = s.find_window("ERROR", timeout=10)
    check(s.xdotool("search", "--onlyvisible", "--name", "^ERROR$") == box, "more than one box")
    s.xdotool("windowfocus", "--sync", box)
    s.key("Return")
    s.wait_unmapped(box)


def test_rgb24_recording_and_snapshots_taken_meanwhile(args):
    s = Session(args.app)
    try:
        open(os.path.join(s.workdir, "c.jpg"), "w").close()  # replaced without a question
        frame = s.start_frame(BARS_RGB24)
        capture_item(s, frame, "s")
        accepted = save_as(s, os.path.join(s.workdir, "bars.avi"))
        # Snapshots named by the extension rule, taken while recording: it loses no frame.
        for typed, written, magic in (("a.png", "a.png.jpg", b"\xff\xd8"),
                                      ("b.Bmp", "b.Bmp", b"BM"), ("c", "c.jpg", b"\xff\xd8")):
            capture_item(s, frame, "n")
            save_as(s, os.path.join(s.workdir, typed))
            path = os.path.join(s.workdir, written)
            uitest.wait_until(lambda: os.path.exists(path) and os.path.getsize(path) > 0, 5,
                              "no picture " + written)
            with open(path, "rb") as f:
                check(f.read(2) == magic, "%s is not a %s file" % (written, magic))
            shot = uitest.picture("convert", path, "-depth", "8", "ppm:-")
            check((shot.width, shot.height) == (320, 240), "%s is not 320x240" % written)
            check_bars(shot, written)
        check(time.time() < accepted + 5, "the snapshots took more than the recording's 5 s")
        time.sleep(accepted + 5 - time.time())
        capture_item(s, frame, "p")
        check_complete(os.path.join(s.workdir, "bars.avi"), "bgr24", 145, 155)
        check_bars(uitest.picture("ffmpeg", "-v", "error", "-i", os.path.join(s.workdir, "bars.avi"),
                           "-frames:v", "1", "-f", "image2pipe", "-vcodec", "ppm", "-"),
                   "the first frame")
    finally:
        s.close()


def test_window_close_and_signals_complete_the_file(args):
    s = Session(args.app)
    try:
        for how in ("exit", "SIGTERM", "SIGINT", "SIGHUP"):
            frame = s.start_frame(RED_YUY2)
            capture_item(s, frame, "s")
            save_as(s, os.path.join(s.workdir, how + ".avi"))
            time.sleep(1.0)
            if how == "exit":
                capture_item(s, frame, "x", "alt+f")  # File > Exit
            else:
                s.proc.send_signal(getattr(signal, how))
            check(s.proc.wait(10) == 0, "%s: the app ended with %s" % (how, s.proc.poll()))
            check("WARN" not in s.stderr_text() and "CRITICAL" not in s.stderr_text(),
                  "%s: warnings: %s" % (how, s.stderr_text()))
            check_complete(os.path.join(s.workdir, how + ".avi"), "yuyv422", 20, 40)
    finally:
        s.close()


def test_cancel_an_unwritable_path_and_a_failed_write(args):
    s = Session(args.app)
    try:
        limit = 3 * 1024 * 1024  # about 20 frames of 320 x 240 YUY2
        frame = s.start_frame(RED_YUY2, preexec_fn=lambda: resource.setrlimit(
            resource.RLIMIT_FSIZE, (limit, limit)))
        capture_item(s, frame, "s")
        dialog = s.find_window("Save As", timeout=10)
        s.xdotool("windowfocus", "--sync", dialog)
        s.key("Escape")
        s.wait_unmapped(dialog)
        check(sorted(os.listdir(s.workdir)) == ["cameras.conf", "stderr.txt"],
              "files after a cancelled dialog: %s" % os.listdir(s.workdir))

        # A name that leads nowhere: a link into a folder that does not exist.
        os.symlink("/nonexistent/folder/take.avi", os.path.join(s.workdir, "dead.avi"))
        capture_item(s, frame, "s")
        save_as(s, os.path.join(s.workdir, "dead.avi"))
        dismiss_error(s)
        check(s.geometry(frame.wid)[2] == frame.width and s.proc.poll() is None, "window gone")

        # Past the file-size limit: one box with the reason, the frames written kept, the
        # preview going on.
        capture_item(s, frame, "s")
        save_as(s, os.path.join(s.workdir, "full.avi"))
        dismiss_error(s)
        check("File too large" in s.stderr_text(), "no reason given: " + s.stderr_text())
        check(int(probe(os.path.join(s.workdir, "full.avi")).get("nb_read_frames") or 0) >= 10,
              "the frames written are lost")
        top = frame.view_top + 50  # the preview goes on
        uitest.wait_until(lambda: s.screenshot().share((frame.x + 10, top + 10, frame.x + 200,
                                                        top + 100), is_red) > 0.9, 10, "no video")
        check(s.proc.poll() is None, "the app ended")
    finally:
        s.close()


if __name__ == "__main__":
    uitest.run([test_rgb24_recording_and_snapshots_taken_meanwhile,
                test_window_close_and_signals_complete_the_file,
                test_cancel_an_unwritable_path_and_a_failed_write])
