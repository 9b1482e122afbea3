// How other programs steer the agent's working copy: a listener window that
// gets notifications, a stop request, and agent commands; and how an agent
// process finds the copy's window to post them. Windows build only.
#pragma once

#include <cstdint>
#include <string>

#include "startup/agent_commands.h"

namespace startup {

// Listener: window handle and message number; notifications are posted only
// while both are set.
void SetListener(std::uintptr_t window, std::uint32_t message);
void NotifyListener(std::uintptr_t code, std::intptr_t value);

// The host the window's agent commands run on. Until one is set, the
// descriptors are the INI files beside the own executable and the values
// are this layer's (Requests(), the overrides, the tick counter).
void SetAgentCommandHost(AgentCommandHost* host);
// Runs agent command `command` with `value` on that host; returns its result.
std::intptr_t RunAgentCommand(std::uintptr_t command, std::intptr_t value);

// The main window of a running agent process started from `exePath`, found
// by the class an agent's window registers (".AutoUpdate." + its base name);
// 0 when none runs. The one place that decides which process is "the copy".
std::uintptr_t FindAgentCopyWindow(const std::string& exePath);
// Posts `message` to that window; true when there was one.
bool PostToProcessWindow(const std::string& exePath, std::uint32_t message, std::uintptr_t wParam,
                         std::intptr_t lParam);

} // namespace startup
