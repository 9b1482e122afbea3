#include <windows.h>

#include "platform/file.h"

namespace platform {

namespace {
HANDLE H(std::intptr_t h) { return reinterpret_cast<HANDLE>(h); }
}  // namespace

bool InputFile::Open(const std::string& path) {
  Close();
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  handle_ = reinterpret_cast<std::intptr_t>(h);
  return true;
}

void InputFile::Close() {
  if (handle_ != kNone) CloseHandle(H(handle_));
  handle_ = kNone;
}

std::int64_t InputFile::Size() {
  LARGE_INTEGER size;
  if (handle_ == kNone || !GetFileSizeEx(H(handle_), &size)) return -1;
  return size.QuadPart;
}

bool InputFile::Seek(std::int64_t offset) {
  if (handle_ == kNone || offset < 0) return false;
  LARGE_INTEGER to;
  to.QuadPart = offset;
  return SetFilePointerEx(H(handle_), to, nullptr, FILE_BEGIN) != 0;
}

std::int64_t InputFile::Tell() {
  LARGE_INTEGER zero{}, at{};
  if (handle_ == kNone || !SetFilePointerEx(H(handle_), zero, &at, FILE_CURRENT)) return -1;
  return at.QuadPart;
}

std::size_t InputFile::Read(void* buffer, std::size_t n) {
  if (handle_ == kNone) return 0;
  std::size_t done = 0;
  while (done < n) {
    DWORD want = static_cast<DWORD>(n - done > 0x10000000u ? 0x10000000u : n - done);
    DWORD got = 0;
    if (!ReadFile(H(handle_), static_cast<char*>(buffer) + done, want, &got, nullptr) || got == 0) break;
    done += got;
  }
  return done;
}

bool FileExists(const std::string& path) {
  DWORD a = GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool WriteWholeFile(const std::string& path, std::string_view content) {
  const std::string part = path + ".part";
  HANDLE h = CreateFileA(part.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok =
      WriteFile(h, content.data(), static_cast<DWORD>(content.size()), &written, nullptr) &&
      written == content.size();
  CloseHandle(h);
  if (ok && MoveFileExA(part.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
  DeleteFileA(part.c_str());
  return false;
}

std::uint32_t ClusterSize(const std::string& path) {
  std::string root = path.substr(0, 3);
  DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, totalClusters = 0;
  if (!GetDiskFreeSpaceA(root.c_str(), &sectorsPerCluster, &bytesPerSector, &freeClusters,
                         &totalClusters))
    return 0;
  return sectorsPerCluster * bytesPerSector;
}

}  // namespace platform
