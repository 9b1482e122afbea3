// File access for the portable code: shared reads (deny none), 64-bit
// offsets, no exceptions; whole small files read and replaced. file_posix.cpp
// and file_win.cpp implement it, file.cpp what builds on InputFile.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

class InputFile {
 public:
  InputFile() = default;
  explicit InputFile(const std::string& path) { Open(path); }
  ~InputFile() { Close(); }
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  bool Open(const std::string& path);
  bool IsOpen() const { return handle_ != kNone; }
  void Close();
  // -1 when the size cannot be had.
  std::int64_t Size();
  // Absolute position; false for a negative offset or a failed seek.
  bool Seek(std::int64_t offset);
  std::int64_t Tell();
  // Reads up to n bytes; returns how many were read (0 at the end or on error).
  std::size_t Read(void* buffer, std::size_t n);
  // Reads exactly n bytes or fails.
  bool ReadExact(void* buffer, std::size_t n) { return Read(buffer, n) == n; }

 private:
  static constexpr std::intptr_t kNone = -1;
  std::intptr_t handle_ = kNone;
};

bool FileExists(const std::string& path);

// The whole file, or its first `limit` bytes; false when it cannot be opened
// or read.
bool ReadWholeFile(const std::string& path, std::string& content,
                   std::size_t limit = static_cast<std::size_t>(-1));
// Replaces the file as a whole: written beside it (path + ".part") and moved
// over it, so a reader or a crash sees the old file or the new one.
bool WriteWholeFile(const std::string& path, std::string_view content);

// Bytes per cluster of the volume holding `path`; 0 when unknown.
std::uint32_t ClusterSize(const std::string& path);

}  // namespace platform
