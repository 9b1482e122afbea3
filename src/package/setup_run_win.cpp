#include "package/setup_run_win.h"

#include "util/trace.h"

namespace package {

// The unpack-and-run road arrives with the unpacker; until then the first
// tick ends the run.
void OnSetupTimer(HWND mainWindow) {
  KillTimer(mainWindow, 1);
  util::WriteTraceLine("OnSetupTimer: no setup road in this build");
  PostQuitMessage(0);
}

}  // namespace package
