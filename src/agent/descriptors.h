// The agent's two descriptors (unit StubGlob): the ".original" file written
// at install time, which also keeps the agent's bookkeeping, and the ".info"
// file downloaded from the update location. This is their only reader and
// writer: one accessor per key, so no other code names a section or a key.
// It also holds the agent's process-wide values: the eight overrides,
// ShotsEnabled and AgentState.
//
// Every read goes through a settings store, so a missing, empty, truncated
// or garbled file simply reads as the defaults; the eligibility test then
// says "not eligible".
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "platform/settings_store.h"

namespace agent {

// --- Names ---------------------------------------------------------------

// The descriptor name is field 1 of the package's update header; only its
// file-name part counts. "Product.v2.info" in `folder` gives
// folder\Product.v2.info and folder\Product.original (every extension goes).
// Both are "" when the name has no file-name part.
std::string InfoFilePathFor(std::string_view folder, std::string_view descriptorName);
std::string OriginalFilePathFor(std::string_view folder, std::string_view descriptorName);

// The keys the agent reads from its descriptors (vpack warns about others).
struct DescriptorKey {
  bool info; // else .original
  const char* section;
  const char* key;
  const char* def; // a number's default as its decimal text
};
std::span<const DescriptorKey> DescriptorKeys();

// --- Agent time ----------------------------------------------------------

// Whole seconds of a local date-time (a day number), rounded.
std::int64_t AgentSeconds(double dayNumber);
// "07-DEC-2026 12:00:00" of agent seconds.
std::string AgentTimeText(std::int64_t seconds);

// --- User texts ----------------------------------------------------------

// The built-in text of an [AutoUpdate] key of the .original file ("s3" is
// "File Download Aborted!"); "" for keys without one.
std::string DefaultAutoUpdateText(std::string_view key);
// `text` with every "PROG_NAME" replaced by `productName`.
std::string WithProgName(std::string_view text, std::string_view productName);

// --- Overrides -----------------------------------------------------------

inline constexpr int kOverrideCount = 8;
inline constexpr std::uint8_t kOverrideNotSet = 255;

enum Override {
  kOverrideAskBeforeCheck = 0,
  kOverrideRequestConfirmationBeforeDownload = 1,
  kOverrideRequestConfirmationBeforeInstall = 2,
  kOverrideBackgroundUpdate = 3,
  kOverrideInformFinish = 4,
  kOverrideRestartProcess = 5,
  kOverrideRequestConfirmationBeforeDownloadForce = 6,
  kOverrideRequestConfirmationBeforeInstallForce = 7,
};

// --- Shut-down methods (the ShutDownMethod texts, compared exactly) ---

inline constexpr const char kShutDownMessageBox[] = "Issue a Message Box";
inline constexpr const char kShutDownClose[] = "Using WM_CLOSE";
inline constexpr const char kShutDownQuit[] = "Using WM_QUIT";
inline constexpr const char kShutDownTerminate[] = "Using Terminate Process";
inline constexpr const char kShutDownNone[] = "Don't Shut Down";
inline constexpr const char* kShutDownMethods[] = {kShutDownMessageBox, kShutDownClose,
                                                   kShutDownQuit, kShutDownTerminate,
                                                   kShutDownNone};

// --- Agent states --------------------------------------------------------

inline constexpr int kAgentIdle = 0;
inline constexpr int kAgentChecking = 1;
inline constexpr int kAgentDownloading = 2;
inline constexpr int kAgentRunningSetup = 3;

class Descriptors {
public:
  Descriptors(platform::SettingsStore& store, std::string originalFile, std::string infoFile);

  const std::string& OriginalFilePath() const { return original_; }
  const std::string& InfoFilePath() const { return info_; }

  // --- .original: [OriginalSetup] ---
  std::int64_t ProbeSecondsInterval();
  std::int64_t ProbeSecondsLast();
  std::int64_t ReAskSecondsInterval();
  std::int64_t ReAskSecondsLast();
  std::int64_t VersionOriginal();
  std::int64_t Stamp();
  std::string ProgramName();
  // The number, then its readable text under the "__" key where there is
  // one. False when a write failed (the file keeps what it had).
  bool SetProbeSecondsInterval(std::int64_t seconds);
  bool SetProbeSecondsLast(std::int64_t seconds);
  bool SetReAskSecondsInterval(std::int64_t seconds);
  bool SetReAskSecondsLast(std::int64_t seconds);
  bool SetVersionOriginal(std::int64_t version);
  bool SetStamp(std::int64_t stamp);
  // This install's rollout bucket as written ("" before the first draw).
  std::string RolloutBucket();
  bool SetRolloutBucket(int bucket);
  // The highest Stamp of a descriptor whose signature checked: a signed
  // agent refuses a lower one (an old descriptor replayed).
  std::int64_t HighestSignedStamp();
  bool SetHighestSignedStamp(std::int64_t stamp);
  // Failed attempts at the release with `FailedAttemptStamp` (a download,
  // a check or a setup that failed), and when the last one was.
  std::int64_t FailedAttempts();
  std::int64_t FailedAttemptStamp();
  std::int64_t FailedAttemptLast();
  bool SetFailedAttempts(std::int64_t count, std::int64_t stamp, std::int64_t seconds);
  // What the last refusal shown in a box of a background check was about.
  std::string RefusalShown();
  bool SetRefusalShown(const std::string& what);

