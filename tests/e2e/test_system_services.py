"""The process-level services and the work folder under Wine, driven through
the system probe: self-removal, folder and file deletion, piped execution,
media eject, AutoPlay suppression, the work folder and the move to a better
temporary drive."""
import datetime
import os
import re
import shutil
import subprocess
import time
import unittest

from harness import WIN_BUILD, WineTestCase, run_windows, win_path, wait_until

PROBE = WIN_BUILD / "tests" / "support" / "system_probe.exe"


def unix_path(windows_path):
    code, out = run_windows("winepath", "-u", windows_path)
    assert code == 0, out
    return out.strip()


class SystemServicesTest(WineTestCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        if not PROBE.exists():
            raise AssertionError(f"{PROBE} is not built: run scripts/build.sh")

    def probe(self, *args, exe=PROBE):
        """The probe's output lines (standard output only)."""
        return run_windows("wine", exe, *args, timeout=120)[1].replace("\r", "").split("\n")

    def values(self, *args, exe=PROBE):
        return dict(line.split("=", 1) for line in self.probe(*args, exe=exe) if "=" in line)

    def piped(self, *args):
        v = self.values(*args)
        for key in ("out", "err"):
            v[key] = bytes.fromhex(v[key]).decode("latin-1")
        return v

    def test_delete_self_removes_the_ended_executable(self):
        for i, (options, folder_goes) in enumerate([((), False), (("folder",), True),
                                                    (("folder", "short"), True)]):
            with self.subTest(options=options):
                folder = self.dir / f"case {i} dir"
                folder.mkdir()
                exe = folder / "probe copy.exe"
                shutil.copy(PROBE, exe)
                lines = self.probe("deleteself", *options, exe=exe)
                batch = unix_path(lines[0].removeprefix("batch="))
                self.assertTrue(wait_until(lambda: not exe.exists()), "the exe stayed")
                # The batch deletes itself last; the next case reuses its name.
                self.assertTrue(wait_until(lambda: not os.path.exists(batch)), "the batch stayed")
                self.assertEqual(folder.exists(), not folder_goes)

    def make_tree(self, root):
        (root / "sub" / "deeper").mkdir(parents=True)
        for name in ("a.txt", ".hidden", "sub/b.bin", "sub/deeper/c.txt"):
            (root / name).write_bytes(b"data")
        locked = root / "sub" / "deeper" / "locked.txt"
        locked.write_bytes(b"read-only")
        locked.chmod(0o444)
        return locked

    def test_remove_folder_tree(self):
        self.assertEqual(self.probe("removetree", win_path(self.dir / "missing"))[0], "0")
        self.assertEqual(self.probe("removetree", "")[0], "0")

        root = self.dir / "tree"
        locked = self.make_tree(root)
        # A read-only file keeps its folders without the clear flag.
        self.assertEqual(self.probe("removetree", win_path(root))[0], "0")
        self.assertTrue(locked.exists())
        self.assertFalse((root / "a.txt").exists())
        self.assertEqual(self.probe("removetree", win_path(root), "clear")[0], "1")
        self.assertFalse(root.exists())

    def test_delete_files_by_pattern(self):
        folder = self.dir / "files"
        folder.mkdir()
        for name in ("a.tmp", "b.TMP", "keep.txt", "ro.tmp"):
            (folder / name).write_bytes(b"x")
        (folder / "ro.tmp").chmod(0o444)
        pattern = win_path(folder) + "\\*.tmp"
        self.assertEqual(self.probe("deletefiles", pattern)[0], "1")
        self.assertEqual(sorted(p.name for p in folder.iterdir()), ["keep.txt", "ro.tmp"])
        self.assertEqual(self.probe("deletefiles", pattern, "clear")[0], "1")
        self.assertEqual(sorted(p.name for p in folder.iterdir()), ["keep.txt"])
        self.assertEqual(self.probe("deletefiles", pattern)[0], "0")

    def test_run_piped(self):
        r = self.piped("runpiped", "cmd", "/c exit 3")
        self.assertEqual((r["success"], r["exit"]), ("0", "3"))

        r = self.piped("runpiped", "cmd", "/c echo hello")
        self.assertEqual((r["success"], r["exit"], r["out"]), ("1", "0", "hello\r\n"))
        # Once per piece read: cmd may write the line and its end apart, and
        # on a busy machine they arrive in two reads.
        self.assertIn(r["calls"], ("1", "2"))

        # Output and error apart, OEM text turned into ANSI text.
        r = self.piped("runpiped", win_path(PROBE), "emit 4")
        self.assertEqual((r["success"], r["exit"], r["err"]), ("0", "4", "err line\r\n"))
        oem, ansi = re.search(r"cp=(\d+) (\d+)", r["out"]).groups()
        u = b"\x81".decode(f"cp{oem}").encode(f"cp{ansi}").decode("latin-1")
        self.assertTrue(r["out"].startswith(f"out line {u}\r\n"), r["out"])

        r = self.piped("runpiped", "nosuch_program.exe", "/q")
        self.assertEqual((r["success"], r["exit"]), ("0", "21"))
        self.assertRegex(r["err"], r"^nosuch_program\.exe /q --- \S")

        r = self.piped("runpiped-long", 40000)
        self.assertEqual((r["success"], r["exit"], r["err"]), ("0", "21", "Command line is too long"))
        self.assertEqual(r["calls"], "1")

        # The callback's abort ends a child that would run for 30 s.
        r = self.piped("runpiped-abort")
        self.assertEqual((r["success"], r["exit"], r["out"]), ("0", "255", "first\r\n"))
        self.assertLess(int(r["ms"]), 10000)

    def test_eject_and_autoplay(self):
        self.assertEqual(self.probe("eject", "C:\\")[0], "0")
        self.assertEqual(self.probe("eject", "1:\\")[0], "0")
        on, registered, off = self.probe("autoplay")[0].split()
        self.assertNotEqual(on, "0")
        self.assertEqual((on, off), (registered, "0"))

    def test_work_folder_is_named_by_the_stamp_and_cleared(self):
        exe = self.dir / "probe.exe"
        shutil.copy(PROBE, exe)
        stamp = datetime.datetime(2024, 5, 6, 13, 45, 22)
        os.utime(exe, (stamp.timestamp(), stamp.timestamp()))
        dos_time = 13 << 11 | 45 << 5 | 22 // 2

        folder, empty = self.probe("workfolder", exe=exe)[:2]
        local = unix_path(folder)
        self.addCleanup(shutil.rmtree, local, ignore_errors=True)
        self.assertRegex(folder, r"^C:\\.*\\SETUP_%d_[0-9A-F]{8}$" % dos_time)
        self.assertEqual(empty, "1")
        # A leftover of an earlier run is cleared at the first use.
        os.makedirs(os.path.join(local, "old", "deeper"))
        with open(os.path.join(local, "old", "deeper", "f.txt"), "wb") as f:
            f.write(b"left over")
        self.assertEqual(self.probe("workfolder", exe=exe)[:2], [folder, "1"])

    def test_better_temp_drive(self):
        dosdevices = os.path.join(os.environ["WINEPREFIX"], "dosdevices")
        letters = [x for x in "de" if not os.path.lexists(f"{dosdevices}/{x}:")]
        if len(letters) == 2:
            # Only C: the temporary folder on C stays.
            v = self.values("bettertemp")
            self.assertEqual((v["better"], v["alt"]), ("0", ""))
        if not letters:
            self.skipTest("no free drive letter among D and E")

        # An extra drive holding the temporary folder: C has at least as much
        # room and comes first, so the work moves to C.
        letter = letters[0]
        drive = self.dir / "drive"
        (drive / "tmp").mkdir(parents=True)
        link = f"{dosdevices}/{letter}:"
        os.symlink(drive, link)
        self.addCleanup(os.unlink, link)
        temp_on_extra = f"{letter.upper()}:\\tmp"

        c_temp = unix_path("C:\\TEMP")
        had_c_temp = os.path.isdir(c_temp)
        if not had_c_temp:
            v = self.values("bettertemp", temp_on_extra)
            self.assertEqual(v["better"], "1")
            self.assertRegex(v["alt"], r"^C:\\TEMP_\d{5,6}$")
            self.assertEqual((v["altmade"], v["altgone"]), ("1", "1"))
            self.assertFalse(os.path.exists(c_temp), "the probe folder stayed")
            os.mkdir(c_temp)
            self.addCleanup(os.rmdir, c_temp)
        before = sorted(os.listdir(c_temp))
        # With C:\TEMP there, the root is the TEMP inside it.
        v = self.values("bettertemp", temp_on_extra)
        self.assertEqual(v["better"], "1")
        self.assertRegex(v["alt"], r"^C:\\TEMP\\TEMP_\d{5,6}$")
        self.assertEqual((v["altmade"], v["altgone"]), ("1", "1"))
        self.assertEqual(sorted(os.listdir(c_temp)), before)
        self.assertEqual(os.listdir(drive), ["tmp"])


if __name__ == "__main__":
    unittest.main()
