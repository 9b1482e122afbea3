// The package format: the one definition shared by the stub and vpack.
// docs/package-format.md describes it byte by byte.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace package {

inline constexpr std::uint32_t kMagic = 0x4A3B2C1Du;
inline constexpr std::uint32_t kTrailerSize = 74;
// A checksum of this value (stored or computed) switches the check off.
inline constexpr std::uint32_t kChecksumOff = 1234;
// Larger package files are not summed; their checksum is kChecksumOff.
inline constexpr std::uint64_t kChecksumMaxFile = 51200;
// The package end marker lives in the DOS area, ahead of the PE signature.
inline constexpr std::uint64_t kEndMarkerHigh = 248;
inline constexpr std::uint64_t kEndMarkerLow = 252;
inline constexpr std::uint64_t kPeSignatureOffset = 256;
inline constexpr int kSpaceEntries = 9;

// Flags bits.
enum : std::uint8_t {
  kFlagAlwaysReportTempDrive = 1u << 0,
  kFlagSpanned = 1u << 1,
  kFlagSpanCdLevel = 1u << 2,
  kFlagShowSecondBar = 1u << 3,
  kFlagAgentLog = 1u << 4,
};

// The 74-byte record at the very end of a package (little-endian, packed).
struct Trailer {
  std::uint8_t reserved0 = 0;   // 0: written as 1, not interpreted
  std::uint8_t version = 0;     // 1: 0 reads as 2; number of header blocks
  std::uint16_t reserved2 = 0;  // 2
  std::uint32_t headerStart = 0;  // 4: file offset of header block 1
  std::uint32_t filesCount = 0;   // 8: payload file blocks in the whole package
  std::uint32_t magic = 0;        // 12
  std::uint32_t checksum = 0;     // 16
  std::array<std::uint8_t, 8> reserved20{};  // 20: carried unchanged
  std::array<std::uint32_t, kSpaceEntries> spaceRequired{};  // 28
  std::uint8_t reserved64 = 0;      // 64: carried unchanged
  std::uint8_t flags = 0;           // 65
  std::uint8_t useDownloadRoad = 0;  // 66
  std::uint8_t askBeforeDownload = 0;  // 67
  std::uint8_t carryAgent = 0;       // 68
  std::uint8_t isUpdateAgent = 0;    // 69
  std::uint32_t trailerLength = 0;   // 70: always the last four bytes

  bool HasMagic() const { return magic == kMagic; }
};

// Byte offsets inside the encoded trailer that other code patches in place.
inline constexpr std::size_t kTrailerIsUpdateAgentOffset = 69;

// The volumes of a spanned set carry in Reserved20 the set's mark: bytes
// 0..5 the set's identity (the same in every volume, never all zero), bytes
// 6..7 the volume's own number from 1 (little-endian). Packages of one file
// leave Reserved20 zero.
inline constexpr std::size_t kTrailerSetMarkOffset = 20;
inline constexpr std::size_t kSetIdentityBytes = 6;

inline std::uint32_t ReadLe32(const unsigned char* p) {
  return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
         std::uint32_t(p[3]) << 24;
}
inline std::uint16_t ReadLe16(const unsigned char* p) {
  return std::uint16_t(p[0] | p[1] << 8);
}
inline void WriteLe32(unsigned char* p, std::uint32_t v) {
  p[0] = v & 0xFF;
  p[1] = (v >> 8) & 0xFF;
  p[2] = (v >> 16) & 0xFF;
  p[3] = (v >> 24) & 0xFF;
}
inline void AppendLe32(std::string& s, std::uint32_t v) {
  unsigned char b[4];
  WriteLe32(b, v);
  s.append(reinterpret_cast<char*>(b), 4);
}

// Decodes `n` bytes (at most kTrailerSize) of an encoded trailer; fields
// beyond `n` stay zero.
Trailer DecodeTrailer(const unsigned char* bytes, std::size_t n);
std::array<unsigned char, kTrailerSize> EncodeTrailer(const Trailer& t);

}  // namespace package
