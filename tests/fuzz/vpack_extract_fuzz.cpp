// libFuzzer target for `vpack extract`: the input is a package, unpacked
// into a fresh folder inside a sandbox folder. Damage must end in a
// pack::Error; whatever the package holds, nothing may land outside the
// output folder, and nothing there may be a link.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "pack/error.h"
#include "pack/extractor.h"

namespace fs = std::filesystem;

namespace {

void Check(bool ok, const std::string& what) {
  if (!ok) {
    std::fprintf(stderr, "vpack_extract_fuzz: %s\n", what.c_str());
    std::abort();
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const fs::path sandbox =
      fs::temp_directory_path() / ("vpack_extract_fuzz_" + std::to_string(getpid()));
  const fs::path package = sandbox / "setup.exe", out = sandbox / "out";
  std::error_code ec;
  fs::remove_all(sandbox, ec);
  fs::create_directories(sandbox);
  if (std::FILE* f = std::fopen(package.c_str(), "wb")) {
    std::fwrite(data, 1, size, f);
    std::fclose(f);
  }
  try {
    pack::ExtractOptions o;
    o.package = package.string();
    o.targetDir = out.string();
    (void)pack::Extract(o);
  } catch (const pack::Error&) {
  }
  for (const auto& e : fs::recursive_directory_iterator(sandbox)) {
    const fs::path p = e.path();
    Check(!fs::is_symlink(fs::symlink_status(p)), "a link: " + p.string());
    if (p == package || p == out) continue;
    const auto rel = p.lexically_relative(out);
    Check(!rel.empty() && *rel.begin() != "..", "written outside the output: " + p.string());
  }
  return 0;
}
