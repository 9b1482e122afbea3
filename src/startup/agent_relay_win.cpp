// The installed agent never works in place: it makes its "X_" copy, starts
// it and passes its control switches on to the copy's window.
#include <windows.h>

#include <climits>

#include "platform/file.h"
#include "startup/agent_control.h"
#include "startup/agent_session.h"
#include "startup/main_window_win.h"
#include "startup/run_mode.h"
#include "startup/stub.h"
#include "startup/stub_state.h"
#include "ui/message_box.h"
#include "util/switches.h"
#include "util/text.h"
#include "util/trace.h"

namespace startup {

namespace {

std::string Pid() {
  return util::IntToStr(GetCurrentProcessId());
}

std::string AgentFileName() {
  const StubState& s = State();
  return s.ownFileInfo ? s.ownFileInfo->AgentFileName() : std::string();
}

// Waits until the copy's window is up, at most 3 s: the switches are posted
// to that window.
void WaitForCopyWindow(const std::string& copy) {
  const DWORD start = GetTickCount();
  do {
    ui::WaitPumping(200);
  } while (!FindAgentCopyWindow(copy) && GetTickCount() - start < 3000);
}

} // namespace

void CreateAndRun_X_Exe() {
  const StubState& s = State();
  AgentLog("CreateAndRun_X_Exe() --- Start");
  const std::string forceNew = util::SwitchValue("/_ZZ=", "");
  util::WriteTraceLine(Pid() + " CreateAndRun_X_Exe-1 " + forceNew);
  const bool run = s.isAutoUpdateProg && !(X_ExeIsRunning() && forceNew != "99") &&
                   IsPlainAgentFile(s.ownPath, AgentFileName());
  if (run) {
    util::WriteTraceLine(Pid() + " CreateAndRun_X_Exe-2");
    const std::int64_t seconds = util::SwitchNumber("/WAIT=", 0);
    AgentLog("Wait " + util::IntToStr(seconds) + " SEC");
    if (seconds > 0)
      ui::WaitPumping(static_cast<int>(seconds < INT_MAX / 1000 ? seconds * 1000 : INT_MAX));

    const std::string copy = XCopyPath(s.ownPath);
    CopyFileA(s.ownPath.c_str(), copy.c_str(), FALSE);
    AgentLog("Create X_ File ");
    const std::string command =
        ProgramCommandLine(copy, XCopyArguments(util::SwitchValue("/TRANSIENT=", ""),
                                                util::SwitchValue("/DELAY=", "")));
    AgentLog("WinExec: " + command);
    WinExec(command.c_str(), SW_HIDE);
    if (!util::ArgumentTail().empty()) WaitForCopyWindow(copy);
  }
  AgentLog("CreateAndRun_X_Exe() --- End");
}

bool HandleParamOK(bool xExeWasRunning) {
  AgentLog("HandleParamOK() --- Start");
  const std::string target = XCopyPath(State().ownPath);
  const bool exists = platform::FileExists(target);
  bool posted = false;

  const std::int64_t stop = util::SwitchNumber("/STOP=", -1);
  if (stop >= 0 && exists) {
    AgentLog("PostProcessMessage(wm_ShutDown) to: " + target);
    posted |= PostToProcessWindow(target, kMsgStopRequest, static_cast<std::uintptr_t>(stop), 0);
  }
  const std::string listener = util::SwitchValue("/WM_MSG=", "");
  if (!listener.empty() && exists) {
    const ListenerAddress a = ParseListenerSwitch(listener);
    AgentLog("PostProcessMessage(wm_LocalMsg) to: " + target + " - " + listener);
    posted |=
        PostToProcessWindow(target, kMsgRegisterListener, static_cast<std::uintptr_t>(a.window),
                            static_cast<std::intptr_t>(a.message));
  }
  const std::int64_t test = util::SwitchNumber("/TEST=", -1);
  if (test >= 0 && exists) {
    AgentLog("PostProcessMessage(wm_AgentMsg) to: " + target + " - " + "AU_PerformUpdateCycle (" +
             util::IntToStr(test) + ")");
    posted |= PostToProcessWindow(target, kMsgAgentCommand, 31, static_cast<std::intptr_t>(test));
    // A copy started just for this check ends after it.
    if (!xExeWasRunning && test > 0) posted |= PostToProcessWindow(target, kMsgStopRequest, 2, 0);
  }
  const std::string transient = util::SwitchValue("/TRANSIENTx=", "");
  if (!transient.empty()) Agent().descriptors.OverridesFromText(transient);

  AgentLog("HandleParamOK() --- End");
  return posted;
}

} // namespace startup
