#include <windows.h>

#include <richedit.h>

#include <algorithm>
#include <string>

#include "ui/inform_window.h"
#include "ui/inform_window_layout.h"
#include "util/system_info.h"
#include "util/text.h"

namespace ui {

namespace {

constexpr char kClassName[] = "VRichEditBox";
constexpr DWORD kStyle = WS_VISIBLE | WS_OVERLAPPEDWINDOW;
constexpr DWORD kExStyle = WS_EX_DLGMODALFRAME;

// One window at a time.
struct InformWindow {
  HWND window = nullptr;
  HWND text = nullptr;
  HWND button = nullptr;
  std::string link;
  HFONT buttonFont = nullptr;
  HFONT textFont = nullptr;
  bool closed = false;
};
InformWindow g_inform;

// Window texts end at the first NUL.
std::string WindowText(std::string_view text) {
  std::string out(text);
  std::replace(out.begin(), out.end(), '\0', ' ');
  return out;
}

// A link the shell cannot open is not reported.
void OpenLink(const std::string& link) {
  ShellExecuteA(GetDesktopWindow(), nullptr, link.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

HFONT CreateInformFont(int height, const std::string& face, int charset) {
  return CreateFontA(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, static_cast<BYTE>(charset),
                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, 32, face.c_str());
}

Size ClientSize(HWND wnd) {
  RECT r{};
  GetClientRect(wnd, &r);
  return {static_cast<int>(r.right), static_cast<int>(r.bottom)};
}

void Place(HWND child, const Rect& r) {
  if (child)
    SetWindowPos(child, nullptr, r.left, r.top, r.width, r.height, SWP_NOZORDER | SWP_NOACTIVATE);
}

void Layout(const InformWindow& w) {
  const InformLayout l = LayoutInform(ClientSize(w.window), w.button != nullptr, util::ScreenDpiY());
  Place(w.text, l.text);
  Place(w.button, l.button);
}

void FillBand(HDC dc, int left, int top, int right, int bottom, int color) {
  const RECT r{left, top, right, bottom};
  FillRect(dc, &r, GetSysColorBrush(color));
}

void Paint(const InformWindow& w) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(w.window, &ps);
  const Size c = ClientSize(w.window);
  FillBand(dc, 0, 0, c.width, c.height, COLOR_WINDOW);
  if (w.button) {
    const int line = LayoutInform(c, true, util::ScreenDpiY()).separatorY;
    FillBand(dc, 0, line, c.width, line + 1, COLOR_3DDKSHADOW);
    FillBand(dc, 0, line + 1, c.width, c.height, COLOR_BTNFACE);
  }
  EndPaint(w.window, &ps);
}

LRESULT CALLBACK InformProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  InformWindow& w = g_inform;
  switch (msg) {
  case WM_SIZE:
    if (w.window == wnd) Layout(w);
    return 0;
  case WM_PAINT:
    if (w.window != wnd) break;
    Paint(w);
    return 0;
  case WM_COMMAND:
    if (w.button && reinterpret_cast<HWND>(lp) == w.button && HIWORD(wp) == BN_CLICKED) {
      OpenLink(w.link);
      PostMessageA(wnd, WM_CLOSE, 0, 0);
      return 0;
    }
    break;
  case WM_DESTROY:
    w.closed = true;
    break;
  }
  return DefWindowProcA(wnd, msg, wp, lp);
}

void CreateTextControl(InformWindow& w, bool rightToLeft, const std::string& text) {
  DWORD style = WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_READONLY;
  if (rightToLeft) style |= ES_RIGHT;
  w.text = CreateWindowExA(rightToLeft ? WS_EX_RTLREADING : 0, "RICHEDIT", "", style, 0, 0, 0, 0,
                           w.window, nullptr, GetModuleHandleA(nullptr), nullptr);
  if (!w.text) return;
  SendMessageA(w.text, EM_SETEVENTMASK, 0, ENM_REQUESTRESIZE);
  SendMessageA(w.text, WM_SETFONT, reinterpret_cast<WPARAM>(w.textFont), FALSE);
  SendMessageA(w.text, EM_SETBKGNDCOLOR, 0, static_cast<LPARAM>(GetSysColor(COLOR_WINDOW)));
  // The control's own limit (32K characters) would cut a long page.
  SendMessageA(w.text, EM_EXLIMITTEXT, 0, static_cast<LPARAM>(text.size() + 1));
  SendMessageA(w.text, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void CreateButton(InformWindow& w, const std::string& caption) {
  w.button =
      CreateWindowExA(0, "Button", caption.c_str(), WS_CHILD | WS_VISIBLE, 0, 0, kInformButtonWidth,
                      kInformButtonHeight, w.window, nullptr, GetModuleHandleA(nullptr), nullptr);
  if (!w.button) return;
  SendMessageA(w.button, WM_SETFONT, reinterpret_cast<WPARAM>(w.buttonFont), FALSE);
  SetWindowLongPtrA(w.button, GWLP_USERDATA, 1);
  SetFocus(w.button);
  SetActiveWindow(w.window);
  SendMessageA(w.button, BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
}

} // namespace

int ShowInformWindow(std::uintptr_t parent, std::string_view title, std::string_view buttonCaption,
                     int charset, int fontSize, std::string_view fontFace, bool rightToLeft,
                     int height, int width, std::string_view link, std::string_view text) {
  const std::string trimmedLink = util::Trim(link);
  switch (DecideInform(text, trimmedLink)) {
  case InformAction::None:
    return 0;
  case InformAction::OpenLink:
    OpenLink(trimmedLink);
    return 1;
  case InformAction::Show:
    break;
  }

  InformWindow& w = g_inform;
  w = InformWindow{};
  w.link = trimmedLink;
  LoadLibraryA("RICHED32.DLL"); // stays loaded: the class must outlive the window
  const std::string face(fontFace);
  w.buttonFont =
      CreateInformFont(InformButtonFontHeight(fontSize, util::ScreenDpiY()), face, charset);
  const int dpi = util::ScreenDpiY();
  w.textFont = CreateInformFont(util::MulDivRounded(kInformTextFontHeight, dpi, 96),
                                InformTextFace(face), charset);

  HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSA wc{};
  wc.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
  wc.lpfnWndProc = InformProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kClassName;
  RegisterClassA(&wc);

  const Rect at =
      CentredOnScreen(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
                      util::MulDivRounded(width, dpi, 96), util::MulDivRounded(height, dpi, 96));
  const std::string windowTitle = WindowText(title);
  w.window =
      CreateWindowExA(kExStyle, kClassName, windowTitle.c_str(), kStyle, at.left, at.top, at.width,
                      at.height, reinterpret_cast<HWND>(parent), nullptr, instance, nullptr);
  if (w.window) {
    CreateTextControl(w, rightToLeft, WindowText(text));
    if (!w.link.empty()) CreateButton(w, WindowText(buttonCaption));
    Layout(w);
    InvalidateRect(w.window, nullptr, TRUE);
    MSG m;
    while (!w.closed) {
      const BOOL got = GetMessageA(&m, nullptr, 0, 0);
      if (got == 0) {
        // The program is ending: leave the quit request to the caller's loop.
        PostQuitMessage(static_cast<int>(m.wParam));
        break;
      }
      if (got < 0) break;
      TranslateMessage(&m);
      DispatchMessageA(&m);
    }
    if (IsWindow(w.window)) DestroyWindow(w.window);
  }
  UnregisterClassA(kClassName, instance);
  DeleteObject(w.buttonFont);
  DeleteObject(w.textFont);
  w = InformWindow{};
  return 1;
}

} // namespace ui
