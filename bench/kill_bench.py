#!/usr/bin/env python3
"""SIGKILL mid-recording: how much of what the camera delivered can ffmpeg still decode?

    python3 bench/kill_bench.py --app build/kovracam [--runs 3] [--seconds 5] [--copies 3]
    python3 bench/kill_bench.py --app build-win32/kovracam.exe    # under Wine, in a scratch prefix

Records a 30 fps camera through the real window under Xvfb, kills the app with SIGKILL after
--seconds, and decodes the file with ffmpeg. Prints the frames decoded, the frames the camera
delivered from the moment the file was created to the kill, and the difference in seconds: the
part a kill can cost (aim: under one second); in brackets the same from the moment the first
frame reached the file, which leaves out the recording's start. With --copies, the file is also copied at that many
random moments while it is written, and each copy decoded the same way: what a reader (or a
disk holding all that was written) has at any moment. At the same moments the system is asked
how much of the file it holds only in memory (cachestat(2): dirty pages and pages being written
back), in seconds of recording: what a power cut at that moment would take besides."""

import argparse, contextlib, ctypes, math, os, pathlib, random, shutil, signal, struct, subprocess, sys
import tempfile, time

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent / "tests" / "ui"))
import uitest  # noqa: E402

SIZES = ("320x240", "640x480", "1280x720")


def decoded(path):
    out = subprocess.run(["ffprobe", "-v", "error", "-count_frames", "-select_streams", "v:0",
                          "-show_entries", "stream=nb_read_frames", "-of", "csv=p=0", path],
                         capture_output=True, text=True, timeout=120).stdout.strip()
    return int(out) if out.isdigit() else 0


