// Test support: stands for the installed product that the agent finds, stops
// and restarts. It shows a visible captioned main window and, created after
// it, a hidden untitled tool window (so the tool window comes first in the
// system's window order and only the ranking picks the main one).
//
//   product_app.exe [/Title=TEXT] [/IgnoreClose] [/LingerMs=N] [/ExitCode=N]
//                   [/StartFile=PATH] [/EndFile=PATH]
//
//   /Title=TEXT      main window caption (default "Vantor Product"); quote
//                    the whole argument when it holds blanks
//   /IgnoreClose     WM_CLOSE is counted but does not close the window, so
//                    only WM_QUIT or termination end the program
//   /LingerMs=N      after the message loop: destroy every window, then keep
//                    running N ms before the end (a program still saving)
//   /ExitCode=N      process exit code (default 0)
//   /StartFile=PATH  written once both windows exist: "pid=", "main=", "tool="
//                    (decimal handles) and "commandline=" lines
//   /EndFile=PATH    written last: "ended=WM_CLOSE" or "ended=WM_QUIT", the
//                    ending message's "wParam=" and "lParam=", and "closes="
//                    (WM_CLOSE messages received)
//
// Window classes: "VantorProductMain" and "VantorProductTool".
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const char kMainClass[] = "VantorProductMain";
const char kToolClass[] = "VantorProductTool";

bool g_ignoreClose = false;
int g_closes = 0;
std::string g_ended = "WM_QUIT";
WPARAM g_wParam = 0;
LPARAM g_lParam = 0;

int g_argc = 0;
char** g_argv = nullptr;

// The value of the argument that begins with `name` (letter case ignored).
std::string Switch(const std::string& name, const std::string& def = {}) {
  for (int i = 1; i < g_argc; ++i)
    if (_strnicmp(g_argv[i], name.c_str(), name.size()) == 0) return g_argv[i] + name.size();
  return def;
}

void WriteText(const std::string& path, const std::string& text) {
  if (path.empty()) return;
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(h);
}

std::string Number(unsigned long long v) {
  return std::to_string(v);
}

LRESULT CALLBACK MainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
  case WM_CLOSE:
    ++g_closes;
    if (g_ignoreClose) return 0;
    g_ended = "WM_CLOSE";
    g_wParam = wParam;
    g_lParam = lParam;
    DestroyWindow(window);
    return 0;
  case WM_DESTROY:
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

} // namespace

int main(int argc, char** argv) {
  g_argc = argc;
  g_argv = argv;
  const std::string cl = GetCommandLineA();
  g_ignoreClose = Switch("/IgnoreClose", "-") != "-";
  const std::string title = Switch("/Title=", "Vantor Product");
  const int lingerMs = std::atoi(Switch("/LingerMs=", "0").c_str());
  const int exitCode = std::atoi(Switch("/ExitCode=", "0").c_str());

  HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSA wc{};
  wc.lpfnWndProc = MainProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = kMainClass;
  RegisterClassA(&wc);
  wc.lpfnWndProc = DefWindowProcA;
  wc.lpszClassName = kToolClass;
  RegisterClassA(&wc);

  HWND main = CreateWindowExA(0, kMainClass, title.c_str(), WS_OVERLAPPEDWINDOW, 40, 40, 320, 200,
                              nullptr, nullptr, instance, nullptr);
  ShowWindow(main, SW_SHOWNORMAL);
  UpdateWindow(main);
  HWND tool = CreateWindowExA(WS_EX_TOOLWINDOW, kToolClass, "", WS_POPUP, 0, 0, 10, 10, nullptr,
                              nullptr, instance, nullptr);

  WriteText(Switch("/StartFile="),
            "pid=" + Number(GetCurrentProcessId()) +
                "\r\nmain=" + Number(reinterpret_cast<std::uintptr_t>(main)) + "\r\ntool=" +
                Number(reinterpret_cast<std::uintptr_t>(tool)) + "\r\ncommandline=" + cl + "\r\n");

  MSG m;
  while (GetMessageA(&m, nullptr, 0, 0) > 0) {
    TranslateMessage(&m);
    DispatchMessageA(&m);
  }
  if (g_ended == "WM_QUIT") {
    g_wParam = m.wParam;
    g_lParam = m.lParam;
  }
  if (IsWindow(main)) DestroyWindow(main);
  DestroyWindow(tool);
  if (lingerMs > 0) Sleep(static_cast<DWORD>(lingerMs));
  WriteText(Switch("/EndFile="), "ended=" + g_ended + "\r\nwParam=" + Number(g_wParam) +
                                     "\r\nlParam=" + Number(g_lParam) +
                                     "\r\ncloses=" + Number(g_closes) + "\r\n");
  return exitCode;
}
