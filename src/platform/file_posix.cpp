#include "platform/file.h"

#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace platform {

bool InputFile::Open(const std::string& path) {
  Close();
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return false;
  }
  handle_ = fd;
  return true;
}

void InputFile::Close() {
  if (handle_ != kNone) ::close(static_cast<int>(handle_));
  handle_ = kNone;
}

std::int64_t InputFile::Size() {
  struct stat st {};
  if (handle_ == kNone || ::fstat(static_cast<int>(handle_), &st) != 0) return -1;
  return st.st_size;
}

bool InputFile::Seek(std::int64_t offset) {
  if (handle_ == kNone || offset < 0) return false;
  return ::lseek(static_cast<int>(handle_), offset, SEEK_SET) == offset;
}

std::int64_t InputFile::Tell() {
  if (handle_ == kNone) return -1;
  return ::lseek(static_cast<int>(handle_), 0, SEEK_CUR);
}

std::size_t InputFile::Read(void* buffer, std::size_t n) {
  if (handle_ == kNone) return 0;
  std::size_t done = 0;
  while (done < n) {
    ssize_t r = ::read(static_cast<int>(handle_), static_cast<char*>(buffer) + done, n - done);
    if (r <= 0) break;
    done += static_cast<std::size_t>(r);
  }
  return done;
}

bool FileExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool WriteWholeFile(const std::string& path, std::string_view content) {
  const std::string part = path + ".part";
  const int fd = ::open(part.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  const bool ok = ::write(fd, content.data(), content.size()) ==
                  static_cast<ssize_t>(content.size());
  ::close(fd);
  if (ok && ::rename(part.c_str(), path.c_str()) == 0) return true;
  ::unlink(part.c_str());
  return false;
}

std::uint32_t ClusterSize(const std::string& path) {
  struct statvfs vfs {};
  if (::statvfs(path.c_str(), &vfs) != 0) return 0;
  return static_cast<std::uint32_t>(vfs.f_bsize);
}

}  // namespace platform
