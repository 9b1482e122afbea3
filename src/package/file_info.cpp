#include "package/file_info.h"
#include "package/payload_presence.h"

#include "package/token.h"
#include "package/trailer.h"
#include "platform/file.h"
#include "util/field_list.h"
#include "util/text.h"
#include "vars/language.h"

namespace package {

namespace {

// Reads one length-prefixed header block at the file's position. A negative
// length or one that runs past the end of the file is damage: nothing is
// read, so nothing larger than the file is ever allocated.
bool ReadHeaderBlock(platform::InputFile& file, std::int64_t fileSize, std::uint32_t& offset,
                     std::string& out) {
  unsigned char lb[4];
  if (!file.Seek(offset) || !file.ReadExact(lb, 4)) return false;
  const std::int32_t n = static_cast<std::int32_t>(ReadLe32(lb));
  if (n < 0 || std::int64_t(offset) + 4 + n > fileSize) return false;
  std::string text(static_cast<std::size_t>(n), '\0');
  if (!file.ReadExact(text.data(), text.size())) return false;
  out = std::move(text);
  offset += 4 + static_cast<std::uint32_t>(n);
  return true;
}

std::string g_selectedRecord;
bool g_selected = false;

// The versions the stub knows (0 reads as 2): the number of header blocks.
// Any other would read payload blocks as header blocks or the reverse.
bool IsKnownVersion(std::uint8_t version) { return version == 2 || version == 3; }

// A header block is text in the field-string form: no 0 byte, and it ends
// with the separator it starts with. A payload block taken for one (a
// Version 3 on a package with two header blocks) is neither.
bool IsFieldText(const std::string& block) {
  return block.empty() ||
         (block.find('\0') == std::string::npos && block.front() == block.back());
}

// A package's "FontSize" stays within this range: 400 filled the screen and
// hid the buttons.
constexpr std::int64_t kMinFontSize = 6;
constexpr std::int64_t kMaxFontSize = 24;

}  // namespace

TGFileInfo::TGFileInfo(const std::string& fileName) {
  if (!platform::FileExists(fileName)) return;
  platform::InputFile file(fileName);
  damaged_ = true;
  if (!file.IsOpen()) return;
  ReadTrailer(file, trailer_);
  // Without the magic the bytes are no trailer: none of its fields count.
  if (!trailer_.HasMagic() || !IsKnownVersion(trailer_.version)) {
    trailer_ = Trailer{};
    return;
  }
  const std::int64_t size = file.Size();
  if (!ReadHeaderBlock(file, size, trailer_.headerStart, languageTable_)) return;
  if (!ReadHeaderBlock(file, size, trailer_.headerStart, updateInfo_)) return;
  if (trailer_.version > 2 &&
      !ReadHeaderBlock(file, size, trailer_.headerStart, downloadInfo_))
    return;
  if (!IsFieldText(downloadInfo_)) {
    trailer_ = Trailer{};
    downloadInfo_.clear();
    return;
  }
  damaged_ = false;
}

double TGFileInfo::SpaceRequired(const std::string& path) const {
  return package::SpaceRequired(trailer_, platform::ClusterSize(path));
}

using util::SUB;

std::string TGFileInfo::UpdateUrl() const { return SUB::GetField(updateInfo_, 0); }
std::string TGFileInfo::UpdateInfoName() const {
  return util::FileNameOf(SUB::GetField(updateInfo_, 1));
}
std::string TGFileInfo::UpdateOriginalName() const {
  // Every extension goes: "Product.v2.info" is installed as "Product.original".
  const std::string name = UpdateInfoName();
  return name.substr(0, name.find('.')) + ".original";
}
std::string TGFileInfo::AgentFileName() const { return SUB::GetField(updateInfo_, 2); }
std::string TGFileInfo::UpdateToken(bool unscramble) const {
  std::string token = SUB::GetField(updateInfo_, 3);
  return unscramble ? UnscrambleToken(token) : token;
}
bool TGFileInfo::RunHidden() const { return SUB::GetField(updateInfo_, 4) == "1"; }
std::string TGFileInfo::DownloadSource() const { return SUB::GetField(downloadInfo_, 0); }
std::string TGFileInfo::DownloadFileName() const { return SUB::GetField(downloadInfo_, 1); }
bool TGFileInfo::UseSourceAsIs() const { return SUB::GetField(downloadInfo_, 2) == "1"; }
std::string TGFileInfo::DownloadToken(bool unscramble) const {
  std::string token = SUB::GetField(downloadInfo_, 3);
  return unscramble ? UnscrambleToken(token) : token;
}
std::string TGFileInfo::DownloadSize() const { return SUB::GetField(downloadInfo_, 4); }
std::string TGFileInfo::UpdateKey() const { return SUB::GetField(updateInfo_, 5); }
std::string TGFileInfo::DownloadSha256() const { return SUB::GetField(downloadInfo_, 5); }
EngineResult TGFileInfo::EngineResultRule() const {
  return EngineResultFromField(SUB::GetField(updateInfo_, 6));
}

std::string SelectLanguageRecord(std::string_view table, std::string_view userLanguage) {
  auto search = [&](std::string_view name) -> std::string {
    for (std::string_view record : SUB::Fields(table))
      if (util::WildcardMatch(SUB::GetField(record, 0), name)) return std::string(record);
    return "*";
  };
  std::string result = search(userLanguage);
  if (result == "*" && SUB::FieldCount(table) == 1) result = SUB::GetField(table, 0, "*");
  if (result == "*") result = search("English");
  return result;
}

void ResetLanguageSelection() {
  g_selectedRecord.clear();
  g_selected = false;
}

std::string TGFileInfo::LangString(std::string_view key, std::string_view def) const {
  if (!g_selected) {
    g_selectedRecord = SelectLanguageRecord(languageTable_, vars::UserLanguageName());
    g_selected = true;
  }
  if (g_selectedRecord.size() > 1)
    return SUB::GetValue(g_selectedRecord, key, true, false, def, def);
  return std::string(def);
}

int TGFileInfo::Charset() const {
  return static_cast<int>(util::StrToInt64Def(LangString("Charset", "0"), 0));
}
int TGFileInfo::FontSize() const {
  const std::int64_t size = util::StrToInt64Def(LangString("FontSize", "8"), 8);
  return static_cast<int>(size < kMinFontSize ? kMinFontSize
                          : size > kMaxFontSize ? kMaxFontSize
                                                : size);
}
std::string TGFileInfo::FontName() const { return LangString("FontName", "Tahoma"); }

bool HasPayload(const std::string& fileName) {
  platform::InputFile file(fileName);
  if (!file.IsOpen()) return false;
  const TGFileInfo info(fileName);
  const std::int64_t size = file.Size();
  std::int64_t end = size;
  if (IsPeFile(file)) {
    const std::int64_t marker = PackageEndFromFile(file);
    if (marker > 0 && marker <= size) end = marker;
  }
  return info.trailer().HasMagic() &&
         end - std::int64_t(info.trailer().trailerLength) > std::int64_t(info.PayloadStart());
}

}  // namespace package
