#include "flows/download_road_win.h"

#include <windows.h>

#include "http/download_abort.h"
#include "http/error_page.h"
#include "http/inet_http.h"
#include "flows/download_road.h"
#include "flows/exit_codes.h"
#include "flows/failure_report.h"
#include "package/file_info.h"
#include "flows/setup_run_win.h"
#include "package/unpack_win.h"
#include "platform/file.h"
#include "startup/main_window_win.h"
#include "startup/stub_progress_win.h"
#include "startup/stub_state.h"
#include "trust/update_signature.h"
#include "ui/message_box.h"
#include "util/switches.h"
#include "util/system_info.h"
#include "util/text.h"

namespace flows {

using namespace package;

namespace {

constexpr char kButtons[] = "|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|";

std::string OwnImage(const std::string& path) {
  std::string image;
  platform::ReadWholeFile(path, image);
  return image;
}

std::string WithBackslash(std::string folder) {
  if (folder.empty() || folder.back() != '\\') folder += '\\';
  return folder;
}

} // namespace

void WriteAgentExecutable(const std::string& workFolder, const std::string& agentFileName) {
  const std::string& own = startup::State().ownPath;
  CreateDirectoryA(workFolder.c_str(), nullptr);
  Win32UnpackHost().WriteNewFile(workFolder + "\\" + agentFileName,
                                 AgentExecutableImage(OwnImage(own)), own);
}

std::string DownloadRoad(const std::string& workFolder, const std::string& source,
                         const std::string& setupFileName) {
  const TGFileInfo& own = *startup::State().ownFileInfo;
  std::string error;
  int exitCode = kExitCancelled; // for "!", the question declined
  bool downloaded = false;
  const bool hidden = util::SwitchPresent("/hide") || own.RunHidden();
  const std::string buttons = own.LangString("BtnText", kButtons);

  std::string setupFile = WithBackslash(source) + setupFileName;
  const std::string url = SetupUrl(source, setupFileName);
  if (!platform::FileExists(setupFile)) {
    startup::SetStatusText(startup::StatusLabel(), own.LangString("s10", "Downloading File..."),
                           own.FontName(), own.Charset(), own.FontSize());
    if (own.AskBeforeDownload() && !hidden) {
      const std::string question = DownloadQuestion(
          own.LangString("s11",
                         "<b>INTERNET DOWNLOAD</b><p><p>Vantor will download the Setup File "
                         "from the Internet...<p>Please make sure your Internet connection is "
                         "properly set.<p><p>Continue with Setup?<p><P>Size: <SIZE> MB<P>"),
          own.DownloadSize());
      if (!ui::AskOkCancel(1, question, own.LangString("Confirm", "Confirm"), own.Charset(),
                           buttons))
        error = "!";
    }
    std::string why;
    if (!http::IsInternetConnected(why)) {
      error = own.LangString("s12", "No valid Internet Connection.<p>Can not Download File!");
      if (!why.empty()) error += "<P><P>" + why;
      exitCode = kExitNoConnection;
    }
    http::SetDownloadAbort(false);
    setupFile = util::SystemTempFolder() + setupFileName;
    HWND window = hidden ? nullptr : startup::MainWindow();
    http::TProgBar* progress = startup::StubProgressObject();
    if (error.empty()) {
      std::string content;
      http::DownloadAnswer answer;
      http::HTTP_DownloadFile(window, url, setupFile, error, progress, content,
                              SetupDownloadRequest(own.DownloadSize()), &answer);
      exitCode = DownloadExitCode(answer.failure);
    }
    if (error.empty()) {
      downloaded = true;
      ui::WaitPumping(300);
      startup::StubProgress(0, 10, 1, 0);
      ui::WaitPumping(700);
    }
  }
  // Held from before its checks to the end of the run: a file swapped on
  // the share meanwhile would run unchecked.
  HANDLE held = INVALID_HANDLE_VALUE;
  if (error.empty() && (held = HoldUnchanged(setupFile)) == INVALID_HANDLE_VALUE) {
    error = "The setup file is open for writing elsewhere.";
    exitCode = kExitWrongSetup;
  }
  if (error.empty()) {
    TGFileInfo setup(setupFile);
    if (!SameToken(setup, own)) {
      std::string head;
      http::MakeNotFoundMessage(setupFile, head, url, error, false, "Bad Secret Token!");
      exitCode = error == "Bad Secret Token!" ? kExitWrongSetup : kExitHttpStatus;
    } else if (!IsExpectedSetup(own, trust::FileSha256, setupFile)) {
      error = own.LangString("SetupHashRefused",
                             "<B>Setup refused</B><P><P>The setup file is not the one this setup "
                             "was built for: its SHA-256 differs.<P><P>Nothing was installed.");
      exitCode = kExitWrongSetup;
    }
  }
  if (error.empty()) RunSetupPackage(workFolder, setupFile, "", !hidden, util::ArgumentTail());
  if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
  if (downloaded) DeleteFileA(setupFile.c_str());
  if (error == "!")
    ReportFailure({exitCode, "the download question was declined", ""}, !hidden);
  else if (!error.empty())
    ReportFailure({exitCode, "download road: " + error, error}, !hidden);
  return error;
}

} // namespace flows
