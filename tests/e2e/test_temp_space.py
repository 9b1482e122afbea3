"""The temp-space question under Wine: a package larger than the temp drive.

The temp drive is a tmpfs of 2 MB mapped as T: and named by the user's
TEMP/TMP. Before asking, the stub looks for a better temp drive among C:, D:
and E: and would move the work to C: (the host's disk) without a word. The
fixture makes that search come back empty the way a full or read-only drive
would: a plain file named TEMP at each of those roots lets the probe folder
fail, so the work stays on T: and the question is due."""
import json
import os
import random
import re
import subprocess
import tempfile
import time
import unittest
from pathlib import Path

from harness import STUB, WIN_BUILD, DebugViewer, WindowsProcess, WineTestCase, run_windows, vpack, win_path

ENGINE = WIN_BUILD / "tests" / "support" / "sample_engine.exe"
PROBE = WIN_BUILD / "tests" / "support" / "window_probe.exe"
UI_DRIVER = WIN_BUILD / "tests" / "support" / "ui_driver.exe"
PAYLOAD = 4_000_000  # twice the temp drive, and incompressible
MB = 1048576
CANCELLED = 1602 & 0xFF  # Wine hands on the low 8 bits
WRITE_FAILED = 94


def megabytes(text, label):
    return float(re.search(label + r" is:\s*(\d+\.\d\d) MB", text).group(1))


class TempSpaceTest(WineTestCase):
    def setUp(self):
        super().setUp()
        if os.geteuid() != 0:
            self.skipTest("mounting the small temp drive needs root")
        prefix = Path(os.environ["WINEPREFIX"])
        drive = prefix / "dosdevices" / "t:"
        if os.path.lexists(drive):
            self.skipTest(f"{drive} is taken")
        self.tdrive = Path(tempfile.mkdtemp(prefix="vantor-tdrive-"))
        self.addCleanup(self.tdrive.rmdir)
        mount = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=2m", "tmpfs", self.tdrive],
                               capture_output=True, text=True)
        if mount.returncode != 0:
            self.skipTest(f"cannot mount a tmpfs: {mount.stderr.strip()}")
        self.addCleanup(self._unmount)
        # Wine's own processes may hold the drive until the server is gone.
        self.addCleanup(subprocess.run, ["wineserver", "-w"], timeout=120)

        for letter in "cde":
            root = prefix / "dosdevices" / f"{letter}:"
            if not root.is_dir():
                continue
            blocker = root / "TEMP"
            if os.path.lexists(blocker):
                self.skipTest(f"{letter.upper()}:\\TEMP exists: the temp-drive search would use it")
            blocker.write_bytes(b"")
            self.addCleanup(blocker.unlink)

        drive.symlink_to(self.tdrive)
        self.addCleanup(drive.unlink)
        self._point_temp_to("T:\\")

        self.record_engine()
        src = self.make_source({"Engine.exe": ENGINE.read_bytes(),
                                "payload.bin": random.Random(11).randbytes(PAYLOAD)})
        self.setup = self.dir / "setup.exe"
        vpack("build", src, "--stub", STUB, "-o", self.setup, "-q", "--engine", "Engine.exe",
              "--engine-args", "/ExitCode=7")
        info = json.loads(vpack("info", "--json", self.setup).stdout)
        self.required = {e["bytes"] for e in info["spaceTable"]}
        self.assertGreater(min(self.required), 2 * MB)

    def _unmount(self):
        if subprocess.run(["umount", self.tdrive]).returncode != 0:
            subprocess.run(["umount", "-l", self.tdrive], check=True)

    def _point_temp_to(self, folder):
        """Sets the user's TEMP and TMP; the old values come back at the end."""
        _, out = run_windows("wine", "reg", "query", "HKCU\\Environment")
        for name in ("TEMP", "TMP"):
            old = re.search(rf"^\s*{name}\s+(REG_\w+)\s+(.*?)\s*$", out, re.M | re.I)
            if old:
                self.addCleanup(run_windows, "wine", "reg", "add", "HKCU\\Environment", "/v", name,
                                "/t", old.group(1), "/d", old.group(2), "/f")
            else:
                self.addCleanup(run_windows, "wine", "reg", "delete", "HKCU\\Environment", "/v",
                                name, "/f")
            code, _ = run_windows("wine", "reg", "add", "HKCU\\Environment", "/v", name, "/t",
                                  "REG_SZ", "/d", folder, "/f")
            self.assertEqual(code, 0)

    def free_bytes(self):
        st = os.statvfs(self.tdrive)
        return st.f_bavail * st.f_frsize

    def run_with_box(self, *args, answer):
        """Runs the setup; answers its first box with `answer` while watching
        the stub window. Returns (exit code, box title and text, free bytes
        while the box was up, whether the stub window was ever visible); the
        stub window must have been found at least once."""
        stub = WindowsProcess(["wine", self.setup, *args])
        driver = WindowsProcess(["wine", UI_DRIVER, "--timeout", "60000", "--title", "--text",
                                 "--sleep", "300", "--click", answer])
        free, seen, seen_visible = None, False, False
        deadline = time.time() + 120
        while driver.poll() is None and time.time() < deadline:
            code, out = run_windows("wine", PROBE, "geometry", win_path(self.setup))
            seen |= code == 0
            if code == 0 and out.split()[3:4] == ["1"]:
                seen_visible = True
            free = self.free_bytes()
            time.sleep(0.2)
        box = driver.finish(timeout=30)[1]
        self.assertTrue(seen, "the stub window was never found")
        return stub.finish(timeout=60)[0], box, free, seen_visible

    def test_question_names_the_sizes_and_cancel_unpacks_nothing(self):
        code, box, free, _ = self.run_with_box(answer="Cancel")
        self.assertTrue(box.startswith("Confirm"), box)
        self.assertIn("Limited Free Space on your Temp Drive! (T:)", box)
        required = megabytes(box, "Estimated space required on your Temp drive")
        self.assertTrue(any(abs(required - r / MB) <= 0.005 for r in self.required),
                        f"{required} MB is none of {sorted(self.required)}")
        self.assertAlmostEqual(megabytes(box, "Free space available on your Temp drive"),
                               free / MB, delta=0.005)
        self.assertEqual(code, CANCELLED)
        self.assertFalse(self.record.exists(), "the engine ran")
        self.assertEqual(list(self.tdrive.iterdir()), [], "the work folder is left")

    def test_hidden_run_asks_nothing_and_a_failed_unpack_starts_nothing(self):
        # No question, no box (the failed write is traced with the system's
        # reason); the run ends by itself with its code, no engine started
        # on truncated files.
        with DebugViewer(self.dir) as viewer:
            start = time.time()
            code = run_windows("wine", self.setup, "/hide", timeout=60)[0]
        self.assertLess(time.time() - start, 15)
        self.assertEqual(code, WRITE_FAILED)
        self.assertIn("Unable to save Extracted File!", viewer.text)
        self.assertIn(f"Setup failed, exit code {WRITE_FAILED}", viewer.text)
        self.assertFalse(self.record.exists(), "the engine ran")
        self.assertEqual(list(self.tdrive.iterdir()), [], "the work folder is left")

if __name__ == "__main__":
    unittest.main()
