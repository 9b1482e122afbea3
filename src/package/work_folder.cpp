#include "package/work_folder.h"

#include "util/random.h"
#include "util/text.h"

namespace package {

namespace {

// Decimal text of `value` rounded to `decimals` places (half away from zero),
// without the C library's formatting, which the stub does not link.
std::string FixedDecimals(double value, int decimals) {
  std::uint64_t scale = 1;
  for (int i = 0; i < decimals; ++i)
    scale *= 10;
  const double scaled = value * static_cast<double>(scale) + 0.5;
  // Beyond this a disk size is nonsense; keep the conversion defined.
  const std::uint64_t units =
      scaled < 1.8e19 ? static_cast<std::uint64_t>(scaled) : ~std::uint64_t{0};
  std::string text = util::IntToStr(static_cast<std::int64_t>(units / scale));
  if (decimals > 0) {
    std::string fraction = util::IntToStr(static_cast<std::int64_t>(units % scale));
    text += '.';
    text.append(static_cast<std::size_t>(decimals) - fraction.size(), '0');
    text += fraction;
  }
  return text;
}

} // namespace

std::string FormatMegabytes(double bytes) {
  const double mb = bytes > 0 ? bytes / 1048576.0 : 0.0; // NaN counts as 0 too
  const int decimals = mb > 10 ? 1 : mb >= 1 ? 2 : 3;
  return FixedDecimals(mb, decimals);
}

std::string WorkFolderName(std::string_view tempFolder, std::uint32_t dosDateTime,
                           std::string_view ownPath) {
  std::string folder(tempFolder);
  if (folder.empty() || folder.back() != '\\') folder += '\\';
  return folder + "SETUP_" + util::IntToStr(dosDateTime & 0xFFFF) + "_" +
         util::HexText(util::HashNoCase(ownPath), 8);
}

std::string WorkFolderCandidate(std::string_view name, int attempt, std::string_view randomHex) {
  std::string folder(name);
  if (attempt <= 0) return folder;
  if (attempt < kPlainWorkFolderAttempts) return folder + "_" + util::IntToStr(attempt + 1);
  return folder + "_" + std::string(randomHex);
}

std::string TempProbeFolder(char letter, bool rootTempExists, int number) {
  std::string folder = std::string(1, letter) + ":\\TEMP";
  if (rootTempExists) folder += "\\TEMP" + util::IntToStr(number);
  return folder;
}

std::string DecideBetterTempRoot(const std::vector<TempDriveFacts>& drives,
                                 std::string_view systemTempFolder,
                                 const std::function<bool(const std::string&)>& folderExists) {
  const char current = systemTempFolder.empty() ? '\0' : util::ToUpperAscii(systemTempFolder[0]);
  char best = current;
  double bestSpace = 0;
  for (const TempDriveFacts& drive : drives) {
    const double space = drive.fixed && drive.probeWritten ? drive.freeBytes : 0;
    if (space > bestSpace) {
      best = util::ToUpperAscii(drive.letter);
      bestSpace = space;
    }
  }
  if (best == current) return {};
  std::string root = std::string(1, best) + ":\\TEMP";
  if (folderExists && folderExists(root)) root += "\\TEMP";
  return root;
}

int RandomFolderNumber() { return static_cast<int>(util::RandomInRange(10000, 100000)); }

} // namespace package
