"""The agent at work under Wine, on an installed product: a folder under
"C:\\Program Files\\..." holding the product (a small windowed program), its
agent and the agent's .original descriptor, and a local HTTP server that
serves the .info descriptor, the new setup (a package with the sample
engine) and a news page. Questions are answered through the UI driver like a
user would."""
import hashlib
import shutil
import subprocess
import sys
import time
import unittest

from harness import (AGENT_LOG_LINE, ROOT, STUB, WIN_BUILD, WindowsProcess, WineTestCase,
                     stop_agent_copy, vpack, win_path, wine_drive_c, wait_until)
from harness import window_probe as probe

sys.path.insert(0, str(ROOT / "tests" / "support"))
from http_server import TestServer  # noqa: E402

SUPPORT = WIN_BUILD / "tests" / "support"
PROBE = SUPPORT / "window_probe.exe"
DRIVER = SUPPORT / "ui_driver.exe"
LISTENER = SUPPORT / "listener.exe"
ENGINE = SUPPORT / "sample_engine.exe"
PRODUCT_APP = SUPPORT / "product_app.exe"
AGENT = "Product.AutoUpdate.exe"
COPY_CLASS = ".AutoUpdate.X_Product.AutoUpdate"
PRODUCT_CLASS = "VantorProductMain"
TOKEN = "vantor demo product"



def ini_text(sections):
    """INI text with CRLF line ends from {section: {key: value}}."""
    out = []
    for section, keys in sections.items():
        out.append(f"[{section}]")
        out += [f"{k}={v}" for k, v in keys.items()]
        out.append("")
    return "\r\n".join(out)


def ini_value(path, section, key):
    current = None
    for line in path.read_text(encoding="latin-1").splitlines():
        line = line.strip()
        if line.startswith("["):
            current = line[1:line.index("]")]
        elif current == section and line.split("=", 1)[0] == key:
            return line.split("=", 1)[1]
    return None


