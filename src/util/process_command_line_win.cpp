// ProcessCommandLine on Windows: the raw command line and the own module path.
#include <windows.h>

#include "util/switches.h"

namespace util {

CommandLine ProcessCommandLine() {
  if (const CommandLine* o = detail::ProcessCommandLineOverride()) return *o;
  CommandLine cl;
  if (const char* text = GetCommandLineA()) cl.text = text;
  char path[MAX_PATH * 4];
  DWORD n = GetModuleFileNameA(nullptr, path, sizeof(path));
  if (n > 0 && n < sizeof(path)) cl.programPath.assign(path, n);
  return cl;
}

} // namespace util
