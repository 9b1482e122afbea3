"""System services and the language file under Wine, through the probe
program: registry values by type and size, INI reads, the language file,
the Windows version table on the versions Wine can pretend to be, free disk
space, executable versions, the clock and the day-number texts."""
import datetime
import os
import shutil
import subprocess
import unittest
from pathlib import Path

from harness import (STUB, WIN_BUILD, DebugViewer, WineTestCase, run_windows, win_path,
                     wine_output)
from harness import i686_only

PROBE = WIN_BUILD / "tests" / "support" / "sysinfo_probe.exe"
TEST_KEY = r"HKCU\Software\VantorTest"
MACHINE_KEY = r"HKLM\Software\VantorTest"
# Wine reads a per-program Windows version here; it touches no other program.
APP_DEFAULTS = r"HKCU\Software\Wine\AppDefaults\sysinfo_probe.exe"


def reg(*args, check=True):
    code, out = run_windows("wine", "reg", *args, merge_stderr=True)
    if check and code != 0:
        raise AssertionError(f"wine reg {' '.join(args)} failed: {out!r}")
    return code


def reg_add(key, name, kind, data, *extra):
    reg("add", key, "/v", name, "/t", kind, "/d", data, "/f", *extra)


def pattern(n):
    """n characters that differ along the text, so a cut or a garbage tail shows."""
    text = "".join(chr(65 + i % 26) for i in range(n))
    return text[:-3] + "END"


