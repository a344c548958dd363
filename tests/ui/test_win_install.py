"""The Windows packages under Wine in Xvfb: the zip's listing, the installer run silently (the
files, the Start menu shortcut, the uninstall key), the installed program started through its
shortcut with a virtual camera, and the uninstaller run silently, leaving nothing behind.
  test_win_install.py --app build-win32/kovracam.exe --source .   packages that build
  test_win_install.py --packages ZIP SETUP --source .             checks those packages"""

import argparse, glob, os, re, struct, subprocess, sys, tempfile, time, zipfile

import uitest
from uitest import WinePrefix, WineSession, check

KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\KOVRACAM"
CAMERAS = ("id=one; name=First; formats=YUY2 320x240@30; pattern=red\n"
           "id=two; name=Second; formats=YUY2 320x240@30; pattern=blue\n")


class InstallPrefix(WinePrefix):
    OVERRIDES = WinePrefix.OVERRIDES + ";winemenubuilder.exe=d"  # no host menu entries


class ShortcutSession(WineSession):
    """Starts the program as a shortcut does: its target, in its "Start in" folder (a unix
    path: Wine makes it the current directory)."""

    def command(self):
        return ["wine", self.app]

    def spawn(self, command, env, preexec_fn=None):
        with open(os.path.join(self.workdir, "stderr.txt"), "w") as stderr:
            return subprocess.Popen(command, cwd=self.start_in, env=env, stderr=stderr,
                                    stdout=subprocess.DEVNULL)


def shortcut(path):
    """(target, working directory) of a Shell Link (.lnk) file."""
    data = open(path, "rb").read()
    flags, at, target, strings = struct.unpack_from("<I", data, 0x14)[0], 0x4C, None, []
    if flags & 0x1:  # an item id list
        at += 2 + struct.unpack_from("<H", data, at)[0]
    if flags & 0x2:  # link info: the local base path
        size, _, _, _, base = struct.unpack_from("<5I", data, at)
        target = data[at + base:data.index(b"\0", at + base)].decode("latin-1")  # ANSI
        at += size
    unicode = flags & 0x80
    for bit in (0x4, 0x8, 0x10):  # name, relative path, working directory
        if flags & bit:
            end = at + 2 + struct.unpack_from("<H", data, at)[0] * (2 if unicode else 1)
            text = data[at + 2:end].decode("utf-16-le" if unicode else "latin-1")
            strings.append(text.rstrip("\0"))  # Wine counts the terminator too
            at = end
    return target, strings[-1] if flags & 0x10 else None


def packages(args, tmp):
    """The zip and installer to check, and the module names the zip must hold (None: any)."""
    if args.packages:
        return args.packages, None
    language = os.path.join(os.path.dirname(args.app), "Language")
    if not glob.glob(os.path.join(language, "*.dll")):  # a stand-in module for the lists
        language = os.path.join(tmp, "Language")
        os.mkdir(language)
        with open(os.path.join(tmp, "stand_in.c"), "w") as source:
            source.write("int stand_in;\n")
        subprocess.run(["i686-w64-mingw32-gcc", "-shared", "-o", os.path.join(language, "xx.dll"),
                        source.name], check=True, timeout=60)
    made = subprocess.run([os.path.join(args.source, "scripts", "package-windows"), "--build",
                           os.path.dirname(args.app), "--language", language, "--out", tmp],
                          stdout=subprocess.PIPE, text=True, timeout=120, check=True)
    return made.stdout.splitlines(), sorted(os.listdir(language))


def registry(s):
    """The uninstall key's values as {name: data} (32-bit view), False when there is none."""
    out = subprocess.run(["wine", "reg", "query", KEY, "/reg:32"], capture_output=True,
                         text=True, timeout=30, env=s.environment({}))
    values = re.findall(r"^ +(\S+) +REG_\w+ +(.*?)\r?$", out.stdout, re.M)
    return out.returncode == 0 and dict(values)


def unix_path(s, windows):
    check(windows[:3].upper() == "C:\\", "%s is not on drive C:" % windows)
    return os.path.join(s.prefix.path, "drive_c", *windows[3:].split("\\"))


