"""The shipped language modules under Xvfb. Each run's menu bar, Capture popup and About box are
compared pixel for pixel with a reference run whose module the test compiles from the texts it
expects: the same widgets drawing the words we typed here."""

import os
import shutil
import subprocess

import uitest
from uitest import Session, Window, check, is_dark

CAMERA = "id=grey; name=Grey; formats=YUY2 640x480@30; pattern=black\n"
CAPTURE_MENU, HELP_MENU = 3, 4

BUILT_IN = {5002: "KORVACAM Version 20081229", 5003: "Copyright (C) 2008",
            5004: "About KORVACAM", 5005: "&About KORVACAM", 5010: "&Start Capture",
            5011: "Sto&p Capture", 5012: "S&napshot", 5016: "&Help", 5017: "&File",
            5007: "&Device", 5018: "&Option", 5019: "&Captue", 5020: "OK"}
GERMAN = {5002: "KOVRACAM Version 20081229", 5003: "Copyright (C) 2008",
          5004: "Info über KOVRACAM", 5005: "&Info über KOVRACAM", 5016: "&Hilfe",
          5017: "&Datei", 5007: "&Gerät", 5018: "&Optionen", 5019: "&Aufnahme", 5020: "OK"}
JAPANESE = {5017: "ファイル(&F)", 5007: "デバイス(&D)", 5018: "オプション(&O)",
            5019: "キャプチャ(&C)", 5016: "ヘルプ(&H)", 5005: "バージョン情報(&A)"}


class Runs:
    """One X server; the app is started again in the same working directory for every run, with
    the Language folder given."""

    def __init__(self, args):
        self.args = args
        self.session = Session(args.app)
        self.build = os.path.dirname(os.path.abspath(args.app))
        self.language = os.path.join(self.session.workdir, "Language")

    def reference_module(self, texts, langid=0x0409):
        """A folder holding one module for `langid` with `texts` (id -> text)."""
        folder = os.path.join(self.session.workdir, "ref%d" % len(os.listdir(self.session.workdir)))
        os.mkdir(folder)
        source = os.path.join(folder, "ref.txt")
        with open(source, "w", encoding="utf-8") as f:
            f.write("language\t%#06x\n" % langid)
            f.writelines("%d\t%s\n" % item for item in sorted(texts.items()))
        subprocess.run([os.path.join(self.build, "strblk"), "module", source, source + ".cpp"],
                       check=True, timeout=30)
        subprocess.run(["g++", "-shared", "-fPIC", "-o", os.path.join(folder, "ref.dll"),
                        source + ".cpp"], check=True, timeout=60)
        os.remove(source)
        return folder

    def start(self, modules, lang):
        """Starts the app with a copy of `modules` (or no folder) as its Language folder."""
        if self.session.proc is not None:
            self.session.proc.kill()
            self.session.proc.wait(timeout=10)
        shutil.rmtree(self.language, ignore_errors=True)
        if modules is not None:
            shutil.copytree(modules, self.language, ignore=shutil.ignore_patterns("*.cpp"))
            os.chmod(self.language, 0o755)
        return self.session.start_frame(CAMERA, {"LANG": lang, "LC_ALL": "", "LC_MESSAGES": "",
                                                 "LANGUAGE": ""})

    def close(self):
        self.session.close()


def menu_bar(frame):
    shot = frame.session.screenshot()
    return shot.crop(frame.x, frame.y, frame.x + frame.width, frame.view_top).pixels


def is_text(rgb):
    return uitest.luminance(rgb) < 215


def settled_pixels(session, window):
    """The window's pixels once it shows text and two screenshots in a row agree."""
    last = {}

    def probe():
        shot = session.screenshot()
        pixels = shot.crop(window.x, window.y, window.x + window.width,
                           window.y + window.height).pixels
        # Grayed items count: their text is light grey.
        inked = shot.region_matches(window.x + 2, window.y + 2, window.x + window.width - 2,
                                    window.y + window.height - 2, is_text, 2) > 0
        settled = inked and pixels == last.get("pixels")
        last["pixels"] = pixels
        return pixels if settled else None
    return uitest.wait_until(probe, 5, lambda: "window %s at %d,%d %dx%d never settled" % (
        window.wid, window.x, window.y, window.width, window.height))


