"""The inform window under Wine: the page text in its rich-edit control, the
layout before and after a resize, the fonts, and the link button that opens
the link through the shell and closes the window. The link is a batch file
in a folder with a blank, whose run leaves a file behind."""
import time
import unittest

from harness import WIN_BUILD, WindowsProcess, WineTestCase, run_windows, win_path, wait_until
from harness import window_probe as probe

SUPPORT = WIN_BUILD / "tests" / "support"
INFORM = SUPPORT / "inform_probe.exe"
CLASS = "VRichEditBox"


class InformWindowTest(WineTestCase):
    def setUp(self):
        super().setUp()
        folder = self.dir / "page folder"
        folder.mkdir()
        self.opened = self.dir / "opened.txt"
        self.link = folder / "open me.bat"
        self.link.write_bytes(f'@echo opened>"{win_path(self.opened)}"\r\n'.encode())

    def open_window(self, *args):
        report = self.dir / "report.txt"
        report.unlink(missing_ok=True)
        proc = WindowsProcess(["wine", INFORM, "--report", win_path(report), *args])
        self.addCleanup(lambda: proc.poll() is None and (proc.proc.kill(), proc.proc.wait()))
        self.assertTrue(wait_until(lambda: report.exists() or proc.poll() is not None, 30))
        self.assertTrue(report.exists(), "the window did not open")
        values = dict(line.split("=", 1) for line in report.read_text().splitlines())
        return proc, values

    def children(self):
        code, out = probe("geometry", CLASS)
        self.assertEqual(code, 0, out)
        kids = {}
        for line in out.split("\n")[1:]:
            if line:
                cls, x, y, w, h = line.split()[:5]
                kids[cls] = [int(x), int(y), int(w), int(h)]
        return kids

    def test_page_layout_and_link_button(self):
        # Longer than the rich-edit control's own 32K limit.
        paragraph = "Version 2.0 is out: faster checks, a new look and fewer questions. " * 6
        page = "\r\n".join(f"{n:03d} {paragraph}" for n in range(110))
        self.assertGreater(len(page), 40000)
        page_file = self.dir / "page.txt"
        page_file.write_bytes(page.encode())
        proc, report = self.open_window(
            "--text-file", win_path(page_file), "--link", f"  {win_path(self.link)} ",
            "--face", "Tahoma", "--size", "9", "--width", "420", "--height", "300",
            "--title", "New Version", "--button", "Download")

        screen_w, screen_h = map(int, report["screen"].split())
        left, top, right, bottom = map(int, report["window"].split())
        self.assertEqual([left, top, right - left, bottom - top],
                         [(screen_w - 420) // 2, (screen_h - 300) // 2, 420, 300])
        self.assertTrue(int(report["exstyle"]) & 0x1)  # dialog-modal frame
        self.assertEqual(report["title"], "New Version")
        self.assertEqual(report["text_face"], "Verdana")  # "Tahoma" gives way
        self.assertEqual(report["button_font"], "-12 1 Tahoma")  # 9 points at 96 dpi
        self.assertEqual([report["button_focus"], report["button_style"], report["button_data"]],
                         ["1", "1", "1"])

        # The text, read from outside as a user's tool would.
        code, out = probe("text", CLASS)
        self.assertEqual(code, 0, out)
        shown = bytes.fromhex(out.split()[0]).decode("latin-1")
        self.assertEqual(shown.replace("\r\n", "\n").replace("\r", "\n"), page.replace("\r\n", "\n"))

        for size in (None, (600, 450), (300, 200)):
            if size:
                self.assertEqual(probe("resize", CLASS, *size)[0], 0)
                time.sleep(0.3)
            with self.subTest(size=size):
                kids = self.children()
                text = kids["RICHEDIT"]
                client_w, client_h = text[2] + 3, text[3] + 43
                if size is None:
                    self.assertEqual(f"{client_w} {client_h}", report["client"])
                self.assertEqual(text[:2], [3, 0])
                self.assertEqual(kids["Button"], [(client_w - 160) // 2, client_h - 33, 160, 25])

        self.assertFalse(self.opened.exists())
        self.assertEqual(probe("click", CLASS)[0], 0)
        code, _ = proc.finish(timeout=30)
        self.assertEqual(code, 1)
        # The opened program writes its file after creating it: wait for the text.
        self.assertTrue(wait_until(lambda: self.opened.exists()
                                   and self.opened.read_text().strip() == "opened", 30),
                        "the link was not opened")

    def test_without_text_or_link(self):
        # No text: the link opens at once without a window; nothing at all: 0.
        for link, result in ((win_path(self.link), 1), ("   ", 0)):
            with self.subTest(link=link):
                code, _ = run_windows("wine", INFORM, "--text", "", "--link", link, timeout=60)
                self.assertEqual(code, result)
        self.assertTrue(wait_until(self.opened.exists, 30), "the link was not opened")

        # Text without a link: no button, the text fills all but 3 pixels.
        proc, report = self.open_window("--text", "Just news.", "--width", "300",
                                        "--height", "250")
        kids = self.children()
        self.assertNotIn("Button", kids)
        self.assertNotIn("button_font", report)
        client_w, client_h = map(int, report["client"].split())
        self.assertEqual(kids["RICHEDIT"], [3, 0, client_w - 3, client_h])
        self.assertEqual(probe("post", CLASS, 0x10)[0], 0)
        self.assertEqual(proc.finish(timeout=30)[0], 1)


if __name__ == "__main__":
    unittest.main()