class InstalledProduct(WineTestCase):
    """One product installed with its agent, and its update server."""

    def setUp(self):
        super().setUp()
        for need in (PROBE, DRIVER, LISTENER, ENGINE, PRODUCT_APP):
            if not need.exists():
                raise AssertionError(f"{need} is not built: run scripts/build.sh")
        case = self.id().rsplit(".", 1)[-1]
        self.root = wine_drive_c() / "Program Files" / "Vantor Update Test" / case
        shutil.rmtree(self.root, ignore_errors=True)
        self.folder = self.root / "My Product"
        self.folder.mkdir(parents=True)
        self.addCleanup(shutil.rmtree, self.root, True)
        self.win_folder = "C:\\Program Files\\Vantor Update Test\\" + case + "\\My Product"
        self.install_tasklist()

        self.served = self.dir / "served"
        self.served.mkdir()
        self.server = TestServer(self.served)
        self.server.__enter__()
        self.addCleanup(self.server.__exit__, None, None, None)
        self.url = self.server.url + "/upd"
        (self.served / "upd").mkdir()

        shutil.copy(PRODUCT_APP, self.folder / "Product.exe")
        self.product = self.win_folder + "\\Product.exe"
        self.record_engine()
        # The copy is stopped before its folder goes (cleanups run last first).
        self.addCleanup(self.stop_everything)

    def stop_everything(self):
        stop_agent_copy(COPY_CLASS, self.folder, AGENT)
        for _ in range(3):
            if probe("gone", PRODUCT_CLASS, 0)[0] == 0:
                break
            probe("kill", PRODUCT_CLASS)

    # --- The fixture's pieces ------------------------------------------------

    def install_agent(self, interval=0, method="Using WM_CLOSE", restart=True, reask=0,
                      key=None):
        # --force: a case may install the agent again over its first one.
        args = ["agent", "--stub", STUB, "-o", self.folder, "--force", "--update-url", self.url,
                "--update-info", "Product.info", "--agent-name", AGENT,
                "--update-token-plain", TOKEN, "--version", 1, "--check-interval", interval,
                "--reask-interval", reask,
                "--program", "<InstallDir>\\Product.exe", "--program-name", "My Product",
                "--target-dir", self.win_folder, "--shutdown-method", method, "--flag-agent-log"]
        if not restart:
            args.append("--no-restart")
        if key:
            args += ["--update-key", key]
        vpack(*args)
        self.original = self.folder / "Product.original"

    def publish_setup(self, token=TOKEN, engine_args="/HoldMs=300", name="ProductSetup.exe"):
        src = self.make_source({"readme.txt": b"version 2\r\n"})
        shutil.copy(ENGINE, src / "engine.exe")
        setup = self.served / "upd" / name
        vpack("build", src, "--stub", STUB, "-o", setup, "-q", "--engine", "engine.exe",
              "--engine-args", engine_args, "--update-url", self.url, "--update-info",
              "Product.info", "--agent-name", AGENT, "--update-token-plain", token,
              "--carry-agent")
        return setup.stat().st_size

    def publish_info(self, size, **keys):
        """The .info announcing version 2; `keys` override [NewSetup] keys,
        a key "General" or "AutoInform" gives those sections."""
        new_setup = {"DownloadURL_UPDATE": self.url, "NameOfUpdateFile": "ProductSetup.exe",
                     "SizeOfUpdateFile": size, "RequestConfirmationBeforeDownload": 0,
                     "RequestConfirmationBeforeInstall": 0, "BackgroundUpdate": 0,
                     "ShutDownMethod": "Using WM_CLOSE", "RestartProcess": 1, "InformFinish": 0,
                     "RunningProcess": "<InstallDir>\\Product.exe", "ProgramName": "My Product",
                     "VersionNew": 2, "Stamp": 2}
        sections = {"NewSetup": new_setup}
        for name in ("General", "AutoInform"):
            if name in keys:
                sections[name] = keys.pop(name)
        new_setup.update(keys)
        (self.served / "upd" / "Product.info").write_bytes(ini_text(sections).encode("latin-1"))

    def start_product(self):
        """The product as the user started it; the process object tells
        whether this very process still runs."""
        started = self.dir / "product-start.txt"
        proc = WindowsProcess(["wine", self.folder / "Product.exe", f"/StartFile={win_path(started)}"])
        self.addCleanup(lambda: proc.poll() is None and (proc.proc.kill(), proc.proc.wait()))
        self.assertTrue(wait_until(started.exists, 30), "the product did not start")
        time.sleep(0.3)
        return proc

    def product_window(self):
        """Some product process shows its main window."""
        return probe("wait", PRODUCT_CLASS, 0)[0] == 0

    def run_agent(self, *args):
        code, _ = WindowsProcess(["wine", self.folder / AGENT, *args]).finish(timeout=60)
        self.assertEqual(code, 0)

    def answer(self, *actions, timeout=60000):
        """Starts the UI driver with `actions`; its run ends when they are done."""
        return WindowsProcess(["wine", DRIVER, "--timeout", timeout, *actions])

    def log(self, tag=" X ", raw=False):
        """The agent log's texts written by the copy (tag " X ") or the plain
        agent ("   "); `raw`: whole lines of both."""
        path = self.folder / ("X_" + AGENT.replace(".exe", ".log"))
        if not path.exists():
            return []
        lines = path.read_bytes().decode("latin-1").split("\r\n")[:-1]
        if raw:
            return lines
        return [m.group(2) for m in map(AGENT_LOG_LINE.match, lines) if m and m.group(1) == tag]

    def requests(self, name):
        """The downloads of `name` (the client's probes and size queries, made
        under another agent name, do not count)."""
        return [r for r in self.server.requests if r["path"].endswith("/" + name)
                and r["headers"].get("user-agent") == "HTTP_Connect_3"]

    def version_original(self):
        return ini_value(self.original, "OriginalSetup", "VersionOriginal")


