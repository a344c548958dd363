"""Recording and snapshots through the real window under Xvfb, driven by the keyboard. Every way
out of a recording must leave a complete file: its header counts the frames ffprobe reads."""

import os, pathlib, signal, subprocess, time

import uitest
from uitest import Session, check, luminance

RED_YUY2 = "id=cam; name=Cam; formats=YUY2 320x240@30; pattern=red\n"


def probe(path):
    """[codec, width, height, pixel format, frames its header counts, frames read]."""
    return subprocess.run(
        ["ffprobe", "-v", "error", "-count_frames", "-select_streams", "v:0", "-show_entries",
         "stream=codec_name,width,height,pix_fmt,nb_frames,nb_read_frames", "-of", "csv=p=0",
         path], capture_output=True, text=True, timeout=30).stdout.strip().split(",")


def check_complete(path, pix_fmt, low, high):
    """A raw 320 x 240 AVI whose header counts the frames in it, low to high of them."""
    got = probe(path)
    check(got[:4] == ["rawvideo", "320", "240", pix_fmt] and got[4] == got[-1] and
          low <= int(got[4]) <= high, "%s: %s" % (path, got))


def check_bars(picture, what):
    """SMPTE bars, 320 x 240, upright in their colours: grey, yellow at the top; dark below."""
    grey, yellow, bottom = picture.at(5, 5), picture.at(68, 5), picture.at(5, 235)
    check((picture.width, picture.height) == (320, 240) and luminance(grey) > 150 and
          yellow[0] > 150 and yellow[1] > 150 and yellow[2] < 80 and luminance(bottom) < 100,
          "%s: %dx%d, %s %s %s" % (what, picture.width, picture.height, grey, yellow, bottom))


def test_rgb24_recording_and_snapshots_taken_meanwhile(args):
    with Session(args.app) as s:
        open(os.path.join(s.workdir, "c.jpg"), "w").close()  # replaced without a question
        frame = s.start("id=bars; name=Bars; formats=RGB24 320x240@30; pattern=smpte\n")
        movie = os.path.join(s.workdir, "bars.avi")
        asked = time.time()
        frame.save("alt+c", "s", movie)
        accepted = time.time()
        # Snapshots named by the extension rule, taken while recording: it loses no frame.
        for typed, written, magic in (("a.png", "a.png.jpg", b"\xff\xd8"),
                                      ("b.Bmp", "b.Bmp", b"BM"), ("c", "c.jpg", b"\xff\xd8")):
            frame.save("alt+c", "n", os.path.join(s.workdir, typed))
            path = pathlib.Path(s.workdir, written)
            uitest.wait_until(lambda: path.exists() and path.read_bytes()[:2] == magic, 5,
                              "no %s file %s" % (magic, written))
            check_bars(uitest.picture("convert", path, "-depth", "8", "ppm:-"), written)
        check(time.time() < accepted + 5, "the snapshots took more than the recording's 5 s")
        time.sleep(accepted + 5 - time.time())
        frame.choose("alt+c", "p")
        # Frames at the camera's pace from the answer to the stop, which a busy machine may act
        # on up to half a second after the key.
        check_complete(movie, "bgr24", 145, int(30 * (time.time() + 0.5 - asked)) + 1)
        check_bars(uitest.picture("ffmpeg", "-v", "error", "-i", movie, "-frames:v", "1", "-f",
                                  "image2pipe", "-vcodec", "ppm", "-"), "the first frame")


def test_window_close_and_signals_complete_the_file(args):
    with Session(args.app) as s:
        for how in ("exit", "SIGTERM", "SIGINT", "SIGHUP"):
            frame = s.start(RED_YUY2)
            frame.save("alt+c", "s", os.path.join(s.workdir, how + ".avi"))
            time.sleep(1.0)
            # File > Exit, or the signal
            frame.choose("alt+f", "x") if how == "exit" else s.proc.send_signal(signal.Signals[how])
            check(s.proc.wait(10) == 0, "%s: the app ended with %s" % (how, s.proc.poll()))
            check("WARN" not in s.stderr_text() and "CRITICAL" not in s.stderr_text(),
                  "%s: warnings: %s" % (how, s.stderr_text()))
            check_complete(os.path.join(s.workdir, how + ".avi"), "yuyv422", 20, 40)


def test_cancel_and_an_unwritable_path(args):
    with Session(args.app) as s:
        frame = s.start(RED_YUY2)
        frame.save("alt+c", "s", None)
        check(sorted(os.listdir(s.workdir)) == ["cameras.conf", "stderr.txt"],
              "files after a cancelled dialog: %s" % os.listdir(s.workdir))

        # A name that leads nowhere (a link into a folder that does not exist): one box.
        os.symlink("/nonexistent/folder/take.avi", os.path.join(s.workdir, "dead.avi"))
        frame.save("alt+c", "s", os.path.join(s.workdir, "dead.avi"))
        s.answer("ERROR")


if __name__ == "__main__":
    uitest.run(test_rgb24_recording_and_snapshots_taken_meanwhile,
               test_window_close_and_signals_complete_the_file, test_cancel_and_an_unwritable_path)
