"""A build's Windows packages under Wine: zip, silent install, start from the entry, uninstall."""

import glob, os, pathlib, re, struct, subprocess, tempfile, zipfile

from uitest import Frame, WinePrefix, WineSession, check, run, wait_until

KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\KOVRACAM"
LINK = r"C:\ProgramData\Microsoft\Windows\Start Menu\Programs\KOVRACAM.lnk"
CAMERAS = "id=a; name=A; formats=YUY2 320x240@30\nid=b; name=B; formats=YUY2 320x240@30\n"


def version_resource(path):
    """The fixed file version (four numbers) and the texts of a file's version resource."""
    raw = subprocess.run(["wrestool", "-x", "--raw", "--type=16", str(path)], capture_output=True,
                         timeout=30).stdout
    at = raw.find(struct.pack("<I", 0xFEEF04BD))  # VS_FIXEDFILEINFO's signature
    high, low = struct.unpack_from("<2I", raw, at + 8) if at >= 0 else (0, 0)
    texts = dict(re.findall(r"(\w+)\0+([^\0]+)\0", raw.decode("utf-16-le", "replace")))
    return "%d.%d.%d.%d" % (high >> 16, high & 0xFFFF, low >> 16, low & 0xFFFF), texts


def test_install_start_and_uninstall(args):
    with tempfile.TemporaryDirectory() as tmp, WinePrefix() as prefix, \
            WineSession(args.app, prefix) as s:
        wine = lambda *command: subprocess.run(  # noqa: E731
            ["wine", *command], env=s.environment({}), capture_output=True, text=True, timeout=60)
        query = lambda: wine("reg", "query", KEY, "/reg:32")  # noqa: E731 (the 32-bit view)
        build = os.path.dirname(args.app)
        files = sorted(["kovracam.exe"] + [os.path.relpath(p, build) for p in glob.glob(
            build + "/Language/*.dll")])
        zip_path, setup = subprocess.run([args.source + "/scripts/package-windows", "--build",
                                          build, "--out", tmp], stdout=subprocess.PIPE, text=True,
                                         check=True, timeout=120).stdout.splitlines()
        check(sorted(zipfile.ZipFile(zip_path).namelist()) == files, "the zip lacks %s" % files)
        check(wine(setup, "/S").returncode == 0, "the installer failed")
        key = dict(re.findall(r"^ +(\S+) +REG_\w+ +(.*?)\r?$", query().stdout, re.M))
        unix = lambda p: pathlib.Path(prefix.path, "drive_c", *p[3:].split("\\"))  # noqa: E731
        folder, link = unix(key.get("InstallLocation", "")), unix(LINK)
        left = lambda: sorted(str(p.relative_to(folder)) for p in folder.rglob("*"))  # noqa: E731
        check(re.search(r"/Program Files( \(x86\))?/KOVRACAM$", str(folder)) and link.exists()
              and left() == sorted(files + ["Language"] * (len(files) > 1) + ["uninstall.exe"]),
              "installed in %s: %s; the entry: %s" % (folder, left(), link.exists()))
        # Every file says which KOVRACAM it is, the version Add/Remove Programs shows.
        version = key.get("DisplayVersion", "")
        numbers = ".".join((version.split(".") + ["0"] * 4)[:4])
        for path in [folder / name for name in files] + [pathlib.Path(setup)]:
            fixed, texts = version_resource(path)
            check(fixed == numbers and texts.get("ProductVersion") == version and
                  texts.get("ProductName") == "KOVRACAM" and texts.get("FileDescription") and
                  "KOVRACAM" in texts.get("LegalCopyright", ""),
                  "%s: version %s %s, DisplayVersion %r" % (path.name, fixed, texts, version))

        # Opened from its entry, the program runs in its folder and keeps the camera chosen there.
        s.command = lambda: ["wine", "start", LINK]
        s.start(CAMERAS, main=False)
        frame = Frame(s, wait_until(lambda: s.xdotool("search", "--onlyvisible", "--name",
                                                      "^KOVRACAM$"), 60, "no KOVRACAM window"))
        frame.choose("alt+d", "Down", "Return")
        wait_until(lambda: "HardWare.KRV" in left(), 10, "no HardWare.KRV in %s" % folder)
        frame.choose("alt+f", "x")
        prefix.server("-w", timeout=30)  # the program ends, then Wine

        wine(key["UninstallString"].strip('"'), "/S")  # goes on from a copy of itself
        wait_until(lambda: not folder.exists(), 30, lambda: "left %s" % left())
        check(query().returncode != 0 and not link.exists(), "the key or the entry is left")


if __name__ == "__main__":
    run(test_install_start_and_uninstall)
