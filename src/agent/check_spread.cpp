#include "agent/check_spread.h"

#include <algorithm>

namespace agent {

std::int64_t MaxCheckSpread(std::int64_t intervalSeconds) {
  if (intervalSeconds <= 0) return 0;
  return std::min(intervalSeconds / 100 * kCheckSpreadPercent, kMaxCheckSpreadSeconds);
}

} // namespace agent
