#include <windows.h>

#include <string>

#include "util/debug_channel.h"
#include "util/trace.h"

#ifndef VANTOR_DEBUG_CHANNEL_MODE
#define VANTOR_DEBUG_CHANNEL_MODE 0  // 0 viewer, 1 file, 2 both, else neither
#endif

namespace util {

namespace {

constexpr int kMode = VANTOR_DEBUG_CHANNEL_MODE;
constexpr WPARAM kChannelTag = 1;
constexpr char kDebugFile[] = "C:\\ProgramData\\_vdebug.txt";

CRITICAL_SECTION g_lock;
UINT g_message = 0;

void AppendToDebugFile(std::string_view text) {
  const std::string normalized = NormalizeLineEnds(text);
  HANDLE h = CreateFileA(kDebugFile, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return;
  SetFilePointer(h, 0, nullptr, FILE_END);
  DWORD written = 0;
  WriteFile(h, normalized.data(), static_cast<DWORD>(normalized.size()), &written, nullptr);
  CloseHandle(h);
}

void SendToViewer(std::string_view text) {
  HWND viewer = FindWindowA(".VDebug.", nullptr);
  if (!viewer) return;
  const std::string piece(text);
  ATOM atom = GlobalAddAtomA(piece.c_str());
  SendMessageA(viewer, g_message, kChannelTag, atom);
  if (atom) GlobalDeleteAtom(atom);
}

// Best effort: a failed delivery loses this piece only and reports nothing.
void Deliver(std::string_view piece) {
  EnterCriticalSection(&g_lock);
  SendDebugText(piece);
  LeaveCriticalSection(&g_lock);
}

}  // namespace

void SendDebugText(std::string_view text) {
  if (kMode == 1 || kMode == 2) AppendToDebugFile(text);
  if (kMode == 0 || kMode == 2) SendToViewer(text);
}

void StartDebugChannel() {
  InitializeCriticalSection(&g_lock);
  g_message = RegisterWindowMessageA(".V_DebugMsg.");
  SetTraceSink(&Deliver);
}

}  // namespace util
