#!/usr/bin/env python3
"""A long session through the real window under Xvfb: preview with recordings started and
stopped, snapshots, device switches, format changes and control dialogs opened and closed, spread
evenly over the run. Prints resident memory, open descriptors, warnings and the files left.

    python3 bench/soak.py --app build/kovracam --source . [--seconds 1800]

Aims: memory after the first minute (the first sixth of a shorter run) grows by less than 5 MiB,
the descriptor count comes back to its start value, no GStreamer or Qt warning, every recording
complete (header frame count = frames read) and every snapshot readable. Memory is judged only
in runs of ten minutes or more; a shorter one (scripts/test runs one of a minute) is warming up.
The start values are taken after one warm-up round of every action. Exits non-zero when an aim
is missed."""

import argparse, os, pathlib, re, subprocess, sys, time

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent / "tests" / "ui"))
import uitest  # noqa: E402
from uitest import Session, check  # noqa: E402

CAMERAS = ("id=a; name=Alpha; formats=YUY2 320x240@30, YUY2 160x120@30; pattern=red\n"
           "id=b; name=Bravo; formats=RGB24 320x240@30, RGB24 176x144@15; pattern=smpte\n"
           "id=c; name=Charlie; formats=YUY2 640x480@30, YUY2 320x240@30; pattern=ball\n")
PER_HALF_HOUR = {"record": 20, "snapshot": 200, "switch": 100, "format": 50, "controls": 50}
WARNING = re.compile(r"WARN|CRITICAL|ERROR|^Q\w+::|QPainter|QObject", re.M)


def schedule(seconds):
    """(when, action) for every action, each kind spread evenly over the run."""
    plan = []
    for action, count in PER_HALF_HOUR.items():
        n = max(2, round(count * seconds / 1800))
        plan += [((i + 0.5) * seconds / n, action) for i in range(n)]
    return sorted(plan)


def rss_kib(pid):
    status = pathlib.Path("/proc/%d/status" % pid).read_text()
    return int(re.search(r"VmRSS:\s+(\d+)", status)[1])


def descriptors(pid):
    """The count most often seen over two seconds: a streaming thread's wake-up descriptor may
    come and go at any moment, which is no leak."""
    seen = []
    for _ in range(8):
        seen.append(len(os.listdir("/proc/%d/fd" % pid)))
        time.sleep(0.25)
    return max(seen, key=seen.count)


class Soak:
    def __init__(self, session, frame):
        self.s, self.frame, self.done = session, frame, {k: 0 for k in PER_HALF_HOUR}
        self.recordings, self.snapshots = [], []

    def record(self):
        path = os.path.join(self.s.workdir, "take%02d.avi" % len(self.recordings))
        self.frame.save("alt+c", "s", path)
        time.sleep(3)
        self.frame.choose("alt+c", "p")
        self.recordings.append(path)

    def snapshot(self):
        name = "shot%03d.%s" % (len(self.snapshots), "bmp" if len(self.snapshots) % 2 else "jpg")
        path = pathlib.Path(self.s.workdir, name)
        self.frame.save("alt+c", "n", str(path))
        uitest.wait_until(path.exists, 10, "no snapshot %s" % name)
        self.snapshots.append(path)

    def switch(self):  # the next camera of the three, by the Device menu's arrows
        self.frame.choose("alt+d", *(["Down"] * ((self.done["switch"] + 1) % 3)), "Return")

    def format(self):  # the format dialog: the other of the camera's two formats
        dialog = self.s.new_window(lambda: self.frame.choose("alt+o", "Down", "Down", "Return"))
        self.s.xdotool("windowfocus", "--sync", dialog)
        self.s.key("Down" if self.done["format"] % 2 == 0 else "Up", "Return")
        self.s.wait_unmapped(dialog)

    def controls(self):
        self.frame.choose("alt+o", "Down", "Return")
        self.s.answer("Capture Filter")

    def warm_up(self):
        """Each action once: the first file dialog opens caches and a thread that live as long as
        the process (icon and MIME caches, two event descriptors), which is no leak."""
        for action in PER_HALF_HOUR:
            getattr(self, action)()
        time.sleep(2)

    def run(self, plan, seconds, settle):
        started = time.time()
        self.fds_start = descriptors(self.s.proc.pid)
        self.rss_settled = None
        for when, action in plan:
            if self.rss_settled is None and time.time() - started >= settle:
                self.rss_settled = rss_kib(self.s.proc.pid)
            time.sleep(max(0.0, started + when - time.time()))
            check(self.s.proc.poll() is None, "the app ended: %s" % self.s.stderr_text())
            getattr(self, action)()
            self.done[action] += 1
        time.sleep(max(0.0, started + seconds - time.time()))
        time.sleep(2)  # the last restart settles
        self.rss_end, self.fds_end = rss_kib(self.s.proc.pid), descriptors(self.s.proc.pid)


def complete(path):
    out = subprocess.run(["ffprobe", "-v", "error", "-count_frames", "-select_streams", "v:0",
                          "-show_entries", "stream=nb_frames,nb_read_frames", "-of", "csv=p=0",
                          path], capture_output=True, text=True, timeout=60).stdout.split(",")
    return len(out) == 2 and out[0].strip() == out[1].strip() and int(out[0]) > 0


def readable(path):
    return subprocess.run(["identify", str(path)], capture_output=True, timeout=30).returncode == 0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--app", required=True)
    parser.add_argument("--source", default=".")
    parser.add_argument("--seconds", type=float, default=1800)
    args = parser.parse_args()
    args.app = uitest.app_path(args.app)
    settle = min(60.0, args.seconds / 6)
    with Session(args.app) as s:
        frame = s.start(CAMERAS)
        time.sleep(2)  # the first frames painted: the descriptors in use while previewing
        soak = Soak(s, frame)
        soak.warm_up()
        soak.run(schedule(args.seconds), args.seconds, settle)
        warnings = WARNING.findall(s.stderr_text())
        broken = [p for p in soak.recordings if not complete(p)]
        broken += [str(p) for p in soak.snapshots if not readable(p)]
        growth = (soak.rss_end - soak.rss_settled) / 1024
        print("actions: %s" % ", ".join("%s %d" % kv for kv in soak.done.items()))
        print("resident memory: %.1f MiB after %.0f s, %.1f MiB at the end: %+.2f MiB" %
              (soak.rss_settled / 1024, settle, soak.rss_end / 1024, growth))
        print("descriptors: %d at the start, %d at the end" % (soak.fds_start, soak.fds_end))
        print("warnings: %d%s" % (len(warnings), "" if not warnings else "\n" + s.stderr_text()))
        print("files: %d recordings, %d snapshots, %d incomplete or unreadable %s" %
              (len(soak.recordings), len(soak.snapshots), len(broken), broken or ""))
        # A short run is still warming up: its memory is shown, not judged.
        missed = [what for what, bad in (("memory", growth >= 5 and args.seconds >= 600),
                                         ("descriptors", soak.fds_end != soak.fds_start),
                                         ("warnings", warnings), ("files", broken)) if bad]
        print("aims missed: %s" % (", ".join(missed) or "none"))
        return 1 if missed else 0


if __name__ == "__main__":
    sys.exit(main())
