#!/usr/bin/env python3
"""A long session of the Windows build through its real window under Wine in Xvfb: recordings
started and stopped, snapshots, camera switches (one camera with a preview pin and a still pin),
the filter and pin pages opened and closed, and Preview off and on, spread evenly over the run.
The program reports its own figures (KOVRACAM_STATS): memory, kernel handles, GDI and USER
objects, once started, every minute and at the end.

    python3 bench/win_soak.py --app build-win32/kovracam.exe [--seconds 1800]

Aims, in runs of ten minutes or more (a shorter one is still warming up and is only shown):
private memory after the settling time (a sixth of the run, at most five minutes) grows by less
than 5 MiB to the end, and handles, GDI and USER objects end where they were then (the median of
the last three minute lines against that of the first three after settling, a dialog open at the
moment of a line being no leak). Always: every recording complete (the header counts every
index entry, and ffprobe reads every frame with data: a frame the camera skipped on a loaded
machine is kept by Wine's multiplexer as an entry without data, counted and shown), every
snapshot readable, the program alive and ending with status 0. Exits non-zero when an aim is
missed; --keep DIR keeps the recordings found wrong."""

import argparse, os, pathlib, re, shutil, statistics, struct, subprocess, sys, time

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent / "tests" / "ui"))
sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))
import uitest  # noqa: E402
from uitest import WinePrefix, WineSession, check  # noqa: E402
from soak import readable  # noqa: E402

CAMERAS = ("id=a; name=Alpha; formats=YUY2 320x240@30, YUY2 160x120@30; pattern=red\n"
           "id=b; name=Bravo; formats=RGB24 320x240@30, RGB24 176x144@15; pattern=smpte\n"
           "id=c; name=Charlie; formats=YUY2 320x240@30, YUY2 640x480@15; pattern=ball; "
           "pins=capture, preview, still\n")
PER_HALF_HOUR = {"record": 15, "snapshot": 60, "switch": 40, "page": 30, "preview": 30}
LINE = re.compile(r"kovracam-stats (\w+) seconds=(\d+) working_set_kib=(\d+) private_kib=(\d+) "
                  r"handles=(\d+) gdi=(\d+) user=(\d+)")
FIELDS = ("working_set_kib", "private_kib", "handles", "gdi", "user")


def schedule(seconds):
    """(when, action) for every action, each kind spread evenly over the run."""
    plan = []
    for action, count in PER_HALF_HOUR.items():
        n = max(1, round(count * seconds / 1800))
        plan += [((i + 0.5) * seconds / n, action) for i in range(n)]
    return sorted(plan)


def stats_lines(path):
    """(moment, seconds, {field: value}) of each line the program wrote."""
    try:
        text = pathlib.Path(path).read_text()
    except OSError:
        return []
    return [(m[1], int(m[2]), dict(zip(FIELDS, map(int, m.groups()[2:]))))
            for m in LINE.finditer(text)]


class Soak:
    def __init__(self, session, frame):
        self.s, self.frame, self.done = session, frame, {k: 0 for k in PER_HALF_HOUR}
        self.recordings, self.snapshots = [], []
        self.started = time.time()

    def record(self):
        path = os.path.join(self.s.workdir, "take%02d" % len(self.recordings))
        self.frame.save("alt+c", "s", self.s.native_path(path))
        time.sleep(3)
        self.frame.choose("alt+c", "p")  # Stop Capture
        self.recordings.append(path + ".avi")

    def snapshot(self):
        name = "shot%03d.%s" % (len(self.snapshots), "bmp" if len(self.snapshots) % 2 else "jpg")
        path = pathlib.Path(self.s.workdir, name)
        self.frame.save("alt+c", "n", self.s.native_path(str(path)))
        uitest.wait_until(path.exists, 15, "no snapshot %s" % name)
        self.snapshots.append(path)

    def switch(self):  # the next camera of the three, by the Device menu's arrows
        self.frame.choose("alt+d", *(["Down"] * ((self.done["switch"] + 1) % 3)), "Return")

    def page(self):  # the filter's page (OK) and the pin's page (Cancel) in turn
        keys, answer = (("Down",), "Return") if self.done["page"] % 2 == 0 else \
            (("Down", "Down"), "Escape")
        page = self.s.new_window(lambda: self.frame.choose("alt+o", *keys, "Return"))
        self.s.xdotool("windowfocus", "--sync", page, "key", answer)
        self.s.wait_unmapped(page)

    def preview(self):  # Option > Preview off, then on
        self.frame.choose("alt+o", "p")
        time.sleep(1)
        self.frame.choose("alt+o", "p")

    def warm_up(self):
        """Each action once (the pages twice): the first dialogs load what stays loaded."""
        for action in PER_HALF_HOUR:
            getattr(self, action)()
            self.done[action] += 1
        self.page()
        self.done["page"] += 1
        time.sleep(2)

    def run(self, plan, seconds):
        self.started = started = time.time()
        for when, action in plan:
            time.sleep(max(0.0, started + when - time.time()))
            check(self.s.proc.poll() is None, "the program ended: %s" % self.s.stderr_text())
            getattr(self, action)()
            self.done[action] += 1
        time.sleep(max(0.0, started + seconds - time.time()))


