"""Runs one end-to-end test case (module.Class.method) for ctest. Exit code:
0 passed, 1 failed, 77 skipped; a skip prints its reason, which ctest's log
and scripts/test.sh's summary show."""
import sys
import unittest

SKIPPED = 77


def main(case):
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


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
