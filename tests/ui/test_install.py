"""The installed program: its command line, the desktop entry and AppStream data as installed,
and the launcher, which runs it in an owner-only state directory with the installed language
modules and starts the save dialogs in the user's Pictures and Videos folders."""

import os, pathlib, re, stat, subprocess, tempfile, time

import uitest
from uitest import Session, check

APP_ID = "org.kovracam.kovracam"
CAMERAS = ("id=one; name=One; formats=YUY2 320x240@30; pattern=red\n"
           "id=two; name=Two; formats=YUY2 320x240@30; pattern=blue\n")


def test_command_line(args):
    env = {k: v for k, v in os.environ.items() if k != "DISPLAY"}  # answering needs no display
    wrong = r"[^\n]*unexpected argument[^\n]*\n"  # one line on standard error
    for argv, code, out, err in ((["--version"], 0, r"kovracam [^\n]+\n", ""),
                                 (["--help"], 0, r"Usage: kovracam.*", ""),
                                 (["--bogus"], 2, "", wrong), (["--version", "x"], 2, "", wrong),
                                 (["-platform", "xcb"], 2, "", wrong)):
        got = subprocess.run([args.app, *argv], capture_output=True, text=True, timeout=10,
                             env=dict(env, QT_QPA_PLATFORM="xcb"))
        check(got.returncode == code and re.fullmatch(out, got.stdout, re.S) and
              re.fullmatch(err, got.stderr), "%s: %r" % (argv, got))


def test_installed_launcher_state_and_save_folders(args):
    with tempfile.TemporaryDirectory(prefix="kovracam-install-") as tmp:
        prefix, home = os.path.join(tmp, "usr"), os.path.join(tmp, "home")
        subprocess.run(["cmake", "--install", os.path.dirname(os.path.abspath(args.app)),
                        "--prefix", prefix], check=True, stdout=subprocess.DEVNULL, timeout=60)
        share = os.path.join(prefix, "share")
        for validate in (["desktop-file-validate", share + "/applications/" + APP_ID + ".desktop"],
                         ["appstreamcli", "validate", "--no-net",
                          share + "/metainfo/" + APP_ID + ".metainfo.xml"]):
            out = subprocess.run(validate, capture_output=True, text=True, timeout=30)
            check(out.returncode == 0, "%s: %s" % (validate[0], out.stdout + out.stderr))
        os.makedirs(os.path.join(home, "Pictures"))  # no Videos: that dialog keeps its old start
        state = os.path.join(tmp, "state", "kovracam")
        with Session(os.path.join(prefix, "bin", "kovracam-launch")) as s:
            frame = s.start(CAMERAS, {
                "HOME": home, "XDG_STATE_HOME": os.path.dirname(state),
                "XDG_CONFIG_HOME": os.path.join(home, ".config"),
                "LANG": "de_DE.UTF-8", "LC_ALL": "", "LC_MESSAGES": "", "LANGUAGE": ""})
            mode = stat.filemode(os.lstat(state).st_mode)
            check(mode == "drwx------", "the state directory is " + mode)
            check(os.readlink(state + "/Language") == prefix + "/lib/kovracam/Language", "no link")
            # German texts through the link: their mnemonics drive the menus below.
            frame.choose("alt+g", "Down", "Return")  # Gerät > Two: remembered
            choice = pathlib.Path(state, "HardWare.KRV")
            uitest.wait_until(lambda: choice.exists() and choice.read_bytes()[4:] ==
                              "virtual:two".encode("utf-16-le"), 5, "Two not remembered")
            frame.save("alt+a", "e", "shot")  # Einzelbild speichern
            shot = pathlib.Path(home, "Pictures", "shot.jpg")
            uitest.wait_until(shot.exists, 5, lambda: "not in Pictures: %s" % os.listdir(state))
            frame.save("alt+a", "s", "take")  # Aufnahme starten
            time.sleep(0.5)
            frame.choose("alt+a", "b")  # Aufnahme beenden
            uitest.wait_until(pathlib.Path(state, "take.avi").exists, 5, "no recording in " + state)
            check(set(os.listdir(home)) <= {"Pictures", ".cache", ".config", ".local"},
                  "written into the home folder: %s" % os.listdir(home))
            check("skipped" not in s.stderr_text(), s.stderr_text())


if __name__ == "__main__":
    uitest.run(test_command_line, test_installed_launcher_state_and_save_folders)
