"""The installed program: its command line, the desktop entry and AppStream data as installed,
and the launcher, which runs it in an owner-only state directory with the installed language
modules and starts the save dialogs in the user's Pictures and Videos folders."""

import os
import stat
import subprocess
import tempfile
import time

import uitest
from uitest import Session, check
from test_recording import capture_item, save_as

CAMERAS = ("id=one; name=One; formats=YUY2 320x240@30; pattern=red\n"
           "id=two; name=Two; formats=YUY2 320x240@30; pattern=blue\n")


def run_app(app, *args):
    # No display: answering must not need one.
    env = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
    return subprocess.run([app, *args], capture_output=True, text=True, timeout=10,
                          env=dict(env, QT_QPA_PLATFORM="xcb"))


def test_command_line(args):
    version = run_app(args.app, "--version")
    check((version.returncode, version.stderr) == (0, "") and
          version.stdout.startswith("kovracam ") and version.stdout.count("\n") == 1,
          "--version: %r" % (version,))
    usage = run_app(args.app, "--help")
    check(usage.returncode == 0 and usage.stdout.startswith("Usage: kovracam"),
          "--help: %r" % (usage,))
    for wrong in (["--bogus"], ["--version", "x"], ["-platform", "xcb"]):
        out = run_app(args.app, *wrong)
        check(out.returncode == 2 and out.stdout == "" and out.stderr.count("\n") == 1 and
              "unexpected argument" in out.stderr, "%s: %r" % (wrong, out))


def test_installed_launcher_state_and_save_folders(args):
    build = os.path.dirname(os.path.abspath(args.app))
    tmp = tempfile.mkdtemp(prefix="kovracam-install-")
    prefix, home = os.path.join(tmp, "usr"), os.path.join(tmp, "home")
    subprocess.run(["cmake", "--install", build, "--prefix", prefix], check=True,
                   stdout=subprocess.DEVNULL, timeout=60)
    for validate in (["desktop-file-validate", "applications/org.kovracam.kovracam.desktop"],
                     ["appstreamcli", "validate", "--no-net",
                      "metainfo/org.kovracam.kovracam.metainfo.xml"]):
        out = subprocess.run(validate[:-1] + [os.path.join(prefix, "share", validate[-1])],
                             capture_output=True, text=True, timeout=30)
        check(out.returncode == 0, "%s: %s" % (validate[0], out.stdout + out.stderr))
    os.makedirs(os.path.join(home, "Pictures"))  # no Videos: that dialog keeps its old start
    state = os.path.join(tmp, "state", "kovracam")
    s = Session(os.path.join(prefix, "bin", "kovracam-launch"))
    try:
        frame = s.start_frame(CAMERAS, {
            "HOME": home, "XDG_STATE_HOME": os.path.dirname(state),
            "XDG_CONFIG_HOME": os.path.join(home, ".config"),
            "LANG": "de_DE.UTF-8", "LC_ALL": "", "LC_MESSAGES": "", "LANGUAGE": ""})
        mode = os.lstat(state).st_mode
        check(stat.S_ISDIR(mode) and stat.S_IMODE(mode) == 0o700, "state: %o" % mode)
        check(os.readlink(os.path.join(state, "Language")) ==
              os.path.join(prefix, "lib", "kovracam", "Language"), "no Language link")
        # German through the link: Hilfe > Info über KOVRACAM, and the German mnemonics below.
        capture_item(s, frame, "i", "alt+h")
        about = s.find_window("Info .* KOVRACAM", timeout=10)  # the ü does not match as typed
        s.xdotool("windowfocus", "--sync", about)
        s.key("Escape")
        s.wait_unmapped(about)
        capture_item(s, frame, "Down", "alt+g")  # Gerät > Two: remembered
        s.key("Return")
        choice = os.path.join(state, "HardWare.KRV")
        uitest.wait_until(lambda: os.path.exists(choice), 5, "no HardWare.KRV in the state dir")
        with open(choice, "rb") as f:
            name = f.read()[4:].decode("utf-16-le")
        check(name == "virtual:two", "HardWare.KRV names %r" % name)
        capture_item(s, frame, "e", "alt+a")  # Einzelbild speichern
        save_as(s, "shot")
        uitest.wait_until(lambda: os.path.exists(os.path.join(home, "Pictures", "shot.jpg")), 5,
                          lambda: "the snapshot is not in Pictures: %s" % os.listdir(state))
        capture_item(s, frame, "s", "alt+a")  # Aufnahme starten
        save_as(s, "take")
        time.sleep(0.5)
        capture_item(s, frame, "b", "alt+a")  # Aufnahme beenden
        uitest.wait_until(lambda: os.path.exists(os.path.join(state, "take.avi")), 5,
                          "the recording is not in the state directory")
        check(set(os.listdir(home)) <= {"Pictures", ".cache", ".config", ".local"},
              "written into the home folder: %s" % os.listdir(home))
        check("skipped" not in s.stderr_text(), s.stderr_text())
    finally:
        s.close()
        subprocess.run(["rm", "-rf", tmp], timeout=30)


if __name__ == "__main__":
    uitest.run([test_command_line, test_installed_launcher_state_and_save_folders])