def files_under(top, folders=False):
    return sorted(os.path.relpath(os.path.join(d, f), top).replace(os.sep, "\\")
                  for d, subfolders, names in os.walk(top)
                  for f in names + (subfolders if folders else []))


def test_install_start_and_uninstall(args):
    with tempfile.TemporaryDirectory(prefix="kovracam-package-") as tmp:
        (zip_path, setup), modules = packages(args, tmp)
        listed = zipfile.ZipFile(zip_path).namelist()
        zipped = sorted(n[len("Language/"):] for n in listed if n.startswith("Language/"))
        check(sorted(listed) == sorted(["kovracam.exe"] + ["Language/" + m for m in zipped]) and
              all(re.fullmatch(r"[^/]+\.dll", m) for m in zipped), "zip holds %s" % listed)
        check(modules is None or zipped == modules, "zip holds %s, not %s" % (listed, modules))
        with InstallPrefix() as prefix, ShortcutSession(None, prefix) as s:
            started = time.time()
            installed = subprocess.run(["wine", setup, "/S"], env=s.environment({}), timeout=60,
                                       capture_output=True)
            check(installed.returncode == 0, "the installer ended with %d" % installed.returncode)
            key = registry(s)
            check(key and key.get("DisplayName") == "KOVRACAM", "uninstall key %s" % key)
            where = key["InstallLocation"]
            check(re.fullmatch(r"C:\\Program Files( \(x86\))?\\KOVRACAM", where),
                  "installed in " + where)
            folder = unix_path(s, where)
            expected = sorted([n.replace("/", "\\") for n in listed] + ["uninstall.exe"])
            check(files_under(folder) == expected, "installed %s" % files_under(folder))
            links = glob.glob(os.path.join(prefix.path, "drive_c", "**", "Start Menu", "Programs",
                                           "KOVRACAM.lnk"), recursive=True)
            check(len(links) == 1, "Start menu entries %s" % links)
            print("  installed in %.1f s" % (time.time() - started))

            # Started from the shortcut, the program runs in the installation folder: the
            # camera chosen is kept there, beside Language\.
            s.app, start_in = shortcut(links[0])
            check(s.app == where + "\\kovracam.exe" and start_in == where,
                  "the shortcut starts %s in %s" % (s.app, start_in))
            s.start_in = unix_path(s, start_in)
            frame = s.start(CAMERAS)
            frame.choose("alt+d", "Down", "Return")
            uitest.wait_until(lambda: os.path.exists(os.path.join(folder, "HardWare.KRV")), 10,
                              "no HardWare.KRV in the installation folder")
            frame.choose("alt+f", "x")
            check(s.exit_status() == 0, "exit status %s after File > Exit" % s.proc.returncode)

            # The uninstaller copies itself elsewhere and returns at once: wait for it.
            started = time.time()
            uninstall = re.fullmatch(r'"([^"]+)"', key["UninstallString"])
            check(uninstall, "UninstallString %s" % key["UninstallString"])
            subprocess.run(["wine", uninstall[1], "/S"], env=s.environment({}), timeout=60,
                           capture_output=True)
            uitest.wait_until(lambda: not os.path.exists(folder), 30,
                              lambda: "left behind: %s" % files_under(folder, True))
            uitest.wait_until(lambda: registry(s) is False, 10, "the uninstall key is left")
            check(not os.path.exists(links[0]), "the Start menu entry is left")
            print("  uninstalled in %.1f s" % (time.time() - started))


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--app")
    parser.add_argument("--packages", nargs=2, metavar=("ZIP", "SETUP"))
    parser.add_argument("--source", required=True)
    args = parser.parse_args()
    if not args.packages:
        args.app = uitest.app_path(args.app or "")
    started = time.time()
    try:
        test_install_start_and_uninstall(args)
        print("PASS test_install_start_and_uninstall (%.1fs)" % (time.time() - started))
    except Exception as e:
        print("FAIL test_install_start_and_uninstall: %s: %s" % (type(e).__name__, e))
        sys.exit(1)
