// The agent at work: each tick of its timer decides whether to check; a
// check downloads the .info descriptor and, when it is eligible, either runs
// the update cycle (download the new setup, stop the product, run the setup,
// record the version, restart the product, relaunch the agent) or shows the
// announced news page. Portable: everything outside goes through AgentHost.
//
// The code is split by subject: download_au.cpp (DownloadFileAU),
// update_cycle.cpp (PerformAutoUpdate, ReStartAutoUpdateExe) and
// check_timer.cpp (OnAgentTimer, PerformShot, AskBeforeCheck,
// PerformAutoInform, JustDownloadInfoFile).
#pragma once

#include <cstdint>
#include <string>

#include "agent/agent_host.h"
#include "agent/descriptors.h"
#include "agent/eligibility.h"
#include "platform/log_sink.h"

namespace agent {

// The timer's process-wide values, set by the stub window and the control
// messages and read at every tick.
struct AgentValues {
  bool tickGuard = false;            // a tick is being handled
  bool justDownloadInfoFile = false; // the next tick only fetches the .info
  // 2: the user asked for a check; 1: that check runs; 0: none.
  int userRequest = 0;
  // At 0 the agent ends at the next tick; above 0 counts down one per tick;
  // below 0 no limit.
  std::int64_t remainingTicks = -1;
  // AutoUpdateTimerCount: ticks since the start or the last user request;
  // "/SleepX=" starts it below zero to hold the first check back.
  std::int64_t timerCount = 0;
  // Above 0: a successful update does not relaunch the agent.
  std::int64_t restartDisabled = 0;
};

// The control message's "check now" (mode 2: the user asked for it): the
// forced check, the start countdown raised to at least 1 so no delay holds
// it back.
void RequestCycle(AgentValues& values, Eligibility& eligibility, std::int64_t mode);

// Kinds of DownloadFileAU.
enum DownloadKind { kInfoFile = 1, kUpdateFile = 2, kInformFile = 3 };

// Where the agent stands: its folder, its package's header fields, its
// product token.
struct AgentPlace {
  std::string folder;              // D: the agent's folder, where downloads land
  std::string descriptorLocation;  // update header field 0
  std::string agentFileName;       // update header field 2
  std::string productToken;        // update header field 3, unscrambled
  // Update header field 5: the vendor's public key. With one, nothing in a
  // descriptor counts until its signature checks, and a setup runs only
  // when its SHA-256 is the one the signed descriptor names.
  std::string updateKey;
};

class UpdateAgent {
public:
  UpdateAgent(Descriptors& descriptors, Eligibility& eligibility, AgentValues& values,
              AgentHost& host, platform::LogSink& log, AgentPlace place);

  // One tick of the agent's timer.
  void OnAgentTimer();
  // One check: .info download, eligibility, then the cycle or the news.
  void PerformShot();
  // The question before a check; sets `status` to 0 on No.
  void AskBeforeCheck(int& status);
  // Downloads and shows the news page; true when the window was confirmed.
  bool PerformAutoInform();
  bool JustDownloadInfoFile();

  // Fetches `fileName` of `base` (a folder first, then HTTP); see kinds.
  bool DownloadFileAU(const std::string& base, const std::string& fileName, int kind,
                      std::string& errorText);
  // The update cycle; true when the new setup ran successfully.
  bool PerformAutoUpdate();
  // Starts the plain agent again (so the new version's agent takes over)
  // and ends this one.
  void ReStartAutoUpdateExe();

  bool UserRequested() const { return values_.userRequest == 1; }

  // How the last update cycle or news page ended: the release is recorded
  // as handled only when the user declined it or it was installed (or
  // shown); after a failure the next due check tries again.
  enum Outcome { kHandled, kFailed };
  Outcome LastOutcome() const { return outcome_; }

private:
  std::string Text(const std::string& key);
  std::string Pid();
  void Trace(const std::string& line);
  void Notify(int code, int value) { host_.Notify(code, value); }
  void StopProduct(const std::string& program);
  bool IdentityMatches(const std::string& file, int kind);
  bool SignedByVendor(const std::string& base, const std::string& name,
                      const std::string& content, std::string& signature);
  // A signed agent takes a downloaded .info only when it is a descriptor,
  // its signature checks, it is current, and it and its signature are
  // written; false otherwise (a failed check).
  bool TakeSignedDescriptor(const std::string& base, const std::string& name,
                            const std::string& target, bool usable, const std::string& content,
                            std::string& errorText);
  // The bounds of each kind's body, and the conditions of a .info request.
  http::DownloadRequest TransferRequest(int kind, const std::string& url,
                                        const std::string& target);
  // A signed-update check refused a download: says so in the log, and in a
  // box when the user asked for the check or this refusal (`release`) was
  // not shown before.
  void RefuseUntrusted(const std::string& textKey, const std::string& what,
                       const std::string& release, std::string& errorText);
  // A release was tried: recorded as handled, or one more failed attempt.
  void RecordAttempt(std::int64_t stamp, Outcome outcome);
  // The descriptor's file name for a download may be written here.
  bool UsableDownloadName(const std::string& name);
  // The setup held since its check is let go and deleted.
  void DropSetup(const std::string& path);
  // After a new descriptor: the broken downloads of `nameBefore`, the file
  // the last one named, go unless it is still named.
  void RemovePartialsOfReplaced(const std::string& nameBefore);

  Descriptors& d_;
  Eligibility& e_;
  AgentValues& values_;
  AgentHost& host_;
  platform::LogSink& log_;
  AgentPlace place_;
  std::size_t infoBytes_ = 0; // of the last .info download
  bool trustRefused_ = false;  // the last download failed a signed-update check
  Outcome outcome_ = kHandled;
  // The last .info download was answered "not modified" (304): the check
  // goes on with the descriptor on disk, the last one written, which a
  // signed agent has verified again against the .sig of this check.
  bool infoNotModified_ = false;
};

} // namespace agent
