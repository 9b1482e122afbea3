"""A staged rollout under Wine: an installed product whose agent meets a
release offered to 0 % of installs, then to 100 %."""
import unittest

from harness import wait_until
from test_agent_update import InstalledProduct, ini_value

NOT_IN_ROLLOUT = "GetOkToPerformAU = 7 - Not in the staged rollout yet"


class StagedRolloutTest(InstalledProduct):
    def checked(self, line, count):
        return wait_until(lambda: self.log().count(line) >= count, 60)

    def test_zero_percent_holds_back_the_agent_but_not_the_user(self):
        self.install_agent(interval=-1)
        size = self.publish_setup()
        self.publish_info(size, RolloutPercent=0)
        self.run_agent("/TEST=0")
        self.assertTrue(self.checked(NOT_IN_ROLLOUT, 1), "\n".join(self.log()))
        self.assertEqual(self.version_original(), "1")
        self.assertFalse(self.record.exists(), "the setup ran outside the rollout")
        bucket = ini_value(self.original, "OriginalSetup", "RolloutBucket")
        self.assertIn(bucket, [str(n) for n in range(100)])
        self.assertEqual(self.requests("ProductSetup.exe"), [], "the setup was asked for")

        # The user asks: the rollout does not hold a requested check back.
        driver = self.answer("--click", "Yes", "--gone")
        self.run_agent("/TEST=2")
        self.assertEqual(driver.finish(timeout=90)[0], 0, "no question before the check")
        self.assertTrue(wait_until(lambda: self.version_original() == "2", 60),
                        "\n".join(self.log()))
        self.assertTrue(self.record.exists())
        # The bucket is the install's own: kept as drawn.
        self.assertEqual(ini_value(self.original, "OriginalSetup", "RolloutBucket"), bucket)

    def test_hundred_percent_reaches_every_install(self):
        self.install_agent(interval=-1)
        size = self.publish_setup()
        self.publish_info(size, RolloutPercent=100)
        self.run_agent("/TEST=0")
        self.assertTrue(wait_until(lambda: self.version_original() == "2", 60),
                        "\n".join(self.log()))
        self.assertTrue(self.record.exists())
        self.assertNotIn(NOT_IN_ROLLOUT, self.log())


if __name__ == "__main__":
    unittest.main()
