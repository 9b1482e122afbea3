#include "agent/eligibility.h"

#include <cstdint>
#include <limits>

#include "agent/rollout.h"
#include "agent/signed_descriptor.h"
#include "http/error_page.h"
#include "util/field_list.h"
#include "util/random.h"
#include "util/system_info.h"
#include "util/text.h"

namespace agent {

namespace {

constexpr std::string_view kReasons =
    "|Error downloading .INFO file|Error reading .ORIGINAL file|Too early for retesting"
    "|New version is not higher then old version|\"Valid for version\" mismatch"
    "|Download file size error|OK|Not in the staged rollout yet|";

// a + b held inside the 64-bit range: descriptors may hold any number, and
// a last time near the top plus an interval must not wrap into the past.
std::int64_t SaturatingAdd(std::int64_t a, std::int64_t b) {
  constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
  constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
  if (b > 0 && a > kMax - b) return kMax;
  if (b < 0 && a < kMin - b) return kMin;
  return a + b;
}

bool IsSeparator(char c) {
  return c == '\\' || c == '/';
}

// base + separator + name, without doubling a separator the base ends with.
std::string JoinLocation(const std::string& base, char separator, const std::string& name) {
  if (!base.empty() && IsSeparator(base.back())) return base + name;
  return base + separator + name;
}

bool HasNewSetupSection(std::string_view content) {
  std::size_t pos = 0;
  while (pos < content.size()) {
    std::size_t end = content.find('\n', pos);
    if (end == std::string_view::npos) end = content.size();
    const std::string_view line = util::TrimView(content.substr(pos, end - pos));
    pos = end + 1;
    if (line.size() < 2 || line.front() != '[') continue;
    const std::size_t close = line.find(']');
    if (close != std::string_view::npos &&
        util::EqualsNoCase(util::TrimView(line.substr(1, close - 1)), "NewSetup"))
      return true;
  }
  return false;
}

} // namespace

std::string EligibilityReason(int code) {
  if (code < kInfoNotDownloaded || code > kNotInRollout) return {};
  return util::SUB::GetField(kReasons, code);
}

bool DownloadSizeMatches(std::int64_t announced, std::int64_t actual) {
  // An unknown size (-1), or a negative one announced, never matches.
  return actual >= 0 && announced >= 0 && actual - announced < kSizeTolerance &&
         announced - actual < kSizeTolerance;
}

bool IsUsableInfoDownload(std::string_view errorText, std::string_view content, int httpStatus) {
  if (!errorText.empty() || content.empty()) return false;
  if (httpStatus != 0 && (httpStatus < 200 || httpStatus > 299)) return false;
  std::string head(content.substr(0, http::kErrorPageHead));
  if (http::IsHtmlErrorPage({}, head)) return false;
  return HasNewSetupSection(content);
}

Eligibility::Eligibility(Descriptors& descriptors, platform::Clock& clock,
                         platform::RegistryReader& registry, platform::SizeProbe& sizes,
                         platform::LogSink& log)
    : d_(descriptors), clock_(clock), registry_(registry), sizes_(sizes), log_(log),
      draw_(util::RandomInRange) {}

std::int64_t Eligibility::NowSeconds() {
  return AgentSeconds(clock_.Now());
}

bool Eligibility::RefreshTestMode(bool force) {
  const std::uint32_t now = clock_.TickCount();
  // The difference, not a sum, so the tick count's wrap after 49 days does
  // not stop the re-reads.
  if (!force && testModeRead_ && now - lastTestModeRead_ <= kTestModeReadDelayMs) return testMode_;
  const std::string mode = registry_.Read(kTestModeKey, "TestMode", "0");
  const std::string date = registry_.Read(kTestModeKey, "TestModeDate", "");
  testModeUrl_ = registry_.Read(kTestModeKey, "TestModeURL", "");
  const std::string today = util::FormatDateText(util::DecodeDateTime(clock_.Now()));
  testMode_ = mode == "1" && date == today;
  spreadOn_ = registry_.Read(kTestModeKey, "CheckSpread", "1") != "0";
  testModeRead_ = true;
  lastTestModeRead_ = now;
  return testMode_;
}

int Eligibility::ShotTimeStatus() {
  if (!d_.ShotsEnabled() && !forcedCheck_) return kShotNone;
  const std::int64_t interval = d_.ProbeSecondsInterval();
  const std::int64_t wait = testMode_ ? kTestModeProbeSeconds : interval;
  const std::int64_t last = d_.ProbeSecondsLast();
  int status = SaturatingAdd(last, wait) <= NowSeconds() ? kShotNow : kShotNone;
  if (status == kShotNow && !forcedCheck_ && !testMode_ && spreadOn_ && interval != -1 &&
      !SpreadPassed(last, interval))
    status = kShotNone;
  if (interval == 0) status *= 2;
  if (interval == -1) status = kShotNone;
  if (forcedCheck_) status = kShotNow;
  forcedCheck_ = false;
  return status;
}

bool Eligibility::SpreadPassed(std::int64_t last, std::int64_t interval) {
  const std::int64_t now = NowSeconds();
  if (startSeconds_ < 0) {
    startSeconds_ = now;
    startSpread_ = draw_(0, kStartSpreadSeconds);
    log_.Log("First check of this run spread by " + util::IntToStr(startSpread_) + " s");
  }
  if (!spreadDrawn_ || spreadFor_ != last || spreadInterval_ != interval) {
    spreadDrawn_ = true;
    spreadFor_ = last;
    spreadInterval_ = interval;
    checkSpread_ = draw_(0, static_cast<std::uint32_t>(MaxCheckSpread(interval)));
    if (checkSpread_ > 0)
      log_.Log("Check spread by " + util::IntToStr(checkSpread_) + " s past its due time");
  }
  return now >= startSeconds_ + startSpread_ &&
         now >= SaturatingAdd(SaturatingAdd(last, interval), checkSpread_);
}

bool Eligibility::IsReAskDue() {
  const std::int64_t interval = d_.ReAskSecondsInterval();
  return interval > 0 && SaturatingAdd(d_.ReAskSecondsLast(), interval) < NowSeconds();
}

bool Eligibility::InRetryPause() {
  const std::int64_t attempts = d_.FailedAttempts();
  if (attempts <= 0 || d_.FailedAttemptStamp() != d_.NewSetupStamp()) return false;
  const std::int64_t next = SaturatingAdd(d_.FailedAttemptLast(), RetryPauseSeconds(attempts));
  if (next <= NowSeconds()) return false;
  log_.Log("  " + util::IntToStr(attempts) + " failed attempts: next try after " +
           AgentTimeText(next));
  return true;
}

bool Eligibility::IsValidForVersion() {
  const std::string valid = d_.ValidVersions();
  if (valid.empty()) return true;
  const std::string item = "," + util::IntToStr(d_.VersionOriginal()) + ",";
  return ("," + valid + ",").find(item) != std::string::npos;
}

bool Eligibility::CheckDownloadSize(const std::string& base, const std::string& updateName,
                                    const std::string& informName) {
  const bool inform = d_.IsAutoInform();
  const std::int64_t expected = inform ? d_.SizeOfInformFile() : d_.SizeOfUpdateFile();
  const std::string name = util::FileNameOf(inform ? informName : updateName);
  const std::string location = testMode_ ? testModeUrl_ : base;

  std::string tried = JoinLocation(location, '\\', name);
  std::int64_t actual = -1;
  // Without a name there is nothing to size: base\ would be the folder.
  if (!name.empty()) {
    actual = sizes_.FileSize(tried);
    if (actual < 0 && !testMode_ && sizes_.IsOnline()) {
      tried = JoinLocation(location, '/', name);
      actual = sizes_.HttpSize(tried);
    }
  }
  const bool ok = DownloadSizeMatches(expected, actual);
  if (!ok) {
    log_.Log("  InfoSize=" + util::IntToStr(expected));
    log_.Log("  HttpSize=" + util::IntToStr(actual));
    log_.Log("  URL=" + tried);
  }
  return ok;
}

bool Eligibility::IsInRollout() {
  const RolloutPlan plan = ReadRolloutPlan(d_.RolloutPercent(), d_.RolloutStart(), d_.RolloutDays());
  const int share = RolloutShare(plan, clock_.UtcSeconds());
  if (share >= kRolloutBuckets) return true;
  int bucket = ParseRolloutBucket(d_.RolloutBucket());
  if (bucket < 0) {
    bucket = static_cast<int>(draw_(0, kRolloutBuckets - 1));
    // Unwritten, the bucket holds for this check only; the next draws anew.
    if (!d_.SetRolloutBucket(bucket)) log_.Log("Rollout bucket not kept: .original not written");
  }
  log_.Log("Rollout at " + util::IntToStr(share) + " %, this install's bucket " +
           util::IntToStr(bucket));
  return bucket < share;
}

bool Eligibility::GetOkToPerformAU(bool infoDownloaded, int& code, std::string& reason,
                                   bool userRequested) {
  code = infoDownloaded ? kOriginalUnreadable : kInfoNotDownloaded;
  const std::int64_t versionOriginal = code == kOriginalUnreadable ? d_.VersionOriginal() : 0;
  if (code == kOriginalUnreadable && versionOriginal > 0) code = kTooEarly;
  if (code == kTooEarly &&
      (userRequested || ((d_.NewSetupStamp() != d_.Stamp() || IsReAskDue()) && !InRetryPause())))
    code = kVersionNotHigher;
  if (code == kVersionNotHigher && versionOriginal < d_.VersionNew()) code = kValidVersionMismatch;
  if (code == kValidVersionMismatch && IsValidForVersion()) code = kDownloadSizeError;
  // Before the size question, so that installs left out cost the server
  // nothing more.
  if (code == kDownloadSizeError && !userRequested && !IsInRollout()) code = kNotInRollout;
  if (code == kDownloadSizeError &&
      CheckDownloadSize(d_.DownloadURL_UPDATE(), d_.NameOfUpdateFile(), d_.NameOfInformFile()))
    code = kEligible;
  reason = EligibilityReason(code);
  eligibilityCode_ = code;
  log_.Trace(util::IntToStr(log_.ProcessId()) + " GetOkToPerformAU=" + util::IntToStr(code));
  log_.Log("GetOkToPerformAU = " + util::IntToStr(code) + " - " + reason);
  return code == kEligible;
}

} // namespace agent
