"""The running-process viewer under Wine, through the process probe and the
product stand-in: finding a running program by full path and by bare name
with each enumeration method Wine can be made to offer (the module method
on Wine's default Windows 7, the task list on Windows 10 with a stand-in
"tasklist.exe", the snapshot on Windows 98), picking its main window by the
ranking, closing, quitting and ending it, and the waits."""
import os
import shutil
import time
import unittest
from pathlib import Path

from harness import WIN_BUILD, WindowsProcess, WineTestCase, run_windows, win_path, wait_until

SUPPORT = WIN_BUILD / "tests" / "support"
PROBE = SUPPORT / "process_probe.exe"
PRODUCT = SUPPORT / "product_app.exe"
TASKLIST = SUPPORT / "tasklist_standin.exe"
# Wine reads a per-program Windows version here; it touches no other program.
APP_DEFAULTS = r"HKCU\Software\Wine\AppDefaults\process_probe.exe"
WINE_VERSION = {"modules": "win7", "tasklist": "win10", "snapshot": "win98"}


def reg(*args, check=True):
    code, out = run_windows("wine", "reg", *args, merge_stderr=True)
    if check and code != 0:
        raise AssertionError(f"wine reg {' '.join(args)} failed: {out!r}")


def read_values(path):
    text = Path(path).read_bytes().decode("latin-1")
    return dict(line.split("=", 1) for line in text.splitlines() if "=" in line)


