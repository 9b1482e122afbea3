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

from harness import (STUB, STUB32, STUB64, WIN_BUILD, DebugViewer, WindowsProcess, WineTestCase, run_windows, unix_path, vpack,
                     wait_until, win_path, wine)
from harness import TOOLS, i686_only

ENGINE = WIN_BUILD / "tests" / "support" / "sample_engine.exe"
# Headers enough for vpack to take it as a program (it refuses text as an
# engine), nothing Windows can run.
NOT_A_PROGRAM = b"MZ" + bytes(58) + (64).to_bytes(4, "little") + b"PE\0\0" + bytes(60)
# The exit codes of failed runs (README.md).
DAMAGED, BAD_CHECKSUM, ENGINE_NOT_STARTED = 91, 92, 93
PROBE = TOOLS / "window_probe.exe"
UI_DRIVER = TOOLS / "ui_driver.exe"


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
        self.assertRegex(folder, r"^C:\\users\\[^\\]+\\Temp\\SETUP_\d+_[0-9A-F]{8}$")
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

    @i686_only
    def test_engine_gets_its_command_line_and_the_files_32_bit_stub(self):
        self.check_engine_run("32", STUB32)

    def test_engine_gets_its_command_line_and_the_files_64_bit_stub(self):
        self.check_engine_run("64", STUB64)

    def test_package_from_vpack_exe_unpacks_as_the_native_one(self):
        """vpack.exe compresses with zlib, the native vpack with libdeflate:
        the bytes differ, what the stub unpacks does not."""
        native, src, files = self.build("native.exe")
        setup = self.dir / "setup.exe"
        code, out = run_windows("wine", WIN_BUILD / "tools" / "pack" / "vpack.exe", "build",
                                win_path(src), "--stub", win_path(STUB), "-o", win_path(setup), "-q",
                                "--engine", "Engine.exe", "--engine-args", "/ExitCode=7 /HoldMs=200",
                                "--block-size", "65536", merge_stderr=True)
        self.assertEqual(code, 0, out)
        self.assertNotEqual(setup.read_bytes(), native.read_bytes())
        vpack("verify", setup)
        self.assertEqual(wine(setup, "/hide"), 7)
        for name, data in files.items():
            self.assertEqual((self.copy / name).read_bytes(), data, name)

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
        self.assertEqual(proc.wait(timeout=60), DAMAGED)
        self.assertIn("damaged at offset", out)
        self.assertFalse(self.record.exists(), "the engine ran")

    def test_bad_checksum_of_a_small_package(self):
        # A package small enough to carry a real checksum: a tiny "stub"
        # image, read by the real stub through /SpanDiskFName1=.
        tiny = self.dir / "tiny_stub.bin"
        tiny.write_bytes(b"MZ" + bytes(254) + b"PE" + bytes(254))
        src = self.make_source({"Engine.exe": NOT_A_PROGRAM, "a.txt": b"abc" * 100})
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
        self.assertEqual(proc.wait(timeout=60), BAD_CHECKSUM)
        self.assertIn("Bad CRC!", out)
        self.assertFalse(self.record.exists())
        # Hidden: no box to wait for, the code and a trace line all the same.
        with DebugViewer(self.dir) as viewer:
            code = wine(host, f"/SpanDiskFName1={win_path(small)}", "/hide")
        self.assertEqual(code, BAD_CHECKSUM)
        self.assertIn(f"Setup failed, exit code {BAD_CHECKSUM}: bad checksum", viewer.text)

    def test_trailer_without_magic_is_a_damaged_package(self):
        setup, _, _ = self.build()
        data = bytearray(setup.read_bytes())
        data[-74 + 12] ^= 0xFF  # the magic number; every other field intact
        setup.write_bytes(bytes(data))
        proc = subprocess.Popen(["wine", str(setup)], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        out = run_windows("wine", UI_DRIVER, "--timeout", "60000", "--text", "--click", "OK",
                          timeout=120)[1]
        self.assertEqual(proc.wait(timeout=60), DAMAGED)
        self.assertIn("The package is damaged", out)
        with DebugViewer(self.dir) as viewer:
            self.assertEqual(wine(setup, "/hide"), DAMAGED)
        self.assertIn(f"Setup failed, exit code {DAMAGED}: damaged package", viewer.text)
        self.assertFalse(self.record.exists(), "the engine ran")

    def test_engine_that_cannot_be_started(self):
        src = self.make_source({"Engine.exe": NOT_A_PROGRAM, "a.txt": b"abc"})
        setup = self.dir / "setup.exe"
        vpack("build", src, "--stub", STUB, "-o", setup, "-q", "--engine", "Engine.exe")
        proc = subprocess.Popen(["wine", str(setup)], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        out = run_windows("wine", UI_DRIVER, "--timeout", "60000", "--text", "--click", "OK",
                          timeout=120)[1]
        self.assertEqual(proc.wait(timeout=60), ENGINE_NOT_STARTED)
        self.assertRegex(out, r"\\SETUP_\d+_[0-9A-F]{8}\\Engine\.exe\s+The setup engine could not "
                              r"be started")
        with DebugViewer(self.dir) as viewer:
            self.assertEqual(wine(setup, "/hide"), ENGINE_NOT_STARTED)
        self.assertIn(f"Setup failed, exit code {ENGINE_NOT_STARTED}: engine not started",
                      viewer.text)

    def test_engine_exit_code_259_ends_the_wait(self):
        # 259 is also the "still running" answer of the exit-code query.
        setup, _, _ = self.build(engine_args="/ExitCode=259 /HoldMs=100")
        # Wine hands on the low 8 bits as the Unix exit status.
        self.assertEqual(wine(setup, "/hide", timeout=90), 259 & 0xFF)
        self.assertTrue(self.record.exists())

    def test_different_setups_of_the_same_time_never_share_a_work_folder(self):
        stamp = 1_700_000_000
        runs = []
        for name, hold in (("first", 4000), ("second", 200)):
            folder = self.dir / name
            folder.mkdir()
            src = self.make_source({"Engine.exe": ENGINE.read_bytes(), f"{name}.txt": name.encode()})
            setup = folder / "setup.exe"
            vpack("build", src, "--stub", STUB, "-o", setup, "-q", "--engine", "Engine.exe",
                  "--engine-args", f"/HoldMs={hold} /ExitCode=7")
            shutil.rmtree(src)
            os.utime(setup, (stamp, stamp))  # one file time: one stamp
            record = self.dir / f"{name}.txt"
            os.environ["VANTOR_ENGINE_RECORD"] = win_path(record)
            runs.append((name, setup, record, subprocess.Popen(
                ["wine", str(setup), "/hide"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)))
            time.sleep(1.5)  # the second one starts while the first one's engine runs
        folders = {}
        for name, setup, record, proc in runs:
            self.assertEqual(proc.wait(timeout=90), 7, name)
            text = record.read_bytes().decode("latin-1")
            folders[name] = re.search(r"^Folder=(.*)\r$", text, re.M).group(1)
            self.assertIn(f"{name}.txt|", text)
        self.assertNotEqual(folders["first"], folders["second"])

        # A folder a crashed run left is cleaned, not merged into.
        _, setup, record, _ = runs[0]
        stale = unix_path(folders["first"])
        (stale / "sub").mkdir(parents=True)
        (stale / "sub" / "stale.txt").write_bytes(b"left over")
        os.environ["VANTOR_ENGINE_RECORD"] = win_path(record)
        self.assertEqual(wine(setup, "/hide"), 7)
        text = record.read_bytes().decode("latin-1")
        self.assertEqual(re.search(r"^Folder=(.*)\r$", text, re.M).group(1), folders["first"])
        self.assertNotIn("stale.txt", text)
        self.assertFalse(stale.exists())

    def test_setup_under_a_path_longer_than_a_class_name(self):
        # Longer than a class name may be (255), short enough for the file
        # functions (MAX_PATH, 260, with the terminator).
        padding = 258 - len(win_path(self.dir)) - len("\\") - len("\\setup.exe")
        folder = self.dir / ("d" * padding)
        folder.mkdir()
        setup, _, _ = self.build("setup.exe", engine_args="/ExitCode=7 /HoldMs=1500")
        long_setup = folder / "setup.exe"
        shutil.move(setup, long_setup)
        self.assertEqual(len(win_path(long_setup)), 258)
        proc = WindowsProcess(["wine", long_setup])
        self.assertEqual(proc.finish(timeout=90)[0], 7)
        command, _ = self.engine_command()
        self.assertIn(f'/OriginExe="{win_path(long_setup)}"', command)

    def test_unquoted_path_holding_the_programs_name_keeps_the_arguments(self):
        folder = self.dir / "setup.exe.d"
        folder.mkdir()
        setup, _, _ = self.build("setup.exe.d/setup.exe")
        # No blank in the path: Wine starts it unquoted.
        self.assertEqual(wine(setup, "/hide", "/WAIT=1"), 7)
        command, folder = self.engine_command()
        self.assertTrue(command.startswith(f"{folder}\\Engine.exe /hide /WAIT=1 /ExitCode=7 "),
                        command)

    def test_setup_in_a_folder_named_outside_the_ansi_code_page(self):
        # The prefix's ANSI code page has no form for these names: the stub
        # saw "?" in its own path and found no package there.
        acp = run_windows("wine", "reg", "query", r"HKLM\System\CurrentControlSet\Control\Nls\CodePage",
                          "/v", "ACP")[1]
        self.assertIn("1252", acp)
        stub_size = STUB.stat().st_size
        for what, options in (("one file", ()), ("spanned", ("--volume-size", stub_size + 300_000))):
            with self.subTest(what):
                self.record.unlink(missing_ok=True)
                folder = self.dir / f"安装程序 {what}"
                folder.mkdir()
                setup, _, _ = self.build("setup.exe", *options)
                for volume in self.dir.glob("setup.exe*"):
                    shutil.move(volume, folder / volume.name)
                self.assertEqual(len(list(folder.iterdir())), 2 if options else 1)
                self.assertEqual(wine(folder / "setup.exe", "/hide"), 7)
                self.assertTrue(self.record.exists(), "the engine did not run")

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

    def test_the_bar_counts_every_file_by_the_time_the_engine_starts(self):
        # Small files follow each other faster than the bar is redrawn, so
        # their steps are shown together: none may be left out at the end.
        files = {"Engine.exe": ENGINE.read_bytes()}
        files.update({f"small/f{i:03}.txt": b"x" * i for i in range(300)})
        setup = self.dir / "many.exe"
        vpack("build", self.make_source(files), "--stub", STUB, "-o", setup, "-q",
              "--engine", "Engine.exe", "--engine-args", "/HoldMs=5000")
        proc = WindowsProcess(["wine", setup, "/hide"])
        self.assertTrue(wait_until(self.record.exists, 60), "the engine did not start")
        code, out = run_windows("wine", PROBE, "bars", win_path(setup))
        self.assertEqual(proc.finish(timeout=60)[0], 0)
        self.assertEqual(code, 0)
        self.assertEqual(out.split()[:2], [str(len(files))] * 2)  # position, maximum


if __name__ == "__main__":
    unittest.main()
