"""Spanned setups under Wine: a setup continued by .002 and .003, the
CD-style launcher that runs its "Y_" copy on the .001 set, the disk prompt
for a missing volume, and a damaged small volume. The sample engine records
its command line and copies what was unpacked."""
import random
import re
import struct
import subprocess
import time
import unittest
import zlib

from harness import (STUB, WIN_BUILD, DebugViewer, WineTestCase, run_windows, vpack, win_path,
                     wine)
from harness import TOOLS, i686

ENGINE = WIN_BUILD / "tests" / "support" / "sample_engine.exe"
UI_DRIVER = TOOLS / "ui_driver.exe"

BLOCK = 8192
CHECKSUM_LIMIT = 51_200  # larger files are not summed
CHECKSUM_OFF = 1234
SPANNED = 0x02
DAMAGED = 91
BAD_CHECKSUM = 92  # also: a volume is missing (README.md)
CANCELLED = 1602 & 0xFF  # Wine hands on the low 8 bits
QUICK = 15  # seconds a failing hidden run may take


def trailer(path):
    """(checksum, flags, headerStart) of a package file's 74-byte trailer."""
    t = path.read_bytes()[-74:]
    return struct.unpack_from("<I", t, 16)[0], t[65], struct.unpack_from("<I", t, 4)[0]


