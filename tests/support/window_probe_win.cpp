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
//   window_probe.exe send CLASS MSG [W L] sends a message (5 s time-out) and
//                                         prints its result in decimal
//   window_probe.exe text CLASS           the text of each "RICHEDIT" child, in
//                                         hex (WM_GETTEXT through
//                                         SendMessageTimeoutA: GetWindowTextA
//                                         reads nothing from another process)
//   window_probe.exe click CLASS          posts BM_CLICK to the first button child
//   window_probe.exe resize CLASS W H     gives the window that outer size
//   window_probe.exe kill CLASS           ends the window's process by its id
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

bool SendTimed(HWND target, UINT msg, WPARAM w, LPARAM l, DWORD_PTR* result) {
  return SendMessageTimeoutA(target, msg, w, l, SMTO_ABORTIFHUNG, 5000, result) != 0;
}

BOOL CALLBACK PrintRichText(HWND child, LPARAM) {
  char cls[64] = {};
  GetClassNameA(child, cls, sizeof cls);
  if (lstrcmpiA(cls, "RICHEDIT") != 0) return TRUE;
  DWORD_PTR length = 0;
  if (!SendTimed(child, WM_GETTEXTLENGTH, 0, 0, &length)) return TRUE;
  std::string text(length + 1, '\0');
  DWORD_PTR got = 0;
  SendTimed(child, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), &got);
  text.resize(got < text.size() ? got : text.size() - 1);
  for (unsigned char c : text) std::printf("%02x", c);
  std::printf("\n");
  return TRUE;
}

BOOL CALLBACK FindButton(HWND child, LPARAM out) {
  char cls[64] = {};
  GetClassNameA(child, cls, sizeof cls);
  if (lstrcmpiA(cls, "Button") != 0) return TRUE;
  *reinterpret_cast<HWND*>(out) = child;
  return FALSE;
}

int Kill(HWND target) {
  DWORD pid = 0;
  GetWindowThreadProcessId(target, &pid);
  HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
  if (!process) return 1;
  const BOOL ended = TerminateProcess(process, 1);
  WaitForSingleObject(process, 10000);
  CloseHandle(process);
  return ended ? 0 : 1;
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
  if (cmd == "text") return EnumChildWindows(target, PrintRichText, 0), 0;
  if (cmd == "kill") return Kill(target);
  if (cmd == "click") {
    HWND button = nullptr;
    EnumChildWindows(target, FindButton, reinterpret_cast<LPARAM>(&button));
    return button && PostMessageA(button, BM_CLICK, 0, 0) ? 0 : 1;
  }
  if (cmd == "resize" && argc >= 5) {
    const int w = std::atoi(argv[3]), h = std::atoi(argv[4]);
    return SetWindowPos(target, nullptr, 0, 0, w, h, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE)
               ? 0
               : 1;
  }
  if (cmd == "send" && argc >= 4) {
    UINT msg = std::strtoul(argv[3], nullptr, 0);
    WPARAM w = argc > 4 ? std::strtoul(argv[4], nullptr, 0) : 0;
    LPARAM l = argc > 5 ? std::strtoll(argv[5], nullptr, 0) : 0;
    DWORD_PTR result = 0;
    if (!SendTimed(target, msg, w, l, &result)) return 1;
    std::printf("%lld\n", static_cast<long long>(static_cast<LONG_PTR>(result)));
    return 0;
  }
  if (cmd == "post" && argc >= 4) {
    UINT msg = std::strtoul(argv[3], nullptr, 0);
    WPARAM w = argc > 4 ? std::strtoul(argv[4], nullptr, 0) : 0;
    LPARAM l = argc > 5 ? std::strtol(argv[5], nullptr, 0) : 0;
    return PostMessageA(target, msg, w, l) ? 0 : 1;
  }
  return 2;
}
