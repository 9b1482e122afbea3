#include "system/self_removal.h"

namespace sys {

namespace {

void AppendLine(std::string& text, std::string_view command, std::string_view path,
                std::string_view tail = {}) {
  text.append(command).append(1, '"').append(path).append(1, '"').append(tail).append("\r\n");
}

} // namespace

std::string SelfRemovalBatchText(std::string_view exe, std::string_view folder,
                                 std::string_view batchPath, bool removeFolder) {
  // The delete fails while the program still runs, so the batch loops.
  std::string text = ":START\r\n";
  AppendLine(text, "DEL ", exe);
  AppendLine(text, "IF exist ", exe, " GOTO START");
  if (removeFolder) AppendLine(text, "RD ", folder);
  AppendLine(text, "DEL ", batchPath);
  return text;
}

} // namespace sys
