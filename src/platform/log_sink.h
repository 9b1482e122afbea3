// Where the agent's deciding code reports: its log file and the debug trace.
#pragma once

#include <cstdint>
#include <string_view>

namespace platform {

class LogSink {
public:
  virtual ~LogSink() = default;
  // One line of the agent's log.
  virtual void Log(std::string_view line) = 0;
  // One line of the debug trace.
  virtual void Trace(std::string_view line) = 0;
  // The id the trace lines start with.
  virtual std::uint32_t ProcessId() = 0;
};

} // namespace platform
