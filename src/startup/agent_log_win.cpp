#include <windows.h>

#include "startup/run_mode.h"
#include "startup/stub_state.h"

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
  HANDLE h = CreateFileA(file.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(h, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  CloseHandle(h);
}

}  // namespace startup
