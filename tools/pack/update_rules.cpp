#include "pack/update_rules.h"

#include <ctime>
#include <filesystem>

#include "agent/descriptors.h"
#include "agent/eligibility.h"
#include "agent/services.h"
#include "agent/signed_descriptor.h"
#include "util/text.h"

namespace fs = std::filesystem;

namespace pack {

namespace {

using util::IntToStr;

std::int64_t SizeOf(const std::string& path) {
  std::error_code ec;
  if (path.empty() || !fs::is_regular_file(path, ec)) return -1;
  const auto size = fs::file_size(path, ec);
  return ec ? -1 : static_cast<std::int64_t>(size);
}

// The download the descriptor names (the setup, or the news page of an
// AutoInform descriptor): a name the agent may write, the file the vendor
// has under that name, and a size the agent will find.
void CheckDownload(const char* nameKey, const std::string& name, const char* sizeKey,
                   std::int64_t size, const std::string& file, const UpdateFacts& facts,
                   std::vector<UpdateCheck>& checks) {
  UpdateCheck n{std::string(nameKey), false, "'" + name + "'"};
  const std::string fileName = file.empty() ? "" : fs::path(file).filename().string();
  if (name.empty())
    n.detail = "is empty: agents have nothing to download";
  else if (!agent::IsUsableDownloadName(name, facts.agentName, facts.infoName))
    n.detail += " is no name an agent writes (a reserved or unsafe name, or one of its own files)";
  else if (!fileName.empty() && !util::EqualsNoCase(util::FileNameOf(name), fileName))
    n.detail += " is not the file given, " + fileName;
  else
    n.ok = true;
  checks.push_back(n);

  UpdateCheck s{std::string(sizeKey), false, IntToStr(size)};
  const std::int64_t actual = SizeOf(file);
  if (actual >= 0 && !agent::DownloadSizeMatches(size, actual))
    s.detail += ", the file has " + IntToStr(actual) + " bytes: agents refuse a difference of " +
                IntToStr(agent::kSizeTolerance) + " or more";
  else if (size <= 0)
    s.detail += ": agents take no file of that size";
  else
    s.ok = true;
  checks.push_back(s);
}

} // namespace

std::string TodayUtc() {
  const std::time_t now = std::time(nullptr);
  const std::tm* t = std::gmtime(&now);
  char text[48]; // room for any int the compiler assumes
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", t->tm_year + 1900, t->tm_mon + 1,
                t->tm_mday);
  return text;
}

std::vector<UpdateCheck> AgentRuleChecks(const std::string& descriptorPath,
                                         const std::string& content, const UpdateFacts& facts) {
  agent::IniFileSettings store;
  agent::Descriptors d(store, "", fs::absolute(descriptorPath).string());
  std::vector<UpdateCheck> checks;

  // An installed version is 1 or more (the agent reads less as an
  // unreadable .original), so a lower VersionNew is never offered.
  const std::int64_t version = d.VersionNew();
  checks.push_back({"VersionNew", version >= 1,
                    IntToStr(version) + (version >= 1 ? "" : ": no installed version is lower")});

  std::int64_t stamp = 0;
  const auto age = agent::CheckSignedDescriptorAge(
      content, facts.todayUtc.empty() ? TodayUtc() : facts.todayUtc, 0, stamp);
  if (!d.Expires().empty() || age != agent::StaleDescriptor::kNo)
    checks.push_back({"Expires", age == agent::StaleDescriptor::kNo,
                      d.Expires() + (age == agent::StaleDescriptor::kNo
                                         ? ""
                                         : std::string(": ") + agent::StaleDescriptorText(age))});

  if (d.IsAutoInform()) {
    CheckDownload("NameOfInformFile", d.NameOfInformFile(), "SizeOfInformFile",
                  d.SizeOfInformFile(), facts.informFile, facts, checks);
    return checks;
  }
  // A descriptor that names no setup offers nothing, unless a setup is
  // given to go with it.
  if (d.NameOfUpdateFile().empty() && facts.setupFile.empty()) return checks;
  CheckDownload("NameOfUpdateFile", d.NameOfUpdateFile(), "SizeOfUpdateFile",
                d.SizeOfUpdateFile(), facts.setupFile, facts, checks);
  return checks;
}

} // namespace pack
