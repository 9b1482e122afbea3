"""Web setups under Wine against the HTTP test server on 127.0.0.1: the small
stub downloads the full setup, checks its token, runs it and deletes the
download; a setup beside the stub is used in place; errors reach the user in
a message box, read and answered by ui_driver.exe."""
import getpass
import os
import re
import shutil
import sys
import time
import unittest
from pathlib import Path

from harness import (ROOT, STUB, WIN_BUILD, DebugViewer, WindowsProcess, WineTestCase, run_windows,
                     vpack, wait_until, win_path)
from harness import TOOLS

sys.path.insert(0, str(ROOT / "tests" / "support"))
from http_server import TestServer  # noqa: E402

ENGINE = WIN_BUILD / "tests" / "support" / "sample_engine.exe"
PROBE = TOOLS / "window_probe.exe"
UI_DRIVER = TOOLS / "ui_driver.exe"
FULL = "Setup_Full.exe"


def temp_folder():
    """The Unix path of the prefix's temporary folder (GetTempPath): the
    user's own, named as Wine names it (the login name, else "Public")."""
    users = Path(os.environ["WINEPREFIX"]) / "drive_c" / "users"
    own = users / getpass.getuser() / "Temp"
    if own.is_dir():
        return own
    return next(p for p in users.glob("*/Temp") if p.parent.name != "Public")


