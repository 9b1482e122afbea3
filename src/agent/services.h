// The running system behind the agent's platform interfaces. The deciding
// code (descriptors, eligibility) takes the interfaces; the agent's window
// code hands it these.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/clock.h"
#include "platform/log_sink.h"
#include "platform/registry.h"
#include "platform/settings_store.h"
#include "platform/size_probe.h"

namespace agent {

// INI files through util's INI access and its process-wide lock. Refuses a
// file name that is empty (the system would read its own INI file instead)
// and texts that would break the file's lines (CR, LF, NUL; "=" in a key,
// "]" in a section), so a write can never add keys nobody asked for.
class IniFileSettings : public platform::SettingsStore {
public:
  std::string Read(const std::string& file, const std::string& section, const std::string& key,
                   const std::string& def) override;
  bool Write(const std::string& file, const std::string& section, const std::string& key,
             const std::string& value) override;
};

// Log lines go to `agentLog` (the stub's agent log; none drops them), trace
// lines to the debug trace.
class TraceLogSink : public platform::LogSink {
public:
  using LogFunction = void (*)(std::string_view line);
  explicit TraceLogSink(LogFunction agentLog = nullptr) : agentLog_(agentLog) {}
  void Log(std::string_view line) override;
  void Trace(std::string_view line) override;
  std::uint32_t ProcessId() override;

private:
  LogFunction agentLog_;
};

// Size of the existing file at `path` (local or UNC); -1 when there is none.
std::int64_t LocalFileSize(const std::string& path);

// Windows: the local clock and the tick count; the registry (HKCU needs no
// view); local files, then WinINet's online test and size query.
// Natively: the local clock and a monotonic tick; no registry (defaults);
// local files only, offline.
platform::Clock& SystemClock();
platform::RegistryReader& SystemRegistry();
platform::SizeProbe& SystemSizeProbe();
std::uint32_t CurrentProcessId();

} // namespace agent
