#include <windows.h>

#include "startup/agent_control.h"

namespace startup {

namespace {
HWND g_listener = nullptr;
UINT g_listenerMessage = 0;
int g_stopRequest = 0;
}  // namespace

void SetListener(std::uintptr_t window, std::uint32_t message) {
  g_listener = reinterpret_cast<HWND>(window);
  g_listenerMessage = message;
}

void NotifyListener(std::uintptr_t code, std::intptr_t value) {
  if (g_listener && g_listenerMessage) PostMessageA(g_listener, g_listenerMessage, code, value);
}

void SetStopRequest(int request) { g_stopRequest = request; }
int StopRequest() { return g_stopRequest; }

// The agent's commands arrive with the update cycle; until then none is
// known and each answers 0.
std::intptr_t RunAgentCommand(std::uintptr_t, std::intptr_t) { return 0; }

}  // namespace startup
