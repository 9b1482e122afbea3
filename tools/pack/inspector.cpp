#include "pack/inspector.h"

#include <cstdio>
#include <map>
#include <sstream>

#include "pack/error.h"
#include "pack/file_system.h"
#include "pack/text_encoding.h"
#include "pack/update_signing.h"
#include "package/engine_result.h"
#include "package/format.h"
#include "package/payload.h"
#include "package/token.h"
#include "util/field_list.h"
#include "util/text.h"

namespace pack {

using json = nlohmann::ordered_json;
using util::IntToStr;
using util::SUB;

namespace {

std::string Hex(std::uint64_t v, int digits) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "0x%0*llX", digits, static_cast<unsigned long long>(v));
  return buf;
}

// The plain text of a token field: "" for an empty field, null when the
// text is no token. package::UnscrambleToken answers a non-token with a
// random number, so its checks (hexadecimal pairs offset by 50, at least 5
// bytes, the check byte, counts that fit) are made here first: `info` must
// say the same every time.
json PlainToken(const std::string& raw) {
  if (raw.empty()) return "";
  const auto digit = [](char c) -> int {
    const int v = static_cast<unsigned char>(c) - 50;
    if (v >= '0' && v <= '9') return v - '0';
    if (v >= 'A' && v <= 'F') return v - 'A' + 10;
    if (v >= 'a' && v <= 'f') return v - 'a' + 10;
    return -1;
  };
  std::vector<unsigned char> d;
  for (std::size_t i = 0; i + 1 < raw.size(); i += 2) {
    const int hi = digit(raw[i]), lo = digit(raw[i + 1]);
    if (hi < 0 || lo < 0) break;
    d.push_back(static_cast<unsigned char>(hi * 16 + lo));
  }
  const std::size_t n = d.size();
  if (n <= 4) return nullptr;
  unsigned sum = 0;
  for (std::size_t i = 0; i < n; ++i)
    if (i != n - 2) sum += d[i];
  if ((sum & 0xFF) != d[n - 2]) return nullptr;
  const unsigned k = d[0] ^ d[n - 1];
  if ((d[1] ^ k) + (d[2] ^ k) + 4u > n) return nullptr;
  return package::UnscrambleToken(raw);
}

json FieldsJson(const std::string& raw, const std::vector<std::string>& names) {
  json j;
  j["raw"] = raw;
  for (std::size_t i = 0; i < names.size(); ++i) {
    j[names[i]] = SUB::GetField(raw, static_cast<int>(i));
    if (names[i] == "token") j["tokenPlain"] = PlainToken(j["token"].get<std::string>());
  }
  return j;
}

// The code page a language record's texts are written in, by its Charset.
int RecordCodePage(std::string_view record) {
  const auto fields = SUB::Fields(record);
  for (std::size_t i = 1; i < fields.size(); ++i) {
    const std::size_t eq = fields[i].find('=');
    if (eq != std::string_view::npos &&
        util::EqualsNoCase(util::Trim(fields[i].substr(0, eq)), "Charset"))
      return CodePageOfCharset(static_cast<int>(util::StrToInt64Def(fields[i].substr(eq + 1), 0)));
  }
  return CodePageOfCharset(0);
}

// The language table as UTF-8, each record converted from its own code page.
std::string LanguageTableUtf8(const std::string& table) {
  const auto records = SUB::Fields(table);
  if (records.empty()) return CodePageToUtf8(table, CodePageOfCharset(0));
  const std::string sep(1, table.front());
  std::string out = sep;
  for (std::string_view record : records)
    out += CodePageToUtf8(record, RecordCodePage(record)) + sep;
  return out;
}

json LanguagesJson(const std::string& table) {
  json list = json::array();
  for (std::string_view record : SUB::Fields(table)) {
    // Split as the stub does (by bytes), then each text in UTF-8 from the
    // record's code page, so "Zur\xFCck" in 1252 reads "Zurück".
    const int codePage = RecordCodePage(record);
    const auto utf8 = [&](std::string_view text) { return CodePageToUtf8(text, codePage); };
    json strings = json::object();
    const auto fields = SUB::Fields(record);
    for (std::size_t i = 1; i < fields.size(); ++i) {
      const std::size_t eq = fields[i].find('=');
      strings[utf8(fields[i].substr(0, eq))] =
          eq == std::string_view::npos ? "" : utf8(fields[i].substr(eq + 1));
    }
    list.push_back(
        {{"name", utf8(SUB::GetField(record, 0))}, {"codePage", codePage}, {"strings", strings}});
  }
  return list;
}

// Cluster sizes of the space table entries (0: the plain sum).
std::uint64_t ClusterOfEntry(int i) {
  return i == 0 ? 0 : 256ull << i;
}