class UpdateCycleTest(InstalledProduct):
    def test_whole_update_asks_stops_runs_records_restarts_and_relaunches(self):
        self.install_agent()
        size = self.publish_setup()
        self.publish_info(size, RequestConfirmationBeforeDownload=1,
                          RequestConfirmationBeforeInstall=1, InformFinish=1)
        product = self.start_product()
        received, address = self.start_listener()
        # Three ticks' delay, so the listener is registered before the check.
        driver = self.answer("--click", "Yes", "--gone", "--click", "Yes", "--gone",
                             "--text", "--click", "Yes", "--gone")
        self.run_agent("/DELAY=3", f"/WM_MSG={address}")
        code, text = driver.finish(timeout=120)
        self.assertEqual(code, 0, f"the three questions were not all asked: {text}\n" +
                         "\n".join(self.log()))
        self.assertIn("My Product", text)

        # The engine of the new setup ran with the quoted .info path.
        self.assertTrue(wait_until(self.record.exists, 30), "the new setup's engine did not run")
        command = self.record.read_text(encoding="latin-1").splitlines()[0]
        self.assertIn(f'/OriginalInfoFile="{self.win_folder}\\Product.info"', command)
        self.assertTrue(wait_until(lambda: self.version_original() == "2", 30))
        # The product was closed and started again; the agent relaunched.
        self.assertTrue(wait_until(lambda: product.poll() is not None, 30),
                        "the product was not closed")
        self.assertTrue(wait_until(self.product_window, 30), "the product was not restarted")
        self.assertTrue(wait_until(lambda: ".. ReStartAutoUpdateExe() - End" in self.log(), 30))
        log = self.log()
        self.assertIn(f'.. WinExec - "{self.win_folder}\\{AGENT}" /_ZZ=99 /WAIT=10 '
                      "/TRANSIENT=|255|255|255|255|255|255|255|255|", log)
        self.assertIn("PerformAutoUpdate() - END    Result=TRUE", log)
        self.assertFalse((self.folder / "ProductSetup.exe").exists(), "the setup was kept")
        # The first copy ended and removed itself, while the relaunched plain
        # agent waits its 10 s before it makes a new one.
        self.assertTrue(wait_until(lambda: "DeleteMySelf" in self.log(), 30))
        self.assertTrue(wait_until(lambda: not (self.folder / ("X_" + AGENT)).exists(), 8),
                        "the X_ copy did not remove itself")
        notices = [line for line in received.read_text().splitlines()
                   if line.split()[0] in ("40", "41", "42")]
        self.assertEqual(notices, ["40 1", "40 2", "41 1", "41 2", "42 1", "42 2"])
        # The relaunched agent runs its own copy, which finds nothing new.
        self.assertEqual(probe("wait", COPY_CLASS, 50000)[0], 0,
                         "the relaunched agent did not start its copy:\n" +
                         "\n".join(self.log(raw=True)[-40:]))
        # Each file is sent once: the setup's size by HEAD, its bytes by one
        # GET; the relaunched agent's check costs one conditional request,
        # answered "not modified" without a body.
        setup = [(r["method"], r["sent"]) for r in self.server.requests
                 if r["path"].endswith("/ProductSetup.exe")]
        self.assertEqual(setup, [("HEAD", 0), ("GET", size)])
        infos = lambda: [r for r in self.server.requests if r["path"].endswith("/Product.info")]
        self.assertTrue(wait_until(lambda: len(infos()) >= 2, 60), self.server.requests)
        first, last = infos()[0], infos()[-1]
        self.assertEqual((first["status"], "if-none-match" in first["headers"]), (200, False))
        self.assertEqual((last["status"], last["sent"]), (304, 0))
        self.assertIn("if-none-match", last["headers"])

    def test_refusals_end_the_cycle(self):
        # Checks only when asked ("/TEST=0"); a declined update is offered
        # again one second later.
        self.install_agent(interval=-1, reask=1)
        size = self.publish_setup()
        html = b"<html><head><title>404 Not Found</title></head><body>gone</body></html>\n"
        (self.served / "upd" / "Gone.exe").write_bytes(html)
        other = self.publish_setup(token="someone else", name="Other.exe")
        failing = self.publish_setup(engine_args="/ExitCode=3", name="Failing.exe")
        product = self.start_product()
        self.run_agent()
        self.assertEqual(probe("wait", COPY_CLASS, 30000)[0], 0)
        cases = [
            ("no to the download", dict(RequestConfirmationBeforeDownload=1),
             ["--click", "No", "--gone"], None),
            ("no to the install", dict(RequestConfirmationBeforeInstall=1),
             ["--click", "No", "--gone"], None),
            ("another token", dict(NameOfUpdateFile="Other.exe", SizeOfUpdateFile=other),
             ["--text", "--click", "OK", "--gone"], "Bad Secret Token!"),
            ("an error page", dict(NameOfUpdateFile="Gone.exe", SizeOfUpdateFile=len(html)),
             ["--text", "--click", "OK", "--gone"], "404 File Not Found..."),
        ]
        for stamp, (name, keys, actions, text) in enumerate(cases, start=10):
            with self.subTest(name):
                self.publish_info(size, Stamp=stamp, **keys)
                driver = self.answer(*actions)
                self.run_agent("/TEST=0")
                code, out = driver.finish(timeout=90)
                self.assertEqual(code, 0, out)
                if text:
                    self.assertIn(text, out)
                self.assertTrue(wait_until(lambda: "PerformAutoUpdate() - END    Result=FALSE"
                                           in self.log()[-3:], 30))
                # The attempt is recorded after the cycle's end: a read may
                # meet the .original while it is being rewritten.
                self.assertTrue(wait_until(lambda: self.version_original() == "1", 10))
                self.assertFalse(self.record.exists(), "a setup ran")
                self.assertIsNone(product.poll(), "the product was touched")
                for leftover in ("ProductSetup.exe", "Other.exe", "Gone.exe"):
                    self.assertFalse((self.folder / leftover).exists(), leftover)

        # A failing setup runs, is not recorded, and is offered at the next check.
        self.publish_info(size, Stamp=20, NameOfUpdateFile="Failing.exe",
                          SizeOfUpdateFile=failing, RestartProcess=0)
        self.run_agent("/TEST=0")
        self.assertTrue(wait_until(self.record.exists, 60), "the failing setup did not run")
        self.assertTrue(wait_until(lambda: "PerformAutoUpdate() - END    Result=FALSE"
                                   in self.log()[-3:], 30))
        self.assertEqual(self.version_original(), "1")
        self.record.unlink()
        time.sleep(2)
        self.run_agent("/TEST=0")
        self.assertTrue(wait_until(self.record.exists, 60), "the failed update was not offered again")
        self.assertEqual(self.version_original(), "1")

    def test_dont_shut_down_neither_stops_nor_restarts(self):
        self.install_agent(method="Don't Shut Down", restart=False)
        size = self.publish_setup()
        self.publish_info(size, ShutDownMethod="Don't Shut Down", RestartProcess=0)
        product = self.start_product()
        self.run_agent()
        self.assertTrue(wait_until(lambda: self.version_original() == "2", 60))
        self.assertTrue(self.record.exists())
        time.sleep(2)
        self.assertIsNone(product.poll(), "the product was stopped")

    def test_product_not_running_is_not_started(self):
        self.install_agent()
        size = self.publish_setup()
        self.publish_info(size)
        self.run_agent()
        self.assertTrue(wait_until(lambda: self.version_original() == "2", 60))
        time.sleep(2)
        self.assertFalse(self.product_window(), "a product that was not running was started")

    def test_network_failure_leaves_everything_and_tries_again(self):
        self.install_agent(interval=1, reask=1)
        size = self.publish_setup()
        # The setup's connection drops after 60 % of its bytes.
        self.publish_info(size, DownloadURL_UPDATE=f"{self.server.url}/_drop/{size * 6 // 10}/upd")
        product = self.start_product()
        self.run_agent()
        self.assertTrue(wait_until(lambda: len(self.requests("ProductSetup.exe")) >= 2, 60),
                        f"no second attempt: {self.server.requests}")
        self.assertFalse(self.record.exists(), "a partial setup ran")
        self.assertEqual(self.version_original(), "1")
        self.assertIsNone(product.poll(), "the product was touched")
        self.assertFalse((self.folder / "ProductSetup.exe").exists())


