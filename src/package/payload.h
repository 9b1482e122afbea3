// The payload of a package: block framing, block content (file header and
// data), the engine entry, safe names, DOS time stamps, volume names and the
// zlib inflate helper. Shared by the stub's unpacker and vpack, so that vpack
// reads packages exactly as the stub does. docs/package-format.md describes
// the bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
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

// True when the walk stops at `position`: only the trailer is left before
// `packageEnd`. A trailer longer than 74 bytes (newer builders) is the
// trailer all the same: blocks end where it starts.
inline bool PayloadEndsAt(std::int64_t packageEnd, std::uint32_t trailerLength,
                          std::int64_t position) {
  const std::int64_t trailer =
      trailerLength > kMinBytesForBlock - 1 ? std::int64_t(trailerLength) : kMinBytesForBlock - 1;
  return packageEnd - position <= trailer;
}
inline bool PayloadEndsAt(std::int64_t packageEnd, std::int64_t position) {
  return PayloadEndsAt(packageEnd, kMinBytesForBlock - 1, position);
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

// The one rule for names that are written as files, shared by the stub and
// vpack. A name is relative to the target folder, "\\" or "/" separating
// its folders. Refused are names that could write outside the target or
// that Windows would not create as written: empty, absolute, starting or
// ending with a separator, an empty component ("d\\\\a"), a component of
// dots only ("." or ".."), a component ending in "." or " " (Windows drops
// them, so "a.txt." would be "a.txt"), any of < > : " | ? * or a control
// character, and a device name (CON, PRN, AUX, NUL, COM1-9, LPT1-9, CONIN$,
// CONOUT$, CLOCK$) as any component, with any extension and letter case,
// and a component longer than kMaxNameComponent.
// Returns why, or nullptr for a name that may be written.
const char* UnsafeNameReason(std::string_view name);
inline bool IsSafeRelativeName(std::string_view name) {
  return UnsafeNameReason(name) == nullptr;
}

// Windows' limits for the ANSI functions, counted in bytes: a file path of
// at most 259 (MAX_PATH less its terminating 0), and for the folders on the
// way at most 247 (CreateDirectory keeps room for an 8.3 name).
inline constexpr std::size_t kMaxFilePath = 259;
inline constexpr std::size_t kMaxFolderPath = 247;
// One file or folder name: at most 255.
inline constexpr std::size_t kMaxNameComponent = 255;
// True when Windows can create the file `path` (a full path) with its folders.
bool PathFitsWindows(std::string_view path);
// What a package name leaves to the work folder the stub unpacks into: a
// name that passes NameFitsAnyWorkFolder fits under any work folder path of
// up to this many bytes (the stub's is about half of it).
inline constexpr std::size_t kWorkFolderAllowance = 99;
bool NameFitsAnyWorkFolder(std::string_view name);
// The rule vpack applies to a package's names (build, verify, extract):
// UnsafeNameReason, then the length under the work folder allowance.
const char* PackageNameReason(std::string_view name);

// The key under which Windows sees one file: ASCII letters in upper case
// and "/" as "\\". Blocks whose names have one key continue one file.
std::string FileNameKey(std::string_view name);

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
// The local time a valid DOS date-time stands for, as the C library counts
// it (for setting file times natively); -1 when it is not valid.
std::time_t DosDateTimeToLocalTime(std::uint32_t value);

// Volume 1 is the package file itself; its name less a trailing ".001"
// (any case) is the base name, and volume j >= 2 is base + "." + j in three
// digits (".002").
std::string VolumeBaseName(std::string_view packageFile);
std::string VolumeFileName(std::string_view packageFile, int volume);

// Limits of a block's content. The data part is at most vpack's largest
// block size, the file header at most kMaxFileHeader bytes; content beyond
// kMaxBlockContent (a block that inflates further) is damage, so memory and
// time stay bounded whatever a block claims.
inline constexpr std::size_t kMaxFileHeader = 32768;
inline constexpr std::uint64_t kMaxBlockData = 256u << 20;
inline constexpr std::uint64_t kMaxBlockContent = kMaxFileHeader + 1 + kMaxBlockData;
// Data goes to the sink in pieces of at most this size.
inline constexpr std::size_t kDecodeChunk = 256 * 1024;

// Decodes block content piece by piece: the body goes in as it is read (a
// zlib stream or stored bytes), the file header comes out whole, the data in
// pieces of at most kDecodeChunk bytes. One decoder serves block after block
// (its inflate state and buffer are reused) and releases them when it is
// destroyed, whichever way the caller leaves.
class BlockDecoder {
public:
  struct Sink {
    // The complete file header; `hasSeparator` is false when the content
    // held no 0 byte (it is then all header, and no data follows).
    std::function<bool(std::string_view header, bool hasSeparator)> onHeader;
    std::function<bool(std::string_view data)> onData;
  };

  BlockDecoder();
  ~BlockDecoder();
  BlockDecoder(const BlockDecoder&) = delete;
  BlockDecoder& operator=(const BlockDecoder&) = delete;

  // Starts a block. False only when zlib cannot be initialised (error set).
  bool Begin(bool compressed, std::string& error);
  // The next piece of the body. False for damage (error set; "zlib: " and
  // zlib's own text for bad streams) or when a sink returned false (error
  // empty).
  bool Feed(std::string_view body, const Sink& sink, std::string& error);
  // After the last piece: false when the zlib stream has not ended (damage)
  // or a sink stopped. Delivers a header that no 0 byte ended.
  bool Finish(const Sink& sink, std::string& error);

private:
  bool Content(std::string_view piece, const Sink& sink, std::string& error);
  struct Zlib;
  Zlib* zlib_ = nullptr;
  std::string out_, header_;
  bool compressed_ = false, ended_ = false, inHeader_ = true, stopped_ = false;
  std::uint64_t contentSize_ = 0;
};

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