// One "label  value" line; both escaped, as they may come from the package.
std::string Line(const std::string& label, const std::string& rawValue, int indent = 2) {
  const std::string value = EscapeForTerminal(rawValue);
  std::string s(indent, ' ');
  s += EscapeForTerminal(label);
  if (s.size() < 24)
    s.resize(24, ' ');
  else
    s += ' ';
  return s + value + "\n";
}

std::string Str(const json& j) {
  return j.is_string() ? j.get<std::string>() : j.dump();
}

} // namespace

std::vector<std::pair<std::string, std::uint8_t>> FlagNames() {
  return {{"alwaysReportTempDrive", package::kFlagAlwaysReportTempDrive},
          {"spanned", package::kFlagSpanned},
          {"spanCdLevel", package::kFlagSpanCdLevel},
          {"showSecondBar", package::kFlagShowSecondBar},
          {"agentLog", package::kFlagAgentLog}};
}

json InfoJson(const PackageReader& reader) {
  const VolumeInfo& v = reader.First();
  const package::Trailer& t = v.trailer;
  json tj;
  tj["reserved0"] = t.reserved0;
  tj["version"] = v.storedVersion;
  tj["headerBlocks"] = v.HeaderBlockCount();
  tj["reserved2"] = t.reserved2;
  tj["headerStart"] = t.headerStart;
  tj["filesCount"] = t.filesCount;
  tj["magic"] = Hex(t.magic, 8);
  tj["checksum"] = t.checksum;
  tj["checksumComputed"] = v.checksumComputed;
  tj["checksumOk"] = v.ChecksumOk();
  tj["reserved20"] = t.reserved20;
  tj["spaceRequired"] = t.spaceRequired;
  tj["reserved64"] = t.reserved64;
  tj["flags"] = t.flags;
  json bits = json::object();
  for (const auto& [name, bit] : FlagNames())
    bits[name] = (t.flags & bit) != 0;
  tj["flagBits"] = bits;
  tj["useDownloadRoad"] = t.useDownloadRoad;
  tj["askBeforeDownload"] = t.askBeforeDownload;
  tj["carryAgent"] = t.carryAgent;
  tj["isUpdateAgent"] = t.isUpdateAgent;
  tj["trailerLength"] = t.trailerLength;

  json space = json::array();
  for (int i = 0; i < package::kSpaceEntries; ++i)
    space.push_back({{"clusterSize", ClusterOfEntry(i)}, {"bytes", t.spaceRequired[i]}});

  json header;
  const std::string table = reader.HeaderText(0);
  header["languageTable"] = LanguageTableUtf8(table);
  header["languages"] = LanguagesJson(table);
  header["updateInfo"] =
      reader.Headers().size() > 1
          ? FieldsJson(reader.HeaderText(1), {"url", "infoFile", "agentName", "token", "runHidden",
                                                "updateKey"})
          : json();
  // The rule as the stub reads it: "handshake" also for packages without
  // the field.
  if (header["updateInfo"].is_object() && !header["updateInfo"]["updateKey"].get<std::string>().empty())
    header["updateInfo"]["updateKeyFingerprint"] =
        KeyFingerprint(header["updateInfo"]["updateKey"].get<std::string>());
  if (header["updateInfo"].is_object())
    header["updateInfo"]["engineResult"] = package::EngineResultName(
        package::EngineResultFromField(SUB::GetField(reader.HeaderText(1), 6)));
  header["downloadInfo"] =
      reader.Headers().size() > 2
          ? FieldsJson(reader.HeaderText(2),
                       {"source", "fileName", "useSourceAsIs", "token", "size", "sha256"})
          : json();

  json j;
  j["file"] = reader.Path();
  j["fileSize"] = v.fileSize;
  j["isPe"] = v.isPe;
  j["endMarker"] = v.endMarker;
  j["packageEnd"] = v.packageEnd;
  j["trailerOffset"] = v.trailerOffset;
  j["payloadStart"] = reader.PayloadStart();
  j["isUpdateAgent"] = t.isUpdateAgent != 0;
  j["trailer"] = tj;
  j["spaceTable"] = space;
  j["header"] = header;
  return j;
}

