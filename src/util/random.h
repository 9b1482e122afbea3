// Random numbers for names and fallbacks (not for security): each draw is
// seeded afresh from the clock, mixed with a counter so that two draws in the
// same clock tick still differ.
#pragma once

#include <cstdint>

namespace util {

// A number from `low` to `high`, both included.
std::uint32_t RandomInRange(std::uint32_t low, std::uint32_t high);

// The clock reading the seed comes from (a _win/_posix pair).
std::uint64_t ClockSeed();

}  // namespace util
