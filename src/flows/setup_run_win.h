// The setup road, from the stub window's first timer tick to the end of the
// setup engine.
#pragma once

#include <windows.h>

#include <string>

namespace flows {

// Runs the whole road and ends the window's message loop.
void OnSetupTimer(HWND mainWindow);

// Unpacks `packageFile` into `workFolder` and runs its engine; true when the
// engine ran and took the launch atom away.
bool RunSetupPackage(std::string workFolder, const std::string& packageFile,
                     const std::string& agentFileName, bool foreground,
                     const std::string& extraArgs);

HANDLE RunProgram(const std::string& commandLine, WORD showMode);
void WaitForProcess(HANDLE process);
bool TempSpaceOk(const std::string& folder, const std::string& packageFile);
bool ForcePromptOn();

// The exit code the process ends with: the engine's, or 0.
int SetupExitCode();

}  // namespace flows
