"""Shell folders, runtime directories and install variables under Wine,
through the probe program: the special folders are the prefix's own, the
registry is read in the view a definition asks for, a runtime directory is
found through App Paths and by a folder-tree search."""
import datetime
import os
import re
import unittest
from pathlib import Path

from harness import WIN_BUILD, WineTestCase, i686, run_windows, unix_path, win_path

PROBE32 = WIN_BUILD / "tests" / "support" / "folders_probe.exe"
PROBE64 = (Path(os.environ.get("VANTOR_WIN64_BUILD", WIN_BUILD.parent / "win64"))
           / "tests" / "support" / "folders_probe.exe")
TEST_KEY = r"HKLM\Software\VantorFoldersTest"
APP_PATHS = r"HKLM\Software\Microsoft\Windows\CurrentVersion\App Paths\vantortool.exe"
USER_SHELL = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders"
COMMON_SHELL = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders"


def reg(*args, check=True):
    code, out = run_windows("wine", "reg", *args, merge_stderr=True)
    if check and code != 0:
        raise AssertionError(f"wine reg {' '.join(args)} failed: {out!r}")
    return code, out


def reg_value(key, name):
    """A text value as reg.exe shows it, or None."""
    code, out = reg("query", key, "/v", name, check=False)
    for line in out.splitlines():
        m = re.match(r"\s*(.*?)\s+REG_\w+\s+(.*)$", line)  # names may hold blanks
        if code == 0 and m and m.group(1).lower() == name.lower():
            return m.group(2)
    return None


def definition(fields):
    """A runtime directory definition: 22 fields, those given set."""
    return "|" + "".join(f"{fields.get(i, '')}|" for i in range(22))


