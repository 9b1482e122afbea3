// Whether a check is due on this tick, and whether a downloaded .info
// descriptor may be acted on (part of unit StubAU), with the test mode that
// bends both. Portable: the registry, the clock, the size of the file to
// download and the log come through platform interfaces.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "agent/check_spread.h"
#include "agent/descriptors.h"
#include "platform/clock.h"
#include "platform/log_sink.h"
#include "platform/registry.h"
#include "platform/size_probe.h"

namespace agent {

// Where test mode is switched on, and its values.
inline constexpr const char* kTestModeKey =
    "HKEY_CURRENT_USER\\Software\\Kelvane\\Vantor\\AutoUpdate";
// Test mode is read from the registry again at most this often.
inline constexpr std::uint32_t kTestModeReadDelayMs = 30000;
// The check interval in test mode.
inline constexpr std::int64_t kTestModeProbeSeconds = 5;
// Download sizes that differ by less than this pass.
inline constexpr std::int64_t kSizeTolerance = 100;

// An announced download size matches the file's: both known (not
// negative) and less than kSizeTolerance apart.
bool DownloadSizeMatches(std::int64_t announced, std::int64_t actual);

// How far a descriptor got through the tests.
enum EligibilityCode {
  kInfoNotDownloaded = 0,
  kOriginalUnreadable = 1,
  kTooEarly = 2,
  kVersionNotHigher = 3,
  kValidVersionMismatch = 4,
  kDownloadSizeError = 5,
  kEligible = 6,
  // Passed every test but the staged rollout has not reached this install.
  kNotInRollout = 7,
};

// The reason text of a code ("OK" for 6); "" outside 0..7.
std::string EligibilityReason(int code);

// Due-time results of ShotTimeStatus.
inline constexpr int kShotNone = 0;
inline constexpr int kShotNow = 1;
inline constexpr int kShotOnce = 2; // check now, and this is the one check of the run

// Whether a downloaded .info may replace the last good one: the download
// reported no error, the server answered with no error status (`httpStatus`
// 0 when there was none, as for a file from a folder), and the content is a
// descriptor rather than an HTML page or other text: it holds a [NewSetup]
// section.
bool IsUsableInfoDownload(std::string_view errorText, std::string_view content, int httpStatus = 0);

class Eligibility {
public:
  Eligibility(Descriptors& descriptors, platform::Clock& clock, platform::RegistryReader& registry,
              platform::SizeProbe& sizes, platform::LogSink& log);

  // Reads test mode from the registry, unless it was read less than 30
  // seconds ago and `force` is off. On only with "TestMode" exactly "1" and
  // "TestModeDate" today's date (DD-MMM-YYYY). Returns TestMode(). The same
  // key's "CheckSpread" = "0" turns the check spread off (for test labs).
  bool RefreshTestMode(bool force);
  bool TestMode() const { return testMode_; }
  const std::string& TestModeURL() const { return testModeUrl_; }

  // The control message's request for a check now; the next ShotTimeStatus
  // answers 1 and clears it.
  void RequestForcedCheck() { forcedCheck_ = true; }
  bool ForcedCheck() const { return forcedCheck_; }

  // 0 no check now, 1 check now, 2 check now as the one check of the run
  // (interval 0). Never for interval -1 unless forced. A scheduled check
  // outside test mode also waits for its spread: the first of a run up to
  // kStartSpreadSeconds after the first call, each later one up to
  // MaxCheckSpread(interval) past its due time, drawn once per check and
  // logged.
  int ShotTimeStatus();
  // Where spreads and rollout buckets are drawn (tests and simulations set
  // their own).
  void SetSpreadDraw(SpreadDraw draw) { draw_ = draw; }
  // ReAskSecondsLast + ReAskSecondsInterval is past and the interval is
  // above 0.
  bool IsReAskDue();
  // The release on offer failed before and its pause before the next try
  // (RetryPauseSeconds) has not passed.
  bool InRetryPause();
  // ValidVersions is empty or holds VersionOriginal as a whole item.
  bool IsValidForVersion();
  // The file to download (the update, or the inform file of an AutoInform
  // descriptor) has the announced size: looked for as base\name first, then
  // asked of the server as base/name (not in test mode, and only when
  // online). Logs the three sizes lines when it does not.
  bool CheckDownloadSize(const std::string& base, const std::string& updateName,
                         const std::string& informName);

  // Whether this install is in the descriptor's staged rollout today: its
  // bucket (drawn once and kept in the .original) below the share of the day.
  bool IsInRollout();

  // The tests in order; `code` is how far the descriptor got, `reason` its
  // text. `userRequested`: the user asked for this check, so a descriptor
  // already acted on is offered again and the rollout does not hold it
  // back. True when the code is 6.
  bool GetOkToPerformAU(bool infoDownloaded, int& code, std::string& reason,
                        bool userRequested = false);
  int LastEligibilityCode() const { return eligibilityCode_; }

  // Now in agent seconds.
  std::int64_t NowSeconds();

private:
  Descriptors& d_;
  platform::Clock& clock_;
  platform::RegistryReader& registry_;
  platform::SizeProbe& sizes_;
  platform::LogSink& log_;
  bool testMode_ = false;
  std::string testModeUrl_;
  bool testModeRead_ = false;
  std::uint32_t lastTestModeRead_ = 0;
  bool forcedCheck_ = false;
  bool spreadOn_ = true;
  SpreadDraw draw_;
  std::int64_t startSeconds_ = -1; // of the first due-time question
  std::int64_t startSpread_ = 0;
  bool spreadDrawn_ = false;
  // The ProbeSecondsLast and interval the spread was drawn for.
  std::int64_t spreadFor_ = 0;
  std::int64_t spreadInterval_ = 0;
  std::int64_t checkSpread_ = 0;
  bool SpreadPassed(std::int64_t last, std::int64_t interval);
  int eligibilityCode_ = kInfoNotDownloaded;
};

} // namespace agent
