"""Runs one end-to-end test case (module.Class.method) for ctest. Exit code:
0 passed, 1 failed, 77 skipped; a skip prints its reason, which ctest's log
and scripts/test.sh's summary show.

  run_case.py CASE          on the build this host runs (wine-arch.sh)
  run_case.py --i686 CASE   on the i686 build, in its own WoW64 prefix and on
                            its own display: natively where the kernel runs
                            32-bit programs, else under emulation, inside
                            scripts/emul32.sh; skipped where neither works."""
import os
import subprocess
import sys
import unittest
from pathlib import Path

SKIPPED = 77
ROOT = Path(os.environ.get("VANTOR_ROOT", Path(__file__).resolve().parents[2]))
# What the host's own road set up (scripts/test.sh sources wine-env.sh): the
# i686 road makes its own.
DEFAULT_ROAD = ("VANTOR_WIN_ARCH", "VANTOR_WIN_BUILD", "WINEPREFIX", "WINELOADER", "WINEARCH",
                "DISPLAY", "VANTOR_XVFB_PID")


def run(case):
    suite = unittest.defaultTestLoader.loadTestsFromName(case)
    result = unittest.TextTestRunner(verbosity=2, stream=sys.stdout).run(suite)
    if not result.wasSuccessful():
        return 1
    if result.testsRun == 0 or result.skipped:
        for test, reason in result.skipped:
            print(f"SKIPPED {test.id()}: {reason}")
        if result.testsRun == 0:
            print(f"SKIPPED {case}: nothing ran")
        return SKIPPED
    return 0


def enter_i686_road(case):
    """Sets up the i686 road for this process, or re-runs it inside the
    emulation namespace; returns an exit code when the case cannot run."""
    if os.environ.get("VANTOR_I686"):  # already inside
        return None
    road = subprocess.run([str(ROOT / "scripts" / "wine-arch.sh"), "--i686"],
                          capture_output=True, text=True).stdout.strip()
    if road not in ("native", "emulated"):
        print(f"SKIPPED {case} on the i686 build: {road.removeprefix('none ') or 'unknown'}")
        return SKIPPED
    for name in DEFAULT_ROAD:
        os.environ.pop(name, None)
    os.environ["VANTOR_I686"] = road
    if road == "emulated":
        sys.stdout.flush()
        emul = str(ROOT / "scripts" / "emul32.sh")
        os.execv(emul, [emul, sys.executable, __file__, "--i686", case])
    return None


def main(args):
    if args[0] == "--i686":
        case = args[1]
        code = enter_i686_road(case)
        if code is not None:
            return code
        print(f"i686 build, {os.environ['VANTOR_I686']}")
    else:
        case = args[0]
    return run(case)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
