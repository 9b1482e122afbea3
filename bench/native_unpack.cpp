// The yardstick for the stub's extraction time (bench/extract.sh): the
// stub's block walk over all volumes, each block inflated whole with
// package::InflateString, its data appended to the file and the file's DOS
// date set, but without a window or a message loop. It times itself like the
// stub's "UnCompressTime" trace line.
//
//   native_unpack PACKAGE DIR      prints "UnpackTime: N MS"
//
// Built for Windows too: under Wine it tells how much of the stub's time is
// Wine's and the 32-bit build's, and how much the stub's own.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>
#include <string_view>

#include "package/format.h"
#include "package/payload.h"
#include "package/trailer.h"
#include "platform/file.h"
#include "util/text.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

long long MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

void SetDosDate(const fs::path& path, std::uint32_t dosDateTime) {
  if (!package::IsValidDosDateTime(dosDateTime)) return;
  const package::DosDateTime d = package::DecodeDosDateTime(dosDateTime);
  std::tm tm{};
  tm.tm_year = d.year - 1900;
  tm.tm_mon = d.month - 1;
  tm.tm_mday = d.day;
  tm.tm_hour = d.hour;
  tm.tm_min = d.minute;
  tm.tm_sec = d.second;
  tm.tm_isdst = -1;
  const std::time_t t = std::mktime(&tm);
  std::error_code ec;
  fs::last_write_time(
      path, std::chrono::file_clock::from_sys(std::chrono::system_clock::from_time_t(t)), ec);
}

// As the stub's host: make the folder, append, set the date.
bool AppendToFile(const fs::path& path, std::string_view data, std::uint32_t dosDateTime) {
  std::error_code ec;
  fs::create_directories(path.parent_path(), ec);
  std::FILE* f = std::fopen(path.string().c_str(), "ab");
  if (!f) return false;
  const bool ok = std::fwrite(data.data(), 1, data.size(), f) == data.size();
  if (std::fclose(f) != 0 || !ok) return false;
  if (dosDateTime != 0) SetDosDate(path, dosDateTime);
  return true;
}

int Fail(const std::string& what) {
  std::fprintf(stderr, "native_unpack: %s\n", what.c_str());
  return 1;
}

int Unpack(const std::string& packageFile, const fs::path& target) {
  const Clock::time_point start = Clock::now();
  std::uint64_t blocks = 0, bytes = 0;
  int counter = 0; // over all volumes; the first `Version` are header blocks
  // Buffers live across blocks, as the stub's do: a fresh 1 MB string per
  // block would go back to the system and fault in again every time.
  std::string body, content, error;
  for (int number = 1;; ++number) {
    const std::string path = package::VolumeFileName(packageFile, number);
    platform::InputFile file(path);
    if (!file.IsOpen()) return Fail("cannot open " + path);
    package::Trailer trailer;
    package::ReadTrailer(file, trailer);
    if (!trailer.HasMagic()) return Fail(path + " holds no package");
    if (!package::ChecksumMatches(trailer.checksum,
                                  package::PackageChecksum(path, trailer.trailerLength)))
      return Fail(path + ": checksum mismatch");
    std::int64_t end = file.Size();
    if (package::IsPeFile(file)) {
      const std::int64_t marker = package::PackageEndFromFile(file);
      if (marker > 0 && marker <= end) end = marker;
    }
    const std::int64_t limit = end - std::min<std::int64_t>(trailer.trailerLength, end);
    std::int64_t position = trailer.headerStart;
    do {
      package::BlockFrame frame;
      if (!package::ReadBlockFrame(file, position, limit, frame, error) ||
          !package::ReadBlockBody(file, frame, body, error))
        return Fail(path + ": " + error);
      position = frame.End();
      if (++counter <= trailer.version) continue;
      if (frame.compressed) {
        if (!package::InflateString(body, content, error)) return Fail(path + ": zlib: " + error);
      } else {
        content.swap(body);
      }
      const package::BlockContent parts = package::SplitBlockContent(content);
      if (parts.header.empty()) continue;
      const package::FileHeader header = package::ParseFileHeader(parts.header);
      if (!package::IsSafeRelativeName(header.name)) return Fail("unsafe name " + header.name);
      const fs::path out = target / util::ReplaceAll(header.name, "\\", "/");
      std::error_code ec;
      (void)fs::exists(out, ec); // the stub asks, to count new files
      if (!AppendToFile(out, parts.data, header.dosDateTime))
        return Fail("cannot write " + out.string());
      ++blocks;
      bytes += parts.data.size();
    } while (!package::PayloadEndsAt(end, position));
    if (!(trailer.flags & package::kFlagSpanned)) break;
  }
  std::printf("UnpackTime: %lld MS\n", MillisecondsSince(start));
  std::printf("blocks=%llu bytes=%llu\n", static_cast<unsigned long long>(blocks),
              static_cast<unsigned long long>(bytes));
  return 0;
}

} // namespace

int main(int argc, char** argv) {
  if (argc == 3) return Unpack(argv[1], argv[2]);
  std::fprintf(stderr, "usage: native_unpack PACKAGE DIR\n");
  return 2;
}
