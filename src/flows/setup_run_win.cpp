#include "flows/setup_run_win.h"

#include "flows/download_road.h"
#include "flows/download_road_win.h"
#include "package/file_info.h"
#include "package/setup_command.h"
#include "package/unpack_win.h"
#include "package/work_folder.h"
#include "platform/file.h"
#include "startup/main_window_win.h"
#include "system/files.h"
#include "startup/stub_state.h"
#include "ui/message_box.h"
#include "util/switches.h"
#include "util/system_info.h"
#include "util/text.h"
#include "util/trace.h"

namespace flows {

using namespace package;

namespace {

constexpr char kButtons[] = "|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|";
int g_exitCode = 0;

std::string Pid() { return util::IntToStr(GetCurrentProcessId()); }

std::string PackageText(const void* info, std::string_view key, std::string_view def) {
  return static_cast<const TGFileInfo*>(info)->LangString(key, def);
}

bool AskTempSpace(const std::string& folder, const TGFileInfo& info) {
  SpaceFacts facts;
  facts.folder = folder;
  facts.required = info.SpaceRequired(folder);
  facts.available = util::GetDiskFree(folder);
  facts.alwaysReportTempDrive = info.AlwaysReportTempDrive();
  const std::string question = TempSpaceQuestion(facts, &PackageText, &info);
  if (question.empty()) return true;
  return ui::AskOkCancel(1, question, info.LangString("Confirm", "Confirm"), info.Charset(),
                         info.LangString("BtnText", kButtons));
}

void UnpackProgressToWindow(int kind, int, int high, int, int step, int position) {
  startup::StubProgress(kind, high, step, position);
}

}  // namespace

int SetupExitCode() { return g_exitCode; }

HANDLE RunProgram(const std::string& commandLine, WORD showMode) {
  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESHOWWINDOW;
  si.wShowWindow = showMode;
  PROCESS_INFORMATION pi{};
  std::string command = commandLine;
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                      &pi))
    return nullptr;
  CloseHandle(pi.hThread);
  return pi.hProcess;
}

void WaitForProcess(HANDLE process) {
  DWORD code = 0;
  while (GetExitCodeProcess(process, &code) && code == STILL_ACTIVE) ui::WaitPumping(500);
}

bool TempSpaceOk(const std::string& folder, const std::string& packageFile) {
  TGFileInfo info(packageFile);
  return info.SpaceRequired(folder) < util::GetDiskFree(folder) && sys::IsFolder(folder);
}

bool ForcePromptOn() {
  return util::ReadRegistryValue("HKEY_CURRENT_USER\\Software\\Kelvane\\Vantor\\SpanDisk",
                                 "ForcePrompt", "0", false) == "1";
}