std::string InfoText(const json& j) {
  const json& t = j["trailer"];
  std::ostringstream o;
  o << "Package " << EscapeForTerminal(Str(j["file"])) << "\n";
  o << Line("file size", Str(j["fileSize"]));
  o << Line("PE image", j["isPe"].get<bool>() ? "yes" : "no");
  o << Line("end marker", Str(j["endMarker"]) + " (package ends at " + Str(j["packageEnd"]) + ")");
  o << Line("kind", j["isUpdateAgent"].get<bool>() ? "auto-update agent" : "setup package");
  o << "Trailer at offset " << Str(j["trailerOffset"]) << "\n";
  o << Line("reserved0", Str(t["reserved0"]));
  o << Line("version", Str(t["version"]) + " (" + Str(t["headerBlocks"]) + " header blocks)");
  o << Line("reserved2", Str(t["reserved2"]));
  o << Line("headerStart", Str(t["headerStart"]));
  o << Line("filesCount", Str(t["filesCount"]) + " file blocks");
  o << Line("magic", Str(t["magic"]));
  o << Line("checksum", Str(t["checksum"]) + " stored, " + Str(t["checksumComputed"]) +
                            " computed: " + (t["checksumOk"].get<bool>() ? "ok" : "MISMATCH"));
  o << Line("reserved20", t["reserved20"].dump());
  o << Line("reserved64", Str(t["reserved64"]));
  std::string flags = Hex(t["flags"].get<unsigned>(), 2);
  for (const auto& [name, bit] : FlagNames())
    if (t["flagBits"][name].get<bool>()) flags += " " + name;
  o << Line("flags", flags);
  o << Line("useDownloadRoad", Str(t["useDownloadRoad"]));
  o << Line("askBeforeDownload", Str(t["askBeforeDownload"]));
  o << Line("carryAgent", Str(t["carryAgent"]));
  o << Line("isUpdateAgent", Str(t["isUpdateAgent"]));
  o << Line("trailerLength", Str(t["trailerLength"]));
  o << "Space required (bytes)\n";
  for (const json& e : j["spaceTable"]) {
    const auto c = e["clusterSize"].get<std::uint64_t>();
    o << Line(c == 0 ? "plain sum" : "clusters >= " + IntToStr(c), Str(e["bytes"]));
  }
  const json& h = j["header"];
  o << "Header\n";
  o << Line("languageTable", Str(h["languageTable"]));
  for (const json& lang : h["languages"]) {
    o << Line("language", Str(lang["name"]), 4);
    for (const auto& [key, value] : lang["strings"].items())
      o << Line(key, Str(value), 6);
  }
  for (const char* block : {"updateInfo", "downloadInfo"}) {
    if (h[block].is_null()) continue;
    o << Line(block, Str(h[block]["raw"]));
    for (const auto& [key, value] : h[block].items())
      if (key != "raw") o << Line(key, value.is_null() ? "(not a valid token)" : Str(value), 4);
  }
  o << Line("payload starts at", Str(j["payloadStart"]), 0);
  return o.str();
}

std::vector<ListedFile> ListFiles(const PackageReader& reader) {
  std::vector<ListedFile> files;
  std::map<std::string, std::size_t> index;
  reader.Walk({}, [&](const PayloadBlock& b) {
    ListedFile* f = nullptr;
    FileBlockHandler h;
    h.onHeader = [&](const package::FileHeader& fh, std::string_view raw, bool) {
      if (raw.empty()) return false;
      const auto [it, isNew] = index.emplace(package::FileNameKey(fh.name), files.size());
      if (isNew) {
        ListedFile n;
        n.name = fh.name;
        n.volume = b.volume->number;
        n.offset = b.frame.offset;
        files.push_back(n);
      }
      f = &files[it->second];
      if (!fh.engineEntry.empty()) f->engineEntry = fh.engineEntry;
      f->dosDateTime = fh.dosDateTime;
      f->packedSize += 4 + b.frame.size;
      ++f->blocks;
      return true;
    };
    h.onData = [&](std::string_view data) {
      f->size += data.size();
      return true;
    };
    const std::string damage = DecodeFileBlock(b, h);
    if (!damage.empty())
      throw Error(Where(b.volume->path, b.frame.offset) + ": file block " + IntToStr(b.index + 1) +
                  ": " + damage);
    return true;
  });
  return files;
}

json ListJson(const std::vector<ListedFile>& files) {
  json list = json::array();
  for (const ListedFile& f : files) {
    list.push_back({{"name", f.name},
                    {"engine", !f.engineEntry.empty()},
                    {"engineEntry", f.engineEntry},
                    {"size", f.size},
                    {"packedSize", f.packedSize},
                    {"dosDateTime", f.dosDateTime},
                    {"date", FormatDosDateTime(f.dosDateTime)},
                    {"blocks", f.blocks},
                    {"volume", f.volume},
                    {"offset", f.offset}});
  }
  return list;
}

