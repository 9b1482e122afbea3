#include "agent/services.h"

#include "platform/file.h"
#include "util/system_info.h"
#include "util/trace.h"

namespace agent {

namespace {

bool BreaksLine(std::string_view text) {
  return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

} // namespace

std::string IniFileSettings::Read(const std::string& file, const std::string& section,
                                  const std::string& key, const std::string& def) {
  if (file.empty()) return def;
  return util::ReadIniString(file, section, key, def);
}

bool IniFileSettings::Write(const std::string& file, const std::string& section,
                            const std::string& key, const std::string& value) {
  if (file.empty() || BreaksLine(section) || BreaksLine(key) || BreaksLine(value) ||
      key.find('=') != std::string::npos || section.find(']') != std::string::npos)
    return false;
  return util::WriteIniString(file, section, key, value);
}

void TraceLogSink::Log(std::string_view line) {
  if (agentLog_) agentLog_(line);
}

void TraceLogSink::Trace(std::string_view line) {
  util::WriteTraceLine(line);
}

std::uint32_t TraceLogSink::ProcessId() {
  return CurrentProcessId();
}

std::int64_t LocalFileSize(const std::string& path) {
  if (path.empty() || !platform::FileExists(path)) return -1;
  platform::InputFile in(path);
  return in.IsOpen() ? in.Size() : -1;
}

} // namespace agent