def avi_counts(path):
    """(frames the header counts, index entries of the video stream, those with data); -1 each
    when the file lacks a header or an index. Wine's multiplexer keeps the time line of a frame
    the camera skipped (a loaded machine) as an index entry without data."""
    data = pathlib.Path(path).read_bytes()
    strh, idx1 = data.find(b"strh"), data.rfind(b"idx1")
    if data[:4] != b"RIFF" or strh < 0 or idx1 < 0:
        return -1, -1, -1
    size, = struct.unpack_from("<I", data, idx1 + 4)
    entries = [struct.unpack_from("<4sIII", data, at) for at in range(idx1 + 8, idx1 + 8 + size, 16)
               if at + 16 <= len(data)]
    video = [e for e in entries if e[0][:2] == b"00"]
    return struct.unpack_from("<I", data, strh + 40)[0], len(video), sum(e[3] > 0 for e in video)


def frames_read(path):
    out = subprocess.run(["ffprobe", "-v", "error", "-count_frames", "-select_streams", "v:0",
                          "-show_entries", "stream=nb_read_frames", "-of", "csv=p=0", path],
                         capture_output=True, text=True, timeout=60).stdout.strip()
    return int(out) if out.isdigit() else -1


def recording_fault(path):
    """None for a complete file: the header counts every index entry, and ffprobe reads every
    frame with data; else what is wrong."""
    header, listed, with_data = avi_counts(path)
    if header > 0 and header == listed and frames_read(path) == with_data:
        return None
    return "header %d, index %d, with data %d, read %d" % (header, listed, with_data,
                                                          frames_read(path))


def median_of(lines, field):
    return statistics.median(values[field] for _, _, values in lines)


def judge(lines, settle, seconds):
    """The figures to print and the aims missed, from the program's own lines."""
    minutes = [line for line in lines if line[0] == "minute"]
    settled = [line for line in minutes if line[1] >= settle][:3]
    last = minutes[-3:]
    shown, missed = [], []
    for moment in ("start", "exit"):
        found = [values for name, _, values in lines if name == moment]
        shown.append("%s: %s" % (moment, found[0] if found else "no line"))
        if not found:
            missed.append("a %s line" % moment)
    if not settled or not last or seconds < 600:
        return shown + ["(a run this short is still warming up: not judged)"], missed
    for field in FIELDS[1:]:
        before, after = median_of(settled, field), median_of(last, field)
        shown.append("%s: %g after %d s, %g at the end (%+g)" % (
            field, before, settled[0][1], after, after - before))
        limit = 5 * 1024 if field == "private_kib" else 0
        if after - before > limit:
            missed.append(field)
    return shown, missed


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--app", required=True)
    parser.add_argument("--seconds", type=float, default=1800)
    parser.add_argument("--keep", help="a folder the files found wrong are copied to")
    args = parser.parse_args()
    args.app = uitest.app_path(args.app)
    settle = min(300.0, args.seconds / 6)
    with WinePrefix() as prefix, WineSession(args.app, prefix) as s:
        stats = os.path.join(s.workdir, "stats.txt")
        frame = s.start(CAMERAS, {"KOVRACAM_STATS": s.native_path(stats)})
        time.sleep(2)
        soak = Soak(s, frame)
        soak.warm_up()
        try:
            soak.run(schedule(args.seconds), args.seconds)
            frame.choose("alt+f", "x")  # File > Exit
            status = s.exit_status(30)
        except AssertionError as failure:  # the figures so far are still worth showing
            print("the run broke off after %.0f s: %s" % (time.time() - soak.started, failure))
            status = "none (broken off)"
        faults = {p: recording_fault(p) for p in soak.recordings}
        broken = ["%s (%s)" % (p, fault) for p, fault in faults.items() if fault]
        broken += [str(p) for p in soak.snapshots if not readable(p)]
        skipped = sum(avi_counts(p)[1] - avi_counts(p)[2] for p in soak.recordings)
        if args.keep and broken:
            os.makedirs(args.keep, exist_ok=True)
            for p in [p for p, fault in faults.items() if fault]:
                shutil.copy(p, args.keep)
        shown, missed = judge(stats_lines(stats), settle, args.seconds)
        print("actions: %s" % ", ".join("%s %d" % kv for kv in soak.done.items()))
        print("\n".join(shown))
        print("program's lines: " + "; ".join("%s %d s: private %d KiB, %d handles" % (
            name, seconds, values["private_kib"], values["handles"])
            for name, seconds, values in stats_lines(stats)))
        print("files: %d recordings (%d skipped frames kept as empty entries), %d snapshots, "
              "%d incomplete or unreadable %s" % (len(soak.recordings), skipped,
                                                  len(soak.snapshots), len(broken), broken or ""))
        print("exit status: %s" % status)
        missed += ["files"] * bool(broken) + ["exit status"] * (status != 0)
        print("aims missed: %s" % (", ".join(missed) or "none"))
        return 1 if missed else 0


if __name__ == "__main__":
    sys.exit(main())
