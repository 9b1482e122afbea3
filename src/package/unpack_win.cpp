#include <windows.h>

#include "http/download_abort.h"
#include "package/unpack_win.h"
#include "platform/file.h"
#include "system/files.h"
#include "system/media.h"
#include "ui/message_box.h"
#include "util/system_info.h"
#include "util/text.h"
#include "util/trace.h"

namespace package {

namespace {

// The unpacking loop asks for a pump after every read and every piece of
// output, thousands of times a second; the window needs far fewer. Under Wine
// each look at the queue is a round trip to its server, 0.1 ms on a quiet
// machine and a few ms on a busy one: 2,527 of them took a third of the
// stub's time for a 200 MB package. 20 times a second keeps the bar moving
// and sees a close request within 50 ms.
constexpr int kPumpIntervalMs = 50;

// Larger writes go in portions so the window stays alive meanwhile.
constexpr std::size_t kWritePortion = 1 << 20;

bool WriteAll(HANDLE h, std::string_view data) {
  while (!data.empty()) {
    const DWORD want = static_cast<DWORD>(std::min(data.size(), kWritePortion));
    DWORD written = 0;
    if (!WriteFile(h, data.data(), want, &written, nullptr) || written != want) return false;
    data.remove_prefix(written);
    if (!data.empty()) ui::YieldX();
  }
  return true;
}

void SetDosDate(HANDLE h, std::uint32_t dosDateTime) {
  FILETIME local, utc;
  if (DosDateTimeToFileTime(HIWORD(dosDateTime), LOWORD(dosDateTime), &local) &&
      LocalFileTimeToFileTime(&local, &utc))
    SetFileTime(h, nullptr, nullptr, &utc);
}

} // namespace

void Win32UnpackHost::Pump() {
  ui::YieldXThrottled(kPumpIntervalMs);
}
void Win32UnpackHost::Wait(int milliseconds) {
  ui::WaitPumping(milliseconds);
}
bool Win32UnpackHost::AbortRequested() {
  // The window's close handler sets it, as it stops a download.
  return http::IsDownloadAborted();
}
bool Win32UnpackHost::FileExists(const std::string& path) {
  return platform::FileExists(path);
}

bool Win32UnpackHost::CreateFolder(const std::string& path) {
  return sys::CreateFolderWithParents(path);
}

bool Win32UnpackHost::BeginFile(const std::string& path) {
  // Packaged names may hold folders: make them first.
  sys::CreateFolderWithParents(util::FolderOf(path));
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  SetFilePointer(h, 0, nullptr, FILE_END);
  file_ = h;
  return true;
}

bool Win32UnpackHost::WriteFileData(std::string_view data) {
  return file_ && WriteAll(static_cast<HANDLE>(file_), data);
}

void Win32UnpackHost::EndFile(std::uint32_t dosDateTime, bool complete) {
  if (!file_) return;
  HANDLE h = static_cast<HANDLE>(file_);
  if (complete && dosDateTime != 0) SetDosDate(h, dosDateTime);
  CloseHandle(h);
  file_ = nullptr;
}

bool Win32UnpackHost::WriteNewFile(const std::string& path, std::string_view data,
                                   const std::string& dateFrom) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  bool ok = WriteAll(h, data);
  WIN32_FILE_ATTRIBUTE_DATA from;
  if (ok && GetFileAttributesExA(dateFrom.c_str(), GetFileExInfoStandard, &from))
    SetFileTime(h, nullptr, nullptr, &from.ftLastWriteTime);
  CloseHandle(h);
  return ok;
}

std::string Win32UnpackHost::LastErrorText() {
  return util::SystemErrorText(GetLastError());
}

double Win32UnpackHost::FreeBytes(const std::string& path) {
  return util::GetDiskFree(path);
}

std::int64_t Win32UnpackHost::FileSize(const std::string& path) {
  platform::InputFile file(path);
  return file.IsOpen() ? file.Size() : 0;
}

void Win32UnpackHost::ShowError(const std::string& markup) {
  if (foreground_)
    ui::ShowErrorBox(1, markup, "", 0, "");
  else
    util::WriteTraceLine("Error (hidden run): " + markup);
}

bool Win32UnpackHost::AskOkCancel(const std::string& markup, const std::string& caption,
                                  const std::string& buttons, int charset) {
  if (foreground_) return ui::AskOkCancel(1, markup, caption, charset, buttons);
  util::WriteTraceLine("Question not asked (hidden run), taken as Cancel: " + markup);
  return false;
}

void Win32UnpackHost::EjectMedia(const std::string& path) {
  sys::EjectMedia(path);
}
void Win32UnpackHost::SuppressAutoPlay() {
  sys::SetAutoPlaySuppression(true);
}
void Win32UnpackHost::Trace(const std::string& line) {
  util::WriteTraceLine(line);
}
std::uint64_t Win32UnpackHost::Milliseconds() {
  return GetTickCount();
}
std::uint32_t Win32UnpackHost::ProcessId() {
  return GetCurrentProcessId();
}

} // namespace package