class SpannedSetupTest(WineTestCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        for need in (ENGINE, UI_DRIVER):
            if not need.exists():
                raise AssertionError(f"{need} is not built: run scripts/build.sh")

    def setUp(self):
        super().setUp()
        self.record_engine()

    def build(self, cd=False, seed=11):
        """Three volumes: volume 1 (the stub, the engine, text, the first
        random blocks) and volume 2 are larger than 51,200 bytes and carry
        checksum 1234; volume 3 holds the last few random blocks and a real
        checksum. The volume size follows the stub's size."""
        rnd = random.Random(seed)
        engine = ENGINE.read_bytes()
        files = {"Engine.exe": engine,
                 "docs/readme.txt": b"Spanned setup test.\r\n" * 400,
                 "empty.txt": b""}
        stub_size = len(STUB.read_bytes())
        volume = stub_size + 200_000
        # Random data is stored: its blocks have a known size. They come last
        # (by name), so volume 3 gets what volumes 1 and 2 cannot hold.
        def block_bytes(name, piece):  # length word, then "|name|date|", 0, data
            content = f"|{name}|1234567890|".encode() + b"\0" + piece
            return 4 + min(len(zlib.compress(content, 6)), len(content))
        random_block = 4 + len("|zz_random.bin|1234567890|") + 1 + BLOCK
        before = 100 + sum(block_bytes(name, data[i:i + BLOCK])
                           for name, data in files.items()
                           for i in range(0, max(len(data), 1), BLOCK))
        in_first = (volume - 74 - stub_size - before) // random_block
        in_second = (volume - 74) // random_block
        files["zz_random.bin"] = rnd.randbytes((in_first + in_second + 3) * BLOCK - 100)
        src = self.make_source(files)
        out = self.dir / "setup.exe"
        vpack("build", src, "--stub", STUB, "-o", out, "-q", "--engine", "Engine.exe",
              "--engine-args", "/ExitCode=7 /HoldMs=200", "--block-size", BLOCK,
              "--volume-size", volume, *(["--cd-layout"] if cd else []))
        first = self.dir / ("setup.exe.001" if cd else "setup.exe")
        volumes = [first, self.dir / "setup.exe.002", self.dir / "setup.exe.003"]
        self.assertFalse((self.dir / "setup.exe.004").exists())
        sizes = [v.stat().st_size for v in volumes]
        self.assertGreater(min(sizes[:2]), CHECKSUM_LIMIT, sizes)
        self.assertLessEqual(sizes[2], CHECKSUM_LIMIT, sizes)
        return out, volumes, files

    def engine_command(self):
        text = self.record.read_bytes().decode("latin-1")
        return (re.search(r"^CommandLine=(.*)\r$", text, re.M).group(1),
                re.search(r"^Folder=(.*)\r$", text, re.M).group(1))

    def assert_unpacked(self, files):
        for name, data in files.items():
            self.assertEqual((self.copy / name).read_bytes(), data, name)

    def answer_box(self, setup, button, *args):
        """Starts the setup, reads the message box it shows and presses
        `button`; returns (setup's exit code, box title, box text)."""
        proc = subprocess.Popen(["wine", str(setup), *args],
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        out = run_windows("wine", UI_DRIVER, "--timeout", "60000", "--title", "--text",
                          "--click", button, timeout=120)[1]
        title, _, text = out.partition("\n")
        return proc.wait(timeout=60), title.strip(), text

    @i686
    def test_setup_continued_by_two_volumes(self):
        setup, volumes, files = self.build()
        # Large volumes are not summed (1234); the small last one is, and
        # every volume but the last says that another one follows.
        sums = [trailer(v) for v in volumes]
        self.assertEqual([s[0] == CHECKSUM_OFF for s in sums], [True, True, False])
        self.assertEqual([bool(s[1] & SPANNED) for s in sums], [True, True, False])
        self.assertEqual([s[2] == 0 for s in sums], [False, True, True])

        self.assertEqual(wine(setup, "/hide"), 7)  # the engine's exit code
        self.assert_unpacked(files)
        command, folder = self.engine_command()
        self.assertTrue(command.startswith(f"{folder}\\Engine.exe /hide /ExitCode=7"), command)
        self.assertIn(f'/OriginExe="{win_path(setup)}"', command)

    def test_cd_layout_runs_its_copy_on_the_001_set(self):
        launcher, volumes, files = self.build(cd=True)
        self.assertEqual(launcher.name, "setup.exe")
        self.assertLess(launcher.stat().st_size, volumes[0].stat().st_size)  # no payload
        own = win_path(launcher)
        with DebugViewer(self.dir) as viewer:
            # It waits for its copy and ends with its code, the engine's.
            self.assertEqual(wine(launcher, "/lang=de"), 7)
            deadline = time.time() + 90
            while viewer.text.count("==== STUB END") < 2 and time.time() < deadline:
                time.sleep(0.2)
        text = viewer.text
        self.assertIn("==== RunMode=spanned relaunch\r\n", text)
        copy = re.search(r"^(\d+) ==== STUB START ====> (.*\\Y_setup\.exe.*)<\r\n", text, re.M)
        self.assertIsNotNone(copy, text)
        self.assertTrue(copy.group(2).endswith(
            f' /lang=de /SpanCdLvl=2 /SpanDiskFName1="{own}.001" /OriginExe="{own}"'), copy.group(2))
        self.assertRegex(copy.group(2), r"\\Temp\\SETUP_\d+_[0-9A-F]{8}\\Y_setup\.exe")
        # The copy read the three volumes of the .001 set, in order.
        lengths = re.findall(r"^FileLen=(\d+)\r$", text, re.M)
        self.assertEqual(lengths, [str(v.stat().st_size) for v in volumes])

        self.assert_unpacked(files)
        command, folder = self.engine_command()
        self.assertNotIn("/SpanCdLvl", command)
        self.assertNotIn("/SpanDiskFName1", command)
        # The engine is told about the launcher, not about the copy.
        self.assertEqual(re.findall(r'/OriginExe="([^"]*)"', command), [own])
        self.assertTrue(command.startswith(f"{folder}\\Engine.exe"), command)

    def test_cd_launcher_given_its_own_level_switch_runs_its_copy_once(self):
        launcher, volumes, files = self.build(cd=True)
        for switch in ("/SpanCdLvl=1", "/spancdlvl=x"):
            with self.subTest(switch=switch):
                self.record.unlink(missing_ok=True)
                with DebugViewer(self.dir) as viewer:
                    self.assertEqual(wine(launcher, switch, "/hide", timeout=120), 7)
                self.assertEqual(viewer.text.count("==== STUB START"), 2, viewer.text)
                self.assert_unpacked(files)
                command, _ = self.engine_command()
                self.assertNotIn("/SpanCdLvl", command.replace(switch, ""))
        # A copy that fails gives the launcher its code: the .001 set is gone.
        volumes[0].unlink()
        start = time.time()
        self.assertEqual(wine(launcher, "/hide", timeout=60), BAD_CHECKSUM)
        self.assertLess(time.time() - start, QUICK)

    def test_missing_volume_prompts_and_cancel_starts_nothing(self):
        setup, volumes, _ = self.build()
        volumes[2].unlink()
        code, title, text = self.answer_box(setup, "Cancel")
        self.assertEqual(code, CANCELLED)
        self.assertEqual(title, "Attention")
        self.assertIn("Please insert DISK #3 and press OK to continue", text)
        self.assertFalse(self.record.exists(), "the engine ran")
        # Hidden, nobody could insert a disk: no prompt, the run ends by itself.
        start = time.time()
        with DebugViewer(self.dir) as viewer:
            self.assertEqual(wine(setup, "/hide", timeout=60), BAD_CHECKSUM)
        self.assertLess(time.time() - start, QUICK)
        self.assertIn("a volume is missing", viewer.text)
        self.assertFalse(self.record.exists(), "the engine ran")

    def test_a_volume_not_of_this_set_is_damage_and_runs_nothing(self):
        self.build(seed=12)
        foreign = (self.dir / "setup.exe.002").read_bytes()
        setup, volumes, _ = self.build()
        second, third = volumes[1].read_bytes(), volumes[2].read_bytes()
        crafted = {
            "another package's .002": {volumes[1]: foreign},
            # The small, summed one: its trailer length now points before
            # the file, where both sums came out 0.
            "a volume cut by 10 bytes": {volumes[2]: third[:-10]},
            "two volumes swapped": {volumes[1]: third, volumes[2]: second},
        }
        for what, files in crafted.items():
            with self.subTest(what):
                for path, data in {volumes[1]: second, volumes[2]: third, **files}.items():
                    path.write_bytes(data)
                listing = lambda: sorted(p.name for p in self.dir.iterdir()
                                         if not p.name.startswith("trace.txt"))
                before = listing()
                start = time.time()
                with DebugViewer(self.dir) as viewer:
                    self.assertEqual(wine(setup, "/hide", timeout=60), DAMAGED)
                self.assertLess(time.time() - start, QUICK)
                self.assertIn("Damaged package: ", viewer.text)
                self.assertFalse(self.record.exists(), "the engine ran")
                self.assertEqual(listing(), before)

    def test_damaged_small_volume_is_a_bad_crc(self):
        setup, volumes, _ = self.build()
        data = bytearray(volumes[2].read_bytes())
        data[1000] ^= 0x10  # inside a stored block: only the checksum can tell
        volumes[2].write_bytes(bytes(data))
        code, _, text = self.answer_box(setup, "OK")
        self.assertEqual(code, 92)  # bad checksum (README.md)
        self.assertIn("Bad CRC!", text)
        self.assertFalse(self.record.exists(), "the engine ran")


if __name__ == "__main__":
    unittest.main()
