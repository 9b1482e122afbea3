// Native stand-ins: enough for vpack and native runs; the tests use their
// own fakes.
#include <unistd.h>

#include <ctime>

#include "agent/services.h"
#include "util/system_info.h"

namespace agent {

namespace {

class PosixClock : public platform::Clock {
public:
  double Now() override { return util::Now(); }
  std::int64_t UtcSeconds() override { return static_cast<std::int64_t>(std::time(nullptr)); }
  std::uint32_t TickCount() override {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::uint32_t>(std::uint64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000);
  }
};

// There is no registry: every value reads as its default.
class NoRegistry : public platform::RegistryReader {
public:
  std::string Read(const std::string&, const std::string&, const std::string& def) override {
    return def;
  }
};

// Local files only; no web client natively.
class LocalSizeProbe : public platform::SizeProbe {
public:
  std::int64_t FileSize(const std::string& path) override { return LocalFileSize(path); }
  bool IsOnline() override { return false; }
  std::int64_t HttpSize(const std::string&) override { return -1; }
};

} // namespace

platform::Clock& SystemClock() {
  static PosixClock clock;
  return clock;
}

platform::RegistryReader& SystemRegistry() {
  static NoRegistry registry;
  return registry;
}

platform::SizeProbe& SystemSizeProbe() {
  static LocalSizeProbe probe;
  return probe;
}

std::uint32_t CurrentProcessId() {
  return static_cast<std::uint32_t>(getpid());
}

} // namespace agent
