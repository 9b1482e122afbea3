#include "startup/main_window_win.h"

#include <commctrl.h>

#include "http/download_abort.h"
#include "http/inet_http.h"
#include "package/work_folder.h"
#include "startup/agent_control.h"
#include "startup/agent_session.h"
#include "startup/main_window_layout.h"
#include "startup/stub.h"
#include "startup/stub_state.h"
#include "system/files.h"
#include "ui/message_box.h"
#include "util/switches.h"
#include "util/system_info.h"
#include "util/text.h"
#include "util/trace.h"

namespace startup {

namespace {

HWND g_main = nullptr, g_label = nullptr, g_bar = nullptr, g_second = nullptr;
TimerWork g_timerWork = nullptr;
HFONT g_labelFont = nullptr;
bool g_loopEnd = false;
int g_pulse = 0;
// Showing a step costs round trips to Wine's server (0.17 ms a step on a
// quiet machine, a quarter of the time 5,000 small files took to unpack, and
// several times that on a busy one). Steps are shown at most every
// kBarIntervalMs, about as often as the unpacking loop lets the window
// repaint; those in between are counted and shown by the next step after
// that or by the bar's timer, which runs while steps keep coming.
constexpr int kBarIntervalMs = 50;
constexpr UINT_PTR kBarTimer = 2;
int g_barStep = 1;
int g_dueSteps = 0;
std::int64_t g_barShownAt = 0;
bool g_barTimerSet = false;
UINT g_queryCancelAutoPlay = 0;

HWND CreateControl(HWND parent, const char* cls, DWORD style, const ControlRect& at96) {
  const ControlRect r = Scaled(at96, util::ScreenDpiY());
  return CreateWindowExA(0, cls, "", WS_CHILD | style, r.x, r.y, r.width, r.height, parent,
                         nullptr, GetModuleHandleA(nullptr), nullptr);
}

void OnCreate(HWND wnd) {
  const int charset = State().ownFileInfo->Charset();
  g_label = CreateControl(wnd, "Static", WS_VISIBLE, StatusLabelRect(charset));
  g_bar = CreateControl(wnd, PROGRESS_CLASSA, WS_VISIBLE, ProgressBarRect());
  g_second = CreateControl(wnd, PROGRESS_CLASSA, 0, SecondBarRect(charset));
  SetTimer(wnd, 1, 1000, nullptr);
  g_labelFont = CreateFontA(-Scaled(11, util::ScreenDpiY()), 0, 0, 0, FW_DONTCARE, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                            OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                            DEFAULT_PITCH, "Tahoma");
  SendMessageA(g_label, WM_SETFONT, reinterpret_cast<WPARAM>(g_labelFont), FALSE);
}

void OnPaint(HWND wnd) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(wnd, &ps);
  RECT client;
  GetClientRect(wnd, &client);
  FillRect(dc, &client, GetSysColorBrush(COLOR_BTNFACE));
  HICON icon = LoadIconA(GetModuleHandleA(nullptr), "MainIcon");
  if (icon) DrawIcon(dc, Scaled(18, util::ScreenDpiY()), Scaled(20, util::ScreenDpiY()), icon);
  EndPaint(wnd, &ps);
}

void ShowDueSteps() {
  g_barShownAt = util::MillisecondClock();
  if (g_dueSteps == 0) return;
  const LRESULT position = SendMessageA(g_bar, PBM_GETPOS, 0, 0);
  const LRESULT high = SendMessageA(g_bar, PBM_GETRANGE, FALSE, 0);
  const LRESULT next = position + LRESULT(g_dueSteps) * g_barStep;
  // Past its end PBM_STEPIT starts the bar over: step by step there.
  if (g_dueSteps > 1 && next <= high)
    SendMessageA(g_bar, PBM_SETPOS, static_cast<WPARAM>(next), 0);
  else
    for (int i = 0; i < g_dueSteps; ++i)
      SendMessageA(g_bar, PBM_STEPIT, 0, 0);
  SendMessageA(g_second, PBM_SETPOS, g_pulse, 0);
  g_dueSteps = 0;
}

LRESULT CALLBACK MainWindowProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == g_queryCancelAutoPlay && g_queryCancelAutoPlay != 0) return 1;
  switch (msg) {
    case WM_CREATE:
      g_main = wnd;
      OnCreate(wnd);
      break;
    case WM_DESTROY:
      util::WriteTraceLine("- wm_Destroy -");
      DestroyMainWindow();
      break;
    case WM_PAINT:
      OnPaint(wnd);
      return 0;
    case WM_CLOSE:
      if (!CloseMainWindow()) return 0;
      break;
    case WM_QUIT:
      util::WriteTraceLine("- wm_Quit -");
      DestroyMainWindow();
      break;
    case WM_TIMER:
      if (wp == kBarTimer) {
        // Idle since the last tick: the timer waits for the next step.
        if (g_dueSteps == 0) {
          KillTimer(wnd, kBarTimer);
          g_barTimerSet = false;
        }
        ShowDueSteps();
        return 0;
      }
      if (g_timerWork) g_timerWork(wnd);
      break;
    case kMsgStopRequest:
      Agent().values.remainingTicks = static_cast<std::intptr_t>(wp);
      AgentLog("StopRequest=" + util::IntToStr(Agent().values.remainingTicks));
      break;
    case kMsgRegisterListener:
      SetListener(wp, static_cast<std::uint32_t>(lp));
      NotifyListener(50, reinterpret_cast<LPARAM>(wnd));
      NotifyListener(51, kMsgAgentCommand);
      break;
    case kMsgAgentCommand:
      // The reads come often from a polling listener; the log keeps the
      // commands that change something.
      if (wp >= 12)
        AgentLog("AgentCommand(" + util::IntToStr(static_cast<std::int64_t>(wp)) + ", " +
                 util::IntToStr(lp) + ")");
      return RunAgentCommand(wp, lp);
  }
  return DefWindowProcA(wnd, msg, wp, lp);
}

}  // namespace