def popup_pixels(frame, index):
    popup = frame.open_menu(index)
    pixels = settled_pixels(frame.session, popup)
    frame.session.key("Escape")
    frame.session.wait_unmapped(popup.wid)
    return pixels


def about_box(frame, key="Escape"):
    """(caption, pixels) of the About box opened from the Help menu; closed again by `key`."""
    s = frame.session
    popup = frame.open_menu(HELP_MENU)
    settled_pixels(s, popup)
    before = s.mapped_windows() - {popup.wid}
    s.click(popup.x + popup.width // 2, popup.y + popup.height // 2)  # its only item
    box = Window(s, s.wait_new_window(before))
    check(box.width > 200 and box.height > 100, "About box %dx%d" % (box.width, box.height))
    pixels = settled_pixels(s, box)
    caption = s.window_name(box.wid)
    s.key(key)
    s.wait_unmapped(box.wid)
    return caption, pixels


def distinct_glyphs(frame, title_index):
    """Distinct ink shapes among the glyphs of one menu-bar title."""
    shot = frame.session.screenshot()
    left, right = frame.menu_titles(shot)[title_index]
    top, bottom = frame.y + 1, frame.view_top - 2
    shapes = set()
    for x0, x1 in shot.bands(left, top, right, bottom, is_dark, vertical=False):
        shapes.add(frozenset((x - x0, y) for y in range(top, bottom) for x in range(x0, x1)
                             if is_dark(shot.at(x, y))))
    return len(shapes)


def test_built_in_texts_without_a_language_folder(args):
    runs = Runs(args)
    try:
        reference = runs.reference_module(BUILT_IN)
        seen = {}
        for name, modules, lang in (("built-in", None, "de_DE.UTF-8"),
                                    ("reference", reference, "en_US.UTF-8")):
            frame = runs.start(modules, lang)
            seen[name] = (menu_bar(frame), popup_pixels(frame, CAPTURE_MENU),
                          about_box(frame, "Return" if modules else "Escape"))
        check(seen["built-in"][2][0] == "About KORVACAM", "About caption %r" % seen["built-in"][2][0])
        for part, what in enumerate(("menu bar", "Capture popup", "About box")):
            check(seen["built-in"][part] == seen["reference"][part],
                  "the %s differs from its rendering of the built-in texts" % what)
    finally:
        runs.close()


def test_german_with_de_DE_english_with_de_AT_japanese_with_ja_JP(args):
    runs = Runs(args)
    shipped = os.path.join(runs.build, "Language")
    try:
        german = runs.reference_module(GERMAN)
        english = runs.reference_module(BUILT_IN)
        # Font matching follows the locale: the Japanese reference runs under ja_JP too.
        japanese = runs.reference_module(JAPANESE, 0x0411)
        frame = runs.start(german, "en_US.UTF-8")
        german_bar, german_box = menu_bar(frame), about_box(frame)
        frame = runs.start(shipped, "de_DE.UTF-8")
        check(menu_bar(frame) == german_bar, "the menu bar is not German with de_DE")
        caption, pixels = about_box(frame)
        check(caption == "Info über KOVRACAM", "About caption %r with de_DE" % caption)
        check(pixels == german_box[1], "the About box is not German with de_DE")

        frame = runs.start(english, "en_US.UTF-8")
        english_bar = menu_bar(frame)
        frame = runs.start(shipped, "de_AT.UTF-8")
        check(menu_bar(frame) == english_bar, "the menu bar is not English with de_AT")

        frame = runs.start(japanese, "ja_JP.UTF-8")
        japanese_bar = menu_bar(frame)
        frame = runs.start(shipped, "ja_JP.UTF-8")
        check(menu_bar(frame) == japanese_bar, "the menu bar is not Japanese with ja_JP")
        # Missing glyphs are drawn as identical boxes: ファイル(&F) has seven distinct shapes.
        glyphs = distinct_glyphs(frame, 0)
        check(glyphs >= 6, "the File title shows %d distinct glyphs: no Japanese font" % glyphs)
    finally:
        runs.close()


if __name__ == "__main__":
    uitest.run([
        test_built_in_texts_without_a_language_folder,
        test_german_with_de_DE_english_with_de_AT_japanese_with_ja_JP,
    ])
