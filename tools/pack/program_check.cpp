#include "pack/program_check.h"

#include "package/format.h"
#include "platform/file.h"
#include "util/text.h"

namespace pack {

namespace {

constexpr int kLfanewOffset = 0x3C;
// Where Windows still looks for the PE signature.
constexpr std::uint32_t kMaxLfanew = 0x10000000;

} // namespace

bool IsPeProgram(const std::string& path) {
  platform::InputFile file(path);
  unsigned char dos[kLfanewOffset + 4] = {};
  unsigned char pe[4] = {};
  if (!file.IsOpen() || !file.ReadExact(dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z')
    return false;
  const std::uint32_t lfanew = package::ReadLe32(dos + kLfanewOffset);
  return lfanew < kMaxLfanew && file.Seek(lfanew) && file.ReadExact(pe, sizeof pe) &&
         pe[0] == 'P' && pe[1] == 'E' && pe[2] == 0 && pe[3] == 0;
}

bool IsStartableEngine(const std::string& path) {
  return util::EndsWithNoCase(path, ".bat") || util::EndsWithNoCase(path, ".cmd") ||
         IsPeProgram(path);
}

} // namespace pack
