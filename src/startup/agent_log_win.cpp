#include <windows.h>

#include <cstdint>

#include "startup/run_mode.h"
#include "startup/stub_state.h"
#include "util/text.h"

namespace startup {

StubState& State() {
  static StubState state;
  return state;
}

void AgentLog(std::string_view text) {
  StubState& s = State();
  if (!s.traceEnabled) return;
  static const std::string file = AgentLogFilePath(s.ownPath);
  SYSTEMTIME t;
  GetLocalTime(&t);
  char stamp[32];
  wsprintfA(stamp, "%02u/%02u/%02u %02u:%02u:%02u", t.wDay, t.wMonth, t.wYear % 100, t.wHour,
            t.wMinute, t.wSecond);
  std::string line = AgentLogLine(stamp, GetCurrentThreadId(), s.agentLogTag, text);
  line += "\r\n";
  // The plain agent and its X_ copy write the same log at the same time;
  // appends are not atomic everywhere (Wine), so one mutex per log file
  // keeps their lines whole and none lost.
  static const HANDLE mutex = [] {
    char name[48];
    const std::uint64_t hash = util::HashNoCase(file);
    wsprintfA(name, "VantorAgentLog_%08lx%08lx", static_cast<unsigned long>(hash >> 32),
              static_cast<unsigned long>(hash & 0xFFFFFFFFu));
    return CreateMutexA(nullptr, FALSE, name);
  }();
  const bool locked = mutex && WaitForSingleObject(mutex, 2000) != WAIT_TIMEOUT;
  HANDLE h = CreateFileA(file.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h != INVALID_HANDLE_VALUE) {
    DWORD written = 0;
    WriteFile(h, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    CloseHandle(h);
  }
  if (locked) ReleaseMutex(mutex);
}

}  // namespace startup
