// How vpack compresses one block. Every compressor here writes a zlib stream
// (RFC 1950), which the stub inflates with zlib; they differ only in speed
// and size. Which one a build writes packages with is decided here and in
// block_compressor.cpp alone: libdeflate natively, zlib in vpack.exe (MinGW
// has no libdeflate package; tools/pack/CMakeLists.txt links what there is).
#pragma once

#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace pack {

class BlockCompressor {
public:
  virtual ~BlockCompressor() = default;
  // Puts the zlib stream of `in` into `out` and returns true when it is
  // shorter than `in`; otherwise returns false (the block is better stored)
  // and leaves `out` empty. Throws pack::Error when the library fails.
  virtual bool Compress(std::string_view in, std::string& out) = 0;
};

// A library and the levels it offers.
struct CompressorKind {
  const char* name;
  // Chosen by measurement (docs/vpack.md, Compression): the level of a
  // build without --level, and the one it gives blocks under 64 KiB.
  int defaultLevel;
  int smallBlockLevel;
  int maxLevel; // levels run from 0 to this
  std::unique_ptr<BlockCompressor> (*make)(int level);
};

// Every compressor in this build; the first is the one packages are written
// with.
std::span<const CompressorKind> AvailableCompressors();

inline const CompressorKind& BuildCompressor() {
  return AvailableCompressors().front();
}

} // namespace pack
