"""Faults through the real window, one table each for recordings and snapshots (tests/faults.md
lists them with what the user sees and what is left on disk). After each fault the app runs on
(or ends as asked) and opens a menu within two seconds, during a stall too, a box says what
failed, and every file left is complete (its header counts the frames ffprobe reads) or absent,
never partial."""

import contextlib, os, resource, shutil, stat, subprocess, time

import uitest
from uitest import Session, check
from test_real_path import PREVIEW, simulated
from test_recording import probe

CAMERAS = ("id=a; name=A; formats=YUY2 320x240@30; pattern=red\n"
           "id=b; name=B; formats=YUY2 320x240@30, YUY2 160x120@30; pattern=blue\n")


@contextlib.contextmanager
def small_disk(path, size, read_only=False):
    """A file system of `size` mounted at `path`; where mounting is not allowed, a folder
    read-only by its mode for a user other than root, or else None (the case is skipped)."""
    os.makedirs(path)
    options = "size=%s,mode=0777%s" % (size, ",ro" if read_only else "")
    if subprocess.run(["mount", "-t", "tmpfs", "-o", options, "tmpfs", path],
                      capture_output=True, timeout=10).returncode != 0:
        os.chmod(path, 0o555)
        yield path if read_only and os.geteuid() != 0 else None
        return
    try:
        yield path
    finally:
        subprocess.run(["umount", "-l", path], timeout=10)


def format_dialog(s, frame):
    # While recording, Preview is grayed and the menu opens on Video Capture filter.
    dialog = s.new_window(lambda: frame.choose("alt+o", "Down", "Return"))
    s.xdotool("windowfocus", "--sync", dialog)
    s.key("Down", "Return")
    s.wait_unmapped(dialog)


def told(s, reason):
    """The error box came, was answered, and said `reason` (boxes are also written to stderr)."""
    s.answer("ERROR")
    check(reason in s.stderr_text(), "the box did not say %r: %s" % (reason, s.stderr_text()))


def stop(s, frame, directory):
    frame.choose("alt+c", "p")


ANSWER_BOUND = 2.0  # seconds for the window to open a menu, however busy its camera or disk


def slowest_answer(s, frame, seconds=0.0):
    """The longest the window took to open its Capture menu, asked once a second for `seconds`
    (at least once); each menu is closed again."""
    slowest, until = 0.0, time.time() + seconds
    while True:
        asked = time.time()
        popup = frame.choose("alt+c")
        slowest = max(slowest, time.time() - asked)
        s.key("Escape")
        s.wait_unmapped(popup)
        if time.time() >= until:
            return slowest
        time.sleep(max(0.0, asked + 1 - time.time()))


# Name, folder maker (None: the scratch folder), fault, reason told (None: no box); the
# simulated camera's own faults come with it, the others use virtual cameras.
RECORDING_FAULTS = [
    ("Stop Capture", None, stop, None),
    ("another camera", None, lambda s, f, d: f.choose("alt+d", "Down", "Return"), None),
    ("format dialog restart", None, lambda s, f, d: format_dialog(s, f), None),
    ("disk full", lambda p: small_disk(p, "1m"), lambda s, f, d: None, "No space left on device"),
    ("file-size limit", None, lambda s, f, d: None, "File too large"),
    ("folder removed", contextlib.nullcontext,
     lambda s, f, d: (shutil.rmtree(d), stop(s, f, d)), "removed while recording"),
    ("camera unplugged", None, lambda s, f, d: None, "the camera stopped"),
    ("camera stalled for 10 s", None, lambda s, f, d: (
        DURING.update({"camera stalled for 10 s": slowest_answer(s, f, 11)}), stop(s, f, d)), None),
]
DURING = {}  # the slowest answer while the fault lasted, where it lasts
SIMULATED = {"camera unplugged": "unplug=stream+4", "camera stalled for 10 s": "stall=3+10"}


def test_recording_faults(args):
    for name, folder, fault, reason in RECORDING_FAULTS:
        with Session(args.app) as s:
            directory = os.path.join(s.workdir, "take")
            limit = 1024 * 1024 if name == "file-size limit" else resource.RLIM_INFINITY
            sim = name in SIMULATED and simulated(
                args.app, s.workdir, PREVIEW.replace("640x480@30 ", "") + "; " + SIMULATED[name])
            frame = s.start(None if sim else CAMERAS, sim or {}, lambda: resource.setrlimit(
                resource.RLIMIT_FSIZE, (limit, limit)))
            with (folder or contextlib.nullcontext)(directory) as target:
                if target is None:
                    print("  %s: SKIP, no small file system can be mounted here" % name)
                    continue
                os.makedirs(directory, exist_ok=True)
                movie = os.path.join(directory, "take.avi")
                frame.save("alt+c", "s", movie)
                time.sleep(1.5)
                fault(s, frame, directory)
                if reason:
                    told(s, reason)
                check(s.proc.poll() is None, "%s: the app ended" % name)
                top = frame.view_top + 50  # the preview goes on, red or blue
                uitest.wait_until(lambda: name == "camera unplugged" or s.screenshot().share(
                    (frame.x + 10, top + 10, frame.x + 150, top + 100),
                    lambda c: max(c[0], c[2]) > 180 and c[1] < 60) > 0.9, 10,
                    "%s: no preview" % name)
                if os.path.exists(movie):
                    got = probe(movie)
                    check(got[4] == got[-1] and int(got[4]) > 0, "%s: %s" % (name, got))
                else:
                    check(name == "folder removed", "%s: the recording is gone" % name)
                frame.choose("alt+c", "n")  # the app still answers: a snapshot dialog opens
                s.answer("Save As", "Escape")
                slowest = max(DURING.get(name, 0.0), slowest_answer(s, frame))
            check(slowest < ANSWER_BOUND, "%s: the window took %.2f s to answer" % (name, slowest))
            print("  %s: %s; the window answered within %.2f s" % (
                name, "told: " + reason if reason else "complete", slowest))


# Name, folder maker, file name in it, reason told.
SNAPSHOT_FAULTS = [
    ("full disk", lambda p: small_disk(p, "64k"), "shot.bmp", "No space left on device"),
    ("/dev/full", contextlib.nullcontext, "full.jpg", "Not a regular file"),
    ("folder without write permission", lambda p: small_disk(p, "1m", read_only=True),
     "shot.jpg", "Read-only file system" if os.geteuid() == 0 else "Permission denied"),
]


def test_snapshot_faults(args):
    with Session(args.app) as s:
        frame = s.start(CAMERAS)
        for name, folder, file_name, reason in SNAPSHOT_FAULTS:
            directory = os.path.join(s.workdir, "shots-%d" % len(os.listdir(s.workdir)))
            with folder(directory) as target:
                if target is None:
                    print("  %s: SKIP, no small file system can be mounted here" % name)
                    continue
                os.makedirs(directory, exist_ok=True)
                if name == "/dev/full":
                    os.symlink("/dev/full", os.path.join(directory, file_name))
                frame.save("alt+c", "n", os.path.join(directory, file_name))
                told(s, reason)
                left = sorted(os.listdir(directory))
                check(left == ([file_name] if name == "/dev/full" else []),
                      "%s: files left %s" % (name, left))
            check(stat.S_ISCHR(os.stat("/dev/full").st_mode), "/dev/full was replaced")
            slowest = slowest_answer(s, frame)
            check(slowest < ANSWER_BOUND, "%s: the window took %.2f s to answer" % (name, slowest))
            print("  %s: told: %s; the window answered within %.2f s" % (name, reason, slowest))


if __name__ == "__main__":
    uitest.run(test_recording_faults, test_snapshot_faults)
