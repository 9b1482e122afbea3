// The agent's process-wide objects: its two descriptors beside the own
// executable, the eligibility test with its test mode, and the timer's
// values. Built on first use from the own package; the window's control
// messages, the relay and the check timer all work on these same objects.
// Windows build only.
#pragma once

#include "agent/descriptors.h"
#include "agent/eligibility.h"
#include "agent/services.h"
#include "agent/update_agent.h"

namespace startup {

struct AgentSession {
  agent::IniFileSettings store;
  agent::TraceLogSink log;
  agent::Descriptors descriptors;
  agent::Eligibility eligibility;
  agent::AgentValues values;
  agent::AgentPlace place;

  AgentSession();
};

AgentSession& Agent();

}  // namespace startup
