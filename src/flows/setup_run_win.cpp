#include "flows/setup_run_win.h"

#include "flows/download_road.h"
#include "flows/download_road_win.h"
#include "flows/exit_codes.h"
#include "package/engine_result.h"
#include "package/file_info.h"
#include "package/payload.h"
#include "package/payload_presence.h"
#include "package/setup_command.h"
#include "package/unpack_win.h"
#include "package/work_folder.h"
#include "platform/file.h"
#include "startup/main_window_win.h"
#include "startup/stub_state.h"
#include "system/files.h"
#include "ui/message_box.h"
#include "util/switches.h"
#include "util/system_info.h"
#include "util/text.h"
#include "util/trace.h"

namespace flows {

using namespace package;

namespace {

constexpr char kButtons[] = "|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|";

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

std::string SetupCannotContinue(const std::string& subject, const std::string& what) {
  return "<B>" + subject + "</B><P><P>" + what + "<P><P>Setup cannot continue.";
}

}  // namespace

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

HANDLE HoldUnchanged(const std::string& path) {
  return CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

namespace {

package::EngineRun g_engineRun;

// A plain process start; an engine that demands administrator rights (its
// own manifest) is started through the shell's "runas" verb instead, with
// the same command line and working folder. `error` is why neither worked.
HANDLE StartEngine(const std::string& command, WORD showMode, DWORD& error) {
  HANDLE process = RunProgram(command, showMode);
  error = GetLastError();
  if (process || !NeedsElevatedStart(error)) return process;
  util::WriteTraceLine(Pid() + " ==== The engine asks for elevation: runas");
  const ShellCommand shell = SplitCommandLine(command);
  SHELLEXECUTEINFOA sei{};
  sei.cbSize = sizeof sei;
  // No box of the shell's own: a failure is reported like any other start.
  sei.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
  sei.lpVerb = "runas";
  sei.lpFile = shell.file.c_str();
  sei.lpParameters = shell.parameters.c_str();
  sei.nShow = showMode;
  if (ShellExecuteExA(&sei) && sei.hProcess) return sei.hProcess;
  error = GetLastError();
  return nullptr;
}

}  // namespace

package::EngineRun LastEngineRun() { return g_engineRun; }

void WaitForProcess(HANDLE process) {
  // The process's end, not its exit code: an engine may well end with 259,
  // the code that also means "still running".
  while (WaitForSingleObject(process, 0) == WAIT_TIMEOUT) ui::WaitPumping(500);
}

bool TempSpaceOk(const std::string& folder, const std::string& packageFile) {
  TGFileInfo info(packageFile);
  return info.SpaceRequired(folder) < util::GetDiskFree(folder) && sys::IsFolder(folder);
}

bool ForcePromptOn() {
  return util::ReadRegistryValue("HKEY_CURRENT_USER\\Software\\Kelvane\\Vantor\\SpanDisk",
                                 "ForcePrompt", "0", false) == "1";
}

namespace {

std::string DamagedTrailerText(const std::string& packageFile) {
  return SetupCannotContinue(packageFile,
                             "The package is damaged: its trailer is missing or broken.");
}

// Why an unpacking started no engine, as the run's exit code. The unpacker
// has shown (or, hidden, traced) what it found; a bad checksum is told here.
void ReportUnpackFailure(const UnpackResult& unpack, const std::string& packageFile,
                         const TGFileInfo& info, bool foreground) {
  if (unpack.damaged || unpack.refusedName)
    ReportFailure({kExitDamagedPackage, "damaged package: " + packageFile, ""}, foreground);
  else if (!unpack.intact)
    ReportFailure({kExitBadChecksum, "bad checksum: " + packageFile,
                   info.LangString("s7", "Bad CRC!<P>This indicates that your setup file "
                                         "might be corrupted...")},
                  foreground);
  else if (SaveErrorCount() > 0)
    ReportFailure({kExitWriteFailed, "a file could not be written: " + packageFile, ""},
                  foreground);
  else if (unpack.cancelled && foreground)
    ReportFailure({kExitCancelled, "a disk prompt was cancelled", ""}, foreground);
  else if (unpack.cancelled)
    ReportFailure({kExitBadChecksum, "a volume is missing: " + packageFile, ""}, foreground);
}

}  // namespace

bool OwnPackageUsable(const TGFileInfo& info) {
  const std::string& own = startup::State().ownPath;
  // An agent is the stub and its header only: payload behind an agent byte
  // is no agent the builder or a setup wrote.
  if (info.IsUpdateAgent() && HasPayload(own)) {
    ReportFailure({kExitDamagedPackage, "damaged package (an agent with payload): " + own,
                   SetupCannotContinue(own, "The package is damaged: an update agent that "
                                            "carries payload.")},
                  !util::SwitchPresent("/hide"));
    return false;
  }
  if (!info.IsDamaged() || !util::SwitchValue("/SpanDiskFName1=", "").empty()) return true;
  ReportFailure({kExitDamagedPackage, "damaged package (no trailer): " + own,
                 DamagedTrailerText(own)},
                !util::SwitchPresent("/hide"));
  return false;
}

bool RunSetupPackage(std::string workFolder, const std::string& packageFile,
                     const std::string& agentFileName, bool foreground,
                     const std::string& extraArgs) {
  bool result = false;
  g_engineRun = {};
  TGFileInfo info(packageFile);
  // Without its magic number (or with an unknown version, or header blocks
  // that are not) a trailer's fields mean nothing: the file is a damaged
  // package (a missing file is the checksum's case below).
  if (info.IsDamaged()) {
    ReportFailure({kExitDamagedPackage, "damaged package (no trailer): " + packageFile,
                   DamagedTrailerText(packageFile)},
                  foreground);
    return false;
  }
  if (info.ShowSecondBar()) ShowWindow(startup::SecondBar(), SW_SHOW);
  startup::SetStatusText(startup::StatusLabel(), info.LangString("s1", "Extracting Files..."),
                         info.FontName(), info.Charset(), info.FontSize());
  if (!TempSpaceOk(workFolder, packageFile) && FindBetterTempDrive())
    workFolder = GetAltWorkFolder();
  util::WriteTraceLine(std::string("========= ForegroundOp=") + util::BoolText(foreground) +
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
    Win32UnpackHost host(foreground);
    unpack = ExtractPackage(request, host);
    unpacked = true;
    ui::WaitPumping(1000);

    // A file that could not be written whole (the user has been told) would
    // leave the engine working on truncated files.
    // A close request during unpacking leaves files incomplete: no engine.
    if (!unpack.engineEntry.empty() && !unpack.aborted && !AbortExtraction() && unpack.intact &&
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

      DWORD startError = 0;
      HANDLE engine = StartEngine(command, foreground ? SW_SHOW : SW_HIDE, startError);
      ShowWindow(startup::MainWindow(), SW_HIDE);
      EngineRun run;
      run.rule = info.EngineResultRule();
      run.started = engine != nullptr;
      if (engine) {
        ui::WaitPumping(1000);
        WaitForProcess(engine);
        DWORD code = 0;
        GetExitCodeProcess(engine, &code);
        CloseHandle(engine);
        run.exitCode = static_cast<int>(code);
        SetSetupExitCode(run.exitCode);
      } else {
        const std::string_view text = launch.launchText;
        const std::string engineFile =
            util::JoinPath(workFolder, util::Trim(text.substr(0, text.find('*'))));
        const std::string why = util::SystemErrorText(startError);
        ReportFailure({kExitEngineNotStarted, "engine not started: " + command + ": " + why,
                       SetupCannotContinue(engineFile,
                                           "The setup engine could not be started:<P>" + why)},
                      foreground);
      }

      const std::string dialogClass = ".SDialog_Class_Name." + launch.launchToken;
      while (FindWindowA(dialogClass.c_str(), nullptr)) {
        ui::YieldX();
        Sleep(100);
      }
      ui::WaitPumping(1000);
      const ATOM atom = GlobalFindAtomA(atomName.c_str());
      run.atomTaken = atom == 0;
      if (atom) GlobalDeleteAtom(atom);
      g_engineRun = run;
      result = SetupSucceeded(run);
      util::WriteTraceLine(Pid() + " ==== Engine result (" + EngineResultName(run.rule) +
                           "): " + util::BoolText(result));
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
  if (unpacked) ReportUnpackFailure(unpack, packageFile, info, foreground);
  else ReportFailure({kExitCancelled, "the space question was declined", ""}, foreground);
  RemoveAltWorkFolder();
  return result;
}

void OnSetupTimer(HWND mainWindow) {
  KillTimer(mainWindow, 1);
  const startup::StubState& s = startup::State();
  const TGFileInfo& own = *s.ownFileInfo;
  const std::string agentFileName = own.CarryAgent() ? own.AgentFileName() : std::string();
  if (own.UseDownloadRoad()) {
    const std::string setupName = own.DownloadFileName();
    // Both names become paths (in the work folder, in the temporary or the
    // source folder): they follow the rule for names inside a package.
    const bool agentUnsafe = !agentFileName.empty() && !IsSafeRelativeName(agentFileName);
    // An empty setup name is refused too: it would name the source folder.
    const std::string unsafe = agentUnsafe ? agentFileName : setupName;
    if (agentUnsafe || !IsSafeRelativeName(setupName)) {
      ReportFailure({kExitDamagedPackage, "unsafe file name refused: \"" + unsafe + "\"",
                   SetupCannotContinue(unsafe, "Unsafe file name refused")},
                  !(util::SwitchPresent("/hide") || own.RunHidden()));
    } else {
      if (!agentFileName.empty()) WriteAgentExecutable(GetWorkFolder(), agentFileName);
      const std::string stubFolder = util::FolderOf(s.ownPath);
      const bool beside = platform::FileExists(util::JoinPath(stubFolder, setupName));
      DownloadRoad(GetWorkFolder(), ChooseDownloadSource(own, stubFolder, beside), setupName);
    }
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
