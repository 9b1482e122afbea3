// ProcessCommandLine natively: the test override, else a Windows-like command
// line rebuilt from /proc/self/cmdline (arguments with blanks quoted) and the
// executable path from /proc/self/exe, where the system has them.
#include <unistd.h>

#include <fstream>
#include <iterator>

#include "util/switches.h"

namespace util {

CommandLine ProcessCommandLine() {
  if (const CommandLine* o = detail::ProcessCommandLineOverride()) return *o;
  CommandLine cl;
  std::ifstream in("/proc/self/cmdline", std::ios::binary);
  if (in) {
    std::string raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::size_t start = 0;
    while (start < raw.size()) {
      std::size_t end = raw.find('\0', start);
      if (end == std::string::npos) end = raw.size();
      if (!cl.text.empty()) cl.text.push_back(' ');
      cl.text += QuoteIfBlank(std::string_view(raw).substr(start, end - start));
      start = end + 1;
    }
  }
  char path[4096];
  ssize_t n = readlink("/proc/self/exe", path, sizeof(path));
  if (n > 0 && static_cast<std::size_t>(n) < sizeof(path)) cl.programPath.assign(path, n);
  return cl;
}

} // namespace util
