// File-system helpers of vpack: time stamps as DOS date-times, whole-file
// reads and the write-then-rename output file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

namespace pack {

// The file's last-write time as a local DOS date-time (2-second resolution).
std::uint32_t DosDateTimeOfFile(const std::filesystem::path& path);
// Sets the file's last-write time from a local DOS date-time. False when the
// value is not a valid date or the file system refuses.
bool SetFileDosDateTime(const std::filesystem::path& path, std::uint32_t dosDateTime);

// "YYYY-MM-DD HH:MM:SS" of a DOS date-time, as stored (no validity check).
std::string FormatDosDateTime(std::uint32_t dosDateTime);

// A path from a package name: both '\\' and '/' separate components.
std::filesystem::path PathFromPackageName(std::string_view name);

// An output file written under a temporary name beside its final name and
// renamed into place by Commit(); destroyed without Commit() it removes the
// temporary file, so a failed run leaves nothing half-written behind.
class OutputFile {
public:
  explicit OutputFile(std::filesystem::path finalPath);
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  const std::filesystem::path& TempPath() const { return temp_; }
  const std::filesystem::path& FinalPath() const { return final_; }
  void Write(std::string_view bytes);
  std::uint64_t Size() const { return size_; }
  // Overwrites bytes at `offset` (inside what was written).
  void Patch(std::uint64_t offset, std::string_view bytes);
  // Flushes and closes the file (it can then be read by path).
  void Close();
  // Writes bytes at `offset` of the closed file.
  void PatchClosed(std::uint64_t offset, std::string_view bytes);
  void Commit();

private:
  std::filesystem::path final_, temp_;
  std::FILE* file_ = nullptr;
  std::uint64_t size_ = 0;
  bool committed_ = false;
};

} // namespace pack
