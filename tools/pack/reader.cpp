#include "pack/reader.h"

#include <cstdio>

#include "pack/error.h"
#include "package/trailer.h"
#include "package/volume_set.h"
#include "util/text.h"

namespace pack {

using package::BlockFrame;
using util::IntToStr;

std::string Where(const std::string& path, std::int64_t offset) {
  return path + " offset " + IntToStr(offset);
}

namespace {

std::string Hex32(std::uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08X", v);
  return buf;
}

} // namespace

std::string UnpackedPackageFile(const std::string& path) {
  package::Trailer t;
  const std::string set = path + ".001";
  if (package::ReadTrailer(path, t) && t.HasMagic() && (t.flags & package::kFlagSpanCdLevel) &&
      platform::FileExists(set))
    return set;
  return path;
}

// What a file that is no package (a text, another program) or a package cut
// short runs into first; the detail says where it was seen.
Error NotAPackage(const std::string& what, const std::string& detail) {
  return Error(what + ": not a package, or truncated (" + detail + ")");
}

VolumeInfo ReadVolume(const std::string& path, int number) {
  VolumeInfo v;
  v.number = number;
  v.path = path;
  const std::string what = number == 1 ? path : "volume " + IntToStr(number) + " (" + path + ")";
  platform::InputFile file;
  if (!platform::FileExists(path) || !file.Open(path))
    throw Error("cannot open " + what + ": no such file or not readable");
  v.fileSize = file.Size();
  if (v.fileSize < 0) throw Error("cannot get the size of " + what);
  if (v.fileSize < std::int64_t(package::kTrailerSize))
    throw NotAPackage(what, IntToStr(v.fileSize) + " bytes, too small to hold the " +
                                IntToStr(package::kTrailerSize) + "-byte package trailer");
  v.isPe = package::IsPeFile(file);
  v.packageEnd = v.fileSize;
  if (v.isPe) {
    v.endMarker = package::PackageEndFromFile(file);
    if (v.endMarker < 0 || v.endMarker > v.fileSize)
      throw Error(what + ": package end marker " + IntToStr(v.endMarker) +
                  " (offset 248) lies outside the file (" + IntToStr(v.fileSize) + " bytes)");
    if (v.endMarker > 0) v.packageEnd = v.endMarker;
  }
  if (v.packageEnd < std::int64_t(package::kTrailerSize))
    throw Error(what + ": the package ends at " + IntToStr(v.packageEnd) +
                ", too early to hold the package trailer");
  const std::int64_t lengthAt = v.packageEnd - 4;
  unsigned char lb[4];
  if (!file.Seek(lengthAt) || !file.ReadExact(lb, 4))
    throw Error("cannot read the trailer length at " + Where(what, lengthAt));
  const std::uint32_t length = package::ReadLe32(lb);
  const std::string lengthText =
      "trailer length " + IntToStr(length) + " at offset " + IntToStr(lengthAt);
  if (length == 0) throw NotAPackage(what, lengthText);
  if (length < package::kTrailerSize)
    throw NotAPackage(what, lengthText + ", shorter than the " + IntToStr(package::kTrailerSize) +
                                "-byte trailer");
  if (std::int64_t(length) > v.packageEnd)
    throw NotAPackage(what, lengthText + ", larger than the package (" + IntToStr(v.packageEnd) +
                                " bytes)");
  v.trailerOffset = v.packageEnd - length;
  unsigned char raw[package::kTrailerSize] = {};
  if (!file.Seek(v.trailerOffset) || !file.ReadExact(raw, package::kTrailerSize - 4))
    throw Error("cannot read the trailer at " + Where(what, v.trailerOffset));
  v.trailer = package::DecodeTrailer(raw, package::kTrailerSize - 4);
  v.trailer.trailerLength = length;
  v.storedVersion = v.trailer.version;
  if (v.trailer.version == 0) v.trailer.version = 2;
  if (!v.trailer.HasMagic())
    throw NotAPackage(what, "no package trailer: magic at offset " +
                                IntToStr(v.trailerOffset + 12) + " is " + Hex32(v.trailer.magic) +
                                ", expected " + Hex32(package::kMagic));
  if (number == 1 && v.trailer.version > 3)
    throw Error("unsupported trailer version " + IntToStr(v.storedVersion) + " at " +
                Where(what, v.trailerOffset + 1) + " (2 or 3 expected)");
  if (std::int64_t(v.trailer.headerStart) > v.trailerOffset)
    throw Error("header start " + IntToStr(v.trailer.headerStart) + " (" +
                Where(what, v.trailerOffset + 4) + ") lies past the trailer at offset " +
                IntToStr(v.trailerOffset));
  file.Close();
  v.checksumComputed = package::PackageChecksum(path, length);
  return v;
}

PackageReader::PackageReader(std::string path) : path_(std::move(path)) {
  first_ = ReadVolume(path_, 1);
  platform::InputFile file(path_);
  if (!file.IsOpen()) throw Error("cannot open " + path_);
  std::int64_t p = first_.trailer.headerStart;
  for (int i = 0; i < first_.HeaderBlockCount(); ++i) {
    const std::string which = "header block " + IntToStr(i + 1);
    HeaderBlock h;
    std::string error;
    if (!package::ReadBlockFrame(file, p, first_.trailerOffset, h.frame, error))
      throw Error(path_ + ": " + which + ": " + error);
    // Header blocks are plain text; a negative length is no valid frame.
    if (h.frame.length < 0)
      throw Error(path_ + ": " + which + " at offset " + IntToStr(p) + " has negative length " +
                  IntToStr(h.frame.length));
    if (!package::ReadBlockBody(file, h.frame, h.text, error))
      throw Error(path_ + ": " + which + ": " + error);
    p = h.frame.End();
    headers_.push_back(std::move(h));
  }
  payloadStart_ = p;
}

std::string PackageReader::HeaderText(std::size_t i) const {
  return i < headers_.size() ? headers_[i].text : std::string();
}

void PackageReader::Walk(const std::function<bool(const VolumeInfo&)>& onVolume,
                         const std::function<bool(const PayloadBlock&)>& onBlock) const {
  std::uint32_t index = 0;
  // Volume numbers are written in three digits; more would be no package of ours.
  for (int number = 1; number <= 999; ++number) {
    const VolumeInfo vol =
        number == 1 ? first_ : ReadVolume(package::VolumeFileName(path_, number), number);
    // The stub refuses a volume of another set, or one out of order.
    if (number > 1)
      if (const char* why = package::ForeignVolumeReason(first_.trailer, vol.trailer, true, number))
        throw Error(vol.path + ": " + why);
    if (onVolume && !onVolume(vol)) return;
    platform::InputFile file(vol.path);
    if (!file.IsOpen()) throw Error("cannot open " + vol.path);
    std::int64_t p = number == 1 ? payloadStart_ : std::int64_t(vol.trailer.headerStart);
    while (!package::PayloadEndsAt(vol.packageEnd, vol.trailer.trailerLength, p)) {
      PayloadBlock b;
      b.volume = &vol;
      b.index = index++;
      std::string error;
      if (!package::ReadBlockFrame(file, p, vol.trailerOffset, b.frame, error) ||
          !package::ReadBlockBody(file, b.frame, b.body, error))
        throw Error(vol.path + ": file block " + IntToStr(b.index + 1) + ": " + error);
      if (!onBlock(b)) return;
      p = b.frame.End();
    }
    if (!(vol.trailer.flags & package::kFlagSpanned)) return;
  }
  throw Error(path_ + ": more than 999 volumes");
}

std::string DecodeFileBlock(const PayloadBlock& block, const FileBlockHandler& handler) {
  package::BlockDecoder decoder;
  package::BlockDecoder::Sink sink;
  sink.onHeader = [&](std::string_view header, bool hasSeparator) {
    return !handler.onHeader ||
           handler.onHeader(package::ParseFileHeader(header), header, hasSeparator);
  };
  sink.onData = [&](std::string_view data) { return !handler.onData || handler.onData(data); };
  std::string error;
  if (decoder.Begin(block.frame.compressed, error) && decoder.Feed(block.body, sink, error))
    decoder.Finish(sink, error);
  return error;
}

} // namespace pack
