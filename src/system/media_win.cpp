#include <windows.h>
#include <winioctl.h>

#include "system/media.h"
#include "util/text.h"
#include "util/trace.h"

namespace sys {

namespace {

UINT g_autoPlayMessage = 0;

HANDLE OpenDevice(const std::string& device, DWORD access, const char* traceLabel) {
  HANDLE h = CreateFileA(device.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  util::WriteTraceLine(traceLabel + device + " " +
                       util::IntToStr(static_cast<std::int64_t>(reinterpret_cast<INT_PTR>(h))));
  return h;
}

} // namespace

bool EjectMedia(const std::string& path) {
  if (path.empty()) return false;
  const char letter = util::ToUpperAscii(path[0]);
  if (letter < 'A' || letter > 'Z') return false;
  const std::string root = std::string(1, letter) + ":\\";
  if (GetDriveTypeA(root.c_str()) != DRIVE_CDROM) return false;

  const std::string device = "\\\\.\\" + std::string(1, letter) + ":";
  HANDLE h = OpenDevice(device, GENERIC_READ | GENERIC_WRITE, "EjectCD-2: ");
  if (h == INVALID_HANDLE_VALUE) h = OpenDevice(device, GENERIC_READ, "EjectCD-3: ");
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD returned = 0;
  const BOOL ok =
      DeviceIoControl(h, IOCTL_STORAGE_EJECT_MEDIA, nullptr, 0, nullptr, 0, &returned, nullptr);
  CloseHandle(h);
  return ok != FALSE;
}

void SetAutoPlaySuppression(bool on) {
  g_autoPlayMessage = on ? RegisterWindowMessageA("QueryCancelAutoPlay") : 0;
}

unsigned AutoPlaySuppressionMessage() {
  return g_autoPlayMessage;
}

} // namespace sys
