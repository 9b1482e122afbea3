// How far a scheduled check is moved back at random, so that installs that
// start in the same minute, or were installed at the same time, do not ask
// the server in the same second. Portable and pure.
#pragma once

#include <cstdint>

namespace agent {

// The first check of a run waits up to this long after the agent started.
inline constexpr std::int64_t kStartSpreadSeconds = 300;
// A later check waits up to this share of the interval past its due time,
// and never more than kMaxCheckSpreadSeconds.
inline constexpr std::int64_t kCheckSpreadPercent = 10;
inline constexpr std::int64_t kMaxCheckSpreadSeconds = 6 * 3600;

// The longest delay for a check interval (0 for intervals of 0 or less:
// those checks are held back by the start spread alone).
constexpr std::int64_t MaxCheckSpread(std::int64_t intervalSeconds) {
  if (intervalSeconds <= 0) return 0;
  const std::int64_t share = intervalSeconds / 100 * kCheckSpreadPercent;
  return share < kMaxCheckSpreadSeconds ? share : kMaxCheckSpreadSeconds;
}

// A draw from `low` to `high`, both included.
using SpreadDraw = std::uint32_t (*)(std::uint32_t low, std::uint32_t high);

} // namespace agent
