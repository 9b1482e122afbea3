#include "platform/file.h"

namespace platform {

bool ReadWholeFile(const std::string& path, std::string& content, std::size_t limit) {
  content.clear();
  InputFile file(path);
  const std::int64_t size = file.IsOpen() ? file.Size() : -1;
  if (size < 0) return false;
  const auto whole = static_cast<std::size_t>(size);
  content.resize(whole < limit ? whole : limit);
  return file.ReadExact(content.data(), content.size());
}

}  // namespace platform
