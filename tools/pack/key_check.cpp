#include "pack/key_check.h"

#include <algorithm>
#include <string_view>

#include "agent/descriptors.h"
#include "agent/signed_descriptor.h"
#include "util/text.h"

namespace pack {

namespace {

using Names = std::vector<std::string_view>;

// The .original's [AutoUpdate] texts the agent reads; those listed second
// have a built-in default, the others show empty when left out.
const Names kAgentTextsWithoutDefault = {"s2",  "s11", "s12", "s13", "s14", "s15", "s16", "s17",
                                         "s18", "s19", "s20", "s21", "s22", "s23", "s24"};
const Names kAgentTextsWithDefault = {"s3",  "s4",  "s5",  "s31", "s32",
                                      "s33", "s34", "s35", "SignatureRefused",
                                      "SetupHashRefused", "DescriptorStale", "InformHashRefused"};
// The keys the stub reads from a record of the package's language table.
const Names kPackageLanguageKeys = {
    "s0",     "s1",      "s2",    "s3",      "s4",       "s5",       "s6",
    "s7",     "s8",      "s10",   "s11",     "s12",      "SetupHashRefused",
    "Attention", "Confirm", "Error", "BtnText", "Charset", "FontName", "FontSize",
    "RunTimeDir_01"};

struct IniKey {
  std::string section, key;
};

// Every key of INI text under its section, and the sections (even empty).
void ScanIni(std::string_view content, std::vector<std::string>& sections,
             std::vector<IniKey>& keys) {
  if (content.substr(0, 3) == "\xEF\xBB\xBF") content.remove_prefix(3);
  std::string section;
  std::size_t pos = 0;
  while (pos < content.size()) {
    std::size_t end = content.find('\n', pos);
    if (end == std::string_view::npos) end = content.size();
    const std::string_view line = util::TrimView(content.substr(pos, end - pos));
    pos = end + 1;
    if (line.empty() || line.front() == ';' || line.front() == '#') continue;
    if (line.front() == '[') {
      const std::size_t close = line.find(']');
      section = std::string(util::TrimView(line.substr(1, close == line.npos ? line.npos : close - 1)));
      sections.push_back(section);
      continue;
    }
    const std::size_t eq = line.find('=');
    if (eq != std::string_view::npos)
      keys.push_back({section, std::string(util::TrimView(line.substr(0, eq)))});
  }
}

// Letter-case-blind edit distance, for "did you mean".
std::size_t Distance(std::string_view a, std::string_view b) {
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j)
    row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t above = row[j];
      const bool same = util::EqualsNoCase(a.substr(i - 1, 1), b.substr(j - 1, 1));
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (same ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

std::string Nearest(std::string_view key, const Names& known) {
  std::string_view best;
  std::size_t bestDistance = 3; // two edits at most
  for (std::string_view k : known)
    if (const std::size_t d = Distance(key, k); d < bestDistance) best = k, bestDistance = d;
  return best.empty() ? "" : " (did you mean " + std::string(best) + "?)";
}

bool Contains(const Names& names, std::string_view name) {
  return std::any_of(names.begin(), names.end(),
                     [&](std::string_view n) { return util::EqualsNoCase(n, name); });
}

// The known keys of one section of a .info or .original.
Names KnownKeys(bool isInfo, std::string_view section) {
  Names known;
  if (!isInfo && util::EqualsNoCase(section, "AutoUpdate")) {
    known = kAgentTextsWithoutDefault;
    known.insert(known.end(), kAgentTextsWithDefault.begin(), kAgentTextsWithDefault.end());
    return known;
  }
  for (const agent::DescriptorKey& k : agent::DescriptorKeys())
    if (k.info == isInfo && util::EqualsNoCase(section, k.section)) known.push_back(k.key);
  return known;
}

// Sections a descriptor of this kind holds.
Names KnownSections(bool isInfo) {
  Names sections;
  if (!isInfo) sections.push_back("AutoUpdate");
  for (const agent::DescriptorKey& k : agent::DescriptorKeys())
    if (k.info == isInfo && !Contains(sections, k.section)) sections.push_back(k.section);
  return sections;
}

// What the agent cannot do without: where a .info finds its files and
// which version it offers; what a .original says is installed and when to
// look; the texts without a default.
std::vector<IniKey> RequiredKeys(std::string_view content, bool isInfo) {
  std::vector<IniKey> required;
  if (isInfo) {
    for (const char* key : {"DownloadURL_UPDATE", "VersionNew", "Stamp"})
      required.push_back({"NewSetup", key});
    const bool inform = agent::IniTextValue(content, "General", "AutoInform") == "1";
    if (inform)
      for (const char* key : {"NameOfInformFile", "SizeOfInformFile"})
        required.push_back({"AutoInform", key});
    else
      for (const char* key : {"NameOfUpdateFile", "SizeOfUpdateFile"})
        required.push_back({"NewSetup", key});
  } else {
    for (const char* key : {"VersionOriginal", "ProbeSecondsInterval"})
      required.push_back({"OriginalSetup", key});
    for (std::string_view key : kAgentTextsWithoutDefault)
      required.push_back({"AutoUpdate", std::string(key)});
  }
  return required;
}

} // namespace

std::vector<std::string> DescriptorKeyWarnings(std::string_view content, bool isInfo) {
  std::vector<std::string> sections;
  std::vector<IniKey> keys;
  ScanIni(content, sections, keys);
  std::vector<std::string> warnings;
  const Names knownSections = KnownSections(isInfo);
  for (const std::string& s : sections)
    if (!Contains(knownSections, s))
      warnings.push_back("unknown section [" + s + "]" + Nearest(s, knownSections) +
                         ": the agent reads nothing from it");
  for (const IniKey& k : keys) {
    if (!Contains(knownSections, k.section)) continue;
    Names known = KnownKeys(isInfo, k.section);
    // The agent writes a readable time beside these numbers.
    if (k.key.rfind("__", 0) == 0 && Contains(known, std::string_view(k.key).substr(2))) continue;
    if (!Contains(known, k.key))
      warnings.push_back("unknown key " + k.key + " in [" + k.section + "]" +
                         Nearest(k.key, known) + ": the agent ignores it");
  }
  for (const IniKey& r : RequiredKeys(content, isInfo)) {
    const bool there = std::any_of(keys.begin(), keys.end(), [&](const IniKey& k) {
      return util::EqualsNoCase(k.section, r.section) && util::EqualsNoCase(k.key, r.key);
    });
    if (!there)
      warnings.push_back("missing key " + r.key + " in [" + r.section + "]" +
                         (r.section == "AutoUpdate" ? ": the agent shows an empty text"
                                                    : ": the agent reads its default"));
  }
  return warnings;
}

std::vector<std::string> LanguageKeyWarnings(const nlohmann::ordered_json& languages) {
  std::vector<std::string> warnings;
  if (!languages.is_array()) return warnings;
  for (const auto& record : languages) {
    if (!record.contains("strings")) continue;
    for (const auto& [key, value] : record["strings"].items())
      if (!Contains(kPackageLanguageKeys, key))
        warnings.push_back("unknown language key " + key + " in [" +
                           record.value("name", std::string()) + "]" +
                           Nearest(key, kPackageLanguageKeys) + ": the stub ignores it");
  }
  return warnings;
}

} // namespace pack
