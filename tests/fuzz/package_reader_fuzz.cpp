// libFuzzer target for the package reader: TGFileInfo and vpack's inspector
// (info, list, verify) on arbitrary bytes. Damage must end in a pack::Error
// or a reported problem; never a crash, a hang or an allocation larger than
// the input (scripts/fuzz.sh runs it with a small -malloc_limit_mb).
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "pack/error.h"
#include "pack/inspector.h"
#include "pack/reader.h"
#include "package/file_info.h"

namespace {

const std::string& InputPath() {
  static const std::string path = "/tmp/vpack_fuzz_" + std::to_string(getpid()) + ".exe";
  return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string& path = InputPath();
  if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fwrite(data, 1, size, f);
    std::fclose(f);
  } else {
    return 0;
  }

  const package::TGFileInfo info(path);
  (void)info.UpdateUrl();
  (void)info.DownloadSize();
  (void)info.UpdateToken(true);
  (void)package::SelectLanguageRecord(info.LanguageTable(), "ENGLISH");

  try {
    const pack::PackageReader reader(path);
    (void)pack::InfoText(pack::InfoJson(reader));
    (void)pack::ListText(pack::ListFiles(reader));
  } catch (const pack::Error&) {
  }
  (void)pack::Verify(path);
  return 0;
}
