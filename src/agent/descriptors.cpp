#include "agent/descriptors.h"

#include "util/system_info.h"
#include "util/text.h"

namespace agent {

namespace {

constexpr const char* kOriginalSetup = "OriginalSetup";
constexpr const char* kDirectories = "Directories";
constexpr const char* kUnInstall = "UnInstall";
constexpr const char* kMsgBox = "MsgBox";
constexpr const char* kAutoUpdate = "AutoUpdate";
constexpr const char* kNewSetup = "NewSetup";
constexpr const char* kGeneral = "General";
constexpr const char* kAutoInform = "AutoInform";

// One entry per key; the accessors below only pick theirs, so each read
// is one call with an index rather than three texts built at every call site.
enum KeyId {
  kProbeSecondsIntervalKey,
  kProbeSecondsLastKey,
  kReAskSecondsIntervalKey,
  kReAskSecondsLastKey,
  kVersionOriginalKey,
  kStampKey,
  kProgramNameKey,
  kHighestSignedStampKey,
  kFailedAttemptsKey,
  kFailedAttemptStampKey,
  kFailedAttemptLastKey,
  kRefusalShownKey,
  kTargetDirKey,
  kSharedDirKey,
  kAuxiliaryDirKey,
  kStartUpLinkKey,
  kCheckforNewUpdateLinkKey,
  kBtnTextKey,
  kErrorKey,
  kConfirmKey,
  kAttentionKey,
  kCharSetKey,
  kFontNameKey,
  kFontSizeKey,
  kDownloadURL_UPDATEKey,
  kNameOfUpdateFileKey,
  kSizeOfUpdateFileKey,
  kSHA256OfUpdateFileKey,
  kExpiresKey,
  kRequestConfirmationBeforeDownloadKey,
  kRequestConfirmationBeforeDownloadForceKey,
  kRequestConfirmationBeforeInstallKey,
  kRequestConfirmationBeforeInstallForceKey,
  kBackgroundUpdateKey,
  kRestartProcessKey,
  kInformFinishKey,
  kShutDownMethodKey,
  kRunningProcessKey,
  kNewSetupProgramNameKey,
  kVersionNewKey,
  kNewSetupStampKey,
  kValidVersionsKey,
  kRolloutPercentKey,
  kRolloutStartKey,
  kRolloutDaysKey,
  kRolloutBucketKey,
  kRemoveStartUpShortcutKey,
  kRemoveCheckForNewUpdateShortcutKey,
  kAutoInformKey,
  kDownloadURL_INFORMKey,
  kNameOfInformFileKey,
  kSizeOfInformFileKey,
  kSHA256OfInformFileKey,
  kAutoInformWKey,
  kAutoInformHKey,
};

constexpr DescriptorKey kKeys[] = {
    {false, kOriginalSetup, "ProbeSecondsInterval", "0"},
    {false, kOriginalSetup, "ProbeSecondsLast", "0"},
    {false, kOriginalSetup, "ReAskSecondsInterval", "0"},
    {false, kOriginalSetup, "ReAskSecondsLast", "0"},
    {false, kOriginalSetup, "VersionOriginal", "0"},
    {false, kOriginalSetup, "Stamp", "0"},
    {false, kOriginalSetup, "ProgramName", ""},
    {false, kOriginalSetup, "HighestSignedStamp", "0"},
    {false, kOriginalSetup, "FailedAttempts", "0"},
    {false, kOriginalSetup, "FailedAttemptStamp", "0"},
    {false, kOriginalSetup, "FailedAttemptLast", "0"},
    {false, kOriginalSetup, "RefusalShown", ""},
    {false, kDirectories, "TargetDir", ""},
    {false, kDirectories, "SharedDir", ""},
    {false, kDirectories, "AuxiliaryDir", ""},
    {false, kUnInstall, "StartUpLink", ""},
    {false, kUnInstall, "CheckforNewUpdateLink", ""},
    {false, kMsgBox, "BtnText", "|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|"},
    {false, kMsgBox, "Error", "Error"},
    {false, kMsgBox, "Confirm", "Confirm"},
    {false, kMsgBox, "Attention", "Attention"},
    {false, kMsgBox, "CharSet", "0"},
    {false, kMsgBox, "FontName", "Tahoma"},
    {false, kMsgBox, "FontSize", "8"},
    {true, kNewSetup, "DownloadURL_UPDATE", ""},
    {true, kNewSetup, "NameOfUpdateFile", ""},
    {true, kNewSetup, "SizeOfUpdateFile", "0"},
    {true, kNewSetup, "SHA256OfUpdateFile", ""},
    {true, kNewSetup, "Expires", ""},
    {true, kNewSetup, "RequestConfirmationBeforeDownload", "0"},
    {true, kNewSetup, "RequestConfirmationBeforeDownloadForce", "0"},
    {true, kNewSetup, "RequestConfirmationBeforeInstall", "0"},
    {true, kNewSetup, "RequestConfirmationBeforeInstallForce", "0"},
    {true, kNewSetup, "BackgroundUpdate", "0"},
    {true, kNewSetup, "RestartProcess", "0"},
    {true, kNewSetup, "InformFinish", "0"},
    {true, kNewSetup, "ShutDownMethod", ""},
    {true, kNewSetup, "RunningProcess", ""},
    {true, kNewSetup, "ProgramName", ""},
    {true, kNewSetup, "VersionNew", "0"},
    {true, kNewSetup, "Stamp", "0"},
    {true, kNewSetup, "ValidVersions", ""},
    {true, kNewSetup, "RolloutPercent", ""},
    {true, kNewSetup, "RolloutStart", ""},
    {true, kNewSetup, "RolloutDays", ""},
    {false, kOriginalSetup, "RolloutBucket", ""},
    {true, kNewSetup, "RemoveStartUpShortcut", "0"},
    {true, kNewSetup, "RemoveCheckForNewUpdateShortcut", "0"},
    {true, kGeneral, "AutoInform", "0"},
    {true, kAutoInform, "DownloadURL_INFORM", ""},
    {true, kAutoInform, "NameOfInformFile", ""},
    {true, kAutoInform, "SizeOfInformFile", "0"},
    {true, kAutoInform, "SHA256OfInformFile", ""},
    {true, kAutoInform, "AutoInformW", "360"},
    {true, kAutoInform, "AutoInformH", "360"},
};

struct DefaultText {
  std::string_view key;
  std::string_view text;
};

constexpr DefaultText kDefaultTexts[] = {
    {"s3", "File Download Aborted!"},
    {"s4", "File not Found!"},
    {"s5", "Unable to Download File!"},
    {"s31", "Downloading INFO File..."},
    {"s32", "Downloading UPDATE File..."},
    {"s33", "Downloading INFORM File..."},
    {"s34", "New Version"},
    {"s35", "Download"},
    // Signed updates (an agent whose package carries the vendor's key).
    {"SignatureRefused",
     "<B>Update refused</B><P><P>The update information for <B>PROG_NAME</B> does not carry "
     "its vendor's valid signature. Nothing was downloaded or installed."},
    {"SetupHashRefused",
     "<B>Update refused</B><P><P>The downloaded setup of <B>PROG_NAME</B> is not the one its "
     "vendor signed. It was deleted; nothing was installed."},
    {"DescriptorStale",
     "<B>Update refused</B><P><P>The update information for <B>PROG_NAME</B> carries its "
     "vendor's signature but is out of date: expired, or older than one seen before. Nothing "
     "was downloaded or installed."},
    {"InformHashRefused",
     "<B>Update refused</B><P><P>The news page of <B>PROG_NAME</B> is not the one its vendor "
     "signed. It was not shown."},
};

// The file-name part with everything from its first "." on removed.
std::string_view StemOf(std::string_view fileName) {
  return fileName.substr(0, fileName.find('.'));
}

} // namespace

std::string InfoFilePathFor(std::string_view folder, std::string_view descriptorName) {
  const std::string name = util::FileNameOf(descriptorName);
  if (name.empty()) return {};
  return util::JoinPath(folder, name);
}

std::string OriginalFilePathFor(std::string_view folder, std::string_view descriptorName) {
  const std::string name = util::FileNameOf(descriptorName);
  if (name.empty()) return {};
  return util::JoinPath(folder, std::string(StemOf(name)) + ".original");
}

std::span<const DescriptorKey> DescriptorKeys() {
  return kKeys;
}

std::int64_t AgentSeconds(double dayNumber) {
  const double seconds = dayNumber * 86400.0;
  // By hand: llround would pull a library object into the stub.
  return static_cast<std::int64_t>(seconds < 0 ? seconds - 0.5 : seconds + 0.5);
}

std::string AgentTimeText(std::int64_t seconds) {
  return util::FormatDateTimeText(util::DecodeDateTime(double(seconds) / 86400.0), " ", ":");
}

std::string DefaultAutoUpdateText(std::string_view key) {
  for (const DefaultText& d : kDefaultTexts)
    if (d.key == key) return std::string(d.text);
  return {};
}

std::string WithProgName(std::string_view text, std::string_view productName) {
  return util::ReplaceAll(text, "PROG_NAME", productName);
}

Descriptors::Descriptors(platform::SettingsStore& store, std::string originalFile,
                         std::string infoFile)
    : store_(store), original_(std::move(originalFile)), info_(std::move(infoFile)) {
  overrides_.fill(kOverrideNotSet);
}

std::string Descriptors::Read(int id) {
  const DescriptorKey& k = kKeys[id];
  return store_.Read(k.info ? info_ : original_, k.section, k.key, k.def);
}

std::int64_t Descriptors::Number(int id) {
  // Text that is no number, or one beyond 64 bits, reads as the default.
  return util::StrToInt64Def(Read(id), util::StrToInt64Def(kKeys[id].def, 0));
}

bool Descriptors::Switch(int id) {
  return Read(id) == "1";
}

bool Descriptors::Overridable(int position, int id) {
  const std::uint8_t v = overrides_[static_cast<std::size_t>(position)];
  return v == kOverrideNotSet ? Switch(id) : v == 1;
}

bool Descriptors::WriteNumber(const char* key, std::int64_t value) {
  return store_.Write(original_, kOriginalSetup, key, util::IntToStr(value));
}

// --- .original ---

std::int64_t Descriptors::ProbeSecondsInterval() {
  return Number(kProbeSecondsIntervalKey);
}
std::int64_t Descriptors::ProbeSecondsLast() {
  return Number(kProbeSecondsLastKey);
}
std::int64_t Descriptors::ReAskSecondsInterval() {
  return Number(kReAskSecondsIntervalKey);
}
std::int64_t Descriptors::ReAskSecondsLast() {
  return Number(kReAskSecondsLastKey);
}
std::int64_t Descriptors::VersionOriginal() {
  return Number(kVersionOriginalKey);
}
std::int64_t Descriptors::Stamp() {
  return Number(kStampKey);
}
std::string Descriptors::ProgramName() {
  return Read(kProgramNameKey);
}

bool Descriptors::SetProbeSecondsInterval(std::int64_t seconds) {
  return WriteNumber("ProbeSecondsInterval", seconds);
}
bool Descriptors::SetProbeSecondsLast(std::int64_t seconds) {
  return WriteNumber("ProbeSecondsLast", seconds) &&
         store_.Write(original_, kOriginalSetup, "__ProbeSecondsLast", AgentTimeText(seconds));
}
bool Descriptors::SetReAskSecondsInterval(std::int64_t seconds) {
  return WriteNumber("ReAskSecondsInterval", seconds);
}
bool Descriptors::SetReAskSecondsLast(std::int64_t seconds) {
  return WriteNumber("ReAskSecondsLast", seconds) &&
         store_.Write(original_, kOriginalSetup, "__ReAskSecondsLast", AgentTimeText(seconds));
}
bool Descriptors::SetVersionOriginal(std::int64_t version) {
  return WriteNumber("VersionOriginal", version);
}
bool Descriptors::SetStamp(std::int64_t stamp) {
  return WriteNumber("Stamp", stamp);
}
std::string Descriptors::RolloutBucket() {
  return Read(kRolloutBucketKey);
}
bool Descriptors::SetRolloutBucket(int bucket) {
  return WriteNumber("RolloutBucket", bucket);
}

std::int64_t Descriptors::HighestSignedStamp() {
  return Number(kHighestSignedStampKey);
}
bool Descriptors::SetHighestSignedStamp(std::int64_t stamp) {
  return WriteNumber("HighestSignedStamp", stamp);
}
std::int64_t Descriptors::FailedAttempts() {
  return Number(kFailedAttemptsKey);
}
std::int64_t Descriptors::FailedAttemptStamp() {
  return Number(kFailedAttemptStampKey);
}
std::int64_t Descriptors::FailedAttemptLast() {
  return Number(kFailedAttemptLastKey);
}
bool Descriptors::SetFailedAttempts(std::int64_t count, std::int64_t stamp, std::int64_t seconds) {
  return WriteNumber("FailedAttempts", count) && WriteNumber("FailedAttemptStamp", stamp) &&
         WriteNumber("FailedAttemptLast", seconds);
}
std::string Descriptors::RefusalShown() {
  return Read(kRefusalShownKey);
}
bool Descriptors::SetRefusalShown(const std::string& what) {
  return store_.Write(original_, kOriginalSetup, "RefusalShown", what);
}

std::string Descriptors::TargetDir() {
  return Read(kTargetDirKey);
}
std::string Descriptors::SharedDir() {
  return Read(kSharedDirKey);
}
std::string Descriptors::AuxiliaryDir() {
  return Read(kAuxiliaryDirKey);
}
std::string Descriptors::StartUpLink() {
  return Read(kStartUpLinkKey);
}
std::string Descriptors::CheckforNewUpdateLink() {
  return Read(kCheckforNewUpdateLinkKey);
}

std::string Descriptors::BtnText() {
  return Read(kBtnTextKey);
}
std::string Descriptors::Error() {
  return Read(kErrorKey);
}
std::string Descriptors::Confirm() {
  return Read(kConfirmKey);
}
std::string Descriptors::Attention() {
  return Read(kAttentionKey);
}
std::int64_t Descriptors::CharSet() {
  return Number(kCharSetKey);
}
std::string Descriptors::FontName() {
  return Read(kFontNameKey);
}
std::int64_t Descriptors::FontSize() {
  return Number(kFontSizeKey);
}

std::string Descriptors::GetAutoUpdateText(const std::string& key, const std::string& def) {
  return store_.Read(original_, kAutoUpdate, key, def);
}
std::string Descriptors::AutoUpdateText(const std::string& key) {
  return GetAutoUpdateText(key, DefaultAutoUpdateText(key));
}

// --- .info ---

std::string Descriptors::DownloadURL_UPDATE() {
  return Read(kDownloadURL_UPDATEKey);
}
std::string Descriptors::NameOfUpdateFile() {
  return Read(kNameOfUpdateFileKey);
}
std::int64_t Descriptors::SizeOfUpdateFile() {
  return Number(kSizeOfUpdateFileKey);
}
std::string Descriptors::SHA256OfUpdateFile() {
  return Read(kSHA256OfUpdateFileKey);
}
std::string Descriptors::Expires() {
  return Read(kExpiresKey);
}
bool Descriptors::RequestConfirmationBeforeDownload() {
  return Overridable(kOverrideRequestConfirmationBeforeDownload,
                     kRequestConfirmationBeforeDownloadKey);
}
bool Descriptors::RequestConfirmationBeforeDownloadForce() {
  return Overridable(kOverrideRequestConfirmationBeforeDownloadForce,
                     kRequestConfirmationBeforeDownloadForceKey);
}
bool Descriptors::RequestConfirmationBeforeInstall() {
  return Overridable(kOverrideRequestConfirmationBeforeInstall,
                     kRequestConfirmationBeforeInstallKey);
}
bool Descriptors::RequestConfirmationBeforeInstallForce() {
  return Overridable(kOverrideRequestConfirmationBeforeInstallForce,
                     kRequestConfirmationBeforeInstallForceKey);
}
bool Descriptors::BackgroundUpdate() {
  return Overridable(kOverrideBackgroundUpdate, kBackgroundUpdateKey);
}
bool Descriptors::RestartProcess() {
  return Overridable(kOverrideRestartProcess, kRestartProcessKey);
}
bool Descriptors::InformFinish() {
  return Overridable(kOverrideInformFinish, kInformFinishKey);
}
std::string Descriptors::ShutDownMethod() {
  return Read(kShutDownMethodKey);
}
std::string Descriptors::RunningProcess() {
  return Read(kRunningProcessKey);
}
std::string Descriptors::NewSetupProgramName() {
  return Read(kNewSetupProgramNameKey);
}
std::int64_t Descriptors::VersionNew() {
  return Number(kVersionNewKey);
}
std::int64_t Descriptors::NewSetupStamp() {
  return Number(kNewSetupStampKey);
}
std::string Descriptors::ValidVersions() {
  return Read(kValidVersionsKey);
}
std::string Descriptors::RolloutPercent() {
  return Read(kRolloutPercentKey);
}
std::string Descriptors::RolloutStart() {
  return Read(kRolloutStartKey);
}
std::string Descriptors::RolloutDays() {
  return Read(kRolloutDaysKey);
}
bool Descriptors::RemoveStartUpShortcut() {
  return Switch(kRemoveStartUpShortcutKey);
}
bool Descriptors::RemoveCheckForNewUpdateShortcut() {
  return Switch(kRemoveCheckForNewUpdateShortcutKey);
}

std::int64_t Descriptors::AutoInform() {
  return Number(kAutoInformKey);
}
bool Descriptors::IsAutoInform() {
  return AutoInform() == 1;
}
std::string Descriptors::DownloadURL_INFORM() {
  return Read(kDownloadURL_INFORMKey);
}
std::string Descriptors::NameOfInformFile() {
  return Read(kNameOfInformFileKey);
}
std::int64_t Descriptors::SizeOfInformFile() {
  return Number(kSizeOfInformFileKey);
}
std::string Descriptors::SHA256OfInformFile() {
  return Read(kSHA256OfInformFileKey);
}
std::int64_t Descriptors::AutoInformW() {
  return Number(kAutoInformWKey);
}
std::int64_t Descriptors::AutoInformH() {
  return Number(kAutoInformHKey);
}

// --- Overrides ---

bool Descriptors::AskBeforeCheck() const {
  return overrides_[kOverrideAskBeforeCheck] == 1;
}

std::uint8_t Descriptors::OverrideValue(int position) const {
  if (position < 0 || position >= kOverrideCount) return kOverrideNotSet;
  return overrides_[static_cast<std::size_t>(position)];
}

std::string Descriptors::OverridesToText() const {
  std::string text = "|";
  for (std::uint8_t v : overrides_)
    text += util::IntToStr(v) + "|";
  return text;
}

void Descriptors::OverridesFromText(std::string_view text) {
  if (!text.empty() && text.front() == '|') text.remove_prefix(1);
  for (std::size_t i = 0; i < overrides_.size() && !text.empty(); ++i) {
    const std::size_t bar = text.find('|');
    const std::string_view field = text.substr(0, bar);
    text = bar == std::string_view::npos ? std::string_view() : text.substr(bar + 1);
    const std::int64_t v = util::StrToInt64Def(field, -1);
    if (v >= 0 && v <= 255) overrides_[i] = static_cast<std::uint8_t>(v);
  }
}

bool Descriptors::SetOverride(int position, std::int64_t value) {
  if (position < 0 || position > kOverrideRestartProcess || value < 0 || value > 255) return false;
  overrides_[static_cast<std::size_t>(position)] = static_cast<std::uint8_t>(value);
  return true;
}

} // namespace agent
