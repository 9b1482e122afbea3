"""The markup message box under Wine. msgbox_probe.exe shows one box and
exits with its result (its --report tells what the box looks like from
inside); ui_driver.exe answers the box from outside like a user would."""
import subprocess
import time
import unittest

from harness import WIN_BUILD, WindowsProcess, WineTestCase, run_windows, win_path

PROBE = WIN_BUILD / "tests" / "support" / "msgbox_probe.exe"
DRIVER = WIN_BUILD / "tests" / "support" / "ui_driver.exe"

ES_RIGHT = 0x2
WS_VSCROLL = 0x00200000
WS_EX_TOPMOST = 0x8
WS_EX_RTLREADING = 0x2000
BS_DEFPUSHBUTTON = 1
PFA_RIGHT = 2


def parse_report(raw):
    """key=value lines; texts come as hex, rectangles as four numbers."""
    report = {"button": []}
    for line in raw.splitlines():
        key, _, value = line.partition("=")
        if key == "text_class":
            report[key] = value
        elif key in ("title", "text"):
            report[key] = bytes.fromhex(value).decode("latin-1")
        elif key in ("box", "work", "text_rect", "client"):
            report[key] = tuple(int(v) for v in value.split())
        elif key == "bold":
            report[key] = [tuple(int(v) for v in r.split("-")) for r in value.split(",") if r]
        elif key == "font":
            height, charset, face = value.split(" ", 2)
            report[key] = (int(height), int(charset), face)
        elif key == "button":
            l, t, r, b, style, focus, label = value.split(" ")
            report[key].append({"rect": (int(l), int(t), int(r), int(b)), "style": int(style),
                                "focus": focus == "1", "label": bytes.fromhex(label).decode("latin-1")})
        else:
            report[key] = int(value)
    return report


class Probe:
    """One box shown by msgbox_probe.exe in the background."""

    def __init__(self, folder, name, args, text=None, report=True):
        self.name = name
        self.report_path = folder / f"{name}.report"
        command = ["wine", str(PROBE)]
        if report:
            command += ["--report", win_path(self.report_path)]
        if text is not None:
            text_path = folder / f"{name}.txt"
            text_path.write_bytes(text)
            command += ["--text-file", win_path(text_path)]
        command += [str(a) for a in args]
        self.proc = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def result(self, timeout=60):
        try:
            return self.proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
            raise AssertionError(f"box {self.name} did not close within {timeout} s")

    def report(self):
        return parse_report(self.report_path.read_text(encoding="latin-1"))