class FoldersTest(WineTestCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.probes = [p for p in (PROBE64, PROBE32) if p.exists()]
        if not cls.probes:
            raise unittest.SkipTest(f"{PROBE32} and {PROBE64} are not built")

    def tearDown(self):
        for view in ("/reg:32", "/reg:64"):
            reg("delete", TEST_KEY, "/f", view, check=False)
            reg("delete", APP_PATHS, "/f", view, check=False)
        super().tearDown()

    def probe(self, *args, exe=None):
        code, out = run_windows("wine", exe or self.probes[0], *args)
        self.assertEqual(code, 0, f"probe {args}")
        return out

    def runs(self, exe):
        """True when this host runs `exe` (some run 64-bit programs only)."""
        code, out = run_windows("wine", exe, "bits")
        return code == 0 and out in ("32", "64")

    def test_special_folders_are_the_prefixs_own(self):
        for exe in self.probes:
            if not self.runs(exe):
                print(f"\n  skipped {exe}: this host does not run it")
                continue
            with self.subTest(probe=exe.parent.parent.parent.name):
                folders = dict(line.split("=", 1)
                               for line in self.probe("folders", exe=exe).split("\r\n") if line)
                for name, path in folders.items():
                    with self.subTest(folder=name):
                        self.assertRegex(path, r"^C:", name)
                        self.assertTrue(unix_path(path).is_dir(), f"{name}={path}")
                # What Wine's shell wrote down for the same folders.
                for name, key, value in (
                        ("MyDocumentsDir", USER_SHELL, "Personal"),
                        ("UserAppDataDir", USER_SHELL, "AppData"),
                        ("UserLocalAppDataDir", USER_SHELL, "Local AppData"),
                        ("UserDesktopDir", USER_SHELL, "Desktop"),
                        ("UserStartMenuDir", USER_SHELL, "Start Menu"),
                        ("UserStartProgramMenuDir", USER_SHELL, "Programs"),
                        ("AllUsersAppDataDir", COMMON_SHELL, "Common AppData"),
                        ("AllUsersDocumentsDir", COMMON_SHELL, "Common Documents"),
                        ("AllUsersDesktopDir", COMMON_SHELL, "Common Desktop"),
                        ("AllUsersStartMenuDir", COMMON_SHELL, "Common Start Menu"),
                        ("AllUsersStartProgramMenuDir", COMMON_SHELL, "Common Programs")):
                    with self.subTest(folder=name):
                        self.assertEqual(folders[name].lower(), reg_value(key, value).lower())
                documents = folders["MyDocumentsDir"]
                self.assertEqual(folders["UserDir"], documents.rsplit("\\", 1)[0])
                self.assertEqual(folders["DocumentsAndSettingsDir"],
                                 folders["UserDir"].rsplit("\\", 1)[0])
                self.assertEqual(folders["AllUsersDir"] + "\\",
                                 folders["AllUsersAppDataDir"].rsplit("\\", 1)[0] + "\\")
                # No "Profiles" folder in a modern prefix: the Windows folder.
                self.assertEqual(folders["ProfileDir"].lower(), "c:\\windows")
                # A closing quote takes no separator; a file name does.
                self.assertEqual(self.probe("expand", '"<MyDocumentsDir>"', exe=exe),
                                 f'"{documents}"')
                self.assertEqual(self.probe("expand", "<MyDocumentsDir>a.txt", exe=exe),
                                 documents + "\\a.txt")

    def test_variables_name_the_prefixs_folders(self):
        wanted = ("<WinDir>|<WinSysDir>x|<WinSys16Dir>x|<TempDir>x|<SrcDir>x|"
                  "<WinDrive>|<WinDisk>|<Date=6>")
        out = self.probe("expand", wanted)
        today = datetime.date.today().isoformat()
        # A prefix made for 64-bit programs only has no 16-bit system folder.
        system16 = "system" if (unix_path("C:\\windows") / "system").is_dir() else "system32"
        self.assertEqual(out.split("|"), [
            "C:\\windows\\", "C:\\windows\\system32\\x", f"C:\\windows\\{system16}\\x",
            out.split("|")[3], win_path(self.probes[0].parent) + "\\x", "C:\\", "C:", today])
        self.assertTrue(unix_path(out.split("|")[3][:-2]).is_dir(), out)
        # ".." steps are resolved by the system, in a whole text or field by field.
        self.assertEqual(self.probe("expand", r"<WinDir>\system32\..\fonts", "\\", "1"),
                         r"C:\windows\fonts")
        self.assertEqual(self.probe("expand", r"|C:\a\..\b|C:\x\y|C:\d\..|", "\\", "1"),
                         r"|C:\b|C:\x\y|C:\|")

    def test_registry_views(self):
        reg("add", TEST_KEY, "/v", "Dir", "/d", r"C:\View64", "/f", "/reg:64")
        reg("add", TEST_KEY, "/v", "Dir", "/d", r"C:\View32", "/f", "/reg:32")
        reg("add", TEST_KEY, "/v", "Only64", "/d", r"C:\Only64", "/f", "/reg:64")
        path = TEST_KEY + r"\Dir"
        probe64 = PROBE64 if PROBE64 in self.probes and self.runs(PROBE64) else None
        if probe64 is None:
            self.skipTest(f"{PROBE64} does not run here")
        cases = [
            (path, "2", r"C:\View64"),
            (path, "1", r"C:\View32"),
            (path, "0", r"C:\View64"),  # the native view of 64-bit Windows
            (TEST_KEY + r"\Only64", "1", ""),
            (TEST_KEY + r"\Only64", "3", r"C:\Only64"),  # the other view next
        ]
        for key, code, expected in cases:
            with self.subTest(key=key, code=code):
                self.assertEqual(self.probe("regdir", key, code, exe=probe64), expected)

    @i686
    def test_registry_native_view_from_the_32_bit_program(self):
        if not (PROBE32.exists() and self.runs(PROBE32)):
            self.skipTest("this host does not run the i686 build (32-bit programs), so the "
                          "native view of a 32-bit program cannot be shown")
        reg("add", TEST_KEY, "/v", "Dir", "/d", r"C:\View64", "/f", "/reg:64")
        reg("add", TEST_KEY, "/v", "Dir", "/d", r"C:\View32", "/f", "/reg:32")
        path = TEST_KEY + r"\Dir"
        for code, expected in (("0", r"C:\View64"), ("1", r"C:\View32"), ("2", r"C:\View64")):
            with self.subTest(code=code):
                self.assertEqual(self.probe("regdir", path, code, exe=PROBE32), expected)

    def test_runtime_dir_through_app_paths(self):
        reg("add", APP_PATHS, "/ve", "/d", r'"C:\Tools\Vantor Tool\vantortool.exe"', "/f",
            "/reg:64")
        found = definition({0: "1", 1: "vantortool.exe", 17: "1"})
        self.assertEqual(self.probe("runtimedir", found), "C:\\Tools\\Vantor Tool\r\nMissing=FALSE")
        self.assertEqual(self.probe("runtimedir", found, '"<RunTimeDir_1>\\vantortool.exe" /x'),
                         '"C:\\Tools\\Vantor Tool\\vantortool.exe" /x')
        missing = definition({0: "1", 1: "nosuchtool.exe", 17: "1"})
        self.assertEqual(self.probe("runtimedir", missing), "\r\nMissing=TRUE")
        # The stub defines none: an empty folder.
        self.assertEqual(self.probe("runtimedir", "", "[<RunTimeDir_1>]"), "[]")

    def test_folder_tree_search(self):
        (self.dir / "a" / "b").mkdir(parents=True)
        (self.dir / "c" / "Data").mkdir(parents=True)
        (self.dir / "a" / "b" / "Target.Dat").write_bytes(b"x")
        root = win_path(self.dir)
        self.assertEqual(self.probe("search", root, "target.dat", "file"),
                         root + "\\a\\b\\Target.Dat")
        self.assertEqual(self.probe("search", root, "data", "folder"), root + "\\c\\Data")
        self.assertEqual(self.probe("search", root, "none.dat", "file"), "")


if __name__ == "__main__":
    unittest.main()