class CheckTimerTest(InstalledProduct):
    def test_interval_rules_and_the_test_switch(self):
        # -1: never on its own; "/TEST=" asks for one check now.
        self.install_agent(interval=-1)
        self.publish_info(0, VersionNew=1)
        received, address = self.start_listener()
        self.run_agent(f"/WM_MSG={address}")
        self.assertEqual(probe("wait", COPY_CLASS, 30000)[0], 0)
        time.sleep(4)
        self.assertEqual(self.requests("Product.info"), [])
        self.run_agent("/TEST=0")
        self.assertTrue(wait_until(lambda: len(self.requests("Product.info")) == 1, 30))
        self.assertTrue(wait_until(lambda: len(received.read_text().splitlines()) >= 4, 10))
        lines = received.read_text().splitlines()
        self.assertEqual([line.split()[0] for line in lines][:2], ["50", "51"])
        self.assertEqual(lines[2:], ["40 1", "40 2"])
        stop_agent_copy(COPY_CLASS, self.folder, AGENT)

        # 0: one check per run.
        self.install_agent(interval=0)
        before = len(self.requests("Product.info"))
        self.run_agent()
        self.assertTrue(wait_until(lambda: len(self.requests("Product.info")) == before + 1, 30))
        time.sleep(4)
        self.assertEqual(len(self.requests("Product.info")), before + 1)

    def test_tick_during_an_open_question_does_nothing(self):
        self.install_agent(interval=1)
        size = self.publish_setup()
        self.publish_info(size, RequestConfirmationBeforeDownload=1)
        self.run_agent()
        self.answer("--wait").finish(timeout=60)
        time.sleep(4)  # the box stays open over several ticks
        self.assertEqual(len(self.requests("Product.info")), 1)
        self.answer("--click", "No", "--gone").finish(timeout=60)
        self.assertTrue(wait_until(lambda: len(self.requests("Product.info")) >= 2, 30))


