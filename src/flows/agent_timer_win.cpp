#include "flows/agent_timer_win.h"

#include "agent/update_agent.h"
#include "flows/setup_run_win.h"
#include "http/download_abort.h"
#include "http/inet_http.h"
#include "package/file_info.h"
#include "package/token.h"
#include "package/work_folder.h"
#include "platform/file.h"
#include "startup/agent_control.h"
#include "startup/agent_session.h"
#include "startup/main_window_win.h"
#include "startup/run_mode.h"
#include "startup/stub_progress_win.h"
#include "startup/stub_state.h"
#include "system/files.h"
#include "system/process_viewer.h"
#include "trust/update_signature.h"
#include "ui/inform_window.h"
#include "ui/message_box.h"
#include "util/system_info.h"
#include "util/text.h"
#include "vars/install_vars.h"

namespace flows {

namespace {

// The product's process is looked up by its file name as well, as the
// process list of newer systems names programs without their folder.
constexpr bool kFullPathOnly = false;

class WinAgentHost : public agent::AgentHost {
public:
  explicit WinAgentHost(agent::Descriptors& d) : d_(d) {}

  bool Ask(const std::string& markup) override {
    return ui::AskYesNo(ui::kModePlain, markup, d_.Confirm(), 0, Charset(), d_.BtnText());
  }
  void Notice(const std::string& markup) override {
    ui::ShowAttentionBox(ui::kModePlain, markup, d_.Attention(), 0, Charset(), d_.BtnText());
  }
  void ShowError(const std::string& markup) override {
    ui::ShowErrorBox(ui::kModePlain, markup, d_.Error(), Charset(), d_.BtnText());
  }
  void SetBoxFont(const std::string& face, int points, int charset) override {
    ui::SetMessageBoxFont(face, points, charset);
  }
  bool ShowInformWindow(const std::string& title, const std::string& button, int charset,
                        int fontSize, const std::string& fontFace, int height, int width,
                        const std::string& link, const std::string& text) override {
    return ui::ShowInformWindow(reinterpret_cast<std::uintptr_t>(startup::MainWindow()), title,
                                button, charset, fontSize, fontFace,
                                charset == 177 || charset == 178, height, width, link,
                                text) != 0;
  }

  void Pump(int ms) override { ui::WaitPumping(ms); }
  void ShowStubWindow(bool visible) override {
    ShowWindow(startup::MainWindow(), visible ? SW_SHOW : SW_HIDE);
  }
  void SetProgressCaption(const std::string& text) override {
    startup::SetStatusText(startup::StatusLabel(), text, d_.FontName(), Charset(),
                           static_cast<int>(d_.FontSize()));
  }
  void ShowCopyProgress() override {
    startup::StubProgress(0, 10, 1, 0);
    for (int i = 0; i < 10; ++i) {
      startup::StubProgress(1, 10, 1, 0);
      ui::WaitPumping(300);
    }
    startup::StubProgress(0, 10, 1, 0);
  }
  void Notify(int code, std::intptr_t value) override {
    startup::NotifyListener(static_cast<std::uintptr_t>(code), value);
  }
  void Quit() override { PostQuitMessage(0); }
  void EndAgent() override { PostMessageA(startup::MainWindow(), WM_DESTROY, 0, 0); }

  bool IsFile(const std::string& path) override { return platform::FileExists(path); }
  bool ReadFile(const std::string& path, std::string& content, std::size_t limit) override {
    return platform::ReadWholeFile(path, content, limit);
  }
  bool WriteFile(const std::string& path, std::string_view content) override {
    return platform::WriteWholeFile(path, content);
  }
  bool CopyOver(const std::string& from, const std::string& to) override {
    const std::string part = to + ".part";
    if (CopyFileA(from.c_str(), part.c_str(), FALSE) &&
        MoveFileExA(part.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING))
      return true;
    DeleteFileA(part.c_str());
    return false;
  }
  void RemoveFile(const std::string& path) override { DeleteFileA(path.c_str()); }
  void RemovePartialDownloads(const std::string& target) override {
    http::DeleteTemporaryFiles(target, std::string());
  }
  // Read sharing only: the unpacking reads it again, no one may write,
  // rename or delete it (and an open for writing fails the hold).
  bool HoldFile(const std::string& path) override {
    ReleaseFile();
    held_ = HoldUnchanged(path);
    return held_ != INVALID_HANDLE_VALUE;
  }
  void ReleaseFile() override {
    if (held_ != INVALID_HANDLE_VALUE) CloseHandle(held_);
    held_ = INVALID_HANDLE_VALUE;
  }

