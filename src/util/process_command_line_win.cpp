// ProcessCommandLine on Windows: the raw command line and the own module path.
#include <windows.h>

#include "util/switches.h"

namespace util {

namespace {

constexpr DWORD kMaxWide = MAX_PATH * 2;

// `wide` in the ANSI code page; `lossy` (when given) says whether a
// character had no equivalent there.
std::string Ansi(const wchar_t* wide, int length, BOOL* lossy) {
  char text[kMaxWide * 2];
  const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, length, text, sizeof text,
                                    nullptr, lossy);
  return std::string(text, n > 0 ? n : 0);
}

// The own module's path in the ANSI code page. A folder named outside that
// code page (CJK on a Western system) would come back with "?" in it, which
// opens nothing: its short path, plain ASCII where the volume keeps short
// names, stands in for it. The file name stays, as volumes are named after
// it.
std::string OwnModulePath() {
  wchar_t wide[kMaxWide];
  const DWORD n = GetModuleFileNameW(nullptr, wide, kMaxWide);
  if (n == 0 || n >= kMaxWide) return {};
  BOOL lossy = FALSE;
  std::string path = Ansi(wide, static_cast<int>(n), &lossy);
  wchar_t* name = wcsrchr(wide, L'\\');
  wchar_t folder[kMaxWide];
  if (lossy && name) {
    *name++ = 0;
    const DWORD s = GetShortPathNameW(wide, folder, kMaxWide);
    if (s > 0 && s < kMaxWide)
      path =
          Ansi(folder, static_cast<int>(s), nullptr) + "\\" + Ansi(name, lstrlenW(name), nullptr);
  }
  return path;
}

} // namespace

CommandLine ProcessCommandLine() {
  if (const CommandLine* o = detail::ProcessCommandLineOverride()) return *o;
  static const std::string own = OwnModulePath();
  CommandLine cl;
  if (const char* text = GetCommandLineA()) cl.text = text;
  cl.programPath = own;
  return cl;
}

} // namespace util