class SignedUpdateTest(InstalledProduct):
    """An agent that carries the vendor's public key, against descriptors
    signed with vpack sign-update."""

    def test_signed_update_runs_and_any_flipped_byte_is_refused(self):
        keys = self.dir / "keys" / "vendor"
        vpack("keygen", keys)
        self.install_agent(interval=-1, reask=1, key=f"{keys}.pub")
        installed_info = (self.folder / "Product.info").read_bytes()
        size = self.publish_setup()
        setup = self.served / "upd" / "ProductSetup.exe"
        info = self.served / "upd" / "Product.info"
        signature = self.served / "upd" / "Product.info.sig"
        product = self.start_product()
        self.run_agent()
        self.assertEqual(probe("wait", COPY_CLASS, 30000)[0], 0)

        def flip(path, offset):
            data = bytearray(path.read_bytes())
            data[offset] ^= 0x01
            path.write_bytes(bytes(data))

        refused_descriptor = "does not carry its vendor's valid signature"
        cases = [
            ("a byte of the descriptor", lambda: flip(info, info.read_bytes().index(b"Stamp=") + 6),
             refused_descriptor),
            ("a byte of the signature", lambda: flip(signature, 20), refused_descriptor),
            ("no signature", signature.unlink, refused_descriptor),
            # Inside a payload block: the package's token still matches.
            ("a byte of the setup", lambda: flip(setup, size - 200), "is not the one its vendor signed"),
        ]
        for stamp, (name, tamper, text) in enumerate(cases, start=10):
            with self.subTest(name):
                self.publish_setup()
                self.publish_info(size, Stamp=stamp)
                vpack("sign-update", info, "--key", f"{keys}.key", "--setup", setup)
                tamper()
                seen = len(self.log())
                downloads = len(self.requests("ProductSetup.exe"))
                driver = self.answer("--text", "--click", "OK", "--gone")
                self.run_agent("/TEST=0")
                code, out = driver.finish(timeout=90)
                self.assertEqual(code, 0, out)
                self.assertIn("Update refused", out)
                self.assertIn(text, out)
                self.assertTrue(wait_until(
                    lambda: any(line.startswith("ERROR: refused") for line in self.log()[seen:]), 30))
                self.assertEqual(self.version_original(), "1")
                self.assertFalse(self.record.exists(), "a setup ran")
                self.assertIsNone(product.poll(), "the product was touched")
                self.assertFalse((self.folder / "ProductSetup.exe").exists(), "the setup was kept")
                if text == refused_descriptor:
                    self.assertEqual((self.folder / "Product.info").read_bytes(), installed_info,
                                     "an unsigned descriptor replaced the installed one")
                    self.assertEqual(len(self.requests("ProductSetup.exe")), downloads)

        # Signed as it should be: the update runs.
        self.publish_setup()
        self.publish_info(size, Stamp=20, RestartProcess=0)
        vpack("sign-update", info, "--key", f"{keys}.key", "--setup", setup)
        vpack("verify-update", info, "--key", f"{keys}.pub")
        self.run_agent("/TEST=0")
        self.assertTrue(wait_until(lambda: self.version_original() == "2", 60),
                        "\n".join(self.log()))
        self.assertTrue(self.record.exists(), "the signed setup did not run")
        self.assertIn("Signature of Product.info: good", self.log())


