"""Shared pieces of the end-to-end tests: the real stub and test programs
under Wine, packages built by the real vpack, a debug viewer for the trace.

Every test works in its own folder under build/e2e/ and stops what it
started by its PID."""
import atexit
import os
import re
import shutil
import signal
import subprocess
import tempfile
import time
import unittest
from pathlib import Path

ROOT = Path(os.environ.get("VANTOR_ROOT", Path(__file__).resolve().parents[2]))
# The i686 road ("native" or "emulated"), set by run_case.py --i686 for the
# cases marked @i686 or @i686_only: the build vendors ship, in a WoW64
# prefix of its own.
I686_ROAD = os.environ.get("VANTOR_I686", "")
# Which Windows build runs here (scripts/wine-arch.sh tries it): "win32"
# where 32-bit programs run, "win64" on hosts that run 64-bit ones only.
WIN_ARCH = "win32" if I686_ROAD else os.environ.get("VANTOR_WIN_ARCH") or subprocess.run(
    [str(ROOT / "scripts" / "wine-arch.sh")], capture_output=True, text=True).stdout.strip()
I686_RUNS = WIN_ARCH == "win32"
I686_ONLY = "the host runs 64-bit Windows programs only (VANTOR_WIN_ARCH=win64)"


def i686(test):
    """Marks a case that runs on the i686 build too, where the shipped build
    matters most: ctest's e2e.i686.<case> beside e2e.<case> (list_cases.py
    reads the mark)."""
    return test


def i686_only(test):
    """Marks a case about the i686 build itself: only e2e.i686.<case> runs
    it; run otherwise on the 64-bit road, it skips."""
    return unittest.skipUnless(I686_RUNS, I686_ONLY)(test)


WIN_BUILD = Path(os.environ.get("VANTOR_WIN_BUILD", ROOT / "build" / WIN_ARCH))
NATIVE_BUILD = Path(os.environ.get("VANTOR_NATIVE_BUILD", ROOT / "build" / "native"))
# The stub of the build that runs here, and each build's own.
STUB = WIN_BUILD / "src" / "stub.exe"
STUB32 = ROOT / "build" / "win32" / "src" / "stub.exe"
STUB64 = Path(os.environ.get("VANTOR_WIN64_BUILD", ROOT / "build" / "win64")) / "src" / "stub.exe"
VPACK = NATIVE_BUILD / "tools" / "pack" / "vpack"
# The tests' own instruments (probes, UI driver, listener, debug viewer):
# they only watch and answer the programs under test. Under emulation they
# are the x86_64 ones, which start in a fraction of a second where an
# emulated program spends seconds, so what they watch does not pass them by.
TOOLS = (Path(os.environ.get("VANTOR_WIN64_BUILD", ROOT / "build" / "win64"))
         if I686_ROAD == "emulated" else WIN_BUILD) / "tests" / "support"
DEBUG_VIEWER = TOOLS / "debug_viewer.exe"
# Apart per road: a case may run on both at once.
WORK = ROOT / "build" / ("e2e-i686" if I686_ROAD else "e2e")


def _ensure_wine_environment():
    """Tests started straight from ctest get the prefix and display that
    scripts/wine-env.sh would give them."""
    if os.environ.get("WINEPREFIX") and os.environ.get("DISPLAY") and \
            os.environ.get("VANTOR_WIN_ARCH") == WIN_ARCH:
        return
    out = subprocess.run(
        ["bash", "-c", f"source '{ROOT}/scripts/wine-env.sh' >/dev/null && env -0"],
        env={**os.environ, "VANTOR_WIN_ARCH": WIN_ARCH},
        check=True, capture_output=True).stdout
    for item in out.split(b"\0"):
        if b"=" in item:
            k, v = item.split(b"=", 1)
            os.environ[k.decode()] = v.decode()
    # The display started for this run goes with it: runs of single cases
    # must not use up the display numbers.
    xvfb = os.environ.get("VANTOR_XVFB_PID")
    if xvfb:
        atexit.register(lambda: _kill_quietly(int(xvfb), signal.SIGTERM))


def _kill_quietly(pid, sig):
    try:
        os.kill(pid, sig)
    except OSError:
        pass


def win_path(path):
    """The Windows name Wine gives a Unix path (drive Z: maps /)."""
    return "Z:" + str(Path(path).resolve()).replace("/", "\\")


