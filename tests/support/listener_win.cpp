// Test support: a listener window for the agent's notifications. It writes
// its address to OUT.ready as "window:message" (both decimal, the form of
// "/WM_MSG="), then appends one line per notification to OUT:
// "code value", and for a value that is a window also its class name.
//
//   listener.exe OUT MS     runs MS milliseconds, or until closed
//                           (WM_CLOSE to class "VantorTestListener")
#include <windows.h>

#include <cstdlib>
#include <string>

namespace {

UINT g_notify = 0;
std::string g_out;

void Append(const std::string& path, const std::string& text) {
  HANDLE h = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                         nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(h);
}

LRESULT CALLBACK Proc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == g_notify && g_notify != 0) {
    std::string line = std::to_string(static_cast<unsigned long long>(wp)) + " " +
                       std::to_string(static_cast<long long>(lp));
    char cls[256] = {};
    const HWND value = reinterpret_cast<HWND>(lp);
    if (lp != 0 && IsWindow(value) && GetClassNameA(value, cls, sizeof cls) > 0)
      line += std::string(" ") + cls;
    Append(g_out, line + "\n");
    return 0;
  }
  if (msg == WM_DESTROY) PostQuitMessage(0);
  return DefWindowProcA(wnd, msg, wp, lp);
}

} // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  g_out = argv[1];
  const UINT ms = std::strtoul(argv[2], nullptr, 10);
  g_notify = RegisterWindowMessageA("VantorTestListenerMessage");
  WNDCLASSA wc{};
  wc.lpfnWndProc = Proc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "VantorTestListener";
  RegisterClassA(&wc);
  HWND self = CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 0, 0, nullptr, nullptr,
                              wc.hInstance, nullptr);
  if (!self) return 1;
  SetTimer(self, 1, ms, nullptr);
  const std::string address =
      std::to_string(reinterpret_cast<std::uintptr_t>(self)) + ":" + std::to_string(g_notify);
  Append(g_out + ".tmp", address);
  MoveFileExA((g_out + ".tmp").c_str(), (g_out + ".ready").c_str(), MOVEFILE_REPLACE_EXISTING);
  MSG m;
  while (GetMessageA(&m, nullptr, 0, 0) > 0) {
    if (m.message == WM_TIMER && m.hwnd == self) break;
    TranslateMessage(&m);
    DispatchMessageA(&m);
  }
  return 0;
}
