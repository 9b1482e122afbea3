"""The stub window under Wine: control geometry, listener notifications,
close requests and the single-instance rule. The agent's working copy keeps
its window up, so it serves as the long-lived instance here; a setup stays
up while its sample engine holds."""
import os
import re
import shutil
import subprocess
import time
import unittest

from harness import STUB, WIN_BUILD, DebugViewer, WineTestCase, vpack, win_path, wine
from harness import window_probe as probe

ENGINE = WIN_BUILD / "tests" / "support" / "sample_engine.exe"
AGENT = "Prog.AutoUpdate.exe"
COPY_CLASS = ".AutoUpdate.X_Prog.AutoUpdate"


class StubWindowTest(WineTestCase):
    def start_copy(self, charset=None):
        folder = self.dir / f"charset{charset}"
        folder.mkdir()
        src = self.make_source({})  # an agent carries no payload
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
        # The first instance (an agent) may trace its own check meanwhile:
        # only the second's lines count, and its last one is its end.
        text = viewer.text
        start = re.search(r"(\d+) ==== STUB START ====> .*/second=1<\r\n", text)
        self.assertIsNotNone(start, text)
        own = [line for line in text.split("\r\n") if line.startswith(start.group(1) + " ")]
        self.assertIn(start.group(1) + " ==== RunMode=second instance", own)
        self.assertRegex(own[-1], r"^\d+ ==== STUB END ====> .*/second=1<$")

    def test_setup_is_single_instance_by_its_path(self):
        # A setup's window class is its own full path: a second start of the
        # same file ends at once, the same bytes under another path run.
        src = self.make_source({"Engine.exe": ENGINE.read_bytes(), "a.txt": b"a"})
        setup, moved = self.dir / "a" / "setup.exe", self.dir / "b" / "setup.exe"
        setup.parent.mkdir()
        moved.parent.mkdir()
        vpack("build", src, "--stub", STUB, "-o", setup, "-q", "--engine", "Engine.exe",
              "--engine-args", "/ExitCode=7")
        shutil.copy(setup, moved)
        # Another minute on the copy: the work folder is named after the
        # file's time of day, and copies of one time share it.
        stamp = setup.stat().st_mtime + 60
        os.utime(moved, (stamp, stamp))
        self.addCleanup(os.environ.pop, "VANTOR_ENGINE_RECORD", None)

        def start(path, name, *args):
            """Starts a hidden run tagged /run=NAME; its engine records to NAME.txt."""
            record = self.dir / f"{name}.txt"
            os.environ["VANTOR_ENGINE_RECORD"] = win_path(record)
            proc = subprocess.Popen(["wine", str(path), "/hide", f"/run={name}", *args],
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            self.addCleanup(lambda: proc.poll() is None and proc.kill())
            return proc, record

        with DebugViewer(self.dir) as viewer:
            # The engine takes the first /HoldMs= it gets, ours before the package's.
            first, first_record = start(setup, "first", "/HoldMs=10000")
            deadline = time.time() + 60
            while not first_record.exists() and first.poll() is None and time.time() < deadline:
                time.sleep(0.1)
            self.assertTrue(first_record.exists(), "the first setup did not start its engine")

            again, again_record = start(setup, "again")
            self.assertEqual(again.wait(timeout=30), 0)
            other, other_record = start(moved, "other", "/HoldMs=100")
            self.assertEqual(probe("wait", win_path(moved), 30000)[0], 0)
            self.assertIsNone(first.poll(), "the first setup ended before the other one started")
            self.assertEqual(other.wait(timeout=60), 7)
            self.assertEqual(first.wait(timeout=60), 7)

        self.assertFalse(again_record.exists(), "the second start ran the engine")
        self.assertIn(f'/OriginExe="{win_path(moved)}"', other_record.read_text("latin-1"))
        text = viewer.text
        for name, mode in (("first", "setup"), ("again", "second instance"), ("other", "setup")):
            with self.subTest(name):
                tagged = rf"[^\r]* /run={name}\b[^\r]*<\r\n"
                start_line = re.search(rf"^(\d+) ==== STUB START ====> {tagged}", text, re.M)
                self.assertIsNotNone(start_line, text)
                pid = start_line.group(1)
                self.assertIn(f"{pid} ==== RunMode={mode}\r\n", text)
                self.assertRegex(text, rf"(?m)^{pid} ==== STUB END ====> {tagged}")


if __name__ == "__main__":
    unittest.main()
