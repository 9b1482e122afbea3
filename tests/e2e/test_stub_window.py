"""The stub window under Wine: control geometry, listener notifications,
close requests and the single-instance rule. The agent's working copy keeps
its window up, so it serves as the long-lived instance here."""
import subprocess
import time
import unittest

from harness import STUB, WIN_BUILD, DebugViewer, WineTestCase, run_windows, vpack, wine

PROBE = WIN_BUILD / "tests" / "support" / "window_probe.exe"
AGENT = "Prog.AutoUpdate.exe"
COPY_CLASS = ".AutoUpdate.X_Prog.AutoUpdate"


def probe(*args, timeout=60):
    code, out = run_windows("wine", PROBE, *args, timeout=timeout)
    return code, out.replace("\r", "")


class StubWindowTest(WineTestCase):
    def start_copy(self, charset=None):
        folder = self.dir / f"charset{charset}"
        folder.mkdir()
        src = self.make_source({"a.txt": b"a"})
        options = ["--agent", "--agent-name", AGENT]
        if charset is not None:
            lang = folder / "lang.ini"
            lang.write_text(f"[*]\nCharset={charset}\n")
            options += ["--languages", lang]
        copy = folder / ("X_" + AGENT)
        vpack("build", src, "--stub", STUB, "-o", copy, "-q", *options)
        proc = subprocess.Popen(["wine", str(copy)], stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)
        self.addCleanup(self.stop, proc)
        code, _ = probe("wait", COPY_CLASS, 30000)
        self.assertEqual(code, 0, "the working copy's window did not appear")
        # The window exists before its message loop runs; give the copy its
        # first timer tick before steering it.
        time.sleep(1.5)
        return copy, proc

    def stop(self, proc):
        # The wine process is the Windows process: ending it ends the copy.
        if proc.poll() is None:
            proc.kill()
            proc.wait()
        probe("gone", COPY_CLASS, 10000)

    def children(self):
        code, out = probe("geometry", COPY_CLASS)
        self.assertEqual(code, 0, out)
        lines = out.split("\n")
        window = lines[0].split()
        kids = []
        for line in lines[1:]:
            if line:
                cls, x, y, w, h, _, _, style = line.split()
                # The window is hidden, so the controls' own visible style
                # is what counts.
                visible = "1" if int(style, 16) & 0x10000000 else "0"
                kids.append([cls, x, y, w, h, visible])
        return window, kids

    def test_control_geometry(self):
        for charset, label_x, second_x in ((0, 70, 416), (177, 122, 70)):
            with self.subTest(charset=charset):
                _, proc = self.start_copy(charset)
                window, kids = self.children()
                self.assertEqual(window[:4], ["window", "492", "110", "0"])  # hidden in agent mode
                self.assertEqual(kids, [
                    ["Static", str(label_x), "20", "340", "18", "1"],
                    ["msctls_progress32", "70", "38", "392", "13", "1"],
                    ["msctls_progress32", str(second_x), "20", "46", "13", "0"],
                ])
                self.stop(proc)

    def test_listener_gets_50_then_51(self):
        self.start_copy()
        code, out = probe("listen", COPY_CLASS, 1500)
        self.assertEqual(code, 0)
        self.assertEqual(out.split("\n")[:2], ["50 -1", "51 1125"])

    def test_first_close_only_sets_the_abort_flag(self):
        _, proc = self.start_copy()
        self.assertEqual(probe("post", COPY_CLASS, 0x10)[0], 0)
        self.assertEqual(probe("gone", COPY_CLASS, 1500)[0], 1, "closed on the first request")
        self.assertEqual(probe("post", COPY_CLASS, 0x10)[0], 0)
        self.assertEqual(probe("gone", COPY_CLASS, 10000)[0], 0, "second request did not close")
        self.assertEqual(proc.wait(timeout=30), 0)

    def test_second_instance_ends_without_a_window(self):
        copy, _ = self.start_copy()
        with DebugViewer(self.dir) as viewer:
            self.assertEqual(wine(copy, "/second=1", timeout=30), 0)
        text = viewer.text
        self.assertIn("/second=1<\r\n", text)
        self.assertIn("==== RunMode=second instance\r\n", text)
        self.assertRegex(text, r"\d+ ==== STUB END ====> .*/second=1<\r\n\r\n$")


if __name__ == "__main__":
    unittest.main()