def last_frame_number(path, width, height):
    """The Windows virtual camera's number of the last frame in `path`, from where its ball is
    in the last five frames (taken as consecutive), or None when they fit no number."""
    out = subprocess.run(["ffmpeg", "-v", "quiet", "-i", path, "-vf",
                          "scale=64:48:flags=area,format=gray", "-f", "rawvideo", "-"],
                         capture_output=True, timeout=120).stdout
    frames = [out[i:i + 64 * 48] for i in range(0, len(out) - 64 * 48 + 1, 64 * 48)][-5:]
    seen = []
    for frame in frames:
        lit = [(i % 64, i // 64) for i, v in enumerate(frame) if v > 128]
        if not lit:
            return None
        seen.append(((sum(x for x, _ in lit) / len(lit) + 0.5) / 64,
                     (sum(y for _, y in lit) / len(lit) + 0.5) / 48))
    radius = max(1, min(width, height) // 10)

    def ball(t):  # as capture/win/virtual/frame_painter.cpp draws it, as a share of the picture
        return ((radius + (width - 2 * radius) * (0.5 + 0.5 * math.sin(t * 0.071))) / width,
                (radius + (height - 2 * radius) * (0.5 + 0.5 * math.sin(t * 0.113))) / height)

    def misfit(last):
        return sum((a - b) ** 2 for k, point in enumerate(seen)
                   for a, b in zip(point, ball(last - len(seen) + 1 + k)))
    best = min(range(len(seen) - 1, 3600), key=misfit)
    return best if misfit(best) < 0.002 * len(seen) else None


def unwritten_bytes(path):
    """Bytes of `path` that are not on the disk yet (Linux 6.5's cachestat), or None."""
    fd = os.open(path, os.O_RDONLY)
    try:
        stats = ctypes.create_string_buffer(40)  # cache, dirty, writeback, evicted, recent
        whole = ctypes.c_char_p(struct.pack("<QQ", 0, 0))
        if ctypes.CDLL(None).syscall(451, fd, whole, stats, 0) != 0:
            return None
        return sum(struct.unpack("<5Q", stats.raw)[1:3]) * os.sysconf("SC_PAGE_SIZE")
    finally:
        os.close(fd)


def take_copies(path, created, moments, scratch, second):
    """Copies of `path` taken at `moments` (s after `created`): (copy, when taken, seconds of the
    file (`second` bytes each) held only in memory then, -1 when the system cannot tell)."""
    taken = []
    for n, moment in enumerate(sorted(moments)):
        time.sleep(max(0.0, created + moment - time.time()))
        copy = os.path.join(scratch, "copy%d.avi" % n)
        unwritten = unwritten_bytes(path)
        shutil.copyfile(path, copy)
        taken.append((copy, time.time() - created, -1 if unwritten is None else unwritten / second))
    return taken


def copies_lost(taken):
    """Worst seconds lost in the copies, and worst seconds held only in memory."""
    lost = [(round(at * 30) - decoded(copy)) / 30 for copy, at, _ in taken]
    for copy, _, _ in taken:
        os.unlink(copy)
    return max(lost), max(memory for _, _, memory in taken)


def run_once(s, size, args, scratch):
    """(decoded, delivered since the file was created, since its first frame, the camera's
    number of the last frame or None, worst loss among the copies and in memory or None) of one
    killed recording."""
    frame = s.start("id=k; name=K; formats=YUY2 %s@30; pattern=ball\n" % size)
    path = os.path.join(s.workdir, "killed.avi")
    frame.save("alt+c", "s", s.native_path(path))
    created = uitest.wait_until(lambda: os.path.exists(path) and time.time(), 10, "no file", 0.005)
    # The first frame's bytes reach the file: the graph has started (headers are smaller).
    first = uitest.wait_until(lambda: os.path.getsize(path) > 128 << 10 and time.time(), 20,
                              "no frame written", 0.005)
    moments = [random.uniform(0, args.seconds) for _ in range(args.copies)]
    width, height = (int(v) for v in size.split("x"))
    second = (width * height * 2 + 8) * 30
    taken = take_copies(path, created, moments, scratch, second)
    time.sleep(max(0.0, created + args.seconds - time.time()))
    s.proc.send_signal(signal.SIGKILL)
    killed = time.time()
    s.proc.wait(10)
    number = last_frame_number(path, width, height) if args.app.endswith(".exe") else None
    return (decoded(path), round((killed - created) * 30), round((killed - first) * 30), number,
            copies_lost(taken) if taken else None)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--app", required=True)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--seconds", type=float, default=5)
    parser.add_argument("--copies", type=int, default=0)
    args = parser.parse_args()
    args.app = uitest.app_path(args.app)
    wine = args.app.lower().endswith(".exe")
    worst = 0.0
    with (uitest.WinePrefix() if wine else contextlib.nullcontext()) as prefix, \
            tempfile.TemporaryDirectory(prefix="kovracam-kill-") as scratch:
        for size in SIZES:
            for run in range(args.runs):
                with (uitest.WineSession(args.app, prefix) if wine else
                      uitest.Session(args.app)) as s:
                    got, delivered, since_first, number, copies = run_once(s, size, args,
                                                                           scratch)
                lost = (delivered - got) / 30
                if number is not None:  # the camera numbers its frames by their time
                    print("%-9s run %d: the last frame is the camera's %d: %d skipped by the "
                          "camera, the kill took %.2f s" % (size, run + 1, number,
                                                            number + 1 - got,
                                                            (since_first - number - 1) / 30))
                worst = max(worst, lost, copies[0] if copies else 0)
                print("%-9s run %d: %3d frames decoded of %3d delivered: %.2f s lost (%.2f s from "
                      "the first frame)%s" % (size, run + 1, got, delivered, lost,
                                              (since_first - got) / 30, "" if copies is None else
                                              "; copies: %.2f s lost, %.2f s only in memory" %
                                              copies))
    print("worst: %.2f s lost (aim: under 1 s)" % worst)
    return 0 if worst < 1 else 1


if __name__ == "__main__":
    sys.exit(main())
