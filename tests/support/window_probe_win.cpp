// Test support: looks at and steers another process's top-level window the
// way the tests need, printing what it finds on standard output.
//
//   window_probe.exe wait CLASS MS        exit 0 once a window of CLASS exists
//   window_probe.exe gone CLASS MS        exit 0 once none exists
//   window_probe.exe geometry CLASS       "window" width height visible left top,
//                                         then per child: class
//                                         x y width height visible exstyle style
//   window_probe.exe listen CLASS MS      registers as listener (message 1124)
//                                         and prints each notification "code value"
//   window_probe.exe post CLASS MSG [W L] posts a message
//   window_probe.exe atom NAME            exit 0 when the global atom exists
//   window_probe.exe bars CLASS           per progress bar child: position and
//                                         upper limit, "pos max" on one line each
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

HWND Find(const char* cls) { return FindWindowA(cls, nullptr); }

bool WaitFor(const char* cls, bool present, DWORD ms) {
  const DWORD start = GetTickCount();
  for (;;) {
    if ((Find(cls) != nullptr) == present) return true;
    if (GetTickCount() - start > ms) return false;
    Sleep(20);
  }
}

BOOL CALLBACK PrintChild(HWND child, LPARAM parent) {
  char cls[128] = {};
  GetClassNameA(child, cls, sizeof cls);
  RECT r;
  GetWindowRect(child, &r);
  MapWindowPoints(nullptr, reinterpret_cast<HWND>(parent), reinterpret_cast<POINT*>(&r), 2);
  std::printf("%s %ld %ld %ld %ld %d %lx %lx\n", cls, r.left, r.top, r.right - r.left,
              r.bottom - r.top, IsWindowVisible(child) ? 1 : 0,
              static_cast<unsigned long>(GetWindowLongA(child, GWL_EXSTYLE)),
              static_cast<unsigned long>(GetWindowLongA(child, GWL_STYLE)));
  return TRUE;
}

BOOL CALLBACK PrintBar(HWND child, LPARAM) {
  char cls[64] = {};
  GetClassNameA(child, cls, sizeof cls);
  if (lstrcmpiA(cls, "msctls_progress32") == 0)
    std::printf("%ld %ld\n", static_cast<long>(SendMessageA(child, WM_USER + 8, 0, 0)),
                static_cast<long>(SendMessageA(child, WM_USER + 7, FALSE, 0)));
  return TRUE;
}

int Listen(HWND target, DWORD ms) {
  WNDCLASSA wc{};
  wc.lpfnWndProc = DefWindowProcA;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "VantorTestListener";
  RegisterClassA(&wc);
  HWND self = CreateWindowExA(0, wc.lpszClassName, "", 0, 0, 0, 0, 0, nullptr, nullptr,
                              wc.hInstance, nullptr);
  const UINT notify = RegisterWindowMessageA("VantorTestListenerMessage");
  PostMessageA(target, WM_USER + 100, reinterpret_cast<WPARAM>(self), notify);
  const DWORD start = GetTickCount();
  MSG m;
  while (GetTickCount() - start < ms) {
    while (PeekMessageA(&m, self, notify, notify, PM_REMOVE))
      std::printf("%lu %ld\n", static_cast<unsigned long>(m.wParam),
                  static_cast<long>(m.lParam == reinterpret_cast<LPARAM>(target) ? -1 : m.lParam));
    Sleep(10);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  const std::string cmd = argv[1];
  const char* cls = argv[2];
  const DWORD ms = argc > 3 ? std::strtoul(argv[3], nullptr, 10) : 0;
  if (cmd == "atom") return GlobalFindAtomA(argv[2]) ? 0 : 1;
  if (cmd == "wait") return WaitFor(cls, true, ms) ? 0 : 1;
  if (cmd == "gone") return WaitFor(cls, false, ms) ? 0 : 1;
  HWND target = Find(cls);
  if (!target) {
    std::printf("no window of class %s\n", cls);
    return 1;
  }
  if (cmd == "geometry") {
    RECT client;
    GetClientRect(target, &client);
    RECT outer;
    GetWindowRect(target, &outer);
    std::printf("window %ld %ld %d %ld %ld\n", outer.right - outer.left, outer.bottom - outer.top,
                IsWindowVisible(target) ? 1 : 0, outer.left, outer.top);
    EnumChildWindows(target, PrintChild, reinterpret_cast<LPARAM>(target));
    return 0;
  }
  if (cmd == "listen") return Listen(target, ms);
  if (cmd == "bars") return EnumChildWindows(target, PrintBar, 0), 0;
  if (cmd == "post" && argc >= 4) {
    UINT msg = std::strtoul(argv[3], nullptr, 0);
    WPARAM w = argc > 4 ? std::strtoul(argv[4], nullptr, 0) : 0;
    LPARAM l = argc > 5 ? std::strtol(argv[5], nullptr, 0) : 0;
    return PostMessageA(target, msg, w, l) ? 0 : 1;
  }
  return 2;
}
