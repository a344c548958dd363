"""Texts on the real window under Xvfb. The menu bar and About box of the shipped
language modules and of the built-in texts are compared pixel for pixel with reference runs on
modules compiled here from the texts expected; the status bar's frame rate with that text drawn
in a reference About box."""

import os, pathlib, shutil, subprocess

import uitest
from uitest import Session, check, is_dark, luminance

HELP_MENU = 4
BUILT_IN = {5002: "KORVACAM Version 20081229", 5003: "Copyright (C) 2008",
            5004: "About KORVACAM", 5005: "&About KORVACAM", 5016: "&Help", 5017: "&File",
            5007: "&Device", 5018: "&Option", 5019: "&Captue", 5020: "OK"}
GERMAN = {5002: "KOVRACAM Version 20081229", 5003: "Copyright (C) 2008",
          5004: "Info über KOVRACAM", 5005: "&Info über KOVRACAM", 5016: "&Hilfe",
          5017: "&Datei", 5007: "&Gerät", 5018: "&Optionen", 5019: "&Aufnahme", 5020: "OK"}
# The Japanese reference's About box carries the frame rates the status bar should show.
JAPANESE = {5017: "ファイル(&F)", 5007: "デバイス(&D)", 5018: "オプション(&O)",
            5019: "キャプチャ(&C)", 5016: "ヘルプ(&H)", 5005: "バージョン情報(&A)",
            5002: "Frame Rate 30.0", 5003: "Frame Rate 7.5"}


def reference_modules(s, build):
    """A Language folder with a module for each language, compiled from the texts above."""
    folder = os.path.join(s.workdir, "reference")
    os.mkdir(folder)
    for langid, texts in ((0x0409, BUILT_IN), (0x0407, GERMAN), (0x0411, JAPANESE)):
        source = os.path.join(s.workdir, "%x.txt" % langid)
        pathlib.Path(source).write_text("language\t%#06x\n" % langid + "".join(
            "%d\t%s\n" % item for item in sorted(texts.items())), encoding="utf-8")
        subprocess.run([os.path.join(build, "strblk"), "module", source, source + ".cpp"],
                       check=True, timeout=30)
        subprocess.run(["g++", "-shared", "-fPIC", "-o", os.path.join(folder, "%x.dll" % langid),
                        source + ".cpp"], check=True, timeout=60)
    return folder


def start(s, modules, lang, fps=30):
    """Starts the app with a copy of `modules` (None: no folder) as its Language folder."""
    language = os.path.join(s.workdir, "Language")
    shutil.rmtree(language, ignore_errors=True)
    if modules:
        shutil.copytree(modules, language)
        os.chmod(language, 0o755)  # a group-writable folder is skipped
    return s.start("id=grey; name=Grey; formats=YUY2 640x480@%s; pattern=black\n" % fps,
                   {"LANG": lang, "LC_ALL": "", "LC_MESSAGES": "", "LANGUAGE": ""})


def settled(w):
    """A screenshot on which the window shows text (grayed too) and the one before agrees."""
    return w.items(predicate=lambda rgb: luminance(rgb) < 215)[1]


def seen(frame, key="Escape"):
    """The menu bar, and the About box's caption, pixels and lines of ink; `key` closes it."""
    s = frame.session
    bar = s.screenshot().crop(frame.x, frame.y, frame.x + frame.width, frame.view_top)
    popup = frame.open_menu(HELP_MENU)
    settled(popup)
    box = uitest.Window(s, s.new_window(lambda: s.click(  # its only item
        popup.x + popup.width // 2, popup.y + popup.height // 2)))
    shot = settled(box)
    caption = s.xdotool("getwindowname", box.wid)
    s.key(key)
    s.wait_unmapped(box.wid)
    left, bottom = box.x + box.width * 45 // 272, box.y + box.height * 80 // 110
    return bar, caption, shot.crop(box.x, box.y, box.x + box.width, box.y + box.height), [
        shot.ink(left, top, box.x + box.width, end)
        for top, end in shot.bands(left, box.y + 2, box.x + box.width, bottom, is_dark)]


def expect_rate(frame, ink, text):
    """Waits for the status bar to show what `ink` shows."""
    uitest.wait_until(lambda: frame.status_ink() == ink, 15, "the status bar never showed " + text)


def test_built_in_and_shipped_texts_and_the_frame_rate(args):
    build = os.path.dirname(os.path.abspath(args.app))
    shipped = os.path.join(build, "Language")
    with Session(args.app) as s:
        reference = reference_modules(s, build)
        # The built-in texts even for a German user without modules, then the shipped German
        # ones; Return closes the reference's About box, Escape the one checked.
        for lang, modules, shown_lang in (("en_US.UTF-8", None, "de_DE.UTF-8"),
                                          ("de_DE.UTF-8", shipped, "de_DE.UTF-8")):
            expected = seen(start(s, reference, lang), "Return")
            shown = seen(start(s, modules, shown_lang))
            for part, what in enumerate(("menu bar", "About caption", "About box")):
                check(shown[part] == expected[part], "the %s differs with %s" % (what, modules))

        # Font matching follows the locale: the Japanese reference runs under ja_JP too.
        frame = start(s, reference, "ja_JP.UTF-8")
        japanese = seen(frame)  # its two lines of text: the two frame rates
        expect_rate(frame, japanese[3][0], "Frame Rate 30.0")
        frame = start(s, shipped, "ja_JP.UTF-8", fps=7.5)
        check(seen(frame)[0] == japanese[0], "the menu bar is not Japanese with ja_JP")
        expect_rate(frame, japanese[3][1], "Frame Rate 7.5")
        # Missing glyphs are drawn as identical boxes: ファイル(&F) has seven distinct shapes.
        shot = s.screenshot()
        left, right = frame.titles(shot)[0]
        glyphs = {shot.ink(x0, frame.y + 1, x1, frame.view_top - 2) for x0, x1 in shot.bands(
            left, frame.y + 1, right, frame.view_top - 2, is_dark, vertical=False)}
        check(len(glyphs) >= 6, "File shows %d distinct glyphs: no Japanese font" % len(glyphs))


if __name__ == "__main__":
    uitest.run(test_built_in_and_shipped_texts_and_the_frame_rate)