class ProcessViewerTest(WineTestCase):
    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        for need in (PROBE, PRODUCT, TASKLIST):
            if not need.exists():
                raise AssertionError(f"{need} is not built: run scripts/build.sh")

    def setUp(self):
        super().setUp()
        # A blank in the folder: the full path is not a plain token.
        self.product = self.dir / "Product Dir" / "product_app.exe"
        self.product.parent.mkdir()
        shutil.copy(PRODUCT, self.product)
        self.full = win_path(self.product)
        self.runs = 0

    def tearDown(self):
        reg("delete", APP_DEFAULTS, "/f", check=False)
        super().tearDown()

    def probe(self, *args):
        """The probe's NAME=value lines as a dict."""
        code, out = run_windows("wine", PROBE, *args, timeout=120)
        self.assertEqual(code, 0, f"probe {args}: {out!r}")
        return dict(line.split("=", 1) for line in out.replace("\r", "").split("\n") if "=" in line)

    def start_product(self, *switches):
        """Starts the product and waits until its windows exist. Returns the
        process, what it wrote at the start and the path of its end file."""
        self.runs += 1
        start = self.dir / f"start{self.runs}.txt"
        end = self.dir / f"end{self.runs}.txt"
        args = ["wine", self.product, *switches, f"/StartFile={win_path(start)}",
                f"/EndFile={win_path(end)}"]
        proc = WindowsProcess(args)
        self.addCleanup(self.stop, proc)
        if not wait_until(start.exists):
            # Seen once in a full run: a program started just as the previous
            # one ended never came up (Wine's server between two clients).
            # One more start tells that apart from a product that cannot start.
            self.stop(proc)
            proc = WindowsProcess(args)
            self.addCleanup(self.stop, proc)
        self.assertTrue(wait_until(start.exists), "the product did not start")
        self.assertTrue(wait_until(lambda: "commandline=" in start.read_text(errors="replace")))
        return proc, read_values(start), end

    @staticmethod
    def stop(proc):
        if proc.poll() is None:
            proc.proc.kill()
        if not proc._out.closed:  # not yet finished by the test itself
            proc.finish(timeout=30)

    def ended(self, proc):
        return wait_until(lambda: proc.poll() is not None)

    def use_method(self, method):
        """Makes Wine report the Windows version that selects `method` to the
        probe; skips the current subtest when Wine cannot."""
        reg("add", APP_DEFAULTS, "/v", "Version", "/t", "REG_SZ", "/d", WINE_VERSION[method], "/f")
        if method == "tasklist":
            self.install_tasklist()
        got = self.probe("find", "")["method"]
        if got != method:
            self.skipTest(f"Wine set to {WINE_VERSION[method]} gives this build the {got} method")

    def check_finds(self, method):
        """The program by bare name and full path, and its main window, with
        the enumeration `method`."""
        _, info, _ = self.start_product()
        pid = info["pid"]
        elsewhere = win_path(self.dir / "Elsewhere" / "product_app.exe")
        self.use_method(method)
        self.assertEqual(self.probe("find", "PRODUCT_APP.EXE", "bare")["pid"], pid)
        self.assertEqual(self.probe("find", "nosuch_app.exe", "bare")["pid"], "0")
        self.assertEqual(self.probe("find", "", "bare")["pid"], "0")
        w = self.probe("window", "product_app.exe", "bare")
        # The hidden untitled tool window scores 4, the captioned visible
        # main window 7, whichever the system lists first.
        self.assertEqual(w["window"], info["main"], f"first listed: {w['first']}")
        self.assertIn(w["first"], (info["main"], info["tool"]))

        if method == "snapshot":
            executables = self.probe("windows")["executables"]
            if "\\product_app.exe" not in executables.lower():
                self.skipTest("found by bare name; but Wine's process snapshot names programs "
                              "without their folder (as NT does) even when it reports "
                              "Windows 98, so finding by full path cannot work there")
        self.assertEqual(self.probe("find", self.full, "bare")["pid"], pid)
        self.assertEqual(self.probe("find", self.full, "full")["pid"], pid)
        if method == "tasklist":
            # The task list names programs by file name only: another folder's
            # program of that name is not told apart.
            self.assertEqual(self.probe("find", elsewhere, "full")["pid"], pid)
        else:
            self.assertEqual(self.probe("find", "product_app.exe", "full")["pid"], "0")
            self.assertEqual(self.probe("find", elsewhere, "full")["pid"], "0")

    def test_module_method_on_windows_7(self):
        self.check_finds("modules")

    def test_task_list_method_on_windows_10(self):
        self.check_finds("tasklist")

    def test_snapshot_method_on_windows_98(self):
        self.check_finds("snapshot")

    def test_close_quit_and_terminate(self):
        cases = [
            # probe command and arguments after the name, how the product ended
            (("close", "bare", "10000"), "WM_CLOSE"),
            (("quit", "full"), "WM_QUIT"),
            (("terminate", "bare"), None),
        ]
        for (command, *rest), how in cases:
            with self.subTest(command=command):
                proc, _, end = self.start_product()
                self.assertEqual(self.probe(command, self.full, *rest)["posted" if how else "ended"],
                                 "1")
                self.assertTrue(self.ended(proc), "the product is still running")
                self.assertEqual(self.probe("running", "product_app.exe")["running"], "0")
                if how:
                    # The message carried the shutdown marks 15 and 255.
                    self.assertEqual(read_values(end), {"ended": how, "wParam": "15",
                                                        "lParam": "255", "closes": "1" if
                                                        how == "WM_CLOSE" else "0"})
                else:
                    self.assertFalse(end.exists())
                    self.assertEqual(proc.finish()[0], 0)
                # Nothing runs any more: nothing is posted or ended.
                self.assertEqual(self.probe(command, self.full, *rest)["posted" if how else "ended"],
                                 "0")

    def test_a_program_that_ignores_close_needs_quit(self):
        proc, _, end = self.start_product("/IgnoreClose")
        r = self.probe("close", self.full, "full", "1500")
        self.assertEqual(r["posted"], "1")
        self.assertGreaterEqual(int(r["ms"]), 1500)  # it waited in vain
        self.assertEqual(self.probe("running", f'  "{self.full}" ')["running"], "1")
        self.assertIsNone(proc.poll())
        self.assertEqual(self.probe("quit", self.full, "full")["posted"], "1")
        self.assertTrue(self.ended(proc))
        self.assertEqual(read_values(end)["ended"], "WM_QUIT")
        self.assertEqual(read_values(end)["closes"], "1")

    def test_waits_last_until_the_program_has_ended(self):
        # Windows gone, process still saving for 3 s: not yet gone.
        proc, _, end = self.start_product("/LingerMs=3000")
        r = self.probe("close", "product_app.exe", "bare", "20000")
        self.assertEqual(r["posted"], "1")
        self.assertTrue(end.exists(), f"the wait ended after {r['ms']} ms, before the program")
        self.assertGreaterEqual(int(r["ms"]), 3000)
        self.assertTrue(self.ended(proc))

        # A wait of 0 means 1000 ms.
        proc, _, _ = self.start_product()
        r = self.probe("waitgone", "product_app.exe", "0")
        self.assertEqual(r["gone"], "0")
        self.assertGreaterEqual(int(r["ms"]), 1000)
        self.assertLess(int(r["ms"]), 10000)

        # The window wait holds while the window exists.
        waiter = WindowsProcess(["wine", PROBE, "waitwindowgone", "VantorProductMain",
                                 "Vantor Product"])
        self.addCleanup(self.stop, waiter)
        time.sleep(2)
        self.assertIsNone(waiter.poll(), "the window wait ended while the window was there")
        self.assertEqual(self.probe("close", "product_app.exe", "bare", "0")["posted"], "1")
        code, out = waiter.finish(timeout=60)
        self.assertEqual(code, 0)
        self.assertTrue(self.ended(proc))
        r = self.probe("waitgone", "product_app.exe", "5000")
        self.assertEqual(r["gone"], "1")

    def test_process_list_and_window_walk(self):
        _, info, _ = self.start_product("/Title=Vantor | Product")
        pid = info["pid"]
        self.assertIn(f"|product_app.exe={pid}|", self.probe("list", "bare", "ids")["list"])
        self.assertIn("|product_app.exe|", self.probe("list", "bare", "noids")["list"])
        self.assertEqual(self.probe("running", "nosuch_app.exe")["running"], "0")

        walk = self.probe("windows")
        lists = {}
        for key, text in walk.items():
            if key != "method":
                sep = text[0]
                lists[key] = text[1:-1].split(sep)
        self.assertEqual(len({len(v) for v in lists.values()}), 1, walk)
        mine = [i for i, p in enumerate(lists["processIds"]) if p == pid]
        found = {lists["windowClasses"][i]: (lists["windowHandles"][i], lists["windowTitles"][i],
                                             lists["visibleFlags"][i]) for i in mine}
        self.assertEqual(found["VantorProductMain"], (info["main"], "Vantor | Product", "1"))
        self.assertEqual(found["VantorProductTool"], (info["tool"], "", "0"))
        self.assertEqual({lists["executables"][i].lower() for i in mine}, {"product_app.exe"})


if __name__ == "__main__":
    unittest.main()