class SignedFreshnessTest(InstalledProduct):
    """A signed agent decides only from a current descriptor verified in this
    check."""

    def check_refused(self, text=None):
        """One forced check; a box with `text`, or none; no setup ran."""
        seen = len(self.log())
        downloads = len(self.requests("ProductSetup.exe"))
        driver = self.answer("--text", "--click", "OK", "--gone", timeout=15000) if text else None
        self.run_agent("/TEST=0")
        self.assertTrue(wait_until(lambda: any(line.startswith("GetOkToPerformAU")
                                               for line in self.log()[seen:]), 60))
        if driver:
            code, out = driver.finish(timeout=60)
            self.assertEqual(code, 0, out)
            self.assertIn(text, out)
        self.assertEqual(len(self.requests("ProductSetup.exe")), downloads, "a setup was fetched")
        self.assertFalse(self.record.exists(), "a setup ran")
        self.assertEqual(self.version_original(), "1")

    def test_html_page_stale_and_rolled_back_descriptors_run_nothing(self):
        keys = self.dir / "keys" / "vendor"
        vpack("keygen", keys)
        self.install_agent(interval=-1, key=f"{keys}.pub")
        size = self.publish_setup()
        setup = self.served / "upd" / "ProductSetup.exe"
        info = self.served / "upd" / "Product.info"
        self.run_agent()
        self.assertEqual(probe("wait", COPY_CLASS, 30000)[0], 0)

        def sign(*extra):
            vpack("sign-update", info, "--key", f"{keys}.key", "--setup", setup, *extra)

        # A captive portal answers, while an eligible unsigned .info lies on disk.
        self.publish_info(size, Stamp=5)
        (self.folder / "Product.info").write_bytes(info.read_bytes())
        info.write_bytes(b'<!DOCTYPE html><html lang="en"><body>Sign in</body></html>\n')
        self.check_refused()
        self.assertIn("GetOkToPerformAU = 0 - Error downloading .INFO file", self.log())

        stale = "is out of date"
        # Past its Expires day: signed as openssl does, since sign-update
        # refuses what agents refuse.
        self.publish_info(size, Stamp=10, Expires="2020-01-01",
                          SHA256OfUpdateFile=hashlib.sha256(setup.read_bytes()).hexdigest())
        subprocess.run(["openssl", "dgst", "-sha256", "-sign", f"{keys}.key", "-out",
                        f"{info}.sig", info], check=True, capture_output=True)
        self.check_refused(stale)
        # A higher Stamp verified (nothing to install in it), then a lower one.
        self.publish_info(size, Stamp=30, VersionNew=1)
        sign()
        self.check_refused()
        self.publish_info(size, Stamp=20)
        sign()
        self.check_refused(stale)
        # Current: a future Expires (the default) and the highest Stamp.
        self.publish_info(size, Stamp=31, RestartProcess=0)
        sign()
        self.assertIn("Expires=", info.read_text())
        self.run_agent("/TEST=0")
        self.assertTrue(wait_until(lambda: self.version_original() == "2", 60),
                        "\n".join(self.log()))
        self.assertTrue(self.record.exists(), "the signed setup did not run")

    def test_news_page_with_another_hash_is_not_shown(self):
        keys = self.dir / "keys" / "vendor"
        vpack("keygen", keys)
        self.install_agent(interval=-1, key=f"{keys}.pub")
        token = vpack("token", TOKEN).stdout.strip()
        page = self.served / "upd" / "news.txt"
        page.write_bytes(b"|" + token.encode() + b"|x|y|Version 2 is out.")
        info = self.served / "upd" / "Product.info"
        self.run_agent()
        self.assertEqual(probe("wait", COPY_CLASS, 30000)[0], 0)
        for stamp, (name, served, shown) in enumerate(
                [("another page", b"|" + token.encode() + b"|x|y|Version 2 is FREE.", False),
                 ("the signed page", page.read_bytes(), True)], start=10):
            with self.subTest(name):
                signed = page.read_bytes()
                self.publish_info(0, Stamp=stamp, General={"AutoInform": 1},
                                  AutoInform={"NameOfInformFile": "news.txt",
                                              "SizeOfInformFile": len(signed)})
                vpack("sign-update", info, "--key", f"{keys}.key", "--inform", page)
                page.write_bytes(served)
                driver = None if shown else self.answer("--text", "--click", "OK", "--gone")
                self.run_agent("/TEST=0")
                if driver:
                    code, out = driver.finish(timeout=60)
                    self.assertEqual(code, 0, out)
                    self.assertIn("news page of", out)
                    time.sleep(2)
                    self.assertNotEqual(probe("wait", "VRichEditBox", 0)[0], 0, "a page was shown")
                    page.write_bytes(signed)
                else:
                    self.assertEqual(probe("wait", "VRichEditBox", 60000)[0], 0, "no inform window")
                    shown_text = bytes.fromhex("".join(probe("text", "VRichEditBox")[1].split()))
                    self.assertIn(b"Version 2 is out.", shown_text)


