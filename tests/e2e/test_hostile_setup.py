"""Setups that must fail, and fail on their own: under "/hide" nothing waits
for a person, and every failure ends with its documented code (README.md)
within seconds, the engine never started. The sample engine records
whether it ran."""
import os
import random
import re
import subprocess
import time
import unittest

from harness import (STUB, WIN_BUILD, DebugViewer, WineTestCase, run_windows, unix_path, vpack,
                     win_path, wine)

ENGINE = WIN_BUILD / "tests" / "support" / "sample_engine.exe"
UI_DRIVER = WIN_BUILD / "tests" / "support" / "ui_driver.exe"
DAMAGED = 91
QUICK = 15  # seconds a failing run may take


class HostileSetupTest(WineTestCase):
    def setUp(self):
        super().setUp()
        self.record_engine()

    def with_name(self, name):
        """A setup whose file `name` Windows would not write as given. vpack
        refuses such names, so a harmless one of the same length is packed
        (random bytes: the block is stored as it is) and renamed in place."""
        harmless = name[:-5] + "y" + name[-4:]
        src = self.make_source({"Engine.exe": ENGINE.read_bytes(),
                                harmless: random.Random(3).randbytes(3000)})
        setup = self.dir / "setup.exe"
        vpack("build", src, "--stub", STUB, "-o", setup, "-q", "--engine", "Engine.exe",
              "--engine-args", "/ExitCode=7")
        data = setup.read_bytes()
        for stored in (harmless, harmless.replace("/", "\\")):
            field = f"|{stored}|".encode()
            if data.count(field) == 1:
                setup.write_bytes(data.replace(field, f"|{name.replace('/', chr(92))}|".encode()))
                return setup
        self.fail(f"{harmless} is not stored as it is")

    def test_refused_names_end_hidden_runs_with_91(self):
        for name in ("COM1.txt", "sub/aux.txt"):
            with self.subTest(name=name):
                setup = self.with_name(name)
                start = time.time()
                with DebugViewer(self.dir) as viewer:
                    code = wine(setup, "/hide", timeout=60)
                self.assertLess(time.time() - start, QUICK)
                self.assertEqual(code, DAMAGED)
                self.assertIn(f"Setup failed, exit code {DAMAGED}", viewer.text)
                self.assertIn("File name refused", viewer.text)  # traced, not shown
                self.assertFalse(self.record.exists(), "the engine ran")

    def test_refused_name_in_the_foreground_is_shown_and_ends_with_91(self):
        setup = self.with_name("COM1.txt")
        proc = subprocess.Popen(["wine", str(setup)], stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)
        out = run_windows("wine", UI_DRIVER, "--timeout", "60000", "--text", "--click", "OK",
                          timeout=120)[1]
        self.assertIn("File name refused", out)
        self.assertEqual(proc.wait(timeout=60), DAMAGED)
        self.assertFalse(self.record.exists(), "the engine ran")

    def test_trailer_bytes_no_setup_may_carry_are_damage(self):
        """A version the stub does not know ate payload blocks as header
        blocks (Version 3 dropped the first file, 255 all of them); an agent
        byte on a package with payload ran as an agent that never ended and
        wrote a descriptor beside the setup."""
        src = self.make_source({"Engine.exe": ENGINE.read_bytes(), "a.txt": b"payload"})
        built = self.dir / "built.exe"
        vpack("build", src, "--stub", STUB, "-o", built, "-q", "--engine", "Engine.exe",
              "--engine-args", "/ExitCode=7", "--update-info", "Prog.info")
        for label, offset, value in (("version 3", 1, 3), ("version 255", 1, 255),
                                     ("version 1", 1, 1), ("agent byte", 69, 1)):
            with self.subTest(label):
                folder = self.dir / label.replace(" ", "_")
                folder.mkdir()
                setup = folder / "setup.exe"
                data = bytearray(built.read_bytes())
                data[len(data) - 74 + offset] = value
                setup.write_bytes(bytes(data))
                self.record.unlink(missing_ok=True)
                start = time.time()
                with DebugViewer(self.dir) as viewer:
                    code = wine(setup, "/hide", timeout=60)
                self.assertLess(time.time() - start, QUICK)
                self.assertEqual(code, DAMAGED)
                self.assertIn(f"Setup failed, exit code {DAMAGED}: damaged package", viewer.text)
                self.assertFalse(self.record.exists(), "the engine ran")
                self.assertEqual([p.name for p in folder.iterdir()], ["setup.exe"])

    def engine_folder(self):
        text = self.record.read_bytes().decode("latin-1")
        return re.search(r"^Folder=(.*)\r$", text, re.M).group(1)

    def test_links_at_the_work_folder_names_are_never_followed(self):
        """Another user plants links where the next run of a setup will
        unpack (the name is predictable): the run goes elsewhere, and what
        the links point to is untouched."""
        src = self.make_source({"Engine.exe": ENGINE.read_bytes(), "a.txt": b"payload"})
        setup = self.dir / "setup.exe"
        vpack("build", src, "--stub", STUB, "-o", setup, "-q", "--engine", "Engine.exe",
              "--engine-args", "/ExitCode=7")
        self.assertEqual(wine(setup, "/hide"), 7)
        predicted = unix_path(self.engine_folder())
        self.assertFalse(predicted.exists())
        victim = self.dir / "victim"
        keep = {"keep.txt": b"not yours", "sub/deep.txt": b"nor this"}
        for name, data in keep.items():
            (victim / name).parent.mkdir(parents=True, exist_ok=True)
            (victim / name).write_bytes(data)
        # The predicted name and the first leftover names, each a link.
        links = [predicted] + [predicted.with_name(f"{predicted.name}_{n}") for n in range(2, 10)]
        for link in links:
            os.symlink(victim, link)
            self.addCleanup(lambda p=link: os.path.islink(p) and p.unlink())
        self.record.unlink()
        start = time.time()
        self.assertEqual(wine(setup, "/hide", timeout=60), 7)
        self.assertLess(time.time() - start, QUICK)
        used = unix_path(self.engine_folder())
        self.assertNotIn(used, links)
        self.assertRegex(used.name, r"^SETUP_\d+_[0-9A-F]{8}_[0-9A-F]{16}$")
        self.assertFalse(used.exists(), "the work folder was left")
        self.assertEqual(sorted(str(p.relative_to(victim)) for p in victim.rglob("*")),
                         ["keep.txt", "sub", "sub/deep.txt"])
        for name, data in keep.items():
            self.assertEqual((victim / name).read_bytes(), data, name)
        self.assertTrue(all(os.path.islink(p) for p in links))


if __name__ == "__main__":
    unittest.main()
