#include "util/random.h"

namespace util {

namespace {

std::uint64_t SplitMix64(std::uint64_t x) {
  x += 0x9E3779B97F4A7C15ull;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
  return x ^ (x >> 31);
}

std::uint64_t g_draws = 0;

}  // namespace

std::uint32_t RandomInRange(std::uint32_t low, std::uint32_t high) {
  if (high <= low) return low;
  const std::uint64_t span = std::uint64_t(high) - low + 1;
  return low + static_cast<std::uint32_t>(SplitMix64(ClockSeed() ^ (++g_draws << 40)) % span);
}

}  // namespace util