class RetryTest(InstalledProduct):
    def test_setup_cut_once_is_installed_at_the_next_check(self):
        self.install_agent(interval=1)
        size = self.publish_setup()
        self.publish_info(size, RestartProcess=0,
                          DownloadURL_UPDATE=f"{self.server.url}/_drop/{size // 2}/upd")
        self.run_agent()
        self.assertTrue(wait_until(lambda: self.requests("ProductSetup.exe"), 60))
        # The network is back; the release (same Stamp) is the same.
        self.publish_info(size, RestartProcess=0)
        self.assertTrue(wait_until(lambda: self.version_original() == "2", 60),
                        "\n".join(self.log()))
        self.assertTrue(self.record.exists(), "the setup did not run")


class InformTest(InstalledProduct):
    def test_news_page_shows_and_its_button_opens_the_link(self):
        self.install_agent()
        token = vpack("token", TOKEN).stdout.strip()
        page = b"|" + token.encode() + b"|x|y|Version 2 is out: faster updates."
        (self.served / "upd" / "news.txt").write_bytes(page)
        shop = self.root / "Shop.exe"
        shutil.copy(PRODUCT_APP, shop)
        self.publish_info(0, General={"AutoInform": 1},
                          AutoInform={"NameOfInformFile": "news.txt",
                                      "SizeOfInformFile": len(page), "AutoInformW": 420,
                                      "AutoInformH": 300,
                                      "DownloadURL_INFORM": str(win_path(shop))})
        self.run_agent()
        self.assertEqual(probe("wait", "VRichEditBox", 60000)[0], 0, "no inform window")
        shown = bytes.fromhex("".join(probe("text", "VRichEditBox")[1].split()))
        self.assertIn(b"Version 2 is out", shown)
        self.assertEqual(probe("click", "VRichEditBox")[0], 0)
        self.assertEqual(probe("gone", "VRichEditBox", 10000)[0], 0)
        self.assertTrue(wait_until(self.product_window, 30), "the link was not opened")
        self.assertTrue(wait_until(lambda: self.version_original() == "2", 30))


if __name__ == "__main__":
    unittest.main()