  // --- .original: [Directories], [UnInstall] ---
  std::string TargetDir();
  std::string SharedDir();
  std::string AuxiliaryDir();
  std::string StartUpLink();
  std::string CheckforNewUpdateLink();

  // --- .original: [MsgBox] ---
  std::string BtnText();
  std::string Error();
  std::string Confirm();
  std::string Attention();
  std::int64_t CharSet();
  std::string FontName();
  std::int64_t FontSize();

  // --- .original: [AutoUpdate] user texts ---
  // The text under `key`, `def` when missing or empty.
  std::string GetAutoUpdateText(const std::string& key, const std::string& def);
  // With the built-in default of DefaultAutoUpdateText.
  std::string AutoUpdateText(const std::string& key);

  // --- .info: [NewSetup] ---
  std::string DownloadURL_UPDATE();
  std::string NameOfUpdateFile();
  std::int64_t SizeOfUpdateFile();
  // The new setup's SHA-256 (hex) in a signed descriptor; "" otherwise.
  std::string SHA256OfUpdateFile();
  // A signed descriptor's last day of validity, "YYYY-MM-DD" (UTC); "" for
  // none.
  std::string Expires();
  // These six follow their override while it is set.
  bool RequestConfirmationBeforeDownload();
  bool RequestConfirmationBeforeDownloadForce();
  bool RequestConfirmationBeforeInstall();
  bool RequestConfirmationBeforeInstallForce();
  bool BackgroundUpdate();
  bool RestartProcess();
  bool InformFinish();
  std::string ShutDownMethod();
  std::string RunningProcess();
  std::string NewSetupProgramName();
  std::int64_t VersionNew();
  std::int64_t NewSetupStamp();
  std::string ValidVersions();
  // The staged rollout's keys as written ("" when absent).
  std::string RolloutPercent();
  std::string RolloutStart();
  std::string RolloutDays();
  bool RemoveStartUpShortcut();
  bool RemoveCheckForNewUpdateShortcut();

  // --- .info: [General], [AutoInform] ---
  std::int64_t AutoInform();
  // The descriptor announces a news page: AutoInform is exactly 1.
  bool IsAutoInform();
  std::string DownloadURL_INFORM();
  std::string NameOfInformFile();
  std::int64_t SizeOfInformFile();
  // The news page's SHA-256 (hex) in a signed descriptor; "" otherwise.
  std::string SHA256OfInformFile();
  std::int64_t AutoInformW();
  std::int64_t AutoInformH();

  // --- Overrides (255 = not set) ---
  // On when the override AskBeforeCheck is 1 (there is no key for it).
  bool AskBeforeCheck() const;
  std::uint8_t OverrideValue(int position) const;
  // "|" + the eight values, each followed by "|".
  std::string OverridesToText() const;
  // Field i (after the leading "|") sets value i; a missing field, or one
  // that is not a number from 0 to 255, keeps the old value.
  void OverridesFromText(std::string_view text);
  // Positions 0 to 5 only (what the control message may set), values 0 to
  // 255; false, and nothing changed, otherwise.
  bool SetOverride(int position, std::int64_t value);

  // --- Process-wide values ---
  bool ShotsEnabled() const { return shotsEnabled_; }
  void SetShotsEnabled(bool enabled) { shotsEnabled_ = enabled; }
  int AgentState() const { return agentState_; }
  void SetAgentState(int state) { agentState_ = state; }

private:
  // By the key table of descriptors.cpp.
  std::string Read(int id);
  std::int64_t Number(int id);
  bool Switch(int id);
  bool Overridable(int position, int id);
  bool WriteNumber(const char* key, std::int64_t value);

  platform::SettingsStore& store_;
  std::string original_;
  std::string info_;
  std::array<std::uint8_t, kOverrideCount> overrides_;
  bool shotsEnabled_ = true;
  int agentState_ = kAgentIdle;
};

} // namespace agent
