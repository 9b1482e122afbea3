"""A vendor's own installer as the engine of an update: a real NSIS
installer, built here with Debian's makensis, packed as the new setup of an
installed product (the fixture of test_agent_update). It cannot take the
launch handshake unless its script does, so the package says how to judge
it (`vpack build --engine-result`)."""
import re
import shutil
import subprocess
import unittest

from harness import ROOT, STUB, WIN_ARCH, vpack, win_path, wait_until
from harness import window_probe as probe
from test_agent_update import AGENT, COPY_CLASS, PRODUCT_CLASS, TOKEN, InstalledProduct

MAKENSIS = shutil.which("makensis")
# The installer is built for the road the stub runs on.
TARGET = "x86-unicode" if WIN_ARCH == "win32" else "amd64-unicode"

SCRIPT = r"""
Target ${TARGET}
Name "Vantor NSIS engine"
OutFile "${OUT}"
RequestExecutionLevel user
InstallDir "$TEMP\Vantor NSIS engine"
!ifdef HANDSHAKE
!include "${HANDSHAKE}"
!endif
Section
  FileOpen $0 "${RECORD}" w
  FileWrite $0 "$CMDLINE"
  FileClose $0
!ifdef FAIL
  SetErrorLevel ${FAIL}
  Abort
!endif
SectionEnd
"""


def documented_nsis_handshake():
    """The NSIS example of docs/engine-contract.md, as a vendor would copy it."""
    doc = (ROOT / "docs" / "engine-contract.md").read_text()
    blocks = re.findall(r"```nsis\n(.*?)```", doc, re.S)
    if len(blocks) != 1:
        raise AssertionError("docs/engine-contract.md should hold one NSIS example")
    return blocks[0]


