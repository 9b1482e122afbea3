#include <unistd.h>

#include <chrono>

#include "util/random.h"

namespace util {

std::uint64_t ClockSeed() {
  return static_cast<std::uint64_t>(
             std::chrono::steady_clock::now().time_since_epoch().count()) ^
         (std::uint64_t(::getpid()) << 32);
}

}  // namespace util
