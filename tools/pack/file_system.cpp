#include "pack/file_system.h"

#include <chrono>
#include <cstring>
#include <ctime>
#include <system_error>

#include "pack/error.h"
#include "package/payload.h"

namespace pack {

namespace fs = std::filesystem;

namespace {

bool LocalTime(std::time_t t, std::tm& out) {
#ifdef _WIN32
  return localtime_s(&out, &t) == 0;
#else
  return localtime_r(&t, &out) != nullptr;
#endif
}

int Seek64(std::FILE* f, std::uint64_t offset) {
#ifdef _WIN32
  return _fseeki64(f, static_cast<long long>(offset), SEEK_SET);
#else
  return fseeko(f, static_cast<off_t>(offset), SEEK_SET);
#endif
}

std::string SystemError() {
  return std::strerror(errno);
}

} // namespace

std::uint32_t DosDateTimeOfFile(const fs::path& path) {
  std::error_code ec;
  const auto ft = fs::last_write_time(path, ec);
  if (ec) return 0;
  const std::time_t t = std::chrono::system_clock::to_time_t(std::chrono::file_clock::to_sys(ft));
  std::tm tm{};
  if (!LocalTime(t, tm)) return 0;
  package::DosDateTime d;
  d.year = tm.tm_year + 1900;
  d.month = tm.tm_mon + 1;
  d.day = tm.tm_mday;
  d.hour = tm.tm_hour;
  d.minute = tm.tm_min;
  d.second = tm.tm_sec;
  // DOS dates start in 1980: older files get the earliest stamp.
  if (d.year < 1980) d = package::DosDateTime{};
  return package::EncodeDosDateTime(d);
}

bool SetFileDosDateTime(const fs::path& path, std::uint32_t dosDateTime) {
  const std::time_t t = package::DosDateTimeToLocalTime(dosDateTime);
  if (t == static_cast<std::time_t>(-1)) return false;
  std::error_code ec;
  fs::last_write_time(
      path, std::chrono::file_clock::from_sys(std::chrono::system_clock::from_time_t(t)), ec);
  return !ec;
}

std::string FormatDosDateTime(std::uint32_t dosDateTime) {
  const package::DosDateTime d = package::DecodeDosDateTime(dosDateTime);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", d.year, d.month, d.day, d.hour,
                d.minute, d.second);
  return buf;
}

fs::path PathFromPackageName(std::string_view name) {
  fs::path p;
  std::size_t start = 0;
  while (start <= name.size()) {
    std::size_t end = start;
    while (end < name.size() && name[end] != '\\' && name[end] != '/')
      ++end;
    if (end > start) p /= std::string(name.substr(start, end - start));
    start = end + 1;
  }
  return p;
}

OutputFile::OutputFile(fs::path finalPath) : final_(std::move(finalPath)) {
  temp_ = final_;
  temp_ += ".vpack-tmp";
  file_ = std::fopen(temp_.string().c_str(), "wb");
  if (!file_) throw Error("cannot create " + temp_.string() + ": " + SystemError());
  std::setvbuf(file_, nullptr, _IOFBF, 1 << 20);
}

OutputFile::~OutputFile() {
  if (file_) std::fclose(file_);
  if (!committed_) {
    std::error_code ec;
    fs::remove(temp_, ec);
  }
}

void OutputFile::Write(std::string_view bytes) {
  if (!file_) throw Error("internal: write to a closed output file");
  if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size())
    throw Error("cannot write " + temp_.string() + ": " + SystemError());
  size_ += bytes.size();
}

void OutputFile::Patch(std::uint64_t offset, std::string_view bytes) {
  if (!file_) throw Error("internal: patch of a closed output file");
  if (Seek64(file_, offset) != 0 ||
      std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size() ||
      Seek64(file_, size_) != 0)
    throw Error("cannot write " + temp_.string() + ": " + SystemError());
}

void OutputFile::Close() {
  if (!file_) return;
  const bool ok = std::fflush(file_) == 0;
  const bool closed = std::fclose(file_) == 0;
  file_ = nullptr;
  if (!ok || !closed) throw Error("cannot write " + temp_.string() + ": " + SystemError());
}

void OutputFile::PatchClosed(std::uint64_t offset, std::string_view bytes) {
  std::FILE* f = std::fopen(temp_.string().c_str(), "r+b");
  if (!f) throw Error("cannot reopen " + temp_.string() + ": " + SystemError());
  const bool ok =
      Seek64(f, offset) == 0 && std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  if (std::fclose(f) != 0 || !ok)
    throw Error("cannot write " + temp_.string() + ": " + SystemError());
}

void OutputFile::Commit() {
  Close();
  std::error_code ec;
  fs::rename(temp_, final_, ec);
#ifdef _WIN32
  // Renaming onto an existing file may be refused on Windows.
  if (ec) {
    fs::remove(final_, ec);
    fs::rename(temp_, final_, ec);
  }
#endif
  if (ec)
    throw Error("cannot rename " + temp_.string() + " to " + final_.string() + ": " + ec.message());
  committed_ = true;
}

} // namespace pack
