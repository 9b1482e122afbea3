"""The stub's start-up under Wine: start and exit lines on the debug channel,
the agent log, the spanned relaunch, and a signed setup."""
import re
import shutil
import subprocess
import time
import unittest

from harness import STUB, WIN_BUILD, DebugViewer, WineTestCase, stop_agent_copy, vpack, win_path, wine

LOG_PREFIX = r"\d\d/\d\d/\d\d \d\d:\d\d:\d\d [ \d]{4}\d"
COPY_CLASS = ".AutoUpdate.X_Prog.AutoUpdate"


class StartupTest(WineTestCase):
    def build(self, name, *options, files=None):
        if files is None:
            # An agent carries no payload (one that does is a damaged package).
            files = {} if "--agent" in options else {"readme.txt": b"hello\r\n",
                                                     "bin/tool.dat": bytes(range(256)) * 40}
        src = self.make_source(files)
        out = self.dir / name
        vpack("build", src, "--stub", STUB, "-o", out, "-q", *options)
        return out

    def test_setup_writes_start_and_exit_lines(self):
        setup = self.build("setup.exe")
        long_arg = "/Note=" + "n" * 300
        with DebugViewer(self.dir) as viewer:
            code = wine(setup, "/x=1", long_arg)
        self.assertEqual(code, 0)
        text = viewer.text
        start = re.search(r'^(\d+) ==== STUB START ====> (.*setup\.exe"? /x=1 /Note=n{300})<\r\n', text, re.M)
        self.assertIsNotNone(start, text)
        pid, command = start.group(1), start.group(2)
        self.assertIn(f"{pid} ==== ThisIs_AutoUpdateProg=FALSE\r\n", text)
        self.assertIn(f"{pid} ==== RunMode=setup\r\n", text)
        self.assertTrue(text.endswith(f"{pid} ==== STUB END ====> {command}<\r\n\r\n"), text[-400:])
        # The long start line reached the viewer in pieces of at most 128.
        self.assertGreater(len(viewer.pieces), 3)
        self.assertLessEqual(max(viewer.pieces), 128)
        self.assertEqual(sum(viewer.pieces), len(text))

    def read_log(self, path):
        lines = path.read_bytes().decode("latin-1").split("\r\n")
        self.assertEqual(lines[-1], "")  # every line ends with CR LF
        return lines[:-1]

    def test_agent_log_lines(self):
        agent = self.build("Prog.AutoUpdate.exe", "--agent", "--flag-agent-log",
                           "--agent-name", "Prog.AutoUpdate.exe")
        # The plain agent starts its working copy, which writes to the same
        # log with its own tag.
        self.addCleanup(stop_agent_copy, COPY_CLASS)
        self.assertEqual(wine(agent, "/a=b"), 0)
        self.assertTrue(stop_agent_copy(COPY_CLASS, self.dir, "Prog.AutoUpdate.exe"))
        log = self.dir / "X_Prog.AutoUpdate.log"
        lines = self.read_log(log)
        for line in lines:
            self.assertRegex(line, "^" + LOG_PREFIX + "(   | X )")
        texts = [line[26:] for line in lines if line[23:26] == "   "]
        path = win_path(agent)
        copy_path = win_path(self.dir / "X_Prog.AutoUpdate.exe")
        self.assertEqual(texts[:3], ["", "", "=== START === " + path])
        self.assertRegex(texts[3], r'^CommandLine=.*Prog\.AutoUpdate\.exe"? /a=b$')
        self.assertEqual(texts[4:], [
            "Agent Version=1.0.0.1", "DoRunStubWin() --- Start", "X_ExeIsRunning=FALSE",
            "ThisIs_Plain_AutoUpdate_Exe=TRUE", "ThisIs_X_AutoUpdate_Exe=FALSE",
            "CreateAndRun_X_Exe() --- Start", "Wait 0 SEC", "Create X_ File ",
            f'WinExec: "{copy_path}"', "CreateAndRun_X_Exe() --- End",
            "HandleParamOK() --- Start", "HandleParamOK() --- End",
            "DoRunStubWin() --- End", "=== EXIT === " + path, ""])
        copy_texts = [line[26:] for line in lines if line[23:26] == " X "]
        self.assertIn("=== START === " + copy_path, copy_texts)
        self.assertIn("ThisIs_X_AutoUpdate_Exe=TRUE", copy_texts)

        # Started by hand, the copy's window stays up (the agent's timer
        # source) until closed twice.
        copy = self.dir / "X_Prog.AutoUpdate.exe"
        shutil.copy(agent, copy)
        log.unlink()
        proc = subprocess.Popen(["wine", str(copy)], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        probe = [ "wine", str(WIN_BUILD / "tests" / "support" / "window_probe.exe")]
        cls = ".AutoUpdate.X_Prog.AutoUpdate"
        self.assertEqual(subprocess.run(probe + ["wait", cls, "30000"]).returncode, 0)
        for _ in range(2):
            subprocess.run(probe + ["post", cls, "0x10"])
        self.assertEqual(proc.wait(timeout=60), 0)
        copy_lines = self.read_log(log)
        for line in copy_lines:
            self.assertRegex(line, "^" + LOG_PREFIX + " X ")
        texts = [line[26:] for line in copy_lines]
        self.assertIn("ThisIs_X_AutoUpdate_Exe=TRUE", texts)
        self.assertIn(".. CloseMainWindow() - Start", texts)
        self.assertIn(".. DestroyMainWindow() - End", texts)

    def test_no_agent_log_without_its_bit(self):
        agent = self.build("Prog.AutoUpdate.exe", "--agent", "--agent-name", "Prog.AutoUpdate.exe")
        self.addCleanup(stop_agent_copy, COPY_CLASS)
        with DebugViewer(self.dir) as viewer:
            self.assertEqual(wine(agent), 0)
        self.assertTrue(stop_agent_copy(COPY_CLASS, self.dir, "Prog.AutoUpdate.exe"))
        self.assertFalse(list(self.dir.glob("*.log")))
        self.assertIn("==== ThisIs_AutoUpdateProg=TRUE\r\n", viewer.text)
        self.assertIn("==== RunMode=installed agent\r\n", viewer.text)

    def test_spanned_first_level_relaunches_from_a_work_folder_copy(self):
        setup = self.build("cd setup.exe", "--flag-span-cd-level")
        # The copy reads its package from the ".001" file beside the first.
        shutil.copy(setup, str(setup) + ".001")
        with DebugViewer(self.dir) as viewer:
            self.assertEqual(wine(setup, "/lang=de"), 0)
            deadline = time.time() + 60
            while viewer.text.count("==== STUB END") < 2 and time.time() < deadline:
                time.sleep(0.2)
        text = viewer.text
        self.assertIn("==== RunMode=spanned relaunch\r\n", text)
        own = win_path(setup)
        second = re.search(r"^(\d+) ==== STUB START ====> (.*\\Y_cd setup\.exe.*)<\r\n", text, re.M)
        self.assertIsNotNone(second, text)
        pid, command = second.groups()
        self.assertTrue(command.endswith(
            f' /lang=de /SpanCdLvl=2 /SpanDiskFName1="{own}.001" /OriginExe="{own}"'), command)
        # The copy's path has a blank: it is started quoted, so the copy runs.
        self.assertTrue(command.startswith('"'), command)
        self.assertIn(f"{pid} ==== RunMode=spanned setup, second level\r\n", text)

    def test_signed_setup_keeps_its_package(self):
        if not shutil.which("osslsigncode") or not shutil.which("openssl"):
            # scripts/install-deps.sh installs both: their absence is a fault.
            self.fail("osslsigncode/openssl missing: run scripts/install-deps.sh")
        files = {"a.txt": b"signed payload\n" * 100, "b.bin": bytes(range(256)) * 300}
        setup = self.build("setup.exe", "--end-marker", files=files)
        key, cert = self.dir / "key.pem", self.dir / "cert.pem"
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                        "-subj", "/CN=Vantor Test Signing", "-keyout", key, "-out", cert],
                       check=True, capture_output=True)
        signed_dir = self.dir / "signed"
        signed_dir.mkdir()
        signed = signed_dir / "setup.exe"
        subprocess.run(["osslsigncode", "sign", "-certs", cert, "-key", key, "-n", "Vantor test",
                        "-in", setup, "-out", signed], check=True, capture_output=True)
        unsigned_bytes, signed_bytes = setup.read_bytes(), signed.read_bytes()
        self.assertGreater(len(signed_bytes), len(unsigned_bytes))
        end = int.from_bytes(signed_bytes[248:256][:4], "little") << 32 | int.from_bytes(signed_bytes[252:256], "little")
        self.assertEqual(end, len(unsigned_bytes))
        # The signature stands after the package, which is untouched.
        self.assertEqual(signed_bytes[1024:end], unsigned_bytes[1024:])

        vpack("verify", signed)
        out = self.dir / "out"
        vpack("extract", signed, "-o", out)
        for name, data in files.items():
            self.assertEqual((out / name).read_bytes(), data)

        # The signed stub finds its trailer too: without it the run would be
        # a damaged package (91); with it, a package without an engine ends
        # with 0.
        with DebugViewer(self.dir) as viewer:
            self.assertEqual(wine(signed, "/hide"), 0)
        self.assertIn("==== RunMode=setup\r\n", viewer.text)

if __name__ == "__main__":
    unittest.main()
