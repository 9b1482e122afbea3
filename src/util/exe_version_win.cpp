#include <windows.h>

#include <vector>

#include "util/exe_version.h"
#include "util/text.h"
#include "util/trace.h"

namespace util {

std::string GetExeVersion(const std::string& file) {
  try {
    std::string path = file;
    if (path.empty()) {
      char own[MAX_PATH * 4];
      DWORD n = GetModuleFileNameA(nullptr, own, sizeof own);
      path.assign(own, n);
    }
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    if (size == 0) return {};
    std::vector<char> data(size < 16384 ? 16384 : size);
    if (!GetFileVersionInfoA(path.c_str(), 0, size, data.data())) return {};
    VS_FIXEDFILEINFO* info = nullptr;
    UINT len = 0;
    if (!VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&info), &len) || !info)
      return {};
    return IntToStr(HIWORD(info->dwFileVersionMS)) + "." + IntToStr(LOWORD(info->dwFileVersionMS)) +
           "." + IntToStr(HIWORD(info->dwFileVersionLS)) + "." +
           IntToStr(LOWORD(info->dwFileVersionLS));
  } catch (const std::exception& e) {
    TraceException(e.what(), "Utils.GetExeVersion()", "");
    return {};
  }
}

}  // namespace util
