"""The whole setup road under Wine: unpacking into the work folder, the
engine's command line and handshake, exit codes, the agent copy, damaged
packages and hidden runs. The sample engine records what it got."""
import json
import os
import random
import re
import shutil
import subprocess
import time
import unittest

from harness import (I686_ONLY, I686_RUNS, STUB, STUB32, STUB64, WIN_BUILD, DebugViewer, WineTestCase, run_windows, unix_path, vpack,
                     win_path, wine)

ENGINE = WIN_BUILD / "tests" / "support" / "sample_engine.exe"
PROBE = WIN_BUILD / "tests" / "support" / "window_probe.exe"
UI_DRIVER = WIN_BUILD / "tests" / "support" / "ui_driver.exe"


class SetupRoadTest(WineTestCase):
    def setUp(self):
        super().setUp()
        self.record_engine()

    def source(self):
        rnd = random.Random(5)
        files = {
            "Engine.exe": ENGINE.read_bytes(),
            "readme.txt": b"Read me\r\n" * 50,
            "data/big.bin": bytes(rnd.getrandbits(8) for _ in range(300_000)),
            "data/zeros.bin": bytes(200_000),
            "empty.txt": b"",
        }
        src = self.make_source(files)
        # Odd seconds: the package keeps DOS time stamps (2-second steps).
        for i, p in enumerate(sorted(src.rglob("*"))):
            if p.is_file():
                os.utime(p, (1_700_000_001 + 1001 * i, 1_700_000_001 + 1001 * i))
        return src, files

    def build(self, name="setup.exe", *options, engine_args="/ExitCode=7 /HoldMs=200", stub=STUB):
        src, files = self.source()
        out = self.dir / name
        vpack("build", src, "--stub", stub, "-o", out, "-q", "--engine", "Engine.exe",
              "--engine-args", engine_args, "--block-size", "65536", *options)
        return out, src, files

    def engine_command(self):
        text = self.record.read_bytes().decode("latin-1")
        return re.search(r"^CommandLine=(.*)\r$", text, re.M).group(1), \
            re.search(r"^Folder=(.*)\r$", text, re.M).group(1)

    def check_engine_run(self, bits, stub):
        """The engine gets its command line and the files, byte for byte."""
        if not stub.exists():
            self.fail(f"{stub} is not built")
        setup, src, files = self.build(f"setup{bits}.exe", stub=stub)
        code = wine(setup, "/lang=de", "/hide")
        self.assertEqual(code, 7)  # the engine's exit code
        command, folder = self.engine_command()
        self.assertRegex(folder, r"^C:\\users\\[^\\]+\\Temp\\SETUP_\d+$")
        own = win_path(setup)
        token = re.search(r"/TH_ID=(_\d+)", command).group(1)
        self.assertEqual(command, f'{folder}\\Engine.exe /lang=de /hide /ExitCode=7 /HoldMs=200 '
                                  f'/TH_ID={token} /OriginExe="{own}"')
        # The handshake atom is gone and so is the work folder.
        self.assertNotEqual(run_windows("wine", PROBE, "atom", "AutoUpdateAtomTokenByVantor" + token)[0], 0)
        self.assertFalse(unix_path(folder).exists())
        # Byte for byte, with the DOS time stamps (2-second resolution).
        for name, data in files.items():
            got = self.copy / name
            self.assertEqual(got.read_bytes(), data, name)
            self.assertEqual(int(got.stat().st_mtime), int((src / name).stat().st_mtime) // 2 * 2, name)

    def test_engine_gets_its_command_line_and_the_files_32_bit_stub(self):
        if not I686_RUNS:
            self.skipTest(I686_ONLY)
        self.check_engine_run("32", STUB32)

    def test_engine_gets_its_command_line_and_the_files_64_bit_stub(self):
        self.check_engine_run("64", STUB64)

    def test_atom_left_by_the_engine_is_removed_by_the_stub(self):
        setup, _, _ = self.build(engine_args="/KeepAtom /HoldMs=100")
        self.assertEqual(wine(setup, "/hide"), 0)
        command, _ = self.engine_command()
        token = re.search(r"/TH_ID=(_\d+)", command).group(1)
        self.assertNotEqual(run_windows("wine", PROBE, "atom", "AutoUpdateAtomTokenByVantor" + token)[0], 0)

    def test_agent_copy_is_written_beside_the_engine(self):
        setup, _, _ = self.build("setup.exe", "--carry-agent", "--agent-name", "Prog.AutoUpdate.exe",
                                 "--update-url", "http://127.0.0.1/u/", "--update-info", "prog.info")
        self.assertEqual(wine(setup, "/hide"), 7)
        agent = self.copy / "Prog.AutoUpdate.exe"
        info = json.loads(vpack("info", "--json", agent).stdout)
        self.assertEqual(info["trailer"]["isUpdateAgent"], 1)
        data = agent.read_bytes()
        self.assertEqual(data[248:256], bytes(8))  # end marker cleared
        self.assertEqual(data[:1024], setup.read_bytes()[:1024])
        self.assertLess(len(data), len(setup.read_bytes()))  # no payload

    def test_corrupt_block_shows_a_message_and_starts_nothing(self):
        setup, _, _ = self.build()
        data = bytearray(setup.read_bytes())
        # Flip bytes inside the last compressed block, well before the trailer.
        for i in range(len(data) - 2000, len(data) - 1900):
            data[i] ^= 0xA5
        setup.write_bytes(bytes(data))
        proc = subprocess.Popen(["wine", str(setup)], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        out = run_windows("wine", UI_DRIVER, "--timeout", "60000", "--text", "--click", "OK",
                          timeout=120)[1]
        self.assertEqual(proc.wait(timeout=60), 0)
        self.assertIn("damaged at offset", out)
        self.assertFalse(self.record.exists(), "the engine ran")

    def test_bad_checksum_of_a_small_package(self):
        # A package small enough to carry a real checksum: a tiny "stub"
        # image, read by the real stub through /SpanDiskFName1=.
        tiny = self.dir / "tiny_stub.bin"
        tiny.write_bytes(b"MZ" + bytes(254) + b"PE" + bytes(254))
        src = self.make_source({"Engine.exe": b"not run", "a.txt": b"abc" * 100})
        small = self.dir / "small.exe"
        vpack("build", src, "--stub", tiny, "-o", small, "-q", "--engine", "Engine.exe")
        vpack("verify", small)
        data = bytearray(small.read_bytes())
        data[530] ^= 0x01  # inside the summed words
        small.write_bytes(bytes(data))
        host = self.dir / "host.exe"
        host.write_bytes(STUB.read_bytes())
        proc = subprocess.Popen(["wine", str(host), f"/SpanDiskFName1={win_path(small)}"],
                                stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        out = run_windows("wine", UI_DRIVER, "--timeout", "60000", "--text", "--click", "OK",
                          timeout=120)[1]
        self.assertEqual(proc.wait(timeout=60), 0)
        self.assertIn("Bad CRC!", out)
        self.assertFalse(self.record.exists())

    def test_hidden_run_shows_no_window(self):
        setup, _, _ = self.build(engine_args="/HoldMs=1500")
        proc = subprocess.Popen(["wine", str(setup), "/hide"], stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)
        cls = win_path(setup)
        seen, seen_visible = False, False
        deadline = time.time() + 60
        while proc.poll() is None and time.time() < deadline:
            code, out = run_windows("wine", PROBE, "geometry", cls)
            seen |= code == 0
            seen_visible |= code == 0 and out.split()[3:4] == ["1"]
            time.sleep(0.2)
        self.assertEqual(proc.wait(timeout=30), 0)
        # The window existed (so the probe could have seen it), hidden.
        self.assertTrue(seen, "the stub window was never found")
        self.assertFalse(seen_visible)


if __name__ == "__main__":
    unittest.main()
