#include <windows.h>
#include <commctrl.h>

#include "startup/stub.h"
#include "startup/stub_state.h"
#include "util/trace.h"

namespace startup {

namespace {

bool g_loopEnd = false;

LRESULT CALLBACK MainWindowProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_CREATE:
      SetTimer(wnd, 1, 1000, nullptr);
      break;
    case WM_TIMER:
      // The setup road and the agent's cycle start here once they are built;
      // until then the first tick ends the run.
      KillTimer(wnd, 1);
      PostQuitMessage(0);
      g_loopEnd = true;
      return 0;
    case WM_DESTROY:
      util::WriteTraceLine("- wm_Destroy -");
      PostQuitMessage(0);
      g_loopEnd = true;
      break;
  }
  return DefWindowProcA(wnd, msg, wp, lp);
}

}  // namespace

void WinMain() {
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&icc);
  HINSTANCE instance = GetModuleHandleA(nullptr);
  const std::string& className = State().stubClassName;
  WNDCLASSA wc{};
  wc.style = CS_DBLCLKS;
  wc.lpfnWndProc = MainWindowProc;
  wc.hInstance = instance;
  wc.hIcon = LoadIconA(instance, "MainIcon");
  wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  wc.lpszClassName = className.c_str();
  RegisterClassA(&wc);
  RECT work{};
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  const int x = work.left + (work.right - work.left - 492) / 2;
  const int y = work.top + (work.bottom - work.top - 110) / 2;
  HWND wnd = CreateWindowExA(0, className.c_str(), "Vantor Installation Suite",
                             WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN, x, y, 492, 110, nullptr,
                             nullptr, instance, nullptr);
  if (wnd) {
    ShowWindow(wnd, SW_HIDE);
    MSG m;
    while (!g_loopEnd && GetMessageA(&m, nullptr, 0, 0) > 0) {
      TranslateMessage(&m);
      DispatchMessageA(&m);
    }
    DestroyWindow(wnd);
  }
  KillTimer(wnd, 1);
}

}  // namespace startup