  bool IsOnline(std::string& why) override { return http::IsInternetConnected(why); }
  void Download(bool withWindow, const std::string& url, const std::string& target,
                const http::DownloadRequest& request, std::string& error, std::string& content,
                http::DownloadAnswer& answer) override {
    http::HTTP_DownloadFile(withWindow ? startup::MainWindow() : nullptr, url, target, error,
                            startup::StubProgressObject(), content, request, &answer);
  }
  bool DownloadAborted() override { return http::IsDownloadAborted(); }
  void ClearDownloadAbort() override { http::SetDownloadAbort(false); }
  std::string SetupToken(const std::string& path) override {
    const package::TGFileInfo info(path);
    if (info.IsDamaged()) return {};
    const std::string raw = info.UpdateToken(false);
    return raw.empty() ? std::string() : package::UnscrambleToken(raw);
  }

  bool SignatureMatches(const std::string& keyHex, const std::string& content,
                        const std::string& signature) override {
    return trust::SignatureMatches(keyHex, content, signature);
  }
  std::string FileSha256(const std::string& path) override { return trust::FileSha256(path); }
  std::string UtcDate() override {
    SYSTEMTIME t;
    GetSystemTime(&t);
    auto two = [](int v) { return std::string(1, char('0' + v / 10)) + char('0' + v % 10); };
    return util::IntToStr(t.wYear) + "-" + two(t.wMonth) + "-" + two(t.wDay);
  }

  std::string ExpandInstallVariables(const std::string& text, const std::string& targetDir,
                                     const std::string& sharedDir,
                                     const std::string& auxiliaryDir) override {
    vars::SetInstallFolders(targetDir, sharedDir, auxiliaryDir);
    std::string result;
    vars::ExpandVariables(text, "", false, result);
    return result;
  }
  bool IsRunning(const std::string& program) override { return sys::IsProcessRunning(program); }
  void PostClose(const std::string& program) override {
    sys::CloseMainWindow(program, kFullPathOnly, 0);
  }
  void PostQuit(const std::string& program) override {
    sys::QuitMainWindow(program, kFullPathOnly);
  }
  void Terminate(const std::string& program) override {
    sys::TerminateByName(program, kFullPathOnly);
  }
  void WaitGone(const std::string& program, int ms) override {
    sys::WaitProcessGone(program, ms);
  }
  // Not WinExec: it returns only once the new process reads its message
  // queue, which the plain agent never does while it waits to take over.
  void StartProgram(const std::string& path) override {
    Start(startup::ProgramCommandLine(path, ""), SW_SHOW);
  }
  void StartHidden(const std::string& commandLine) override { Start(commandLine, SW_HIDE); }

  bool RunSetup(const std::string& setupFile, const std::string& agentFileName,
                bool withUserInterface, const std::string& extraSwitch) override {
    const std::string workFolder = package::GetWorkFolder();
    RunSetupPackage(workFolder, setupFile, agentFileName, withUserInterface, extraSwitch);
    const package::EngineRun run = LastEngineRun();
    // The engine's exit code is the setup's verdict, not the agent's: the
    // agent itself still ends with 0.
    const int engineExit = TakeSetupExitCode();
    sys::RemoveFolderTree(workFolder, false);
    startup::AgentLog(std::string("Setup result: handshake ") + util::BoolText(run.atomTaken) +
                      ", exit code " + util::IntToStr(engineExit) + ", rule " +
                      package::EngineResultName(run.rule));
    return package::UpdateSucceeded(run);
  }

  std::uint32_t TickCount() override { return GetTickCount(); }
  bool DiagnosticMode() override {
    return util::ReadRegistryValue(agent::kTestModeKey, "Diagnostics", "0", false) == "1";
  }

private:
  int Charset() { return static_cast<int>(d_.CharSet()); }
  static void Start(const std::string& commandLine, WORD show) {
    if (HANDLE process = RunProgram(commandLine, show)) CloseHandle(process);
  }
  agent::Descriptors& d_;
  HANDLE held_ = INVALID_HANDLE_VALUE;
};

}  // namespace

void OnAgentTimer(HWND) {
  startup::AgentSession& s = startup::Agent();
  static WinAgentHost host(s.descriptors);
  static agent::UpdateAgent updateAgent(s.descriptors, s.eligibility, s.values, host, s.log,
                                        s.place);
  updateAgent.OnAgentTimer();
}

}  // namespace flows
