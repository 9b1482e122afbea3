#include <windows.h>

#include "system/self_removal.h"
#include "util/switches.h"
#include "util/system_info.h"
#include "util/text.h"
#include "util/trace.h"

namespace sys {

namespace {

// The running program's full path, as the switch reader knows it.
std::string OwnPath() {
  return util::ProcessCommandLine().programPath;
}

// The short (8.3) form of an existing path; the path itself when the system
// gives none.
std::string ShortPath(const std::string& path) {
  const DWORD need = GetShortPathNameA(path.c_str(), nullptr, 0);
  if (need == 0) return path;
  std::string shortPath(need, '\0');
  const DWORD n = GetShortPathNameA(path.c_str(), shortPath.data(), need);
  if (n == 0 || n >= need) return path;
  shortPath.resize(n);
  return shortPath;
}

bool WriteTextFile(const std::string& path, const std::string& text) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL ok = WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(h);
  return ok && written == text.size();
}

} // namespace

void DeleteSelf(bool removeFolder, bool shortNames) {
  const std::string temp = util::SystemTempFolder();
  std::string batch = temp + kSelfRemovalBatchName;
  std::string exe = OwnPath();
  std::string folder = util::FolderOf(exe);
  util::WriteTracePair("ExeName", exe);

  if (shortNames) {
    // Only an existing file has a short name.
    WriteTextFile(batch, "ABC\r\n");
    batch = ShortPath(batch);
    exe = ShortPath(exe);
    folder = ShortPath(folder);
    DeleteFileA(batch.c_str());
  }

  const std::string text = SelfRemovalBatchText(exe, folder, batch, removeFolder);
  // Out of the executable's folder, so neither this process nor the batch
  // keeps it from being removed.
  const std::string current = temp.size() > 3 ? temp.substr(0, temp.size() - 1) : temp;
  SetCurrentDirectoryA(current.c_str());
  if (!WriteTextFile(batch, text)) return;
  WinExec(util::QuoteIfBlank(batch).c_str(), SW_HIDE);
}

} // namespace sys