class SystemInfoTest(WineTestCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        if not PROBE.exists():
            raise AssertionError(f"{PROBE} is not built: run scripts/build.sh")

    def setUp(self):
        super().setUp()
        # A copy of its own, so the language file is looked for in self.dir.
        self.probe_exe = self.dir / "sysinfo_probe.exe"
        shutil.copy(PROBE, self.probe_exe)

    def tearDown(self):
        reg("delete", TEST_KEY, "/f", check=False)
        for view in ("/reg:32", "/reg:64"):
            reg("delete", MACHINE_KEY, "/f", view, check=False)
        reg("delete", APP_DEFAULTS, "/f", check=False)
        super().tearDown()

    def probe(self, *args):
        code, out = wine_output(self.probe_exe, *args)
        self.assertEqual(code, 0, f"probe {args}")
        return out

    def test_registry_values_by_type(self):
        reg_add(TEST_KEY, "Text", "REG_SZ", "Hello World")
        reg_add(TEST_KEY, "Blank", "REG_SZ", "")
        reg_add(TEST_KEY, "Number", "REG_DWORD", "305419896")
        reg_add(TEST_KEY, "AllBits", "REG_DWORD", "0xFFFFFFFF")
        reg_add(TEST_KEY, "Multi", "REG_MULTI_SZ", r"a\0b")
        reg_add(TEST_KEY, "Bytes", "REG_BINARY", "41424300")
        reg_add(TEST_KEY, "Expand", "REG_EXPAND_SZ", r"%TEMP%\x")
        cases = [
            (TEST_KEY, "Text", "Hello World"),
            ("HKEY_CURRENT_USER\\Software\\VantorTest", "Text", "Hello World"),
            ("Software\\VantorTest", "Text", "Hello World"),  # no root: current user
            (TEST_KEY, "Blank", ""),  # present but empty: not the default
            (TEST_KEY, "Number", "305419896"),
            (TEST_KEY, "AllBits", "4294967295"),
            (TEST_KEY, "Multi", "a<0>b"),
            (TEST_KEY, "Bytes", "ABC"),  # another type: its bytes as text
            (TEST_KEY, "Expand", r"%TEMP%\x"),  # not expanded
            (TEST_KEY, "Missing", "DEFAULT"),
            (TEST_KEY + r"\NoSuchKey", "Text", "DEFAULT"),
        ]
        for key, name, expected in cases:
            with self.subTest(key=key, name=name):
                self.assertEqual(self.probe("reg", key, name, "DEFAULT", "0"), expected)

    def test_registry_values_of_any_size_are_read_whole(self):
        # 10240 characters and the NUL fill the first buffer exactly; one more
        # needs the second read.
        for n in (10240, 10241, 20000):
            with self.subTest(length=n):
                value = pattern(n)
                reg_add(TEST_KEY, f"Long{n}", "REG_SZ", value)
                self.assertEqual(self.probe("reg", TEST_KEY, f"Long{n}", "DEFAULT", "0"), value)

    @i686_only
    def test_registry_view_flag(self):
        # Only a 32-bit process reads a view other than its own by default.
        version = self.probe("version")
        if "Is64BitWindows=TRUE" not in version:
            self.skipTest("a 32-bit Wine prefix has one registry view")
        reg_add(MACHINE_KEY, "View", "REG_SZ", "64-bit view", "/reg:64")
        reg_add(MACHINE_KEY, "View", "REG_SZ", "32-bit view", "/reg:32")
        self.assertEqual(self.probe("reg", MACHINE_KEY, "View", "DEFAULT", "1"), "64-bit view")
        self.assertEqual(self.probe("reg", MACHINE_KEY, "View", "DEFAULT", "0"), "32-bit view")

    def test_ini_reads(self):
        ini = self.dir / "settings.ini"
        long_value = pattern(12000)
        ini.write_bytes(("[Main]\r\nName=Value\r\nEmpty=\r\n=blank key\r\n"
                         f"Long={long_value}\r\n").encode("latin-1"))
        path = win_path(ini)
        cases = [
            ("Main", "Name", "Value"),
            ("main", "NAME", "Value"),
            ("Main", "Missing", "DEFAULT"),
            ("Main", "Empty", "DEFAULT"),
            ("Other", "Name", "DEFAULT"),
            # Empty names never reach the file (it would answer "blank key").
            ("Main", "", "DEFAULT"),
            ("", "Name", "DEFAULT"),
        ]
        for section, key, expected in cases:
            with self.subTest(section=section, key=key):
                self.assertEqual(self.probe("ini", path, section, key, "DEFAULT"), expected)
        self.assertEqual(self.probe("ini", win_path(self.dir / "none.ini"), "Main", "Name", "D"), "D")

        with DebugViewer(self.dir) as viewer:
            self.assertEqual(self.probe("ini", path, "Main", "Long", "DEFAULT"), long_value)
        self.assertIn("ReadIniString SizeError=12000\r\n", viewer.text)

    def test_language_file(self):
        self.assertEqual(self.probe("langstring", "s1", "Extracting Files..."), "Extracting Files...")
        self.assertEqual(self.probe("langwith", "RunTimeDir_01", "Dir (<?>) not found", "C:\\R"),
                         "Dir (C:\\R) not found")

        expected_path = self.dir / "HELP" / "English" / "Vantor.language.ini"
        self.assertEqual(self.probe("langpath").lower(), win_path(expected_path).lower())
        expected_path.parent.mkdir(parents=True)
        expected_path.write_bytes(b"[STRINGS]\r\ns1=Unpacking...\r\nPadded=|  two blanks  |\r\n"
                                  b"Empty=\r\nBars=||\r\nWith=Missing <?>, really <?>\r\n")
        cases = [
            ("s1", "Unpacking..."),
            ("Padded", "  two blanks  "),
            ("Empty", "DEFAULT"),
            ("Bars", "DEFAULT"),
            ("Absent", "DEFAULT"),
        ]
        for key, expected in cases:
            with self.subTest(key=key):
                self.assertEqual(self.probe("langstring", key, "DEFAULT"), expected)
        self.assertEqual(self.probe("langwith", "With", "x", "Tool"), "Missing Tool, really Tool")
        self.assertEqual(self.probe("langname"), "ENGLISH")  # Wine's default locale is en-US

    def version_of(self):
        out = self.probe("version")
        return dict(line.split("=", 1) for line in out.split("\r\n") if "=" in line)

    def test_windows_version_as_wine_reports_it(self):
        system_reg = Path(os.environ["WINEPREFIX"]) / "system.reg"
        arch64 = "#arch=win64" in system_reg.read_text(encoding="latin-1")
        self.assertEqual(self.version_of()["Is64BitWindows"], "TRUE" if arch64 else "FALSE")
        suffix = ".64" if arch64 else ""
        cases = [
            # Wine's name, version text, short name, code, NT, XP, Win8+, server
            ("win10", "10.0", "10" + suffix, 4194304 if arch64 else 2097152, "TRUE", "FALSE", "TRUE", "FALSE"),
            ("win81", "6.3", "8.1" + suffix, 524288 if arch64 else 262144, "TRUE", "FALSE", "TRUE", "FALSE"),
            ("win2008", "6.0", "2008" + suffix, 8192 if arch64 else 4096, "TRUE", "FALSE", "FALSE", "TRUE"),
            ("winxp", "5.1", "XP", 32, "TRUE", "TRUE", "FALSE", "FALSE"),
            ("winme", "4.90", "ME", 4, "FALSE", "FALSE", "FALSE", "FALSE"),
            ("win98", "4.10", "98", 2, "FALSE", "FALSE", "FALSE", "FALSE"),
        ]
        try:
            for name, text, short, code, nt, xp, win8, server in cases:
                with self.subTest(version=name):
                    reg_add(APP_DEFAULTS, "Version", "REG_SZ", name)
                    v = self.version_of()
                    self.assertEqual((v["VersionText"], v["ShortName"], int(v["Code"])), (text, short, code))
                    self.assertEqual((v["IsNT"], v["IsXP"], v["IsWin8OrLater"], v["IsServer"]),
                                     (nt, xp, win8, server))
        finally:
            reg("delete", APP_DEFAULTS, "/f", check=False)

    def test_disk_free(self):
        for path in (self.dir, self.dir / "no" / "such" / "folder"):
            with self.subTest(path=path):
                reported = int(self.probe("diskfree", win_path(path)))
                actual = shutil.disk_usage(self.dir).free
                self.assertLess(abs(reported - actual), max(actual // 20, 64 << 20), (reported, actual))
        self.assertEqual(self.probe("diskfree", "Q:\\nowhere"), "0")

    def test_exe_versions_clock_dpi_and_procedures(self):
        stub = win_path(STUB)
        self.assertEqual(self.probe("exeversion", stub), "1.0.0.1")
        self.assertEqual(self.probe("exeversion", stub, "2"), "1.0")
        self.assertEqual(self.probe("productversion", stub), "1.0.0.1")
        self.assertEqual(self.probe("exeversion"), "")  # the probe has no version resource
        self.assertEqual(self.probe("exeversion", win_path(self.dir / "none.exe")), "")

        self.assertIn(int(self.probe("clock", "300")), range(290, 2000))
        dpi, pixels = map(int, self.probe("dpi").split())
        self.assertGreater(dpi, 0)
        self.assertEqual(pixels, (8 * dpi + 36) // 72)  # 8 points, rounded

        self.assertEqual(self.probe("proc", "kernel32.dll", "GetDiskFreeSpaceExA"), "found")
        self.assertEqual(self.probe("proc", "kernel32.dll", "NoSuchProcedure"), "none")
        self.assertEqual(self.probe("proc", "no_such_library.dll", "X"), "none")

    def test_date_time_texts(self):
        self.assertEqual(self.probe("datetime", "46363.5"), "07-DEC-2026 12:00:00")
        self.assertEqual(self.probe("datetime", "-7"), "30-DEC-1899 00:00:00")
        before = datetime.datetime.now().replace(microsecond=0)
        now = datetime.datetime.strptime(self.probe("datetime", "-1").title(), "%d-%b-%Y %H:%M:%S")
        after = datetime.datetime.now()
        self.assertTrue(before - datetime.timedelta(seconds=2) <= now <= after, (before, now, after))


if __name__ == "__main__":
    unittest.main()
