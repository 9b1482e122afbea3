// The stub's entry: start lines, the package information of the own file,
// the run mode, exit lines. The process exit code is the setup engine's.
#include <windows.h>

#include "flows/agent_timer_win.h"
#include "flows/exit_codes.h"
#include "flows/setup_run_win.h"
#include "http/inet_http.h"
#include "package/file_info.h"
#include "startup/main_window_win.h"
#include "startup/stub.h"
#include "startup/stub_state.h"
#include "util/debug_channel.h"
#include "util/switches.h"
#include "util/system_info.h"
#include "util/text.h"
#include "util/trace.h"

int main() {
  using namespace startup;
  util::StartDebugChannel();
  util::PreloadSystemLibraries();
  StubState& s = State();
  const util::CommandLine cl = util::ProcessCommandLine();
  const std::string pid = util::IntToStr(GetCurrentProcessId());
  s.ownPath = cl.programPath;

  util::WriteTraceLine(pid + " ==== STUB START ====> " + cl.text + "<");
  auto* info = new package::TGFileInfo(s.ownPath);
  s.ownFileInfo = info;
  s.isAutoUpdateProg = info->IsUpdateAgent();
  s.traceEnabled = s.isAutoUpdateProg && info->AgentLog();
  if (ThisIs_X_AutoUpdate_Exe()) s.agentLogTag = " X ";

  AgentLog("");
  AgentLog("");
  AgentLog("=== START === " + s.ownPath);
  AgentLog("CommandLine=" + cl.text);
  AgentLog("Agent Version=" + util::GetExeVersion());
  util::WriteTraceLine(pid + " ==== ThisIs_AutoUpdateProg=" +
                       util::BoolText(s.isAutoUpdateProg));

  SetTimerWork(s.isAutoUpdateProg ? flows::OnAgentTimer : flows::OnSetupTimer);
  if (flows::OwnPackageUsable(*info)) DoRunStubWin();
  if (s.ranSpanCopy && !s.spanCopyStarted)
    flows::ReportFailure({flows::kExitEngineNotStarted, "the spanned setup's copy did not start", ""},
                         false);
  else if (s.ranSpanCopy)
    flows::SetSetupExitCode(s.spanCopyExitCode);

  s.ownFileInfo = nullptr;
  delete info;
  util::WriteTraceLine(pid + " ==== STUB END ====> " + cl.text + "<");
  util::WriteTraceLine("");
  AgentLog("=== EXIT === " + s.ownPath);
  AgentLog("");
  http::UnloadWinINet();
  return flows::SetupExitCode();
}
