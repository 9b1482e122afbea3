// The agent's timer work on Windows: every tick of the stub window's timer
// runs one tick of the update agent against the running system.
#pragma once

#include <windows.h>

namespace flows {

void OnAgentTimer(HWND mainWindow);

}  // namespace flows