bool RunSetupPackage(std::string workFolder, const std::string& packageFile,
                     const std::string& agentFileName, bool foreground,
                     const std::string& extraArgs) {
  bool result = false;
  TGFileInfo info(packageFile);
  if (info.ShowSecondBar()) ShowWindow(startup::SecondBar(), SW_SHOW);
  startup::SetStatusText(startup::StatusLabel(), info.LangString("s1", "Extracting Files..."),
                         info.FontName(), info.Charset(), info.FontSize());
  if (!TempSpaceOk(workFolder, packageFile) && FindBetterTempDrive())
    workFolder = GetAltWorkFolder();
  util::WriteTraceLine(std::string("========= ForegroundOp=") + (foreground ? "TRUE" : "FALSE") +
                       " ==========");
  bool unpacked = false;
  UnpackResult unpack;
  if (!foreground || AskTempSpace(workFolder, info)) {
    UnpackRequest request;
    request.packageFile = packageFile;
    request.targetFolder = workFolder;
    request.agentName = agentFileName;
    request.alwaysPrompt = ForcePromptOn();
    request.charset = info.Charset();
    request.buttons = info.LangString("BtnText", kButtons);
    request.caption = info.LangString("Attention", "Attention");
    request.diskPrompt = info.LangString(
        "s8", "Please insert <B>DISK #<DISK_NUM></B> and press OK to continue");
    request.progress = &UnpackProgressToWindow;
    if (foreground) ShowWindow(startup::MainWindow(), SW_SHOW);
    ui::WaitPumping(1000);
    Win32UnpackHost host;
    unpack = ExtractPackage(request, host);
    unpacked = true;
    ui::WaitPumping(1000);

    // A file that could not be written whole (the user has been told) would
    // leave the engine working on truncated files.
    if (!unpack.engineEntry.empty() && !AbortExtraction() && unpack.intact &&
        SaveErrorCount() == 0) {
      EngineLaunch launch;
      launch.workFolder = workFolder;
      launch.launchText = unpack.engineEntry;
      launch.extraArgs = extraArgs;
      launch.launchToken = "_" + util::IntToStr(GetCurrentThreadId());
      launch.ownPath = startup::State().ownPath;
      launch.isAutoUpdateProg = startup::State().isAutoUpdateProg;
      const std::string command = EngineCommandLine(launch);

      const std::string original = GetOriginalDescriptorPath();
      const std::string startUpLink =
          util::ReadIniString(original, "UnInstall", "StartUpLink", "");
      const std::string checkLink =
          util::ReadIniString(original, "UnInstall", "CheckforNewUpdateLink", "");
      util::WriteTraceLine(Pid() + " ==== WinExec(Engine.exe) >>" + command + "<<");
      const std::string atomName = "AutoUpdateAtomTokenByVantor" + launch.launchToken;
      GlobalAddAtomA(atomName.c_str());

      HANDLE engine = RunProgram(command, foreground ? SW_SHOW : SW_HIDE);
      ShowWindow(startup::MainWindow(), SW_HIDE);
      ui::WaitPumping(1000);
      DWORD code = 0;
      if (engine) {
        WaitForProcess(engine);
        GetExitCodeProcess(engine, &code);
        CloseHandle(engine);
      }
      g_exitCode = static_cast<int>(code);

      const std::string dialogClass = ".SDialog_Class_Name." + launch.launchToken;
      while (FindWindowA(dialogClass.c_str(), nullptr)) {
        ui::YieldX();
        Sleep(100);
      }
      ui::WaitPumping(1000);
      const ATOM atom = GlobalFindAtomA(atomName.c_str());
      result = atom == 0;
      if (atom) GlobalDeleteAtom(atom);
      if (result) {
        const std::string infoFile = util::JoinPath(util::FolderOf(startup::State().ownPath),
                                                    info.UpdateInfoName());
        auto removeIf = [&](const char* key, const std::string& link) {
          if (util::ReadIniString(infoFile, "NewSetup", key, "0") == "1" && !link.empty() &&
              GetFileAttributesA(link.c_str()) != INVALID_FILE_ATTRIBUTES)
            DeleteFileA(link.c_str());
        };
        removeIf("RemoveStartUpShortcut", startUpLink);
        removeIf("RemoveCheckForNewUpdateShortcut", checkLink);
      }
    }
  }
  if (unpacked && !unpack.intact)
    ui::ShowErrorBox(1,
                     info.LangString("s7", "Bad CRC!<P>This indicates that your setup file "
                                           "might be corrupted..."),
                     info.LangString("Error", "Error"), info.Charset(),
                     info.LangString("BtnText", kButtons));
  RemoveAltWorkFolder();
  return result;
}

void OnSetupTimer(HWND mainWindow) {
  KillTimer(mainWindow, 1);
  const startup::StubState& s = startup::State();
  const TGFileInfo& own = *s.ownFileInfo;
  const std::string agentFileName = own.CarryAgent() ? own.AgentFileName() : std::string();
  if (own.UseDownloadRoad()) {
    if (own.CarryAgent() && !own.AgentFileName().empty())
      WriteAgentExecutable(GetWorkFolder(), own.AgentFileName());
    const std::string stubFolder = util::FolderOf(s.ownPath);
    const std::string setupName = own.DownloadFileName();
    const bool beside = platform::FileExists(util::JoinPath(stubFolder, setupName));
    DownloadRoad(GetWorkFolder(), ChooseDownloadSource(own, stubFolder, beside), setupName);
  } else {
    std::string packageFile = util::SwitchValue("/SpanDiskFName1=", "");
    if (packageFile.empty()) packageFile = s.ownPath;
    const bool foreground = !(util::SwitchPresent("/hide") || own.RunHidden());
    RunSetupPackage(GetWorkFolder(), packageFile, agentFileName, foreground,
                    util::ArgumentTail());
  }
  sys::RemoveFolderTree(GetWorkFolder(), false, nullptr);
  PostQuitMessage(0);
}

}  // namespace flows
