// The clocks the agent's deciding code asks: the local date-time (for agent
// time and today's date) and a millisecond tick count (for read-again
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
  // Milliseconds since some start; wraps at 2^32 like the system's tick
  // count, so callers compare differences only.
  virtual std::uint32_t TickCount() = 0;
};

} // namespace platform