void SetTimerWork(TimerWork work) { g_timerWork = work; }

HWND MainWindow() { return g_main; }
HWND StatusLabel() { return g_label; }
HWND SecondBar() { return g_second; }

void SetStatusText(HWND label, const std::string& text, const std::string& fontName, int charset,
                   int points) {
  const bool rtl = IsRightToLeftCharset(charset);
  SetWindowLongA(label, GWL_EXSTYLE, rtl ? WS_EX_RTLREADING : 0);
  SetWindowLongA(label, GWL_STYLE, WS_CHILD | WS_VISIBLE | (rtl ? SS_RIGHT : 0));
  HFONT font = CreateFontA(-util::PointsToPixels(points), 0, 0, 0, FW_DONTCARE, FALSE, FALSE,
                           FALSE, static_cast<BYTE>(charset), OUT_DEFAULT_PRECIS,
                           CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, fontName.c_str());
  SendMessageA(label, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  if (g_labelFont) DeleteObject(g_labelFont);
  g_labelFont = font;
  SetWindowTextA(label, text.c_str());
}

void StubProgress(int mode, int maximum, int step, int start) {
  if (mode == 1) {
    g_pulse = NextPulse(g_pulse);
    ++g_dueSteps;
    if (util::MillisecondClock() - g_barShownAt >= kBarIntervalMs || !g_main)
      ShowDueSteps();
    else if (!g_barTimerSet)
      g_barTimerSet = SetTimer(g_main, kBarTimer, kBarIntervalMs, nullptr) != 0;
    return;
  }
  // Setting the bars up or emptying them leaves no step to show.
  g_dueSteps = 0;
  if (mode == 0) {
    g_barStep = step;
    // The 32-bit range: a download without a length asks for 524,289 steps.
    SendMessageA(g_bar, PBM_SETRANGE32, 0, maximum);
    SendMessageA(g_bar, PBM_SETPOS, start, 0);
    SendMessageA(g_bar, PBM_SETSTEP, step, 0);
    SendMessageA(g_second, PBM_SETRANGE, 0, MAKELPARAM(0, 5));
    SendMessageA(g_second, PBM_SETPOS, 0, 0);
    SendMessageA(g_second, PBM_SETSTEP, 1, 0);
  } else if (mode == 2) {
    for (HWND bar : {g_bar, g_second}) {
      SendMessageA(bar, PBM_SETRANGE, 0, MAKELPARAM(0, 0));
      SendMessageA(bar, PBM_SETPOS, 0, 0);
    }
  }
}

void DestroyMainWindow() {
  AgentLog(".. DestroyMainWindow() - Start");
  http::SetDownloadAbort(true);
  sys::RemoveFolderTree(package::GetWorkFolder(), false);
  PostQuitMessage(0);
  g_loopEnd = true;
  AgentLog(".. DestroyMainWindow() - End");
}

bool CloseMainWindow() {
  AgentLog(".. CloseMainWindow() - Start");
  bool close = http::IsDownloadAborted();
  if (!close) http::SetDownloadAbort(true);
  AgentLog(".. CloseMainWindow() - End");
  return close;
}

void WinMain() {
  StubState& s = State();
  const std::int64_t sleepTicks = util::SwitchNumber("/SleepX=", -1);
  if (sleepTicks >= 0 && s.isAutoUpdateProg) Agent().values.timerCount = -sleepTicks;

  http::InstallMessagePump();
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&icc);
  g_queryCancelAutoPlay = RegisterWindowMessageA("QueryCancelAutoPlay");
  HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSA wc{};
  wc.style = CS_DBLCLKS;
  wc.lpfnWndProc = MainWindowProc;
  wc.hInstance = instance;
  wc.hIcon = LoadIconA(instance, "MainIcon");
  wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  wc.lpszClassName = s.stubClassName.c_str();
  RegisterClassA(&wc);

  RECT work{};
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  const ControlRect at =
      CentredWindowRect(work.left, work.top, work.right - work.left, work.bottom - work.top,
                        util::ScreenDpiY());
  const package::TGFileInfo& info = *s.ownFileInfo;
  const std::string title = info.LangString("s0", "Vantor Installation Suite");
  HWND wnd = CreateWindowExA(0, s.stubClassName.c_str(), title.c_str(),
                             WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN, at.x, at.y, at.width,
                             at.height, nullptr, nullptr, instance, nullptr);
  ui::SetMessageBoxFont(info.FontName(), info.FontSize(), info.Charset());
  if (wnd) {
    ShowWindow(wnd, SW_HIDE);
    MSG m;
    while (GetMessageA(&m, nullptr, 0, 0) > 0) {
      TranslateMessage(&m);
      DispatchMessageA(&m);
      if (g_loopEnd) break;
    }
  }
  KillTimer(wnd, 1);
  http::SetDownloadAbort(true);
  http::HTTP_CloseOpenHandles();
  NotifyListener(43, 0);
}

}  // namespace startup
