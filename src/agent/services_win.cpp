#include <windows.h>

#include "agent/services.h"
#include "http/inet_http.h"
#include "util/system_info.h"

namespace agent {

namespace {

class WinClock : public platform::Clock {
public:
  double Now() override { return util::Now(); }
  std::int64_t UtcSeconds() override {
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    const std::uint64_t ticks = (std::uint64_t(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    // 100 ns ticks since 1601 to seconds since 1970.
    return static_cast<std::int64_t>(ticks / 10000000ull) - 11644473600ll;
  }
  std::uint32_t TickCount() override { return GetTickCount(); }
};

class WinRegistry : public platform::RegistryReader {
public:
  std::string Read(const std::string& keyPath, const std::string& name,
                   const std::string& def) override {
    return util::ReadRegistryValue(keyPath, name, def, false);
  }
};

class WinSizeProbe : public platform::SizeProbe {
public:
  std::int64_t FileSize(const std::string& path) override { return LocalFileSize(path); }
  bool IsOnline() override { return http::IsInternetConnected(); }
  std::int64_t HttpSize(const std::string& url) override { return http::HTTP_GetFileSize(url); }
};

} // namespace

platform::Clock& SystemClock() {
  static WinClock clock;
  return clock;
}

platform::RegistryReader& SystemRegistry() {
  static WinRegistry registry;
  return registry;
}

platform::SizeProbe& SystemSizeProbe() {
  static WinSizeProbe probe;
  return probe;
}

std::uint32_t CurrentProcessId() {
  return GetCurrentProcessId();
}

} // namespace agent