def wine_drive_c():
    """The Unix folder behind drive C: of the test prefix."""
    return Path(os.environ["WINEPREFIX"]) / "drive_c"


def unix_path(windows_path):
    """The Unix path behind a C: or Z: path of the test prefix."""
    drive, rest = windows_path[:2].upper(), windows_path[3:].replace("\\", "/")
    return (wine_drive_c() / rest) if drive == "C:" else Path("/" + rest)


class WindowsProcess:
    """A command of the Wine world running in the background. Its output goes
    to a file, never a pipe: the first Windows program after the prefix fell
    idle starts wineserver and Wine's services, which inherit its handles and
    would hold a pipe open for seconds after the program itself ended."""

    def __init__(self, args, merge_stderr=False):
        self.args = [str(a) for a in args]
        self._out = tempfile.TemporaryFile()
        self.proc = subprocess.Popen(self.args, stdin=subprocess.DEVNULL, stdout=self._out,
                                     stderr=subprocess.STDOUT if merge_stderr
                                     else subprocess.DEVNULL)

    def poll(self):
        return self.proc.poll()

    def finish(self, timeout=60):
        """Waits for the end; returns (exit code, output as Latin-1 text, so
        every byte stays one character). A program still running at the
        time-out is killed and the test fails."""
        try:
            self.proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
            raise AssertionError(f"{' '.join(self.args)} did not end within {timeout} s")
        finally:
            self._out.seek(0)
            out = self._out.read().decode("latin-1")
            self._out.close()
        return self.proc.returncode, out


def run_windows(*args, timeout=60, merge_stderr=False):
    """Runs a command of the Wine world ("wine", "reg", "winepath"...) to its
    end; returns (exit code, output text)."""
    return WindowsProcess(args, merge_stderr).finish(timeout)


def wine(exe, *args, timeout=60):
    """Runs a Windows program and returns its exit code."""
    return run_windows("wine", exe, *args, timeout=timeout)[0]


def wine_output(exe, *args, timeout=60):
    """Runs a Windows program and returns (exit code, its stdout as text).
    Wine's own messages (stderr) are not part of it."""
    return run_windows("wine", exe, *args, timeout=timeout)


def wait_until(condition, seconds=30, step=0.1):
    """Polls `condition` until it holds (True) or `seconds` have passed (False)."""
    deadline = time.time() + seconds
    while not condition():
        if time.time() > deadline:
            return False
        time.sleep(step)
    return True


def window_probe(*args, timeout=60):
    """Runs window_probe.exe (tests/support) with `args`; (exit code, output
    without CRs)."""
    code, out = run_windows("wine", TOOLS / "window_probe.exe", *args,
                            timeout=timeout)
    return code, out.replace("\r", "")


# One line of the agent log: date, time, thread id, the tag ("   " for the
# plain agent, " X " for its copy) and the text.
AGENT_LOG_LINE = re.compile(r"^\d\d/\d\d/\d\d \d\d:\d\d:\d\d +\d+(   | X )(.*)$")


def vpack(*args, check=True):
    # Cases rebuild their packages in their own folders at will.
    if args and args[0] == "build" and "--force" not in args:
        args = (*args, "--force")
    result = subprocess.run([str(VPACK), *map(str, args)], capture_output=True, text=True)
    if check and result.returncode != 0:
        raise AssertionError(f"vpack {' '.join(map(str, args))} failed:\n{result.stderr}")
    return result


def stop_agent_copy(copy_class, folder=None, agent_name=None):
    """Ends a running agent working copy (window class COPY_CLASS): a stop
    request (message 1123, 0) ends it at its next tick; failing that its
    process is ended by its id. With FOLDER and AGENT_NAME, also waits until
    the copy "X_" + AGENT_NAME has removed itself. True when it stopped on
    request (or was not running)."""
    probe = [TOOLS / "window_probe.exe"]
    if run_windows("wine", *probe, "gone", copy_class, 0)[0] == 0:
        stopped = True
    else:
        run_windows("wine", *probe, "post", copy_class, 1123, 0)
        stopped = run_windows("wine", *probe, "gone", copy_class, 10000)[0] == 0
        if not stopped:
            run_windows("wine", *probe, "kill", copy_class)
    if folder is not None:
        copy = Path(folder) / ("X_" + agent_name)
        deadline = time.time() + 30
        while copy.exists() and time.time() < deadline:
            time.sleep(0.1)
    return stopped


