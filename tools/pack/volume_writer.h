// Writing a package's files: the length word of a block, the end of a
// package file (trailer, end marker, checksum) and the volume set that
// spreads the blocks over volume files of a given size.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "pack/builder.h"
#include "pack/file_system.h"
#include "package/trailer.h"

namespace pack {

// The length word of a block: positive for a zlib stream, zero or negative
// for stored content.
std::string LengthWord(std::size_t size, bool compressed);

// Ends a package file: the trailer, the end marker (PE files only, when
// asked for) and the checksum, computed over the closed file. The checksum
// leaves out the trailer, so patching it in changes no summed byte.
std::uint32_t FinishPackageFile(OutputFile& out, package::Trailer t, bool endMarker);

// The volume files of one package, written in block order. Volume 1 starts
// with the stub image and the header blocks; a block that would take the
// current volume past the volume size closes it (Spanned set, own trailer
// and checksum) and opens the next one, which starts right with the block.
// The volumes of a set of two or more carry its mark (package/volume_set.h).
class VolumeSet {
public:
  VolumeSet(const BuildOptions& o, std::string firstPath, std::string_view stubAndHeader,
            const package::Trailer& base, bool endMarker);

  void AddBlock(std::string_view lengthWord, std::string_view body, const std::string& name);
  // Closes the last volume (without Spanned).
  void Finish();
  std::vector<WrittenFile> Written() const;
  void AppendFiles(std::vector<OutputFile*>& files);

private:
  struct Volume {
    std::unique_ptr<OutputFile> file;
    std::string head; // the first bytes, to tell whether it would read as a PE file
    std::uint64_t trailerOffset = 0;
    WrittenFile info;
  };

  void Open();
  static void Remember(Volume& v, std::string_view bytes);
  void Close(bool spanned);
  void Sum(std::string_view bytes);

  const BuildOptions& o_;
  std::string firstPath_;
  package::Trailer base_;
  bool endMarker_;
  std::vector<Volume> volumes_;
  std::uint32_t blocks_ = 0;
  unsigned long crc_ = 0; // over every byte before the trailers: the set's identity
};

} // namespace pack
