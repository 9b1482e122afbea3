// How other programs steer the agent's working copy: a listener window that
// gets notifications, a stop request, and agent commands.
#pragma once

#include <cstdint>

namespace startup {

// Listener: window handle and message number; notifications are posted only
// while both are set.
void SetListener(std::uintptr_t window, std::uint32_t message);
void NotifyListener(std::uintptr_t code, std::intptr_t value);

void SetStopRequest(int request);
int StopRequest();

// Runs agent command `command` with `value` and returns its result.
std::intptr_t RunAgentCommand(std::uintptr_t command, std::intptr_t value);

}  // namespace startup
