// The agent's timer: each tick decides whether to check; the check itself,
// the question before it, the news page and the .info-only download.
#include "agent/update_agent.h"

#include "agent/signed_descriptor.h"
#include "package/token.h"
#include "trust/update_signature.h"
#include "util/text.h"

namespace agent {

namespace {

constexpr char kTestModeNote[] =
    "<P><P><T><B>PLEASE NOTE</B> - You are now running in <B>Test Mode</B>!";

} // namespace

void RequestCycle(AgentValues& values, Eligibility& eligibility, std::int64_t mode) {
  eligibility.RequestForcedCheck();
  if (values.timerCount < 1) values.timerCount = 1;
  if (mode == 2) values.userRequest = 2;
}

UpdateAgent::UpdateAgent(Descriptors& descriptors, Eligibility& eligibility, AgentValues& values,
                         AgentHost& host, platform::LogSink& log, AgentPlace place)
    : d_(descriptors), e_(eligibility), values_(values), host_(host), log_(log),
      place_(std::move(place)) {}

std::string UpdateAgent::Text(const std::string& key) {
  return d_.AutoUpdateText(key);
}

std::string UpdateAgent::Pid() {
  return util::IntToStr(log_.ProcessId());
}

void UpdateAgent::Trace(const std::string& line) {
  log_.Trace(line);
}

void UpdateAgent::OnAgentTimer() {
  if (values_.tickGuard) return;
  values_.tickGuard = true;

  if (values_.justDownloadInfoFile) {
    Trace("-------------- JustDownloadInfoFile ---------------");
    values_.justDownloadInfoFile = false;
    JustDownloadInfoFile();
  } else {
    host_.SetBoxFont(d_.FontName(), static_cast<int>(d_.FontSize()),
                     static_cast<int>(d_.CharSet()));
    d_.SetAgentState(kAgentIdle);
    if (values_.userRequest == 2) values_.userRequest = 1;
    if (values_.userRequest == 1) values_.timerCount = 0;
    if (values_.remainingTicks == 0) host_.Quit();
    if (values_.remainingTicks >= 0) --values_.remainingTicks;
    ++values_.timerCount;
    Trace(Pid() + " AutoUpdateTimerCount=" + util::IntToStr(values_.timerCount));

    if (values_.timerCount >= 1) {
      e_.RefreshTestMode(false);
      int status = e_.ShotTimeStatus();
      Trace(Pid() + " ShotTimeStatus=" + util::IntToStr(status));
      if (status == kShotOnce) d_.SetShotsEnabled(false);
      if (status >= kShotNow && (UserRequested() || d_.AskBeforeCheck())) AskBeforeCheck(status);
      if (status >= kShotNow) PerformShot();
      if (values_.userRequest == 1) values_.userRequest = 0;
    }
  }
  d_.SetAgentState(kAgentIdle);
  values_.tickGuard = false;
}

void UpdateAgent::AskBeforeCheck(int& status) {
  const bool testMode = e_.RefreshTestMode(true);
  const std::string location = testMode ? e_.TestModeURL() : place_.descriptorLocation;
  std::string text = Text("s22");
  if (!(location.size() < 2 || location[1] == ':')) text += Text("s23");
  text += Text("s24");
  if (testMode) text += kTestModeNote;
  if (!host_.Ask(WithProgName(text, d_.ProgramName()))) status = kShotNone;
}

bool UpdateAgent::JustDownloadInfoFile() {
  Notify(40, 1);
  std::string error;
  const bool ok = DownloadFileAU(place_.descriptorLocation, d_.InfoFilePath(), kInfoFile, error);
  Notify(40, 2);
  return ok;
}

void UpdateAgent::PerformShot() {
  Trace(Pid() + " Fire  " + AgentTimeText(e_.NowSeconds()));
  const std::uint32_t start = host_.TickCount();
  e_.RefreshTestMode(true);
  d_.SetAgentState(kAgentChecking);
  Notify(40, 1);
  std::string infoError;
  const std::string setupBefore = d_.NameOfUpdateFile();
  const std::string newsBefore = d_.NameOfInformFile();
  const bool ok =
      DownloadFileAU(place_.descriptorLocation, d_.InfoFilePath(), kInfoFile, infoError);
  Notify(40, 2);
  if (ok) {
    RemovePartialsOfReplaced(setupBefore);
    RemovePartialsOfReplaced(newsBefore);
  }
  d_.SetProbeSecondsLast(e_.NowSeconds());

  int code = kInfoNotDownloaded;
  std::string reason;
  const bool eligible = e_.GetOkToPerformAU(ok, code, reason, UserRequested());
  // What a check costs: from its start to the decision, and the download.
  log_.Log("Check decided in " + util::IntToStr(host_.TickCount() - start) + " ms, .info " +
           util::IntToStr(static_cast<std::int64_t>(infoBytes_)) + " bytes");
  if (eligible) {
    Trace(Pid() + " ==== PerformShot-1 ====");
    const std::int64_t stamp = d_.NewSetupStamp();
    if (d_.IsAutoInform()) {
      PerformAutoInform();
      RecordAttempt(stamp, outcome_);
    } else {
      const bool installed = PerformAutoUpdate();
      RecordAttempt(stamp, outcome_);
      if (installed) ReStartAutoUpdateExe();
    }
    Trace(Pid() + " ==== PerformShot-2 ====");
  }

  if (!UserRequested()) return;
  host_.Pump(1000);
  host_.ShowStubWindow(false);
  if (eligible || trustRefused_) return; // a refusal was shown already
  std::string why;
  const bool online = host_.IsOnline(why);
  Trace(Pid() + " TestMode=" + util::BoolText(e_.TestMode()) + " InternetConnected=" + util::BoolText(online));
  if (!e_.TestMode() && !online) {
    std::string text = Text("s2");
    if (!why.empty()) text += "<P><P>" + why;
    host_.ShowError(text);
  } else if (!e_.TestMode() && !infoError.empty()) {
    host_.ShowError(infoError);
  } else {
    std::string text = Text("s21");
    if (host_.DiagnosticMode())
      text += "<P><P>(" + util::IntToStr(code) + " - " + reason + ")   ";
    host_.Notice(text);
  }
}

// A release whose file the new descriptor no longer names will not be
// continued: what its broken downloads left goes.
void UpdateAgent::RemovePartialsOfReplaced(const std::string& nameBefore) {
  if (nameBefore.empty() || util::EqualsNoCase(nameBefore, d_.NameOfUpdateFile()) ||
      util::EqualsNoCase(nameBefore, d_.NameOfInformFile()) ||
      !IsUsableDownloadName(nameBefore, place_.agentFileName, d_.InfoFilePath()))
    return;
  host_.RemovePartialDownloads(util::JoinPath(place_.folder, util::FileNameOf(nameBefore)));
}

void UpdateAgent::RecordAttempt(std::int64_t stamp, Outcome outcome) {
  const std::int64_t now = e_.NowSeconds();
  if (outcome == kHandled) {
    d_.SetReAskSecondsLast(now);
    d_.SetStamp(stamp);
    if (d_.FailedAttempts() != 0) d_.SetFailedAttempts(0, 0, 0);
    return;
  }
  const std::int64_t attempts = (d_.FailedAttemptStamp() == stamp ? d_.FailedAttempts() : 0) + 1;
  d_.SetFailedAttempts(attempts, stamp, now);
  log_.Log("Attempt " + util::IntToStr(attempts) + " at Stamp " + util::IntToStr(stamp) +
           " failed; next try in " + util::IntToStr(RetryPauseSeconds(attempts)) +
           " s or at the next check after");
}

bool UpdateAgent::PerformAutoInform() {
  log_.Log("PerformAutoInform() - START ");
  Trace(" ==== PerformAutoInform-1 ====");
  bool result = false;
  outcome_ = kHandled;
  if (!d_.DownloadURL_UPDATE().empty() && !d_.NameOfInformFile().empty() &&
      !UsableDownloadName(d_.NameOfInformFile())) {
    outcome_ = kFailed;
  } else if (!d_.DownloadURL_UPDATE().empty() && !d_.NameOfInformFile().empty()) {
    Trace(" ==== PerformAutoInform-2 ====");
    d_.SetAgentState(kAgentDownloading);
    Notify(41, 1);
    std::string error;
    const bool ok =
        DownloadFileAU(d_.DownloadURL_UPDATE(), d_.NameOfInformFile(), kInformFile, error);
    Notify(41, 2);
    std::string content;
    const std::string file =
        util::JoinPath(place_.folder, util::FileNameOf(d_.NameOfInformFile()));
    bool show = ok && host_.ReadFile(file, content);
    // A signed agent shows only the page its vendor signed: these bytes.
    if (show && !place_.updateKey.empty() &&
        !trust::SameSha256Text(d_.SHA256OfInformFile(), trust::Sha256Of(content))) {
      show = false;
      host_.RemoveFile(file);
      std::string refusal;
      RefuseUntrusted("InformHashRefused",
                      "the news page " + d_.NameOfInformFile() + ": not the signed SHA-256",
                      "inform " + d_.SHA256OfInformFile(), refusal);
    }
    if (!show) outcome_ = kFailed;
    if (show) {
      Trace(" ==== PerformAutoInform-3 ====");
      const std::string page = package::SplitScrambledList(content).second;
      result = host_.ShowInformWindow(
          d_.GetAutoUpdateText("s34", "New Version"), d_.GetAutoUpdateText("s35", "Download"),
          static_cast<int>(d_.CharSet()), static_cast<int>(d_.FontSize()), d_.FontName(),
          static_cast<int>(d_.AutoInformH()), static_cast<int>(d_.AutoInformW()),
          d_.DownloadURL_INFORM(), page);
      if (result) d_.SetVersionOriginal(d_.VersionNew());
      Trace(" ==== PerformAutoInform-4 ====");
    }
  }
  log_.Log(std::string("PerformAutoInform() - END ") + util::BoolText(result));
  return result;
}

} // namespace agent