class DebugViewer:
    """Owns the debug viewer window while the block runs; `text` is what the
    channel delivered, `pieces` the length of each message."""

    def __init__(self, folder):
        self.out = Path(folder) / "trace.txt"

    def __enter__(self):
        for suffix in ("", ".pieces", ".ready"):
            Path(str(self.out) + suffix).unlink(missing_ok=True)
        self.proc = subprocess.Popen(["wine", str(DEBUG_VIEWER), win_path(self.out)],
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.time() + 30
        while not Path(str(self.out) + ".ready").exists():
            if time.time() > deadline or self.proc.poll() is not None:
                raise AssertionError("debug viewer did not start")
            time.sleep(0.05)
        return self

    def __exit__(self, *exc):
        run_windows("wine", DEBUG_VIEWER, "--stop", timeout=30)
        try:
            self.proc.wait(timeout=30)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()

    @property
    def text(self):
        return self.out.read_bytes().decode("latin-1") if self.out.exists() else ""

    @property
    def pieces(self):
        p = Path(str(self.out) + ".pieces")
        return [int(x) for x in p.read_text().split()] if p.exists() else []


class WineTestCase(unittest.TestCase):
    """A test with its own empty folder (self.dir) under build/e2e/."""

    @classmethod
    def setUpClass(cls):
        _ensure_wine_environment()
        for need in (STUB, VPACK, DEBUG_VIEWER):
            if not need.exists():
                raise AssertionError(f"{need} is not built: run scripts/build.sh")

    def setUp(self):
        self.dir = WORK / self.id().replace("__main__.", "")
        shutil.rmtree(self.dir, ignore_errors=True)
        self.dir.mkdir(parents=True)

    def tearDown(self):
        # Cleanups stop what the test started; they must run before waiting
        # for the prefix to fall idle (unittest runs them after tearDown).
        self.doCleanups()
        subprocess.run(["wineserver", "-w"], timeout=120)

    def record_engine(self):
        """Has the sample engine write what it got to self.record and copy
        its folder (what was unpacked) to self.copy."""
        self.record = self.dir / "engine.txt"
        self.copy = self.dir / "unpacked"
        for name, path in (("VANTOR_ENGINE_RECORD", self.record),
                           ("VANTOR_ENGINE_COPY_TO", self.copy)):
            os.environ[name] = win_path(path)
            self.addCleanup(os.environ.pop, name, None)

    def install_tasklist(self):
        """A stand-in takes the place of Wine's own "tasklist.exe" (which
        prints nothing) until the test ends; Wine is told to run it rather
        than its built-in one, in the environment of later Windows runs."""
        standin = WIN_BUILD / "tests" / "support" / "tasklist_standin.exe"
        windows = Path(os.environ["WINEPREFIX"]) / "drive_c" / "windows"
        for folder in ("system32", "syswow64"):
            target = windows / folder / "tasklist.exe"
            if not (windows / folder).is_dir():
                continue
            backup = self.dir / f"{folder}.tasklist.exe"
            had = target.exists()
            if had:
                shutil.copy2(target, backup)
            shutil.copy(standin, target)
            self.addCleanup(lambda t=target, b=backup, h=had: shutil.copy2(b, t) if h else t.unlink())
        old = os.environ.get("WINEDLLOVERRIDES")
        os.environ["WINEDLLOVERRIDES"] = (old + ";" if old else "") + "tasklist.exe=n"
        self.addCleanup(lambda: os.environ.__setitem__("WINEDLLOVERRIDES", old) if old is not None
                        else os.environ.pop("WINEDLLOVERRIDES", None))

    def start_listener(self, ms=120000):
        """listener.exe in this test's folder for `ms` milliseconds: (the file
        its notifications go to, its "/WM_MSG=" address)."""
        out = self.dir / "listener.txt"
        proc = WindowsProcess(["wine", TOOLS / "listener.exe",
                               win_path(out), ms])
        self.addCleanup(lambda: proc.poll() is None and (proc.proc.kill(), proc.proc.wait()))
        ready = self.dir / "listener.txt.ready"
        self.assertTrue(wait_until(ready.exists, 30), "the listener did not start")
        return out, ready.read_text()

    def make_source(self, files):
        """A source folder from {relative name: bytes}."""
        src = self.dir / "src"
        src.mkdir(parents=True, exist_ok=True)
        for name, data in files.items():
            p = src / name
            p.parent.mkdir(parents=True, exist_ok=True)
            p.write_bytes(data)
        return src
