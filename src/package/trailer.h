// Finding and reading the trailer of a package file, its checksum and the
// space table.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "package/format.h"
#include "platform/file.h"

namespace package {

// "MZ" at 0 and "PE" at 256. Leaves the file position after byte 257.
bool IsPeFile(platform::InputFile& file);
bool IsPeFile(const std::string& path);

// The 64-bit package end marker at offsets 248 (high word) and 252 (low word).
std::int64_t PackageEndFromImage(std::string_view image);
std::int64_t PackageEndFromFile(platform::InputFile& file);

// Fills `out` from the trailer found through the last four bytes of the file
// (or of the package, when a PE file's end marker is positive). Returns false
// when no trailer could be read at all (out is then zeroed, or partly filled
// from what could be read).
bool ReadTrailer(platform::InputFile& file, Trailer& out);
bool ReadTrailer(const std::string& path, Trailer& out);

// The package checksum over the file less its last `excluded` bytes;
// kChecksumOff for files larger than kChecksumMaxFile.
std::uint32_t PackageChecksum(const std::string& path, std::uint32_t excluded);
inline bool ChecksumMatches(std::uint32_t stored, std::uint32_t computed) {
  return stored == computed || stored == kChecksumOff || computed == kChecksumOff;
}

// The space table entry for a volume of the given cluster size: entry 0
// below 512 bytes (or unknown), entry i for clusters of at least 256 * 2^i.
double SpaceRequired(const Trailer& trailer, std::uint32_t clusterSize);

}  // namespace package
