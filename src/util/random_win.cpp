#include <windows.h>

#include "util/random.h"

namespace util {

std::uint64_t ClockSeed() {
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  return static_cast<std::uint64_t>(counter.QuadPart) ^ (std::uint64_t(GetCurrentProcessId()) << 32);
}

}  // namespace util
