#include "package/trailer.h"

#include <algorithm>
#include <vector>

namespace package {

Trailer DecodeTrailer(const unsigned char* b, std::size_t n) {
  unsigned char buf[kTrailerSize] = {};
  std::copy_n(b, std::min<std::size_t>(n, kTrailerSize), buf);
  Trailer t;
  t.reserved0 = buf[0];
  t.version = buf[1];
  t.reserved2 = ReadLe16(buf + 2);
  t.headerStart = ReadLe32(buf + 4);
  t.filesCount = ReadLe32(buf + 8);
  t.magic = ReadLe32(buf + 12);
  t.checksum = ReadLe32(buf + 16);
  std::copy_n(buf + 20, 8, t.reserved20.begin());
  for (int i = 0; i < kSpaceEntries; ++i) t.spaceRequired[i] = ReadLe32(buf + 28 + 4 * i);
  t.reserved64 = buf[64];
  t.flags = buf[65];
  t.useDownloadRoad = buf[66];
  t.askBeforeDownload = buf[67];
  t.carryAgent = buf[68];
  t.isUpdateAgent = buf[69];
  t.trailerLength = ReadLe32(buf + 70);
  return t;
}

std::array<unsigned char, kTrailerSize> EncodeTrailer(const Trailer& t) {
  std::array<unsigned char, kTrailerSize> b{};
  b[0] = t.reserved0;
  b[1] = t.version;
  b[2] = t.reserved2 & 0xFF;
  b[3] = t.reserved2 >> 8;
  WriteLe32(&b[4], t.headerStart);
  WriteLe32(&b[8], t.filesCount);
  WriteLe32(&b[12], t.magic);
  WriteLe32(&b[16], t.checksum);
  std::copy(t.reserved20.begin(), t.reserved20.end(), b.begin() + 20);
  for (int i = 0; i < kSpaceEntries; ++i) WriteLe32(&b[28 + 4 * i], t.spaceRequired[i]);
  b[64] = t.reserved64;
  b[65] = t.flags;
  b[66] = t.useDownloadRoad;
  b[67] = t.askBeforeDownload;
  b[68] = t.carryAgent;
  b[69] = t.isUpdateAgent;
  WriteLe32(&b[70], t.trailerLength);
  return b;
}

bool IsPeFile(platform::InputFile& file) {
  unsigned char mz[2] = {}, pe[2] = {};
  if (!file.Seek(0) || !file.ReadExact(mz, 2)) return false;
  if (!file.Seek(kPeSignatureOffset) || !file.ReadExact(pe, 2)) return false;
  return mz[0] == 'M' && mz[1] == 'Z' && pe[0] == 'P' && pe[1] == 'E';
}

bool IsPeFile(const std::string& path) {
  platform::InputFile file(path);
  return file.IsOpen() && IsPeFile(file);
}

std::int64_t PackageEndFromImage(std::string_view image) {
  if (image.size() < kEndMarkerLow + 4) return 0;
  auto p = reinterpret_cast<const unsigned char*>(image.data());
  std::uint64_t high = ReadLe32(p + kEndMarkerHigh), low = ReadLe32(p + kEndMarkerLow);
  return static_cast<std::int64_t>(high << 32 | low);
}

std::int64_t PackageEndFromFile(platform::InputFile& file) {
  unsigned char b[8] = {};
  if (!file.Seek(kEndMarkerHigh) || !file.ReadExact(b, 8)) return 0;
  std::uint64_t high = ReadLe32(b), low = ReadLe32(b + 4);
  return static_cast<std::int64_t>(high << 32 | low);
}

bool ReadTrailer(platform::InputFile& file, Trailer& out) {
  out = Trailer{};
  const bool pe = IsPeFile(file);
  const std::int64_t size = file.Size();
  unsigned char lb[4];
  bool ok = size >= 4 && file.Seek(size - 4) && file.ReadExact(lb, 4);
  std::uint32_t length = ok ? ReadLe32(lb) : 0;
  std::int64_t at = size - std::int64_t(length);
  if (ok && pe) {
    const std::int64_t end = PackageEndFromFile(file);
    if (end > 0) {
      ok = end >= 4 && end <= size && file.Seek(end - 4) && file.ReadExact(lb, 4);
      length = ok ? ReadLe32(lb) : 0;
      at = end - std::int64_t(length);
    }
  }
  // A length below 4 would make the record overlap its own length word; a
  // length past the start of the file points at nothing.
  if (ok && length >= 4 && at >= 0 && file.Seek(at)) {
    const std::size_t want = std::min<std::uint32_t>(kTrailerSize, length) - 4;
    unsigned char rec[kTrailerSize] = {};
    const std::size_t got = file.Read(rec, want);
    out = DecodeTrailer(rec, got);
    ok = got == want;
  } else {
    ok = false;
  }
  out.trailerLength = length;
  if (out.version == 0) out.version = 2;
  return ok;
}

bool ReadTrailer(const std::string& path, Trailer& out) {
  platform::InputFile file(path);
  if (!file.IsOpen()) {
    out = Trailer{};
    return false;
  }
  return ReadTrailer(file, out);
}

std::uint32_t PackageChecksum(const std::string& path, std::uint32_t excluded) {
  platform::InputFile file(path);
  if (!file.IsOpen()) return 0;
  std::int64_t size = file.Size();
  if (size < 0) return 0;
  if (static_cast<std::uint64_t>(size) > kChecksumMaxFile) return kChecksumOff;
  bool markerPresent = false;
  if (IsPeFile(file)) {
    unsigned char b[4];
    if (file.Seek(kEndMarkerLow) && file.ReadExact(b, 4)) {
      const std::uint32_t low = ReadLe32(b);
      if (low != 0) {
        size = low;
        markerPresent = true;
      }
    }
  }
  std::int64_t remaining = size - std::int64_t(excluded);
  std::int64_t from = 0;
  if (markerPresent) {
    remaining -= 512;
    from = 512;
  }
  std::uint32_t sum = 0;
  if (!file.Seek(from)) return sum;
  unsigned char buf[4096];
  std::size_t got;
  do {
    got = file.Read(buf, sizeof buf);
    for (std::size_t i = 0; i + 4 <= got; i += 4) {
      remaining -= 4;
      if (remaining > 4) sum += ReadLe32(buf + i);
    }
    if (remaining > 4) sum += kChecksumOff;
  } while (got == sizeof buf);
  return sum;
}

double SpaceRequired(const Trailer& trailer, std::uint32_t clusterSize) {
  double result = trailer.spaceRequired[0];
  for (int i = 1; i <= 8; ++i) {
    const std::uint64_t threshold = 256ull << i;
    if (clusterSize >= threshold) result = trailer.spaceRequired[i];
  }
  return result;
}

}  // namespace package
