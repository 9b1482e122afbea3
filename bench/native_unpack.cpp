// The yardstick for the stub's extraction time (bench/extract.sh): a plain
// program doing the stub's work, its block walk over all volumes with the
// same reads, decoder and buffers kept from block to block, each block's data
// appended to its file and the file's DOS date set, but without a window, a
// message loop, progress or the host interface. Whatever makes the stub's
// loop faster without changing what it computes belongs here too, or the
// ratio flatters the stub. It times itself like the stub's "UnCompressTime"
// trace line.
//
//   native_unpack PACKAGE DIR      prints "UnpackTime: N MS"
//
// Natively it uses POSIX calls; built for Windows it makes the same Win32
// calls as the stub, so that under Wine it tells Wine's part from the stub's.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>
#include <string_view>

#ifdef _WIN32
#include <windows.h>

#include "system/files.h"
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#endif

#include "package/format.h"
#include "package/payload.h"
#include "package/trailer.h"
#include "platform/file.h"
#include "util/text.h"

namespace {

using Clock = std::chrono::steady_clock;

long long MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// One block's file, as the stub's host makes it: folders made when missing,
// opened for appending, written piece by piece, dated, closed.
class OutputFile {
public:
#ifdef _WIN32
  static bool Exists(const std::string& path) {
    return platform::FileExists(path);
  }

  bool Begin(const std::string& path) {
    sys::CreateFolderWithParents(util::FolderOf(path));
    h_ = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h_ == INVALID_HANDLE_VALUE) return false;
    SetFilePointer(h_, 0, nullptr, FILE_END);
    return true;
  }
  bool Write(std::string_view data) {
    DWORD written = 0;
    return WriteFile(h_, data.data(), static_cast<DWORD>(data.size()), &written, nullptr) &&
           written == data.size();
  }
  void End(std::uint32_t dosDateTime) {
    FILETIME local, utc;
    if (dosDateTime != 0 &&
        DosDateTimeToFileTime(HIWORD(dosDateTime), LOWORD(dosDateTime), &local) &&
        LocalFileTimeToFileTime(&local, &utc))
      SetFileTime(h_, nullptr, nullptr, &utc);
    CloseHandle(h_);
  }

private:
  HANDLE h_ = INVALID_HANDLE_VALUE;
#else
  static bool Exists(const std::string& path) {
    struct stat s;
    return stat(path.c_str(), &s) == 0 && S_ISREG(s.st_mode);
  }

  bool Begin(const std::string& path) {
    const std::string folder = util::FolderOf(path);
    struct stat s;
    std::error_code ec;
    if (stat(folder.c_str(), &s) != 0) std::filesystem::create_directories(folder, ec);
    fd_ = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    return fd_ >= 0;
  }
  bool Write(std::string_view data) {
    return write(fd_, data.data(), data.size()) == static_cast<ssize_t>(data.size());
  }
  void End(std::uint32_t dosDateTime) {
    if (dosDateTime != 0 && package::IsValidDosDateTime(dosDateTime)) {
      const timespec times[2] = {{0, UTIME_OMIT},
                                 {package::DosDateTimeToLocalTime(dosDateTime), 0}};
      futimens(fd_, times);
    }
    close(fd_);
  }

private:
  int fd_ = -1;
#endif
};

// Packaged names separate folders with "\\"; POSIX wants "/".
std::string OwnSeparators(const std::string& name) {
#ifdef _WIN32
  return name;
#else
  return util::ReplaceAll(name, "\\", "/");
#endif
}

int Fail(const std::string& what) {
  std::fprintf(stderr, "native_unpack: %s\n", what.c_str());
  return 1;
}

int Unpack(const std::string& packageFile, const std::string& target) {
  const Clock::time_point start = Clock::now();
  std::uint64_t blocks = 0, bytes = 0;
  int counter = 0; // over all volumes; the first `Version` are header blocks
  // Kept from block to block, as the stub keeps its own.
  std::string buffer(package::kReadPortion, '\0'), error;
  package::BlockDecoder decoder;
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
      if (!package::ReadBlockFrame(file, position, limit, frame, error))
        return Fail(path + ": " + error);
      position = frame.End();
      if (++counter <= trailer.version) continue;

      OutputFile out;
      bool open = false, noHeader = false;
      std::uint32_t dosDateTime = 0;
      package::BlockDecoder::Sink sink;
      sink.onHeader = [&](std::string_view raw, bool) {
        // A block without a file header has no file: stepped over, as the stub does.
        if (raw.empty()) return !(noHeader = true);
        const package::FileHeader header = package::ParseFileHeader(raw);
        const std::string name = util::JoinPath(target, OwnSeparators(header.name));
        if (!package::IsSafeRelativeName(header.name) || !package::PathFitsWindows(name)) {
          error = "refused name " + header.name;
          return false;
        }
        (void)OutputFile::Exists(name); // the stub asks, to count new files
        dosDateTime = header.dosDateTime;
        open = out.Begin(name);
        if (!open) error = "cannot open " + name;
        return open;
      };
      sink.onData = [&](std::string_view data) {
        bytes += data.size();
        if (out.Write(data)) return true;
        error = "cannot write to a file";
        return false;
      };
      bool go = decoder.Begin(frame.compressed, error);
      if (go && !file.Seek(frame.BodyOffset())) go = false, error = "cannot seek";
      for (std::uint32_t done = 0; go && done < frame.size;) {
        const std::size_t n = std::min<std::size_t>(package::kReadPortion, frame.size - done);
        if (!file.ReadExact(buffer.data(), n)) {
          error = "cannot read";
          go = false;
          break;
        }
        go = decoder.Feed(std::string_view(buffer.data(), n), sink, error);
        done += static_cast<std::uint32_t>(n);
      }
      if (go) go = decoder.Finish(sink, error);
      if (open) out.End(dosDateTime);
      if (!go && !noHeader) return Fail(path + ": " + error);
      blocks += open;
    } while (!package::PayloadEndsAt(end, trailer.trailerLength, position));
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