std::string ListText(const std::vector<ListedFile>& files) {
  std::ostringstream o;
  std::uint64_t total = 0, packed = 0;
  char line[96];
  std::snprintf(line, sizeof line, "%12s %12s  %-19s %6s  %s\n", "size", "packed", "date", "blocks",
                "name");
  o << line;
  for (const ListedFile& f : files) {
    std::snprintf(line, sizeof line, "%12llu %12llu  %-19s %6u  ",
                  static_cast<unsigned long long>(f.size),
                  static_cast<unsigned long long>(f.packedSize),
                  FormatDosDateTime(f.dosDateTime).c_str(), f.blocks);
    o << line << EscapeForTerminal(f.name);
    if (!f.engineEntry.empty()) o << "   [engine: " << EscapeForTerminal(f.engineEntry) << "]";
    o << "\n";
    total += f.size;
    packed += f.packedSize;
  }
  o << files.size() << " files, " << total << " bytes (" << packed << " packed)\n";
  return o.str();
}

VerifyReport Verify(const std::string& launcherOrPackage) {
  VerifyReport r;
  const std::string path = UnpackedPackageFile(launcherOrPackage);
  r.package = path;
  if (path != launcherOrPackage) {
    // The launcher is read by the stub too (its trailer and header blocks).
    try {
      const VolumeInfo launcher = ReadVolume(launcherOrPackage, 1);
      if (!launcher.ChecksumOk())
        r.problems.push_back(
            {launcherOrPackage, "checksum mismatch: stored " + IntToStr(launcher.trailer.checksum) +
                                    ", computed " + IntToStr(launcher.checksumComputed)});
    } catch (const Error& e) {
      r.problems.push_back({launcherOrPackage, e.what()});
    }
  }
  std::unique_ptr<PackageReader> reader;
  try {
    reader = std::make_unique<PackageReader>(path);
  } catch (const Error& e) {
    r.problems.push_back({path, e.what()});
    return r;
  }
  std::map<std::string, std::uint64_t> sizes;
  try {
    reader->Walk(
        [&](const VolumeInfo& v) {
          ++r.volumes;
          if (!v.ChecksumOk())
            r.problems.push_back({v.path, "checksum mismatch: stored " +
                                              IntToStr(v.trailer.checksum) + ", computed " +
                                              IntToStr(v.checksumComputed)});
          return true;
        },
        [&](const PayloadBlock& b) {
          ++r.blocks;
          const std::string where = Where(b.volume->path, b.frame.offset);
          const std::string which = "file block " + IntToStr(b.index + 1) + ": ";
          std::uint64_t* size = nullptr;
          FileBlockHandler h;
          h.onHeader = [&](const package::FileHeader& fh, std::string_view raw, bool sep) {
            if (raw.empty()) {
              r.problems.push_back({where, which + "empty file header (the stub skips the block)"});
              return false;
            }
            if (!sep) r.problems.push_back({where, which + "no 0 byte after the file header"});
            if (const char* why = package::PackageNameReason(fh.name))
              r.problems.push_back({where, which + "unsafe file name '" + fh.name + "': " + why});
            size = &sizes[package::FileNameKey(fh.name)];
            return true;
          };
          h.onData = [&](std::string_view data) {
            *size += data.size();
            return true;
          };
          const std::string damage = DecodeFileBlock(b, h);
          if (!damage.empty()) r.problems.push_back({where, which + damage});
          return true;
        });
  } catch (const Error& e) {
    r.problems.push_back({path, e.what()});
    return r;
  }
  const package::Trailer& t = reader->First().trailer;
  // The stub writes the agent copy under the file name part of field 2.
  const std::string agent = util::FileNameOf(SUB::GetField(reader->HeaderText(1), 2));
  if (t.carryAgent && !agent.empty())
    if (const char* why = package::PackageNameReason(agent))
      r.problems.push_back({path, "unsafe agent name '" + agent + "': " + why});
  if (t.filesCount != r.blocks)
    r.problems.push_back({path, "trailer filesCount is " + IntToStr(t.filesCount) + " but " +
                                    IntToStr(r.blocks) + " file blocks were found"});
  for (int i = 0; i < package::kSpaceEntries; ++i) {
    std::uint64_t want = 0;
    const std::uint64_t cluster = ClusterOfEntry(i);
    for (const auto& [name, size] : sizes)
      want += cluster == 0 ? size : (size + cluster - 1) / cluster * cluster;
    want = std::min<std::uint64_t>(want, 0xFFFFFFFFu);
    if (want != t.spaceRequired[i])
      r.problems.push_back({path, "space table entry " + IntToStr(i) + " is " +
                                      IntToStr(t.spaceRequired[i]) + " but the files need " +
                                      IntToStr(static_cast<std::int64_t>(want))});
  }
  return r;
}

json VerifyJson(const std::string& file, const VerifyReport& report) {
  json problems = json::array();
  for (const Problem& p : report.problems)
    problems.push_back({{"where", p.where}, {"what", p.what}});
  json j;
  j["file"] = file;
  j["package"] = report.package;
  j["ok"] = report.Ok();
  j["volumes"] = report.volumes;
  j["blocks"] = report.blocks;
  j["problems"] = problems;
  return j;
}

} // namespace pack
