// ProcessCommandLine on Windows: the raw command line and the own module path.
#include <windows.h>

#include <algorithm>

#include "util/switches.h"

namespace util {

namespace {

constexpr DWORD kMaxWide = MAX_PATH * 2;

// The own module's path in the ANSI code page. A folder named outside that
// code page (CJK on a Western system) would come back with "?" in it, which
// opens nothing: its short path, plain ASCII where the volume keeps short
// names, stands in for it. The file name stays, as volumes are named after
// it.
std::string OwnModulePath() {
  wchar_t wide[kMaxWide], path[kMaxWide];
  const DWORD n = GetModuleFileNameW(nullptr, wide, kMaxWide);
  if (n == 0 || n >= kMaxWide) return {};
  char text[kMaxWide * 2];
  BOOL lossy = FALSE;
  int length = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, text, sizeof text,
                                   nullptr, &lossy);
  wchar_t* name = wide + n;
  while (name > wide && *name != L'\\')
    --name;
  if (lossy && *name == L'\\') {
    *name = 0;
    const DWORD s = GetShortPathNameW(wide, path, kMaxWide);
    *name = L'\\';
    // The name with its terminating 0 goes after the short folder.
    if (s > 0 && s + (wide + n - name) < kMaxWide) {
      std::copy(name, wide + n + 1, path + s);
      length = WideCharToMultiByte(CP_ACP, 0, path, -1, text, sizeof text, nullptr, nullptr);
    }
  }
  // The length counts the terminating 0.
  return std::string(text, length > 0 ? length - 1 : 0);
}

} // namespace

CommandLine ProcessCommandLine() {
  if (const CommandLine* o = detail::ProcessCommandLineOverride()) return *o;
  CommandLine cl;
  if (const char* text = GetCommandLineA()) cl.text = text;
  cl.programPath = OwnModulePath();
  return cl;
}

} // namespace util
