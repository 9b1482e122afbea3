#include "agent/rollout.h"

#include <algorithm>

#include "util/text.h"

namespace agent {

namespace {

constexpr std::int64_t kDaySeconds = 86400;

// Days from 1970-01-01 of a proleptic Gregorian date.
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

bool Digits(std::string_view text, int& value) {
  value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  return !text.empty();
}

bool ParseWhole(std::string_view text, std::int64_t& value) {
  text = util::TrimView(text);
  if (text.empty() || text.size() > 9) return false;
  int v = 0;
  if (!Digits(text, v)) return false;
  value = v;
  return true;
}

} // namespace

bool ParseIsoDate(std::string_view text, std::int64_t& day) {
  text = util::TrimView(text);
  if (text.size() != 10 || text[4] != '-' || text[7] != '-') return false;
  int y = 0, m = 0, d = 0;
  if (!Digits(text.substr(0, 4), y) || !Digits(text.substr(5, 2), m) ||
      !Digits(text.substr(8, 2), d))
    return false;
  if (m < 1 || m > 12 || d < 1) return false;
  static constexpr int kMonthDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  if (d > kMonthDays[m - 1] || (m == 2 && d == 29 && !leap)) return false;
  day = DaysFromCivil(y, static_cast<unsigned>(m), static_cast<unsigned>(d));
  return true;
}

RolloutPlan ReadRolloutPlan(std::string_view percent, std::string_view start,
                            std::string_view days) {
  RolloutPlan plan;
  std::int64_t value = 0;
  if (ParseWhole(percent, value)) plan.percent = static_cast<int>(std::min<std::int64_t>(value, 100));
  std::int64_t startDay = 0, dayCount = 0;
  if (ParseIsoDate(start, startDay) && ParseWhole(days, dayCount) && dayCount > 0) {
    plan.hasStart = true;
    plan.startDay = startDay;
    plan.days = dayCount;
  }
  return plan;
}

int RolloutShare(const RolloutPlan& plan, std::int64_t utcSeconds) {
  if (!plan.hasStart) return plan.percent < 0 ? 100 : plan.percent;
  const std::int64_t from = plan.percent < 0 ? 0 : plan.percent;
  const std::int64_t elapsed = utcSeconds - plan.startDay * kDaySeconds;
  if (elapsed <= 0) return static_cast<int>(from);
  const std::int64_t span = plan.days * kDaySeconds;
  if (elapsed >= span) return 100;
  // Whole percentage points, rounded down: a bucket is in once the share
  // has passed it.
  return static_cast<int>(from + (100 - from) * elapsed / span);
}

int ParseRolloutBucket(std::string_view text) {
  std::int64_t value = 0;
  if (!ParseWhole(text, value) || value >= kRolloutBuckets) return -1;
  return static_cast<int>(value);
}

} // namespace agent
