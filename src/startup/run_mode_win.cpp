#include <windows.h>

#include "package/work_folder.h"
#include "startup/agent_session.h"
#include "startup/run_mode.h"
#include "startup/stub.h"
#include "startup/stub_state.h"
#include "system/self_removal.h"
#include "ui/message_box.h"
#include "util/switches.h"
#include "util/system_info.h"
#include "util/text.h"
#include "util/trace.h"

namespace startup {

namespace {


std::string AgentFileName() { return State().ownFileInfo->AgentFileName(); }

bool TopLevelWindowExists(const std::string& className) {
  return FindWindowA(className.c_str(), nullptr) != nullptr;
}

bool g_relaunchedCopy = false;

// A spanned launcher's copy learns it from the environment, and takes the
// mark away so that nothing it starts inherits it.
void TakeRelaunchMark() {
  g_relaunchedCopy = GetEnvironmentVariableA(kSpanRelaunchMark, nullptr, 0) != 0;
  SetEnvironmentVariableA(kSpanRelaunchMark, nullptr);
}

// A spanned setup never unpacks from the medium it was started from: it
// copies itself into the work folder, runs the copy at level 2, waits for
// it and ends with its exit code.
void RelaunchFromWorkFolderCopy() {
  const std::string& own = State().ownPath;
  const std::string copy = util::JoinPath(package::GetWorkFolder(), "Y_" + util::FileNameOf(own));
  CopyFileA(own.c_str(), copy.c_str(), FALSE);
  const util::CommandLine cl = util::ProcessCommandLine();
  const std::string args = SpanRelaunchArguments(util::ArgumentTail(cl), own);
  std::string command = ProgramCommandLine(copy, " " + args);
  util::WriteTraceLine("SpanRelaunch >>" + command + "<<");
  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESHOWWINDOW;
  si.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION pi{};
  SetEnvironmentVariableA(kSpanRelaunchMark, "1");
  const BOOL started = CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0,
                                      nullptr, nullptr, &si, &pi);
  SetEnvironmentVariableA(kSpanRelaunchMark, nullptr);
  State().ranSpanCopy = true;
  State().spanCopyStarted = started != FALSE;
  if (!started) return;
  CloseHandle(pi.hThread);
  while (WaitForSingleObject(pi.hProcess, 0) == WAIT_TIMEOUT) ui::WaitPumping(100);
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hProcess);
  State().spanCopyExitCode = static_cast<int>(code);
  util::WriteTraceLine("SpanRelaunch: the copy ended with " + util::IntToStr(code));
}

}  // namespace

bool X_ExeIsRunning() { return TopLevelWindowExists(XCopyClassName(AgentFileName())); }

bool ThisIs_Plain_AutoUpdate_Exe() {
  return State().isAutoUpdateProg && IsPlainAgentFile(State().ownPath, AgentFileName());
}

bool ThisIs_X_AutoUpdate_Exe() {
  return State().isAutoUpdateProg && IsXAgentFile(State().ownPath, AgentFileName());
}

bool IsSpanFirstLevel() {
  // However its command line came to say level 1, a launcher's copy never
  // starts another copy.
  return !g_relaunchedCopy && State().ownFileInfo->SpanCdLevel() &&
         util::SwitchNumber(util::ProcessCommandLine(), "/SpanCdLvl=", 1) == 1;
}

bool IsSpanSecondLevel() {
  return util::SwitchNumber(util::ProcessCommandLine(), "/SpanCdLvl=", 1) == 2;
}

void DoRunStubWin() {
  StubState& s = State();
  TakeRelaunchMark();
  AgentLog("DoRunStubWin() --- Start");
  s.stubClassName = StubClassNameFor(s.isAutoUpdateProg, s.ownPath);

  const bool xRunning = X_ExeIsRunning();
  const bool plainAgent = ThisIs_Plain_AutoUpdate_Exe();
  const bool xAgent = ThisIs_X_AutoUpdate_Exe();
  AgentLog(std::string("X_ExeIsRunning=") + util::BoolText(xRunning));
  AgentLog(std::string("ThisIs_Plain_AutoUpdate_Exe=") + util::BoolText(plainAgent));
  AgentLog(std::string("ThisIs_X_AutoUpdate_Exe=") + util::BoolText(xAgent));

  std::string mode;
  if (TopLevelWindowExists(s.stubClassName)) {
    mode = "second instance";
  } else if (plainAgent) {
    mode = "installed agent";
    CreateAndRun_X_Exe();
  } else if (xAgent) {
    mode = "agent working copy";
    // The overrides the plain agent got as "/TRANSIENT=" arrive here.
    const std::string transient = util::SwitchValue("/TRANSIENTx=", "");
    if (!transient.empty()) {
      Agent().descriptors.OverridesFromText(transient);
      AgentLog("TRANSIENTx=" + Agent().descriptors.OverridesToText());
    }
    AgentLog("CheckTestMode");
    AgentLog("WinMain");
    WinMain();
    AgentLog("DeleteMySelf");
    sys::DeleteSelf(false, !util::IsNT());
  } else if (IsSpanFirstLevel()) {
    mode = "spanned relaunch";
    RelaunchFromWorkFolderCopy();
  } else {
    mode = IsSpanSecondLevel() ? "spanned setup, second level" : "setup";
    WinMain();
    if (IsSpanSecondLevel()) sys::DeleteSelf(true, !util::IsNT());
  }
  util::WriteTraceLine(util::IntToStr(GetCurrentProcessId()) + " ==== RunMode=" + mode);
  // Also as a second instance: a running copy still gets the switches.
  if (plainAgent) HandleParamOK(xRunning);
  AgentLog("DoRunStubWin() --- End");
}

}  // namespace startup
