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

std::string Descriptors::Text(const std::string& file, const char* section, const char* key,
                              const std::string& def) {
  return store_.Read(file, section, key, def);
}

std::int64_t Descriptors::Number(const std::string& file, const char* section, const char* key,
                                 std::int64_t def) {
  // Text that is no number, or one beyond 64 bits, reads as the default.
  return util::StrToInt64Def(store_.Read(file, section, key, util::IntToStr(def)), def);
}

bool Descriptors::Switch(const std::string& file, const char* section, const char* key) {
  return store_.Read(file, section, key, "0") == "1";
}

bool Descriptors::Overridable(int position, const char* key) {
  const std::uint8_t v = overrides_[static_cast<std::size_t>(position)];
  return v == kOverrideNotSet ? Switch(info_, kNewSetup, key) : v == 1;
}

bool Descriptors::WriteNumber(const char* key, std::int64_t value) {
  return store_.Write(original_, kOriginalSetup, key, util::IntToStr(value));
}

// --- .original ---

std::int64_t Descriptors::ProbeSecondsInterval() {
  return Number(original_, kOriginalSetup, "ProbeSecondsInterval", 0);
}
std::int64_t Descriptors::ProbeSecondsLast() {
  return Number(original_, kOriginalSetup, "ProbeSecondsLast", 0);
}
std::int64_t Descriptors::ReAskSecondsInterval() {
  return Number(original_, kOriginalSetup, "ReAskSecondsInterval", 0);
}
std::int64_t Descriptors::ReAskSecondsLast() {
  return Number(original_, kOriginalSetup, "ReAskSecondsLast", 0);
}
std::int64_t Descriptors::VersionOriginal() {
  return Number(original_, kOriginalSetup, "VersionOriginal", 0);
}
std::int64_t Descriptors::Stamp() {
  return Number(original_, kOriginalSetup, "Stamp", 0);
}
std::string Descriptors::ProgramName() {
  return Text(original_, kOriginalSetup, "ProgramName");
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

std::string Descriptors::TargetDir() {
  return Text(original_, kDirectories, "TargetDir");
}
std::string Descriptors::SharedDir() {
  return Text(original_, kDirectories, "SharedDir");
}
std::string Descriptors::AuxiliaryDir() {
  return Text(original_, kDirectories, "AuxiliaryDir");
}
std::string Descriptors::StartUpLink() {
  return Text(original_, kUnInstall, "StartUpLink");
}
std::string Descriptors::CheckforNewUpdateLink() {
  return Text(original_, kUnInstall, "CheckforNewUpdateLink");
}

std::string Descriptors::BtnText() {
  return Text(original_, kMsgBox, "BtnText", "|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|");
}
std::string Descriptors::Error() {
  return Text(original_, kMsgBox, "Error", "Error");
}
std::string Descriptors::Confirm() {
  return Text(original_, kMsgBox, "Confirm", "Confirm");
}
std::string Descriptors::Attention() {
  return Text(original_, kMsgBox, "Attention", "Attention");
}
std::int64_t Descriptors::CharSet() {
  return Number(original_, kMsgBox, "CharSet", 0);
}
std::string Descriptors::FontName() {
  return Text(original_, kMsgBox, "FontName", "Tahoma");
}
std::int64_t Descriptors::FontSize() {
  return Number(original_, kMsgBox, "FontSize", 8);
}

std::string Descriptors::GetAutoUpdateText(const std::string& key, const std::string& def) {
  return store_.Read(original_, kAutoUpdate, key, def);
}
std::string Descriptors::AutoUpdateText(const std::string& key) {
  return GetAutoUpdateText(key, DefaultAutoUpdateText(key));
}

// --- .info ---

std::string Descriptors::DownloadURL_UPDATE() {
  return Text(info_, kNewSetup, "DownloadURL_UPDATE");
}
std::string Descriptors::NameOfUpdateFile() {
  return Text(info_, kNewSetup, "NameOfUpdateFile");
}
std::int64_t Descriptors::SizeOfUpdateFile() {
  return Number(info_, kNewSetup, "SizeOfUpdateFile", 0);
}
bool Descriptors::RequestConfirmationBeforeDownload() {
  return Overridable(kOverrideRequestConfirmationBeforeDownload,
                     "RequestConfirmationBeforeDownload");
}
bool Descriptors::RequestConfirmationBeforeDownloadForce() {
  return Overridable(kOverrideRequestConfirmationBeforeDownloadForce,
                     "RequestConfirmationBeforeDownloadForce");
}
bool Descriptors::RequestConfirmationBeforeInstall() {
  return Overridable(kOverrideRequestConfirmationBeforeInstall, "RequestConfirmationBeforeInstall");
}
bool Descriptors::RequestConfirmationBeforeInstallForce() {
  return Overridable(kOverrideRequestConfirmationBeforeInstallForce,
                     "RequestConfirmationBeforeInstallForce");
}
bool Descriptors::BackgroundUpdate() {
  return Overridable(kOverrideBackgroundUpdate, "BackgroundUpdate");
}
bool Descriptors::RestartProcess() {
  return Overridable(kOverrideRestartProcess, "RestartProcess");
}
bool Descriptors::InformFinish() {
  return Overridable(kOverrideInformFinish, "InformFinish");
}
std::string Descriptors::ShutDownMethod() {
  return Text(info_, kNewSetup, "ShutDownMethod");
}
std::string Descriptors::RunningProcess() {
  return Text(info_, kNewSetup, "RunningProcess");
}
std::string Descriptors::NewSetupProgramName() {
  return Text(info_, kNewSetup, "ProgramName");
}
std::int64_t Descriptors::VersionNew() {
  return Number(info_, kNewSetup, "VersionNew", 0);
}
std::int64_t Descriptors::NewSetupStamp() {
  return Number(info_, kNewSetup, "Stamp", 0);
}
std::string Descriptors::ValidVersions() {
  return Text(info_, kNewSetup, "ValidVersions");
}
bool Descriptors::RemoveStartUpShortcut() {
  return Switch(info_, kNewSetup, "RemoveStartUpShortcut");
}
bool Descriptors::RemoveCheckForNewUpdateShortcut() {
  return Switch(info_, kNewSetup, "RemoveCheckForNewUpdateShortcut");
}

std::int64_t Descriptors::AutoInform() {
  return Number(info_, kGeneral, "AutoInform", 0);
}
bool Descriptors::IsAutoInform() {
  return AutoInform() == 1;
}
std::string Descriptors::DownloadURL_INFORM() {
  return Text(info_, kAutoInform, "DownloadURL_INFORM");
}
std::string Descriptors::NameOfInformFile() {
  return Text(info_, kAutoInform, "NameOfInformFile");
}
std::int64_t Descriptors::SizeOfInformFile() {
  return Number(info_, kAutoInform, "SizeOfInformFile", 0);
}
std::int64_t Descriptors::AutoInformW() {
  return Number(info_, kAutoInform, "AutoInformW", 360);
}
std::int64_t Descriptors::AutoInformH() {
  return Number(info_, kAutoInform, "AutoInformH", 360);
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
