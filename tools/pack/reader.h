// Reading a package the way the stub does, with every length checked: the
// volume's trailer, the header blocks of volume 1 and the walk over the
// payload blocks of all volumes. Damage throws pack::Error naming the file
// and offset; nothing larger than the file is ever allocated.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "package/format.h"
#include "package/payload.h"
#include "package/trailer.h"
#include "platform/file.h"

namespace pack {

struct VolumeInfo {
  int number = 1;
  std::string path;
  std::int64_t fileSize = 0;
  bool isPe = false;
  std::int64_t endMarker = 0;  // offsets 248..255 (PE files only)
  std::int64_t packageEnd = 0; // file size, or the end marker when positive
  std::int64_t trailerOffset = 0;
  std::uint8_t storedVersion = 0; // before "0 reads as 2"
  package::Trailer trailer;       // version already mapped 0 -> 2
  std::uint32_t checksumComputed = 0;

  int HeaderBlockCount() const { return number == 1 ? trailer.version : 0; }
  bool ChecksumOk() const { return package::ChecksumMatches(trailer.checksum, checksumComputed); }
};

// Reads and checks the trailer of one volume file. `number` 1 is the package
// file itself.
VolumeInfo ReadVolume(const std::string& path, int number);

struct HeaderBlock {
  package::BlockFrame frame;
  std::string text;
};

// A payload block met by the walk.
struct PayloadBlock {
  const VolumeInfo* volume = nullptr;
  package::BlockFrame frame;
  std::string body;        // as stored: a zlib stream or the plain content
  std::uint32_t index = 0; // 0-based among the file blocks of the package
};

class PackageReader {
public:
  // Reads volume 1 and its header blocks.
  explicit PackageReader(std::string path);

  const std::string& Path() const { return path_; }
  const VolumeInfo& First() const { return first_; }
  const std::vector<HeaderBlock>& Headers() const { return headers_; }
  // Header block i (0-based) as text; empty when the package has fewer.
  std::string HeaderText(std::size_t i) const;
  std::int64_t PayloadStart() const { return payloadStart_; }

  // Walks the payload blocks of every volume in the stub's order. `onVolume`
  // is called when a volume is entered (volume 1 included) and may return
  // false to stop; `onBlock` may return false to stop. A missing or damaged
  // volume, or a block running past its volume's trailer, throws.
  void Walk(const std::function<bool(const VolumeInfo&)>& onVolume,
            const std::function<bool(const PayloadBlock&)>& onBlock) const;

private:
  std::string path_;
  VolumeInfo first_;
  std::vector<HeaderBlock> headers_;
  std::int64_t payloadStart_ = 0;
};

// The parts of one file block's content: its header, then the data in
// pieces. A block without a 0 byte has only a header (as the stub reads it).
// Headers longer than package::kMaxFileHeader, and content beyond
// package::kMaxBlockContent, are refused as damage.
struct FileBlockHandler {
  // `raw` is the header text; an empty one makes the stub skip the block.
  std::function<bool(const package::FileHeader& header, std::string_view raw, bool hasSeparator)>
      onHeader;
  std::function<bool(std::string_view data)> onData;
};
// Unpacks the block (inflating streams in pieces, package::BlockDecoder as
// the stub) and feeds `handler`.
// Returns an empty text on success, else what is wrong (zlib's message, or
// an over-long header). A handler returning false stops quietly.
std::string DecodeFileBlock(const PayloadBlock& block, const FileBlockHandler& handler);

// The file the stub unpacks when it is started as `path`. A package with the
// span-level bit (a CD-style launcher) runs a copy of itself on `path`.001,
// so when that file exists it is volume 1 of the package; otherwise `path`.
std::string UnpackedPackageFile(const std::string& path);

// "file 'P' offset N" for messages.
std::string Where(const std::string& path, std::int64_t offset);

} // namespace pack
