// The clocks the agent's deciding code asks: the local date-time (for agent
// time and today's date), UTC seconds (for dates every install reads alike,
// such as a rollout's start) and a millisecond tick count (for read-again
// delays).
#pragma once

#include <cstdint>

namespace platform {

class Clock {
public:
  virtual ~Clock() = default;
  // Local date-time as a day number: days since 30 December 1899 with the
  // time of day as fraction.
  virtual double Now() = 0;
  // Seconds since 1970-01-01 00:00 UTC.
  virtual std::int64_t UtcSeconds() = 0;
  // Milliseconds since some start; wraps at 2^32 like the system's tick
  // count, so callers compare differences only.
  virtual std::uint32_t TickCount() = 0;
};

} // namespace platform
