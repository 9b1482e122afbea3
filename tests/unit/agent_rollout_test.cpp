#include <gtest/gtest.h>

#include <cstdint>

#include "agent/rollout.h"

namespace {

using agent::ParseIsoDate;
using agent::RolloutPlan;
using agent::RolloutShare;

TEST(Rollout, IsoDates) {
  const struct {
    const char* text;
    bool ok;
    std::int64_t day;
  } cases[] = {
      {"1970-01-01", true, 0},       {"2026-12-10", true, 20797},
      {"2024-02-29", true, 19782},   {"2023-02-29", false, 0},
      {"2100-02-29", false, 0},      {"2000-02-29", true, 11016},
      {" 2026-12-10 ", true, 20797}, {"2026-1-10", false, 0},
      {"2026-00-10", false, 0},      {"2026-12-32", false, 0},
      {"2026/12/10", false, 0},      {"", false, 0},
      {"2026-12-1x", false, 0},
  };
  for (const auto& c : cases) {
    std::int64_t day = -1;
    EXPECT_EQ(ParseIsoDate(c.text, day), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(day, c.day) << c.text;
    }
  }
}

TEST(Rollout, ShareOfTheDayFollowsTheRamp) {
  const RolloutPlan plan = agent::ReadRolloutPlan("", "2026-12-10", "7");
  const std::int64_t start = 20797LL * 86400;
  EXPECT_EQ(RolloutShare(plan, start - 1), 0);
  EXPECT_EQ(RolloutShare(plan, start), 0);
  EXPECT_EQ(RolloutShare(plan, start + 86400), 14);    // 100/7 rounded down
  EXPECT_EQ(RolloutShare(plan, start + 3 * 86400 + 43200), 50);
  EXPECT_EQ(RolloutShare(plan, start + 7 * 86400 - 1), 99);
  EXPECT_EQ(RolloutShare(plan, start + 7 * 86400), 100);
  // A ramp needs both its start and a day count above 0.
  EXPECT_EQ(RolloutShare(agent::ReadRolloutPlan("5", "2026-12-10", "0"), start + 86400), 5);
  EXPECT_EQ(RolloutShare(agent::ReadRolloutPlan("5", "", "7"), start + 86400), 5);
  EXPECT_EQ(RolloutShare(agent::ReadRolloutPlan("", "", ""), 0), 100);
}

TEST(Rollout, Buckets) {
  EXPECT_EQ(agent::ParseRolloutBucket("0"), 0);
  EXPECT_EQ(agent::ParseRolloutBucket("99"), 99);
  EXPECT_EQ(agent::ParseRolloutBucket("100"), -1);
  EXPECT_EQ(agent::ParseRolloutBucket("-1"), -1);
  EXPECT_EQ(agent::ParseRolloutBucket(""), -1);
  EXPECT_EQ(agent::ParseRolloutBucket("7x"), -1);
}

} // namespace