class DownloadRoadTest(WineTestCase):
    def setUp(self):
        super().setUp()
        self.record = self.dir / "engine.txt"
        os.environ["VANTOR_ENGINE_RECORD"] = win_path(self.record)
        self.addCleanup(os.environ.pop, "VANTOR_ENGINE_RECORD", None)
        self.www = self.dir / "www"
        self.www.mkdir()
        self.server = self.enterContext(TestServer(self.www))
        self.download = temp_folder() / FULL
        for leftover in temp_folder().glob(FULL + "*"):
            leftover.unlink()

    def pair(self, route="", token="product 1", ask=False, name="web", options=(), source=None):
        """Builds the full setup into the served folder (or into this test's
        folder when `name` says so) and its web stub; returns the web stub."""
        src = self.make_source({"Engine.exe": ENGINE.read_bytes(), "a.txt": b"abc" * 20000})
        folder = self.dir / name
        folder.mkdir(exist_ok=True)
        web = folder / "WebSetup.exe"
        vpack("build", src, "--stub", STUB, "-o", folder / FULL, "-q", "--engine", "Engine.exe",
              "--engine-args", "/ExitCode=7 /HoldMs=200", "--web-stub", web,
              "--download-source", source or self.server.url + route,
              "--download-token-plain", token,
              *(["--ask-before-download"] if ask else []), *options)
        shutil.copy(folder / FULL, self.www / FULL)
        (folder / FULL).unlink()
        return web

    def answer_box(self, stub, *args, button="OK"):
        """Runs the stub, reads the box it shows and presses `button`;
        returns (exit code, box text)."""
        proc = WindowsProcess(["wine", stub, *args])
        _, text = run_windows("wine", UI_DRIVER, "--timeout", "60000", "--text", "--click",
                              button, timeout=120)
        return proc.finish(timeout=60)[0], text

    def downloads(self):
        return [r for r in self.server.requests
                if r["headers"].get("user-agent") == "HTTP_Connect_3"]

    # Not an i686 case: under emulation, with the asynchronous download
    # session, it ran past the 600 s limit; it runs on x86_64.
    def test_downloads_checks_runs_and_deletes_with_the_bars_moving(self):
        # Slow enough (about 4 s) for the probe, itself a Wine process, to
        # see the bar at several positions on a busy machine.
        web = self.pair("/_slow/70000")
        proc = WindowsProcess(["wine", web])
        positions = set()
        while proc.poll() is None and not self.record.exists():
            code, out = run_windows("wine", PROBE, "bars", win_path(web))
            if code == 0 and out.split():
                positions.add(tuple(out.split()[:2]))
            time.sleep(0.1)
        self.assertEqual(proc.finish(timeout=60)[0], 7)  # the engine's exit code
        self.assertIn("CommandLine=", self.record.read_text("latin-1"))
        self.assertFalse(self.download.exists(), "the download was not deleted")
        size = (self.www / FULL).stat().st_size
        steps = str(-(-size // 8192) + 1)  # ceil(size / chunk) + 1
        moving = {p for p, m in positions if m == steps}
        self.assertGreater(len(moving), 2, positions)
        self.assertEqual(len(self.downloads()), 1)
        # One request, and the setup's bytes sent once.
        self.assertEqual([(r["headers"].get("user-agent"), r["sent"]) for r in self.server.requests],
                         [("HTTP_Connect_3", size)])

    def test_download_without_a_length_has_the_full_progress_range(self):
        # Without a length the range is ceil(4294967295 / 8192) + 1 = 524,289
        # steps, more than 16 bits hold.
        web = self.pair("/_slownolength/100000")
        proc = WindowsProcess(["wine", web])
        maxima = set()
        while proc.poll() is None and not self.record.exists():
            code, out = run_windows("wine", PROBE, "bars", win_path(web))
            if code == 0 and out.split():
                maxima.add(out.split()[1])
            time.sleep(0.1)
        self.assertEqual(proc.finish(timeout=60)[0], 7)
        self.assertIn("524289", maxima)

    def test_unsafe_names_from_the_header_are_refused(self):
        # Same-length replacements of the setup file's and the agent's names
        # in the web stub's header.
        cases = [(FULL.encode(), b"..\\..\\Full.exe"),
                 (b"Prog.AutoUpdate.exe", b"..\\..\\ProgAgent.exe")]
        users = temp_folder().parent.parent
        for i, (old, new) in enumerate(cases):
            with self.subTest(name=new):
                web = self.pair(name=f"case{i}",
                                options=["--carry-agent", "--agent-name", "Prog.AutoUpdate.exe"])
                data = web.read_bytes()
                self.assertEqual(len(old), len(new))
                self.assertEqual(data.count(old), 1)
                web.write_bytes(data.replace(old, new))
                with DebugViewer(self.dir) as viewer:
                    code = run_windows("wine", web, "/hide", timeout=60)[0]
                self.assertEqual(code, 91)
                self.assertIn('unsafe file name refused: "' + new.decode() + '"', viewer.text)
                self.assertEqual(self.downloads(), [])
                self.assertFalse(self.record.exists())
                # Nothing written where the names point, outside the temp folder.
                self.assertEqual(list(users.glob("Full.exe")) + list(users.glob("*/ProgAgent.exe")),
                                 [])

    def test_setup_beside_the_stub_is_used_in_place_and_kept(self):
        web = self.pair(options=["--carry-agent", "--agent-name", "Prog.AutoUpdate.exe"])
        beside = web.parent / FULL
        shutil.move(self.www / FULL, beside)
        copy = self.dir / "work"
        os.environ["VANTOR_ENGINE_COPY_TO"] = win_path(copy)
        self.addCleanup(os.environ.pop, "VANTOR_ENGINE_COPY_TO", None)
        code = run_windows("wine", web, "/hide", timeout=120)[0]
        self.assertEqual(code, 7)
        self.assertTrue(beside.exists())
        self.assertEqual(self.server.requests, [])
        # The web stub wrote itself into the work folder as the update agent.
        expected = bytearray(web.read_bytes())
        expected[-5] = 1
        self.assertEqual((copy / "Prog.AutoUpdate.exe").read_bytes(), bytes(expected))

    def test_setup_beside_the_stub_cannot_be_swapped_while_it_runs(self):
        web = self.pair()
        beside = web.parent / FULL
        shutil.move(self.www / FULL, beside)
        checked = beside.read_bytes()
        other = self.dir / "other.exe"
        other.write_bytes(b"MZ" + bytes(4000))
        swap = ["cmd", "/c", "copy", "/y", win_path(other), win_path(beside)]
        # The engine is told to stay a while (the first switch wins): the
        # run, and the hold on the file, last from the checks to its end.
        run = WindowsProcess(["wine", web, "/hide", "/HoldMs=6000"])
        self.assertTrue(wait_until(self.record.exists, 60), "the engine did not start")
        for writer in (swap, ["cmd", "/c", "del", win_path(beside)],
                       ["cmd", "/c", "move", "/y", win_path(beside), win_path(self.dir / "m")]):
            run_windows("wine", *writer)
            self.assertEqual(beside.read_bytes(), checked, writer)
        self.assertEqual(run.finish(timeout=60)[0], 7)
        # Once the run has ended the same writer replaces it.
        run_windows("wine", *swap)
        self.assertEqual(beside.read_bytes(), other.read_bytes())

    def test_question_declined_runs_nothing_and_hide_asks_nothing(self):
        web = self.pair(ask=True)
        code, text = self.answer_box(web, button="Cancel")
        self.assertEqual(code, 1602 & 0xFF)  # cancelled by the user
        self.assertIn("INTERNET DOWNLOAD", text)
        self.assertRegex(text, r"Size: 0\.\d{3} MB")
        self.assertEqual(self.downloads(), [])
        self.assertFalse(self.record.exists())

        proc = WindowsProcess(["wine", web, "/hide"])
        seen, seen_visible = False, False
        while proc.poll() is None:
            code, out = run_windows("wine", PROBE, "geometry", win_path(web))
            seen |= code == 0
            seen_visible |= code == 0 and out.split()[3:4] == ["1"]
            time.sleep(0.2)
        self.assertEqual(proc.finish()[0], 7)
        # The window existed (so the probe could have seen it), hidden.
        self.assertTrue(seen, "the stub window was never found")
        self.assertFalse(seen_visible)
        self.assertEqual(len(self.downloads()), 1)

    def test_errors_show_a_box_and_hidden_runs_end_by_themselves_with_their_codes(self):
        wrong = self.pair(token="another product", name="wrong")
        self.pair(name="right")  # what the server now holds has another token
        unreachable = self.pair(name="unreachable", source="http://127.0.0.1:9")
        cases = [
            ("/_html404", None, 96, r"404 File Not Found\.\.\..*URL:  http://127\.0\.0\.1:\d+"
                                    r"/_html404/Setup_Full\.exe\."),
            ("/_status/404", None, 96, r"/_status/404/Setup_Full\.exe --- HTTP status 404"),
            ("", wrong, 98, r"Bad Secret Token!"),
            ("/_zerolength", None, 96, r"/_zerolength/Setup_Full\.exe --- File Not Found !"),
            ("/_drop/100000", None, 97, r"Setup_Full\.exe --- .*received 100000 of \d+ bytes"),
            # A body without end stops at the size the stub names plus 64 KiB.
            ("/_endless", None, 97, r"Setup_Full\.exe --- Download too large \(more than \d+ bytes\)"),
            ("unreachable", unreachable, 95, r"Unable to open Internet Connection: "
                                             r"http://127\.0\.0\.1:9/Setup_Full\.exe"),
        ]
        for route, stub, exit_code, expected in cases:
            with self.subTest(route=route or "token"):
                if stub is None:
                    stub = self.pair(route, name="case" + route.replace("/", "_"))
                self.download.write_bytes(b"an older download")
                code, text = self.answer_box(stub)
                self.assertEqual(code, exit_code)
                self.assertRegex(text.replace("\r", "").replace("\n", " "), expected)
                self.assertFalse(self.record.exists(), "the engine ran")
                if route.startswith("/_drop"):
                    self.assertEqual(self.download.read_bytes(), b"an older download")
                # Under /hide nothing waits for a person: the run ends by
                # itself (a box would hold it until the time-out) with the
                # same code.
                started = time.monotonic()
                self.assertEqual(run_windows("wine", stub, "/hide", timeout=60)[0], exit_code)
                self.assertLess(time.monotonic() - started, 30)
                self.assertFalse(self.record.exists(), "the engine ran")

        # The right token, but one byte of a payload block changed: the web
        # stub knows the full setup's SHA-256.
        with self.subTest("a changed setup"):
            stub = self.pair(name="changed")
            data = bytearray((self.www / FULL).read_bytes())
            data[-200] ^= 0x01
            (self.www / FULL).write_bytes(bytes(data))
            code, text = self.answer_box(stub)
            self.assertEqual(code, 98)
            self.assertRegex(text.replace("\r", "").replace("\n", " "),
                             r"Setup refused.*SHA-256 differs")
            self.assertFalse(self.record.exists(), "the engine ran")
            self.assertFalse(self.download.exists(), "the refused download was kept")

    def test_broken_download_continues_on_the_next_run(self):
        web = self.pair()
        size = (self.www / FULL).stat().st_size
        cut = size * 6 // 10
        self.server.cut_at = cut
        with DebugViewer(self.dir) as viewer:
            code = run_windows("wine", web, "/hide", timeout=60)[0]
        self.server.cut_at = None
        self.assertEqual(code, 97)
        self.assertIn(f"received {cut} of {size} bytes", viewer.text)
        self.assertFalse(self.record.exists(), "a partial setup ran")

        self.assertEqual(run_windows("wine", web, "/hide", timeout=120)[0], 7)
        self.assertTrue(self.record.exists(), "the joined setup did not run")
        last = self.downloads()[-1]
        self.assertEqual((last["status"], last["sent"], last["headers"].get("range")),
                         (206, size - cut, f"bytes={cut}-"))
        self.assertEqual(list(temp_folder().glob(FULL + "*")), [])

    def test_close_during_download_aborts_and_the_next_attempt_cleans_up(self):
        web = self.pair("/_slow/40000")
        proc = WindowsProcess(["wine", web])
        deadline = time.time() + 60
        partial = []
        while not partial and time.time() < deadline:
            partial = [p for p in temp_folder().glob(FULL + ".*")
                       if p.suffix != ".resume" and p.stat().st_size > 0]
            time.sleep(0.1)
        self.assertTrue(partial, "the download did not start")
        self.assertEqual(run_windows("wine", PROBE, "post", win_path(web), 0x10)[0], 0)
        _, text = run_windows("wine", UI_DRIVER, "--timeout", "60000", "--text", "--click", "OK",
                              timeout=120)
        self.assertEqual(proc.finish()[0], 1602 & 0xFF)  # cancelled; Wine passes the low 8 bits
        self.assertIn("Download Aborted", text)
        self.assertTrue(partial[0].exists(), "the partial file was not kept")
        self.assertLess(partial[0].stat().st_size, (self.www / FULL).stat().st_size)
        self.assertFalse(self.download.exists())

        again = self.pair(name="again")
        self.assertEqual(run_windows("wine", again, "/hide", timeout=120)[0], 7)
        self.assertEqual(list(temp_folder().glob(FULL + "*")), [])


if __name__ == "__main__":
    unittest.main()