class NsisEngineTest(InstalledProduct):
    @classmethod
    def setUpClass(cls):
        if not MAKENSIS:
            raise unittest.SkipTest("makensis is not installed (Debian package nsis; "
                                    "scripts/install-deps.sh installs it)")
        super().setUpClass()

    def build_installer(self, name, fail=None, handshake=False):
        """An NSIS installer that records its command line; it fails with
        exit code FAIL when given, and takes the handshake as documented."""
        script = self.dir / f"{name}.nsi"
        script.write_text(SCRIPT)
        out = self.dir / f"{name}.exe"
        args = [MAKENSIS, "-V2", f"-DTARGET={TARGET}", f"-DOUT={out}",
                f"-DRECORD={win_path(self.nsis_record)}"]
        if fail is not None:
            args.append(f"-DFAIL={fail}")
        if handshake:
            include = self.dir / "handshake.nsh"
            include.write_text(documented_nsis_handshake())
            args.append(f"-DHANDSHAKE={include}")
        built = subprocess.run([*args, str(script)], capture_output=True, text=True)
        self.assertEqual(built.returncode, 0, built.stdout + built.stderr)
        return out

    def publish_nsis_setup(self, installer, rule=None, name="ProductSetup.exe"):
        src = self.dir / f"src-{name}"
        shutil.rmtree(src, ignore_errors=True)
        src.mkdir()
        shutil.copy(installer, src / "Setup.exe")
        setup = self.served / "upd" / name
        extra = ["--engine-result", rule] if rule else []
        vpack("build", src, "--stub", STUB, "-o", setup, "-q", "--engine", "Setup.exe",
              "--engine-args", "/S", "--update-url", self.url, "--update-info", "Product.info",
              "--agent-name", AGENT, "--update-token-plain", TOKEN, "--carry-agent", *extra)
        return setup.stat().st_size

    def setUp(self):
        super().setUp()
        self.nsis_record = self.dir / "nsis-command.txt"

    def assert_product_restarted(self, product):
        self.assertTrue(wait_until(lambda: product.poll() is not None, 30),
                        "the product was not closed")
        self.assertTrue(wait_until(self.product_window, 30), "the product was not restarted")

    def test_exit_code_rule_records_the_update_and_hands_over(self):
        self.install_agent()
        size = self.publish_nsis_setup(self.build_installer("good"), "exit-code")
        self.publish_info(size)
        product = self.start_product()
        self.run_agent()
        self.assertTrue(wait_until(lambda: self.version_original() == "2", 60),
                        "\n".join(self.log()))
        # The installer got the contract's switches, in its order.
        command = self.nsis_record.read_bytes().decode("latin-1")
        folder = re.escape(self.win_folder)
        self.assertRegex(command, r'\\SETUP_\d+_[0-9A-Fa-f]+\\Setup\.exe"? '
                         rf'/OriginalInfoFile="{folder}\\Product\.info" /S /TH_ID=_\d+ '
                         rf'/OriginExe="{folder}\\X_{re.escape(AGENT)}" /AutoUpdateProg$')
        self.assertIn("Setup result: handshake FALSE, exit code 0, rule exit-code", self.log())
        self.assert_product_restarted(product)
        self.assertTrue(wait_until(lambda: ".. ReStartAutoUpdateExe() - End" in self.log(), 30))
        self.assertIn("PerformAutoUpdate() - END    Result=TRUE", self.log())
        self.assertFalse((self.folder / "ProductSetup.exe").exists(), "the setup was kept")
        # The relaunched agent makes its own copy.
        self.assertEqual(probe("wait", COPY_CLASS, 50000)[0], 0,
                         "the relaunched agent did not start its copy")

    def test_documented_nsis_handshake_is_taken(self):
        # Packed without the option: the design's rule, met by the snippet
        # of docs/engine-contract.md.
        self.install_agent(restart=False)
        size = self.publish_nsis_setup(self.build_installer("handshake", handshake=True))
        self.publish_info(size, RestartProcess=0)
        self.run_agent()
        self.assertTrue(wait_until(lambda: self.version_original() == "2", 60),
                        "\n".join(self.log()))
        self.assertIn("Setup result: handshake TRUE, exit code 0, rule handshake", self.log())

    def test_no_success_records_nothing_and_restarts_the_product(self):
        self.install_agent(interval=-1, reask=1)
        good = self.build_installer("good")
        failing = self.build_installer("failing", fail=5)
        cases = [
            # Its own failure under the exit-code rule.
            ("failing installer, exit-code rule", failing, "exit-code",
             "Setup result: handshake FALSE, exit code 5, rule exit-code"),
            # Without the option the design's rule holds: no handshake, no
            # success, however well the installer did.
            ("good installer, handshake rule", good, None,
             "Setup result: handshake FALSE, exit code 0, rule handshake"),
        ]
        self.run_agent()
        self.assertEqual(probe("wait", COPY_CLASS, 30000)[0], 0)
        for stamp, (name, installer, rule, result) in enumerate(cases, start=10):
            with self.subTest(name):
                # A product of this case's own, whatever the last one left.
                for _ in range(3):
                    if probe("gone", PRODUCT_CLASS, 0)[0] == 0:
                        break
                    probe("kill", PRODUCT_CLASS)
                product = self.start_product()
                self.nsis_record.unlink(missing_ok=True)
                size = self.publish_nsis_setup(installer, rule)
                self.publish_info(size, Stamp=stamp)
                seen = len(self.log())
                self.run_agent("/TEST=0")
                self.assertTrue(wait_until(lambda: "PerformAutoUpdate() - END    Result=FALSE"
                                           in self.log()[seen:], 60), "\n".join(self.log()))
                self.assertTrue(self.nsis_record.exists(), "the installer did not run")
                self.assertIn(result, self.log()[seen:])
                self.assertEqual(self.version_original(), "1")
                self.assertFalse((self.folder / "ProductSetup.exe").exists(), "the setup was kept")
                self.assert_product_restarted(product)


if __name__ == "__main__":
    unittest.main()
