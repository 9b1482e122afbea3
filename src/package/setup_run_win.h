// The setup road, from the stub window's first timer tick to the end of the
// setup engine.
#pragma once

#include <windows.h>

namespace package {

// Runs the whole road and ends the window's message loop.
void OnSetupTimer(HWND mainWindow);

}  // namespace package
