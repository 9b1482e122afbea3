// TGFileInfo: what a package file says about itself (trailer, header blocks,
// space table, per-language texts). Building one never fails; a missing,
// foreign or damaged file leaves the zeroed state, so no decision (agent,
// log, download road, spanned relaunch) is ever taken from a trailer that
// is not a package's.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "package/engine_result.h"
#include "package/format.h"

namespace package {

class TGFileInfo {
 public:
  explicit TGFileInfo(const std::string& fileName);

  // True when the file exists but holds no readable package: its trailer
  // lacks the magic number (a file cut short, a foreign file), or a header
  // block runs past the end. The trailer then reads as all zeros; the
  // caller refuses the file as a damaged package.
  bool IsDamaged() const { return damaged_; }

  const Trailer& trailer() const { return trailer_; }
  // After construction HeaderStart points past the last header block read,
  // i.e. at the first payload block.
  std::uint32_t PayloadStart() const { return trailer_.headerStart; }
  const std::string& LanguageTable() const { return languageTable_; }
  const std::string& UpdateInfo() const { return updateInfo_; }
  const std::string& DownloadInfo() const { return downloadInfo_; }

  // Space needed on the volume of `path` (by its cluster size).
  double SpaceRequired(const std::string& path) const;

  bool IsSpanned() const { return trailer_.flags & kFlagSpanned; }
  bool AlwaysReportTempDrive() const { return trailer_.flags & kFlagAlwaysReportTempDrive; }
  bool SpanCdLevel() const { return trailer_.flags & kFlagSpanCdLevel; }
  bool ShowSecondBar() const { return trailer_.flags & kFlagShowSecondBar; }
  bool AgentLog() const { return trailer_.flags & kFlagAgentLog; }
  bool AskBeforeDownload() const { return trailer_.askBeforeDownload != 0; }
  bool UseDownloadRoad() const { return trailer_.useDownloadRoad != 0; }
  bool CarryAgent() const { return trailer_.carryAgent != 0; }
  bool IsUpdateAgent() const { return trailer_.isUpdateAgent != 0; }

  std::string UpdateUrl() const;
  std::string UpdateInfoName() const;
  std::string UpdateOriginalName() const;
  std::string AgentFileName() const;
  std::string UpdateToken(bool unscramble) const;
  bool RunHidden() const;
  std::string DownloadSource() const;
  std::string DownloadFileName() const;
  bool UseSourceAsIs() const;
  std::string DownloadToken(bool unscramble) const;
  std::string DownloadSize() const;
  // Fields that builders before signed updates did not write ("" then): the
  // vendor's public key for update descriptors (hex, see trust/), and the
  // SHA-256 of the setup file the download road fetches.
  std::string UpdateKey() const;
  std::string DownloadSha256() const;
  // UpdateInfo field 6 (`vpack build --engine-result`): how the setup road
  // judges the engine; packages without it keep the handshake.
  EngineResult EngineResultRule() const;

  std::string LangString(std::string_view key, std::string_view def) const;
  int Charset() const;
  int FontSize() const;
  std::string FontName() const;

 private:
  Trailer trailer_;
  bool damaged_ = false;
  std::string languageTable_, updateInfo_, downloadInfo_;
};

// The language record of `table` for `userLanguage`: the first record whose
// name (field 0, a file mask) matches, else the only record, else the one
// for English; "*" when there is none.
std::string SelectLanguageRecord(std::string_view table, std::string_view userLanguage);

// The record chosen on first use is kept for the process (as the window,
// message boxes and unpacker must agree); tests start over with this.
void ResetLanguageSelection();

}  // namespace package
