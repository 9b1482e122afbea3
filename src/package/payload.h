// The payload of a package: block framing, block content (file header and
// data), the engine entry, safe names, DOS time stamps, volume names and the
// zlib inflate helper. Shared by the stub's unpacker and vpack, so that vpack
// reads packages exactly as the stub does. docs/package-format.md describes
// the bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/file.h"

namespace package {

// Each block starts with a signed 32-bit little-endian length.
inline constexpr std::int64_t kBlockLengthSize = 4;
// The block walk ends when fewer bytes than this remain before the package
// end: only the trailer is left.
inline constexpr std::int64_t kMinBytesForBlock = 75;
// Block bodies are read in portions of at most this size (the stub pumps its
// message queue between them).
inline constexpr std::size_t kReadPortion = 65536;

// A header or payload block as framed in the package file.
struct BlockFrame {
  std::int64_t offset = 0; // file offset of the length word
  std::int32_t length = 0; // as stored
  std::uint32_t size = 0;  // body bytes: |length|
  bool compressed = false; // length >= 1: the body is a zlib stream

  std::int64_t BodyOffset() const { return offset + kBlockLengthSize; }
  std::int64_t End() const { return BodyOffset() + size; }
};

// The frame for a stored length word found at `offset`.
BlockFrame DecodeBlockLength(std::int64_t offset, std::int32_t length);

// Reads the length word at `offset` and checks that the whole block lies
// before `limit` (the start of the trailer). A length that does not fit is
// damage, reported in `error` with its offset; it never becomes an
// allocation.
bool ReadBlockFrame(platform::InputFile& file, std::int64_t offset, std::int64_t limit,
                    BlockFrame& frame, std::string& error);

// Reads the body of a checked frame in portions of at most kReadPortion
// bytes, calling `afterPortion` (if set) after each one.
bool ReadBlockBody(platform::InputFile& file, const BlockFrame& frame, std::string& body,
                   std::string& error, const std::function<void()>& afterPortion = {});

// True when the walk stops at `position`: fewer than kMinBytesForBlock bytes
// are left before `packageEnd`.
inline bool PayloadEndsAt(std::int64_t packageEnd, std::int64_t position) {
  return packageEnd - position < kMinBytesForBlock;
}

// Unpacked block content: a file header, one 0 byte, then data. Without a 0
// byte the whole content is the header and there is no data.
struct BlockContent {
  std::string_view header;
  std::string_view data;
  bool hasSeparator = false;
};
BlockContent SplitBlockContent(std::string_view content);

struct FileHeader {
  // File name relative to the target folder (field 0 up to a "*").
  std::string name;
  // The whole field 0 when it holds "*" (the engine launch text), else empty.
  std::string engineEntry;
  // Field 1 as a DOS date-time; 0 when it is not a number.
  std::uint32_t dosDateTime = 0;
};
FileHeader ParseFileHeader(std::string_view header);
// The file header "|name|dosdatetime|" (another separator when the name field
// holds "|").
std::string MakeFileHeader(std::string_view nameField, std::uint32_t dosDateTime);
// The name field of the engine's blocks: "NAME*ARGS" ("NAME*" without
// arguments), so that the unpacker hands it back as the engine entry.
std::string MakeEngineEntry(std::string_view name, std::string_view args);

// False for names that could write outside the target folder or name no file:
// empty, absolute, with a drive letter or any ":", starting with '\\' or '/',
// with a ".." component or an empty last component. Both separators count.
bool IsSafeRelativeName(std::string_view name);

// A DOS date-time: high 16 bits date (years since 1980, month, day), low 16
// bits time (hours, minutes, seconds / 2).
struct DosDateTime {
  int year = 1980;
  int month = 1;
  int day = 1;
  int hour = 0;
  int minute = 0;
  int second = 0;
};
DosDateTime DecodeDosDateTime(std::uint32_t value);
// Odd seconds round down; years outside 1980..2107 are clamped.
std::uint32_t EncodeDosDateTime(const DosDateTime& t);
// True when the fields are a real date and time (month 1..12, day 1..31,
// hour < 24, minute < 60, second < 60).
bool IsValidDosDateTime(std::uint32_t value);

// Volume 1 is the package file itself; its name less a trailing ".001"
// (any case) is the base name, and volume j >= 2 is base + "." + j in three
// digits (".002").
std::string VolumeBaseName(std::string_view packageFile);
std::string VolumeFileName(std::string_view packageFile, int volume);

// Inflates a complete zlib stream. On failure returns false and sets `error`
// to zlib's own message text; `output` is then empty. `progress` (if set) is
// called with the bytes produced so far after every step that did not end
// the stream. Data after the end of the stream is ignored.
bool InflateString(std::string_view input, std::string& output, std::string& error,
                   const std::function<void(std::size_t produced)>& progress = {});

// Inflates a complete zlib stream and passes the output to `sink` in pieces
// of at most `chunk` bytes, so a block of any unpacked size needs no more
// memory than that. `sink` returns false to stop (the result is then false
// with an empty error).
bool InflateChunks(std::string_view input, const std::function<bool(std::string_view)>& sink,
                   std::string& error, std::size_t chunk = 256 * 1024);

} // namespace package
