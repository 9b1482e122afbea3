// Process-wide state of the running stub, set at start-up and read by the
// window, the setup road and the agent.
#pragma once

#include <cstdint>
#include <string>

#include "package/file_info.h"

namespace startup {

struct StubState {
  bool isAutoUpdateProg = false;  // IsAutoUpdateProg
  bool traceEnabled = false;      // TraceEnabled: the agent log writes
  std::string stubClassName = "VantorStub";
  std::string agentLogTag = "   ";
  std::string ownPath;
  package::TGFileInfo* ownFileInfo = nullptr;  // OwnFileInfo, owned by the main body
  // A spanned launcher waits for its "Y_" copy and ends with its code.
  bool ranSpanCopy = false;
  bool spanCopyStarted = false;
  int spanCopyExitCode = 0;
};

StubState& State();

// Appends one line to the agent log (nothing unless traceEnabled).
void AgentLog(std::string_view text);

}  // namespace startup
