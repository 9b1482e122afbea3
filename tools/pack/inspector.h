// What `vpack info`, `list` and `verify` report about a package.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "pack/reader.h"

namespace pack {

// Every trailer and header field of volume 1, decoded.
nlohmann::ordered_json InfoJson(const PackageReader& reader);
std::string InfoText(const nlohmann::ordered_json& info);

struct ListedFile {
  std::string name;              // as in the first block (without "*...")
  std::string engineEntry;       // the name field when it marks the engine
  std::uint64_t size = 0;        // unpacked data bytes
  std::uint64_t packedSize = 0;  // block bytes in the package
  std::uint32_t dosDateTime = 0; // of the last block (the stub sets it last)
  std::uint32_t blocks = 0;
  int volume = 1;          // of the first block
  std::int64_t offset = 0; // of the first block
};
// The files in first-block order; same-name blocks (any case) are merged as
// the stub appends them. Throws on damage.
std::vector<ListedFile> ListFiles(const PackageReader& reader);
nlohmann::ordered_json ListJson(const std::vector<ListedFile>& files);
std::string ListText(const std::vector<ListedFile>& files);

struct Problem {
  std::string where; // "file offset N", or the file alone
  std::string what;
};
struct VerifyReport {
  std::string package; // volume 1: the file given, or the .001 set of a launcher
  int volumes = 0;
  std::uint32_t blocks = 0;
  std::vector<Problem> problems;
  bool Ok() const { return problems.empty(); }
};
// Checks every volume's checksum, every block's framing and inflation, the
// file names, the block count and the space table; given a CD-style
// launcher, its own checksum and then its .001 set. Never throws for
// damage: it becomes a problem.
VerifyReport Verify(const std::string& path);
// The report for `verify --json`: {"file", "package", "ok", "volumes",
// "blocks", "problems": [{"where", "what"}]}.
nlohmann::ordered_json VerifyJson(const std::string& file, const VerifyReport& report);

// Key names used in the JSON and text output for the flag bits.
std::vector<std::pair<std::string, std::uint8_t>> FlagNames();

} // namespace pack
