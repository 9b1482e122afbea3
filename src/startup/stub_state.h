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
};

StubState& State();

// Appends one line to the agent log (nothing unless traceEnabled).
void AgentLog(std::string_view text);

}  // namespace startup
