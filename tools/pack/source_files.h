// Collecting a build's source files: the folder's files with their package
// names, sorted, each name one the stub will write.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace pack {

struct SourceFile {
  std::filesystem::path path;
  std::string name; // relative, '\\'-separated
  std::uint64_t size = 0;
  std::uint32_t dosDateTime = 0;
  bool engine = false;
};

// Every file under `sourceDir` (none when it is empty), sorted by name in any
// case; throws pack::Error for what the stub could not unpack.
std::vector<SourceFile> CollectSourceFiles(const std::string& sourceDir,
                                           const std::function<void(const std::string&)>& warn);

} // namespace pack
