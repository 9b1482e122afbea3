// The update cycle: ask, download the new setup, stop the product, run the
// setup, record the version, restart the product; and the relaunch of the
// agent after it.
#include "agent/update_agent.h"

#include "util/text.h"

namespace agent {

namespace {

// "Wait" of the shut-down methods: at most this long for the product to go.
constexpr int kShutDownWaitMs = 1000;

} // namespace

void UpdateAgent::StopProduct(const std::string& program) {
  const std::string method = d_.ShutDownMethod();
  if (method == kShutDownNone) return;
  if (method == kShutDownClose)
    host_.PostClose(program);
  else if (method == kShutDownQuit)
    host_.PostQuit(program);
  else if (method == kShutDownTerminate)
    host_.Terminate(program);
  // "Issue a Message Box" asked the user already; any other text only waits.
  host_.WaitGone(program, kShutDownWaitMs);
}

bool UpdateAgent::PerformAutoUpdate() {
  log_.Log("PerformAutoUpdate() - START");
  bool result = false;
  Trace(" ==== PerformAutoUpdate-4 ====");
  const std::string productName = d_.NewSetupProgramName();
  const bool userRequested = UserRequested();
  outcome_ = kHandled;

  if (!d_.DownloadURL_UPDATE().empty() && !d_.NameOfUpdateFile().empty() &&
      !UsableDownloadName(d_.NameOfUpdateFile())) {
    outcome_ = kFailed;
  } else if (!d_.DownloadURL_UPDATE().empty() && !d_.NameOfUpdateFile().empty()) {
    Trace(" ==== PerformAutoUpdate-5 ====");
    const bool force = d_.RequestConfirmationBeforeDownloadForce();
    const bool confirmInstall = d_.RequestConfirmationBeforeInstall();
    const std::string second = force ? Text(confirmInstall ? "s19" : "s18")
                                     : Text(confirmInstall ? "s13" : "s12");
    const std::string downloadText = WithProgName(Text("s11") + second, productName);

    bool go = true;
    if (d_.RequestConfirmationBeforeDownload() && !userRequested) {
      if (force)
        host_.Notice(downloadText);
      else
        go = host_.Ask(downloadText);
      host_.Pump(500);
    }

    if (go) {
      Trace(" ==== PerformAutoUpdate-6 ====");
      d_.SetAgentState(kAgentDownloading);
      Notify(41, 1);
      std::string error;
      bool ok = DownloadFileAU(d_.DownloadURL_UPDATE(), d_.NameOfUpdateFile(), kUpdateFile, error);
      Notify(41, 2);
      if (!ok) outcome_ = kFailed;

      const std::string installText = WithProgName(
          Text(d_.RequestConfirmationBeforeInstallForce() ? "s20" : "s14"), productName);
      if (ok && confirmInstall && !userRequested) {
        if (d_.RequestConfirmationBeforeInstallForce())
          host_.Notice(installText);
        else
          ok = host_.Ask(installText);
        host_.Pump(100);
      }

      const std::string setup = util::JoinPath(place_.folder, util::FileNameOf(d_.NameOfUpdateFile()));
      if (ok) {
        Trace(" ==== PerformAutoUpdate-7 ====");
        const std::string program = host_.ExpandInstallVariables(
            d_.RunningProcess(), d_.TargetDir(), d_.SharedDir(), d_.AuxiliaryDir());
        const bool wasRunning = host_.IsRunning(program);
        const std::string method = d_.ShutDownMethod();
        log_.Log("Shut Down Process() - START  (" + program + ")  Method: " + method);
        if (method == kShutDownMessageBox) {
          const std::string text = WithProgName(Text("s15"), util::FileNameOf(program));
          Trace("s1=" + text + "<");
          while (host_.IsRunning(program)) host_.Notice(text);
        }
        Trace(" ==== PerformAutoUpdate-8 ====");
        if (wasRunning) StopProduct(program);
        Trace(" ==== PerformAutoUpdate-9 ====");
        log_.Log(std::string("Shut Down Process() - END  Running before=") + util::BoolText(wasRunning) +
                 " after=" + util::BoolText(host_.IsRunning(program)));

        const std::string extra = "/OriginalInfoFile=\"" + d_.InfoFilePath() + "\"";
        d_.SetAgentState(kAgentRunningSetup);
        Notify(42, 1);
        Trace(" ==== PerformAutoUpdate-10 ====");
        result = host_.RunSetup(setup, place_.agentFileName, !d_.BackgroundUpdate(), extra);
        Trace(" ==== PerformAutoUpdate-11 ====");
        Notify(42, 2);

        // Whether the product went is asked after the setup: a program may
        // take longer than the wait to end, and a setup that started the
        // product itself must not get a second one.
        const bool stopped = wasRunning && !host_.IsRunning(program);
        const bool restart = d_.RestartProcess() && stopped;

        if (result) d_.SetVersionOriginal(d_.VersionNew());
        if (!result) outcome_ = kFailed;
        DropSetup(setup);

        const std::string finish = WithProgName(Text("s16"), productName);
        bool answer = true;
        if (result && (d_.InformFinish() || userRequested)) {
          if (restart)
            answer = host_.Ask(finish + WithProgName(Text("s17"), productName));
          else
            host_.Notice(finish);
        }
        Trace(" ==== PerformAutoUpdate-12 ====");
        Trace(std::string(util::BoolText(restart)) + " " + util::BoolText(answer) + " >" + program + "<");
        if (answer && restart) host_.StartProgram(program);
      } else if (host_.IsFile(setup)) {
        // Declined after the download: the setup is not kept for later.
        DropSetup(setup);
      }
    }
  }
  Trace(" ==== PerformAutoUpdate-13 ====");
  log_.Log(std::string("PerformAutoUpdate() - END    Result=") + util::BoolText(result));
  return result;
}

void UpdateAgent::ReStartAutoUpdateExe() {
  log_.Log(".. ReStartAutoUpdateExe() - Start");
  if (values_.restartDisabled <= 0) {
    // The plain agent, quoted: the folder may hold blanks.
    const std::string command = "\"" + util::JoinPath(place_.folder, place_.agentFileName) +
                                "\" /_ZZ=99 /WAIT=10 /TRANSIENT=" + d_.OverridesToText();
    log_.Log(".. WinExec - " + command);
    host_.StartHidden(command);
    host_.Pump(1000);
    log_.Log(".. PostMessage(WM_DESTROY)");
    host_.EndAgent();
  }
  log_.Log(".. ReStartAutoUpdateExe() - End");
}

} // namespace agent
