// The setup road, from the stub window's first timer tick to the end of the
// setup engine.
#pragma once

#include <windows.h>

#include <string>

#include "flows/failure_report.h"
#include "package/engine_result.h"
#include "package/file_info.h"

namespace flows {

// Runs the whole road and ends the window's message loop.
void OnSetupTimer(HWND mainWindow);

// Unpacks `packageFile` into `workFolder` and runs its engine; true when the
// engine succeeded by the package's rule (package/engine_result.h): it took
// the launch atom away, or ended with 0 or 3010 under the exit-code rule.
bool RunSetupPackage(std::string workFolder, const std::string& packageFile,
                     const std::string& agentFileName, bool foreground,
                     const std::string& extraArgs);

// What the last RunSetupPackage saw of its engine (not started when the
// run ended before it).
package::EngineRun LastEngineRun();

HANDLE RunProgram(const std::string& commandLine, WORD showMode);
// Opens `path` for reading with read sharing only: until the handle is
// closed no one can write, rename or delete the file, so the bytes checked
// are the bytes unpacked. INVALID_HANDLE_VALUE when that fails (the file is
// missing, or open for writing elsewhere).
HANDLE HoldUnchanged(const std::string& path);
void WaitForProcess(HANDLE process);
bool TempSpaceOk(const std::string& folder, const std::string& packageFile);
bool ForcePromptOn();

// Start-up: true when `info` (the own file's) is a package the run may obey.
// Without the trailer's magic number its fields mean nothing: that is a
// damaged package, reported as such. A run whose package is another file
// ("/SpanDiskFName1=") has that file checked by RunSetupPackage instead.
bool OwnPackageUsable(const package::TGFileInfo& info);

}  // namespace flows