class MessageBoxTest(WineTestCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        for need in (PROBE, DRIVER):
            if not need.exists():
                raise AssertionError(f"{need} is not built: run scripts/build.sh")
        # Without a window manager Wine waits two seconds for one to take
        # every closing box off the screen; the probe's windows are left
        # unmanaged (Wine draws their frame itself).
        run_windows("wine", "reg", "add",
                    r"HKCU\Software\Wine\AppDefaults\msgbox_probe.exe\X11 Driver",
                    "/v", "Managed", "/d", "N", "/f", timeout=120)

    def probe(self, name, *args, text=None, report=True):
        return Probe(self.dir, name, args, text, report)

    def driver(self, *actions):
        """Starts ui_driver.exe with `actions`; returns the process (its
        stdout is the text it printed)."""
        return WindowsProcess(["wine", DRIVER, "--timeout", "20000", *actions])

    def finish(self, driver):
        code, out = driver.finish(timeout=120)
        self.assertEqual(code, 0, out)
        return out

    def assert_inside(self, inner, outer, what):
        self.assertTrue(outer[0] <= inner[0] <= inner[2] <= outer[2] and
                        outer[1] <= inner[1] <= inner[3] <= outer[3], f"{what}: {inner} in {outer}")

    def test_every_button_answers_with_its_result(self):
        table = [(0, "OK", 1), (1, "OK", 1), (1, "Cancel", 2),
                 (2, "Abort", 3), (2, "Retry", 4), (2, "Ignore", 5),
                 (3, "Yes", 6), (3, "No", 7), (3, "Cancel", 2),
                 (4, "Yes", 6), (4, "No", 7), (5, "Retry", 4), (5, "Cancel", 2)]
        # One driver answers the boxes one after the other.
        actions = []
        for _, label, _ in table:
            actions += ["--click", label, "--gone"]
        driver = self.driver(*actions)
        for i, (button_set, label, result) in enumerate(table):
            box = self.probe(f"set{i}", "--flags", button_set, "--text", f"Press {label}",
                             report=False)
            self.assertEqual(box.result(), result, (button_set, label))
        self.finish(driver)

    def test_letter_keys_and_typed_characters_choose_buttons(self):
        cases = [  # flags, labels, driver input, result
            (3, "", ["--key", "n"], 7),
            (3, "|OK|Abbrechen|Ja|Nein|", ["--key", "n"], 7),  # no "&": first letter
            (4, "|x|x|&Yes|&Yup|", ["--key", "y"], 7),         # the last match wins
            (4, "|x|x|&Yes|&Yup|", ["--char", "y"], 6),        # typed: the leftmost
            (1, "", ["--char", "c"], 2),                       # upper-cased
        ]
        actions = []
        for _, _, keys, _ in cases:
            actions += keys + ["--gone"]
        driver = self.driver(*actions)
        for i, (flags, labels, keys, result) in enumerate(cases):
            args = ["--flags", flags, "--text", " ".join(keys)]
            if labels:
                args += ["--labels", labels]
            box = self.probe(f"key{i}", *args, report=False)
            self.assertEqual(box.result(), result, (flags, labels, keys))
        self.finish(driver)

    def test_arrows_and_tab_move_focus_and_the_default_button(self):
        # Abort, Retry, Ignore with default index 5: 5 mod 3 = Ignore.
        box = self.probe("focus", "--flags", 0x502, "--text", "Move around")
        moves = ["right", "left", "tab", "down", "up"]
        actions = ["--state"]
        for key in moves:
            actions += ["--key", key, "--state"]
        driver = self.driver(*actions, "--key", "enter", "--gone")
        states = self.finish(driver).splitlines()
        expected = ["Ignore", "Abort", "Ignore", "Abort", "Retry", "Abort"]
        self.assertEqual(states, [f"focus=&{b} default=&{b}" for b in expected])
        self.assertEqual(box.result(), 3)
        buttons = box.report()["button"]
        self.assertEqual([b["label"] for b in buttons], ["&Abort", "&Retry", "&Ignore"])
        self.assertEqual([b["focus"] for b in buttons], [False, False, True])
        self.assertEqual([b["style"] == BS_DEFPUSHBUTTON for b in buttons], [False, False, True])

    def test_time_out_picks_the_first_button_and_escape_none(self):
        start = time.monotonic()
        box = self.probe("timeout", "--flags", 1, "--timeout", 5000, "--text", "Wait", report=False)
        self.assertEqual(box.result(), 1)
        self.assertGreaterEqual(time.monotonic() - start, 5.0)

        box = self.probe("escape", "--flags", 3, "--text", "Escape")
        self.finish(self.driver("--key", "escape", "--gone"))
        self.assertEqual(box.result(), 0)

    def test_hebrew_and_arabic_charsets_read_right_to_left(self):
        for charset, mode in ((177, 2), (178, 1), (1, 2)):
            with self.subTest(charset=charset):
                box = self.probe(f"charset{charset}", "--owner", "--mode", mode,
                                 "--charset", charset, "--flags", 0x21, "--timeout", 1000,
                                 "--text", "One<P>Two")
                self.assertEqual(box.result(), 1)
                r = box.report()
                rtl = charset != 1
                self.assertEqual(bool(r["text_style"] & ES_RIGHT), rtl)
                self.assertEqual(bool(r["text_exstyle"] & WS_EX_RTLREADING), rtl)
                self.assertEqual(r["para_align"] == PFA_RIGHT, rtl)
                self.assertEqual(r["close_disabled"], 1 if mode == 2 else 0)
                # The owner is disabled while the box is up, enabled after.
                self.assertEqual((r["owner_enabled"], r["owner_enabled_after"]), (0, 1))

    def test_bold_runs_and_heading_read_back_from_the_control(self):
        box = self.probe("bold", "--mode", 0, "--caption", "Attention", "--flags", 0x40,
                         "--timeout", 1000, "--font", "Arial", 10, 0,
                         text=b"Plain <B>bold</B> end<P><b>x</B>y<B>z")
        self.assertEqual(box.result(), 1)
        r = box.report()
        self.assertEqual(r["title"], "Attention")
        self.assertEqual(r["text_class"], "RICHEDIT")
        text = "ATTENTION\r\n\r\nPlain bold end\r\nxyz\r\n"
        self.assertEqual(r["text"], text)
        self.assertEqual(self.bold_letters(r), "ATTENTION" + "bold" + "x")
        self.assertEqual(r["other_effects"], 0)
        self.assertEqual(r["font"], (-13, 0, "Arial"))  # 10 points at 96 dpi
        self.assertTrue(r["box_exstyle"] & WS_EX_TOPMOST)

        # A front operation: default caption and labels, caption as heading.
        box = self.probe("yesno", "--front", "yesno", "--mode", 0, "--timeout", 1000,
                         text=b"Continue?")
        self.assertEqual(box.result(), 1)  # Yes by time-out: true
        r = box.report()
        self.assertEqual(r["title"], "Confirm")
        self.assertEqual(r["text"], "CONFIRM\r\n\r\nContinue?\r\n")
        self.assertEqual(self.bold_letters(r), "CONFIRM")
        self.assertEqual([b["label"] for b in r["button"]], ["&Yes", "&No"])

    @staticmethod
    def bold_letters(report):
        """The bold characters, without line ends (the control reports a
        line end after a bold line as bold)."""
        text = report["text"]
        return "".join(text[a:b] for a, b in report["bold"]).replace("\r", "").replace("\n", "")

    def test_bad_input_still_gives_a_box_within_the_screen(self):
        huge = b"<B>Huge</B> " + (b"0123456789" * 10 + b"<P>") * 2000
        cases = [  # name, arguments, text, result
            ("tags", ["--flags", 0x21], b"<B><B>a</B></B></B><b>b<B>\0c</b><<B>", 1),
            ("empty", ["--flags", 0x24], b"", 6),
            ("labels", ["--flags", 3, "--labels", "|Ja|Nein|"], b"Short list", 6),
            ("caption", ["--mode", 0, "--caption", "C" * 2000], b"Long caption", 1),
            ("huge", ["--flags", 1], huge, 1),
        ]
        for name, args, text, result in cases:
            with self.subTest(name):
                box = self.probe(name, "--timeout", 1000, *args, text=text)
                self.assertEqual(box.result(), result)
                r = box.report()
                self.assert_inside(r["box"], r["work"], "box")
                client = (0, 0) + r["client"]
                self.assert_inside(r["text_rect"], client, "text")
                for b in r["button"]:
                    self.assert_inside(b["rect"], client, b["label"])
                if name == "tags":
                    self.assertEqual(r["text"], "ab c<")
                if name == "labels":
                    self.assertEqual([b["label"] for b in r["button"]], ["", "", "Nein"])
                if name == "caption":
                    self.assertEqual(r["title"], "C" * 2000)
                    self.assertTrue(r["text"].startswith("C" * 2000 + "\r\n"))
                if name == "huge":
                    self.assertEqual(len(r["text"]), 5 + 102 * 2000)
                    self.assertEqual(r["box"][3] - r["box"][1], r["work"][3] - r["work"][1])
                    self.assertTrue(r["text_style"] & WS_VSCROLL)


if __name__ == "__main__":
    unittest.main()
