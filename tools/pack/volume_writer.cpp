#include "pack/volume_writer.h"

#include <zlib.h>

#include <algorithm>
#include <array>

#include "pack/error.h"
#include "package/format.h"
#include "package/payload.h"
#include "package/volume_set.h"
#include "util/text.h"

namespace pack {

using util::IntToStr;

namespace {

std::string_view Bytes(const std::array<unsigned char, package::kTrailerSize>& a) {
  return std::string_view(reinterpret_cast<const char*>(a.data()), a.size());
}

} // namespace

// The length word of a block: positive for a zlib stream, zero or negative
// for stored content.
std::string LengthWord(std::size_t size, bool compressed) {
  std::string word;
  const std::int64_t n = static_cast<std::int64_t>(size);
  package::AppendLe32(word,
                      static_cast<std::uint32_t>(static_cast<std::int32_t>(compressed ? n : -n)));
  return word;
}

// Ends a package file: the trailer, the end marker (PE files only, when
// asked for) and the checksum, computed over the closed file. The checksum
// leaves out the trailer, so patching it in changes no summed byte.
std::uint32_t FinishPackageFile(OutputFile& out, package::Trailer t, bool endMarker) {
  const std::uint64_t trailerOffset = out.Size();
  t.checksum = 0;
  out.Write(Bytes(package::EncodeTrailer(t)));
  if (endMarker) {
    const std::uint64_t end = out.Size();
    unsigned char marker[8];
    package::WriteLe32(marker, static_cast<std::uint32_t>(end >> 32));
    package::WriteLe32(marker + 4, static_cast<std::uint32_t>(end));
    out.Patch(package::kEndMarkerHigh, std::string_view(reinterpret_cast<char*>(marker), 8));
  }
  out.Close();
  const std::uint32_t checksum = package::PackageChecksum(out.TempPath().string(), t.trailerLength);
  unsigned char sum[4];
  package::WriteLe32(sum, checksum);
  out.PatchClosed(trailerOffset + 16, std::string_view(reinterpret_cast<char*>(sum), 4));
  return checksum;
}

VolumeSet::VolumeSet(const BuildOptions& o, std::string firstPath, std::string_view stubAndHeader,
                     const package::Trailer& base, bool endMarker)
    : o_(o), firstPath_(std::move(firstPath)), base_(base), endMarker_(endMarker) {
  const std::uint64_t fixed = stubAndHeader.size() + package::kTrailerSize;
  if (o_.volumeSize != 0 && fixed > o_.volumeSize)
    throw Error("the stub and the header blocks with the trailer take " + IntToStr(fixed) +
                " bytes, more than the volume size of " + IntToStr(o_.volumeSize) + " bytes");
  Open();
  volumes_.back().file->Write(stubAndHeader);
  Sum(stubAndHeader);
}

void VolumeSet::Sum(std::string_view bytes) {
  // zlib counts in 32-bit units.
  while (!bytes.empty()) {
    const std::size_t n = std::min<std::size_t>(bytes.size(), 1u << 30);
    crc_ = crc32(crc_, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(n));
    bytes.remove_prefix(n);
  }
}

void VolumeSet::AddBlock(std::string_view lengthWord, std::string_view body,
                         const std::string& name) {
  const std::uint64_t bytes = lengthWord.size() + body.size();
  Volume* v = &volumes_.back();
  // A later volume always takes at least one block: the stub reads one
  // before it looks at the end of the volume.
  const bool holdsSomething = volumes_.size() == 1 || v->info.blocks > 0;
  if (o_.volumeSize != 0 && holdsSomething &&
      v->file->Size() + bytes + package::kTrailerSize > o_.volumeSize) {
    Close(true);
    Open();
    v = &volumes_.back();
    if (bytes + package::kTrailerSize > o_.volumeSize && o_.warn)
      o_.warn("block " + IntToStr(blocks_ + 1) + " (" + name + ") takes " + IntToStr(bytes) +
              " bytes, more than a volume holds; it gets volume " + IntToStr(volumes_.size()) +
              " of its own, which is larger than " + IntToStr(o_.volumeSize) + " bytes");
  }
  Remember(*v, lengthWord);
  Remember(*v, body);
  v->file->Write(lengthWord);
  v->file->Write(body);
  Sum(lengthWord);
  Sum(body);
  ++v->info.blocks;
  ++blocks_;
}

void VolumeSet::Finish() {
  Close(false);
  if (volumes_.size() < 2) return;
  // The set's identity comes from all it holds, so volumes of two builds
  // never pass for one set, and a rebuild of the same input is the same.
  std::uint8_t identity[package::kSetIdentityBytes];
  package::WriteLe32(identity, crc_);
  identity[4] = static_cast<std::uint8_t>(volumes_.size());
  identity[5] = static_cast<std::uint8_t>(volumes_.size() >> 8);
  for (std::size_t j = 0; j < volumes_.size(); ++j) {
    const auto mark = package::SetMark(identity, static_cast<int>(j) + 1);
    // The checksum leaves the trailer out: patching it changes no sum.
    volumes_[j].file->PatchClosed(
        volumes_[j].trailerOffset + package::kTrailerSetMarkOffset,
        std::string_view(reinterpret_cast<const char*>(mark.data()), mark.size()));
  }
}

std::vector<WrittenFile> VolumeSet::Written() const {
  std::vector<WrittenFile> list;
  for (const Volume& v : volumes_)
    list.push_back(v.info);
  return list;
}

void VolumeSet::AppendFiles(std::vector<OutputFile*>& files) {
  for (Volume& v : volumes_)
    files.push_back(v.file.get());
}

void VolumeSet::Open() {
  const int number = static_cast<int>(volumes_.size()) + 1;
  if (number > 999)
    throw Error("more than 999 volumes (volume names have three digits); choose a larger "
                "volume size");
  Volume v;
  v.info.path = number == 1 ? firstPath_ : package::VolumeFileName(firstPath_, number);
  v.file = std::make_unique<OutputFile>(v.info.path);
  volumes_.push_back(std::move(v));
}

void VolumeSet::Remember(Volume& v, std::string_view bytes) {
  constexpr std::size_t kHead = package::kPeSignatureOffset + 2;
  if (v.head.size() < kHead) v.head.append(bytes.substr(0, kHead - v.head.size()));
}

void VolumeSet::Close(bool spanned) {
  Volume& v = volumes_.back();
  const bool first = volumes_.size() == 1;
  // Readers take the end marker of any file with "MZ" at 0 and "PE" at
  // 256; a later volume must never look like that.
  if (!first && v.head.size() >= package::kPeSignatureOffset + 2 &&
      v.head.compare(0, 2, "MZ") == 0 && v.head.compare(package::kPeSignatureOffset, 2, "PE") == 0)
    throw Error(v.info.path + " would start like a program file (\"MZ\" at 0, \"PE\" at 256) "
                              "and be misread; choose another volume size");
  package::Trailer t = base_;
  if (!first) t.headerStart = 0;
  v.trailerOffset = v.file->Size();
  // Where the set is cut belongs to its identity too: two builds of one
  // input with other volume sizes are two sets.
  std::string cut;
  package::AppendLe32(cut, static_cast<std::uint32_t>(v.trailerOffset));
  package::AppendLe32(cut, static_cast<std::uint32_t>(v.trailerOffset >> 32));
  Sum(cut);
  // A single-file build keeps a Spanned bit given as raw flags (tests use
  // it to make readers look for volumes).
  if (o_.volumeSize != 0 || o_.cdLayout)
    t.flags = static_cast<std::uint8_t>((t.flags & ~package::kFlagSpanned) |
                                        (spanned ? package::kFlagSpanned : 0));
  v.info.checksum = FinishPackageFile(*v.file, t, first && endMarker_);
  v.info.bytes = v.file->Size();
}

} // namespace pack
