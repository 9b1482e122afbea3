// Read-only file access for the portable code: shared reads (deny none),
// 64-bit offsets, no exceptions. file_posix.cpp and file_win.cpp implement it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

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

// Bytes per cluster of the volume holding `path`; 0 when unknown.
std::uint32_t ClusterSize(const std::string& path);

}  // namespace platform
