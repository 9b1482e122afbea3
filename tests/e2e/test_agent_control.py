"""The installed agent and its working copy under Wine: the plain agent
makes and starts its "X_" copy and passes its control switches on to the
copy's window; the copy answers agent commands. The agent lies under
"C:\\Program Files\\..." in folders with blanks, beside a decoy program that
an unquoted start of the copy would run instead."""
import os
import re
import shutil
import time
import unittest

from harness import (AGENT_LOG_LINE, STUB, WIN_BUILD, WindowsProcess, WineTestCase, stop_agent_copy,
                     vpack, win_path, wine_drive_c, wait_until)
from harness import window_probe as probe

SUPPORT = WIN_BUILD / "tests" / "support"
DRIVER = SUPPORT / "ui_driver.exe"
ENGINE = SUPPORT / "sample_engine.exe"
AGENT = "Prog.AutoUpdate.exe"
COPY_CLASS = ".AutoUpdate.X_Prog.AutoUpdate"



class AgentControlTest(WineTestCase):
    def setUp(self):
        super().setUp()
        case = self.id().rsplit(".", 1)[-1]
        self.root = wine_drive_c() / "Program Files" / "Vantor Test" / case
        shutil.rmtree(self.root, ignore_errors=True)
        self.folder = self.root / "My Agent"
        self.folder.mkdir(parents=True)
        # Cleanups run last first: the copy is stopped before its folder goes.
        self.addCleanup(shutil.rmtree, self.root, True)
        self.addCleanup(self.stop_copy)
        src = self.make_source({})  # an agent carries no payload
        vpack("build", src, "--stub", STUB, "-o", self.folder / AGENT, "-q", "--agent",
              "--flag-agent-log", "--agent-name", AGENT, "--update-info", "Prog.info")
        self.windows_folder = "C:\\Program Files\\Vantor Test\\" + case + "\\My Agent"
        self.agent = self.windows_folder + "\\" + AGENT
        self.copy = self.windows_folder + "\\X_" + AGENT
        # What "C:\Program Files\Vantor Test\CASE\My Agent\X_..." unquoted starts.
        shutil.copy(ENGINE, self.root / "My.exe")
        self.decoy_record = self.dir / "decoy.txt"
        os.environ["VANTOR_ENGINE_RECORD"] = win_path(self.decoy_record)
        self.addCleanup(os.environ.pop, "VANTOR_ENGINE_RECORD", None)

    def stop_copy(self):
        return stop_agent_copy(COPY_CLASS)

    def run_agent(self, *args):
        code, _ = WindowsProcess(["wine", self.agent, *args]).finish(timeout=60)
        self.assertEqual(code, 0)

    def copy_window_up(self, ms=10000):
        return probe("wait", COPY_CLASS, ms)[0] == 0

    def log(self):
        """(tag, text) of every agent log line: tag "   " for the plain
        agent, " X " for the copy."""
        path = self.folder / "X_Prog.AutoUpdate.log"
        lines = path.read_bytes().decode("latin-1").split("\r\n") if path.exists() else []
        entries = []
        for line in lines[:-1]:
            m = AGENT_LOG_LINE.match(line)
            self.assertIsNotNone(m, line)
            entries.append(m.groups())
        return entries

    def texts(self, tag):
        return [text for t, text in self.log() if t == tag]

    def test_copy_is_made_started_quoted_and_steered(self):
        received, address = self.start_listener()
        self.run_agent(f"/WM_MSG={address}")
        self.assertTrue(self.copy_window_up(), "the X_ copy did not start")
        self.assertTrue((self.folder / ("X_" + AGENT)).exists())

        def lines():
            # The copy's own checks announce their phases (40 to 42) between.
            text = received.read_text() if received.exists() else ""
            return [line for line in text.splitlines() if line.split()[0] not in ("40", "41", "42")]
        self.assertTrue(wait_until(lambda: len(lines()) >= 2, 10), lines())
        code50, code51 = lines()[:2]
        self.assertRegex(code50, r"^50 \d+ " + re.escape(COPY_CLASS) + "$")
        self.assertEqual(code51, "51 1125")

        plain = self.texts("   ")
        for expected in ("CreateAndRun_X_Exe() --- Start", "Wait 0 SEC", "Create X_ File ",
                         f'WinExec: "{self.copy}"',
                         f"PostProcessMessage(wm_LocalMsg) to: {self.copy} - {address}",
                         "HandleParamOK() --- End"):
            self.assertIn(expected, plain)
        copy = self.texts(" X ")
        self.assertIn(f"=== START === {self.copy}", copy)
        self.assertIn(f'CommandLine="{self.copy}"', copy)
        self.assertFalse(self.decoy_record.exists(), "an unquoted start ran the decoy")

        # A second start while the copy runs only relays: here a stop request.
        self.run_agent("/STOP=0")
        self.assertEqual(probe("gone", COPY_CLASS, 10000)[0], 0, "the copy did not stop")
        second = self.texts("   ")[len(plain):]
        self.assertIn("X_ExeIsRunning=TRUE", second)
        self.assertIn(f"PostProcessMessage(wm_ShutDown) to: {self.copy}", second)
        self.assertNotIn("Create X_ File ", second)
        self.assertTrue(wait_until(lambda: "DeleteMySelf" in self.texts(" X "), 10))
        self.assertIn("StopRequest=0", self.texts(" X "))
        # The end of the copy's loop is announced; then the copy removes itself.
        self.assertTrue(wait_until(lambda: len(lines()) >= 3, 10), lines())
        self.assertEqual(lines()[2], "43 0")
        self.assertTrue(wait_until(lambda: not (self.folder / ("X_" + AGENT)).exists(), 30),
                        "the X_ copy was not removed")

    def test_test_switch_requests_a_cycle(self):
        # On a fresh start with 0: the request only, the copy keeps running.
        self.run_agent("/TEST=0")
        self.assertTrue(self.copy_window_up())
        plain = self.texts("   ")
        self.assertIn(f"PostProcessMessage(wm_AgentMsg) to: {self.copy} - AU_PerformUpdateCycle (0)",
                      plain)
        self.assertFalse([t for t in plain if "wm_ShutDown" in t], plain)
        # Relayed while running: a request, still no stop.
        self.run_agent("/TEST=3")
        time.sleep(3)
        self.assertTrue(self.copy_window_up(0), "the copy ended without a stop request")
        copy = self.texts(" X ")
        self.assertEqual([t for t in copy if t.startswith(("AgentCommand", "StopRequest"))],
                         ["AgentCommand(31, 0)", "AgentCommand(31, 3)"])
        self.assertTrue(self.stop_copy())

        # Above 0 on a fresh start: the copy started for the check ends after it.
        self.assertTrue(wait_until(lambda: not (self.folder / ("X_" + AGENT)).exists(), 30))
        (self.folder / "X_Prog.AutoUpdate.log").unlink()
        # 2 is a check the user asked for: the copy first asks whether to check.
        driver = WindowsProcess(["wine", DRIVER, "--timeout", 30000, "--click", "No", "--gone"])
        self.run_agent("/TEST=2")
        self.assertEqual(driver.finish(timeout=60)[0], 0, "no question before the check")
        self.assertEqual(probe("gone", COPY_CLASS, 15000)[0], 0, "the copy did not end by itself")
        copy = self.texts(" X ")
        self.assertEqual([t for t in copy if t.startswith(("AgentCommand", "StopRequest"))],
                         ["AgentCommand(31, 2)", "StopRequest=2"])

    def test_agent_commands_read_and_write_the_descriptors(self):
        original = self.folder / "Prog.original"
        original.write_bytes(b"[OriginalSetup]\r\nVersionOriginal=7\r\nVersionNew=99\r\n"
                             b"ProbeSecondsInterval=3600\r\nReAskSecondsInterval=-1\r\n"
                             b"ProbeSecondsLast=864000000\r\nReAskSecondsLast=12\r\n")
        info = self.folder / "Prog.info"
        info.write_bytes(b"[NewSetup]\r\nVersionNew=8\r\n")
        info_before = info.read_bytes()
        # A delay holds the copy's own checks back (they would write
        # ProbeSecondsLast); there is nothing to pass on.
        self.run_agent("/DELAY=60")
        self.assertTrue(self.copy_window_up())
        plain = self.texts("   ")
        self.assertIn(f"=== EXIT === {self.agent}", plain)
        self.assertFalse([t for t in plain if t.startswith("PostProcessMessage")], plain)

        def command(number, value=0):
            code, out = probe("send", COPY_CLASS, 1125, number, value)
            self.assertEqual(code, 0, out)
            return int(out.split()[0])

        reads = {4: 7, 5: 8, 7: 0, 8: 3600, 9: -1, 10: 864000000, 11: 12, 6: 0, 99: 0}
        self.assertEqual({n: command(n) for n in reads}, reads)
        writes = {12: 60, 13: 0, 14: 2000000000, 15: 86400}
        self.assertEqual({n: command(n, v) for n, v in writes.items()}, dict.fromkeys(writes, 0))
        self.assertEqual({n: command(n - 4) for n in writes}, writes)
        text = original.read_text()
        for line in ("VersionOriginal=7", "VersionNew=99", "ProbeSecondsInterval=60",
                     "ReAskSecondsInterval=0", "ProbeSecondsLast=2000000000",
                     "__ProbeSecondsLast=17-MAY-1963 03:33:20", "ReAskSecondsLast=86400",
                     "__ReAskSecondsLast=31-DEC-1899 00:00:00"):
            self.assertIn(line, text.splitlines())
        self.assertEqual(info.read_bytes(), info_before)
        # Command 30 is the stop request.
        self.assertEqual(command(30, 0), 0)
        self.assertEqual(probe("gone", COPY_CLASS, 10000)[0], 0)

    def test_transient_and_delay_reach_the_copy(self):
        overrides = "|0|0|1|255|255|255|255|255|"
        self.run_agent("/WAIT=1", f"/TRANSIENT={overrides}")
        self.assertTrue(self.copy_window_up())
        self.assertIn("Wait 1 SEC", self.texts("   "))
        copy = self.texts(" X ")
        self.assertIn(f'CommandLine="{self.copy}" /TRANSIENTx={overrides}', copy)
        self.assertIn(f"TRANSIENTx={overrides}", copy)
        self.assertTrue(self.stop_copy())
        self.assertTrue(wait_until(lambda: not (self.folder / ("X_" + AGENT)).exists(), 30))

        (self.folder / "X_Prog.AutoUpdate.log").unlink()
        self.run_agent(f"/TRANSIENT={overrides}", "/DELAY=5")
        self.assertTrue(self.copy_window_up())
        copy = self.texts(" X ")
        self.assertIn(f'CommandLine="{self.copy}" /SleepX=5', copy)
        self.assertFalse([t for t in copy if "TRANSIENT" in t], copy)


if __name__ == "__main__":
    unittest.main()
