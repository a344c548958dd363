#!/usr/bin/env python3
"""SIGKILL mid-recording: how much of what the camera delivered can ffmpeg still decode?

    python3 bench/kill_bench.py --app build/kovracam [--runs 3] [--seconds 5]

Records a 30 fps camera through the real window under Xvfb, kills the app with SIGKILL after
--seconds, and decodes the file with ffmpeg. Prints the frames decoded, the frames the camera
delivered from the moment the file was created to the kill, and the difference in seconds: the
part a kill can cost (aim: under one second)."""

import argparse, os, pathlib, signal, subprocess, sys, time

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent / "tests" / "ui"))
import uitest  # noqa: E402

SIZES = ("320x240", "640x480", "1280x720")


def decoded(path):
    out = subprocess.run(["ffprobe", "-v", "error", "-count_frames", "-select_streams", "v:0",
                          "-show_entries", "stream=nb_read_frames", "-of", "csv=p=0", path],
                         capture_output=True, text=True, timeout=120).stdout.strip()
    return int(out) if out.isdigit() else 0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--app", required=True)
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--seconds", type=float, default=5)
    args = parser.parse_args()
    args.app = uitest.app_path(args.app)
    worst = 0.0
    for size in SIZES:
        for run in range(args.runs):
            with uitest.Session(args.app) as s:
                frame = s.start("id=k; name=K; formats=YUY2 %s@30; pattern=ball\n" % size)
                path = os.path.join(s.workdir, "killed.avi")
                frame.save("alt+c", "s", path)
                created = uitest.wait_until(
                    lambda: os.path.exists(path) and time.time(), 10, "no file", 0.005)
                time.sleep(max(0.0, created + args.seconds - time.time()))
                s.proc.send_signal(signal.SIGKILL)
                killed = time.time()
                s.proc.wait(10)
                got, delivered = decoded(path), round((killed - created) * 30)
                lost = (delivered - got) / 30
                worst = max(worst, lost)
                print("%-9s run %d: %3d frames decoded of %3d delivered: %.2f s lost" %
                      (size, run + 1, got, delivered, lost))
    print("worst: %.2f s lost (aim: under 1 s)" % worst)
    return 0 if worst < 1 else 1


if __name__ == "__main__":
    sys.exit(main())
