// Staged rollout: a release reaches a growing share of installs. Each
// install draws a stable bucket 0..99 once; it is in the rollout while its
// bucket is below the share of the day. Portable and pure.
#pragma once

#include <cstdint>
#include <string_view>

namespace agent {

inline constexpr int kRolloutBuckets = 100;

// What a descriptor says about its rollout ([NewSetup] keys).
struct RolloutPlan {
  // RolloutPercent: the share now (or, with a ramp, the share it starts
  // from); -1 when the key is absent.
  int percent = -1;
  // RolloutStart (UTC day, days since 1970-01-01) and RolloutDays: the share
  // rises linearly from `percent` (0 when absent) to 100 over `days` days.
  bool hasStart = false;
  std::int64_t startDay = 0;
  std::int64_t days = 0;
};

// "YYYY-MM-DD" to days since 1970-01-01; false when it is no valid date.
bool ParseIsoDate(std::string_view text, std::int64_t& day);

// The plan of the three key values as read (empty when absent). Values that
// do not parse count as absent; a percentage is held to 0..100.
RolloutPlan ReadRolloutPlan(std::string_view percent, std::string_view start,
                            std::string_view days);

// The share of installs (0..100) in the rollout at `utcSeconds` (seconds
// since 1970-01-01 UTC). No keys: 100.
int RolloutShare(const RolloutPlan& plan, std::int64_t utcSeconds);

// A bucket read from the .original: 0..99, or -1 when missing or invalid.
int ParseRolloutBucket(std::string_view text);

} // namespace agent
