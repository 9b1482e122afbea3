#include <windows.h>

#include <richedit.h>

#include <algorithm>
#include <exception>
#include <limits>
#include <string>
#include <vector>

#include "ui/message_box.h"
#include "util/system_info.h"
#include "util/trace.h"

namespace ui {

namespace {

constexpr char kClassName[] = "VMsgBox";
constexpr UINT_PTR kTimeoutTimer = 1;
constexpr DWORD kBoxStyle = WS_VISIBLE | WS_CAPTION | WS_SYSMENU;
constexpr DWORD kBoxExStyle = WS_EX_DLGMODALFRAME | WS_EX_TOPMOST;
constexpr int kTextControlId = 100;
constexpr int kFirstButtonId = 200;

struct FontSettings {
  std::string face = "Tahoma";
  int sizePoints = 8;
  int charset = kDefaultCharset;
};

FontSettings& BoxFont() {
  static FontSettings settings;
  return settings;
}

// Loaded on the first box and kept for the process: the rich-edit window
// class must outlive every box. When the library is missing the box falls
// back to a plain edit control (see CreateTextControl).
void LoadRichEditOnce() {
  static bool tried = false;
  if (tried) return;
  tried = true;
  LoadLibraryA("RICHED32.DLL");
}

UINT AutoPlayMessage() {
  static const UINT message = RegisterWindowMessageA("QueryCancelAutoPlay");
  return message;
}

// The test setup's placement switch, read once per process.
const std::string& DvxValue() {
  static const std::string value = [] {
    char buffer[16];
    const DWORD n = GetEnvironmentVariableA("DVX", buffer, sizeof buffer);
    return n > 0 && n < sizeof buffer ? std::string(buffer, n) : std::string();
  }();
  return value;
}

// Window texts end at the first NUL; a NUL inside a text shows as a blank
// so that nothing after it is lost and character offsets stay the same.
std::string WindowText(std::string_view text) {
  std::string out(text);
  std::replace(out.begin(), out.end(), '\0', ' ');
  return out;
}

struct Box {
  BoxContent content;
  std::string plainText; // content.body.text as a window text
  HWND window = nullptr;
  HWND text = nullptr;
  bool richEdit = false;
  std::vector<HWND> buttons;
  int result = kResultNone;
  int timeoutMs = 0;
  HWND owner = nullptr;
  bool closed = false;
  HFONT font = nullptr;
  HICON icon = nullptr;
  Size requested; // what the rich-edit control last asked for
};

// Metrics of the box font on a screen DC.
class ScreenFontMeasure : public FontMeasure {
public:
  ScreenFontMeasure(HDC dc, std::string_view face) : dc_(dc), face_(face) {
    if (!GetTextMetricsA(dc_, &metrics_)) metrics_ = TEXTMETRICA{};
  }
  int TextWidth(std::string_view piece) const override {
    // In slices, so that no single call meets a system limit on its length.
    constexpr std::size_t kSlice = 4096;
    long long width = 0;
    for (std::size_t at = 0; at < piece.size(); at += kSlice) {
      const std::string_view slice = piece.substr(at, kSlice);
      SIZE size{};
      if (GetTextExtentPoint32A(dc_, slice.data(), static_cast<int>(slice.size()), &size))
        width += size.cx;
    }
    return static_cast<int>(std::min<long long>(width, 0x7FFFFFFF));
  }
  int CharHeight() const override { return metrics_.tmHeight; }
  int ExternalLeading() const override { return metrics_.tmExternalLeading; }
  std::string_view FaceName() const override { return face_; }

private:
  HDC dc_;
  std::string_view face_;
  TEXTMETRICA metrics_{};
};

Size MeasureWithBoxFont(HFONT font, std::string_view text) {
  HDC dc = GetDC(nullptr);
  HGDIOBJ old = SelectObject(dc, font);
  const Size size = MeasureText(text, ScreenFontMeasure(dc, BoxFont().face), util::ScreenDpiY());
  SelectObject(dc, old);
  ReleaseDC(nullptr, dc);
  return size;
}

HFONT CreateBoxFont() {
  const FontSettings& f = BoxFont();
  return CreateFontA(-util::PointsToPixels(f.sizePoints), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                     static_cast<BYTE>(f.charset), OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                     DEFAULT_QUALITY, FF_SWISS, f.face.c_str());
}

HICON LoadBoxIcon(BoxIcon icon) {
  switch (icon) {
  case BoxIcon::Error:
    return LoadIconA(nullptr, IDI_HAND);
  case BoxIcon::Question:
    return LoadIconA(nullptr, IDI_QUESTION);
  case BoxIcon::Exclamation:
    return LoadIconA(nullptr, IDI_EXCLAMATION);
  case BoxIcon::Information:
    return LoadIconA(nullptr, IDI_ASTERISK);
  case BoxIcon::Own:
    break;
  }
  HICON own = LoadIconA(GetModuleHandleA(nullptr), "MainIcon");
  return own ? own : LoadIconA(nullptr, IDI_APPLICATION);
}

int FocusedButton(const Box& box) {
  const HWND focus = GetFocus();
  for (std::size_t i = 0; focus && i < box.buttons.size(); ++i)
    if (box.buttons[i] == focus) return static_cast<int>(i);
  return -1;
}

// Focus and the default-button frame go together.
void FocusButton(Box& box, int index) {
  if (index < 0 || index >= static_cast<int>(box.buttons.size())) return;
  for (std::size_t i = 0; i < box.buttons.size(); ++i)
    if (static_cast<int>(i) != index)
      SendMessageA(box.buttons[i], BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
  if (!box.buttons[index]) return;
  SendMessageA(box.buttons[index], BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
  SetFocus(box.buttons[index]);
}

void Choose(Box& box, int index) {
  box.result = box.content.buttons[index].result;
  PostMessageA(box.window, WM_CLOSE, 0, 0);
}

// Keys for the box or its controls, before they are dispatched. True when
// the key was the box's: it is then not dispatched.
bool FilterKeyboard(Box& box, const MSG& m) {
  if (m.message != WM_KEYDOWN && m.message != WM_CHAR) return false;
  if (m.hwnd != box.window && !IsChild(box.window, m.hwnd)) return false;
  const std::vector<BoxButton>& buttons = box.content.buttons;
  const int focused = FocusedButton(box);
  const KeyDecision d = m.message == WM_KEYDOWN
                            ? DecideKeyDown(static_cast<int>(m.wParam), buttons, focused)
                            : DecideChar(static_cast<char>(m.wParam), buttons);
  switch (d.action) {
  case KeyAction::None:
    return false;
  case KeyAction::FocusPrevious:
  case KeyAction::FocusNext:
    FocusButton(box, StepFocus(focused, static_cast<int>(buttons.size()),
                               d.action == KeyAction::FocusNext));
    return true;
  case KeyAction::Choose:
    Choose(box, d.button);
    return true;
  case KeyAction::Close:
    PostMessageA(box.window, WM_CLOSE, 0, 0);
    return true;
  }
  return false;
}

void FillRectColor(HDC dc, int left, int top, int right, int bottom, HBRUSH brush) {
  const RECT r{left, top, right, bottom};
  FillRect(dc, &r, brush);
}

void Paint(const Box& box) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(box.window, &ps);
  RECT client;
  GetClientRect(box.window, &client);
  const int w = client.right;
  const int h = client.bottom;
  FillRect(dc, &client, GetSysColorBrush(COLOR_WINDOW));
  const int dpi = util::ScreenDpiY();
  const int strip = h - ScaledLength(37, dpi); // the button strip's top line
  FillRectColor(dc, 0, strip, w, strip + 1, GetSysColorBrush(COLOR_3DDKSHADOW));
  FillRectColor(dc, 0, strip + 1, w, strip + 2, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  FillRectColor(dc, 0, strip + 2, w, h, GetSysColorBrush(COLOR_BTNFACE));
  HBRUSH band = CreateSolidBrush(RGB(kBandRed, kBandGreen, kBandBlue));
  FillRectColor(dc, 0, 0, ScaledLength(kIconBandWidth, dpi), strip, band);
  DeleteObject(band);
  if (box.icon)
    DrawIcon(dc, ScaledLength(kIconX, dpi), ScaledLength(kIconY, dpi), box.icon);
  EndPaint(box.window, &ps);
}

LRESULT CALLBACK BoxProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    auto* created = reinterpret_cast<Box*>(reinterpret_cast<CREATESTRUCTA*>(lp)->lpCreateParams);
    created->window = wnd;
    SetWindowLongPtrA(wnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(created));
  }
  Box* box = reinterpret_cast<Box*>(GetWindowLongPtrA(wnd, GWLP_USERDATA));
  if (!box) return DefWindowProcA(wnd, msg, wp, lp);
  // Keeps Windows from starting AutoPlay for a disk inserted while the box
  // asks for it.
  if (msg == AutoPlayMessage() && msg != 0) return 1;

  switch (msg) {
  case WM_CREATE:
    if (box->timeoutMs > 0)
      SetTimer(wnd, kTimeoutTimer, static_cast<UINT>(box->timeoutMs), nullptr);
    break;
  case WM_PAINT:
    Paint(*box);
    return 0;
  case WM_COMMAND:
    if (HIWORD(wp) == BN_CLICKED) {
      const auto it =
          std::find(box->buttons.begin(), box->buttons.end(), reinterpret_cast<HWND>(lp));
      if (it != box->buttons.end()) {
        box->result = static_cast<int>(GetWindowLongPtrA(*it, GWLP_USERDATA));
        PostMessageA(wnd, WM_CLOSE, 0, 0);
        return 0;
      }
    }
    break;
  case WM_TIMER:
    if (wp == kTimeoutTimer) {
      KillTimer(wnd, kTimeoutTimer);
      if (!box->content.buttons.empty()) box->result = box->content.buttons.front().result;
      PostMessageA(wnd, WM_CLOSE, 0, 0);
      return 0;
    }
    break;
  case WM_NOTIFY: {
    const auto* header = reinterpret_cast<const NMHDR*>(lp);
    if (header && header->hwndFrom == box->text && header->code == EN_REQUESTRESIZE) {
      const RECT& r = reinterpret_cast<const REQRESIZE*>(lp)->rc;
      box->requested = {static_cast<int>(r.right - r.left), static_cast<int>(r.bottom - r.top)};
      return 0;
    }
    break;
  }
  case WM_CLOSE:
    if (box->owner) {
      EnableWindow(box->owner, TRUE);
      SetActiveWindow(box->owner);
      SetFocus(box->owner);
    }
    KillTimer(wnd, kTimeoutTimer);
    break; // DefWindowProc destroys the box
  case WM_DESTROY:
    box->closed = true;
    break;
  case WM_NCDESTROY:
    SetWindowLongPtrA(wnd, GWLP_USERDATA, 0);
    break;
  }
  return DefWindowProcA(wnd, msg, wp, lp);
}

// The read-only text control, filled with the plain text and the bold runs.
// It is created at its measured size: filled while narrower, it would wrap
// a long text at every character, which takes seconds.
void CreateTextControl(Box& box, Size size, bool scroll) {
  HINSTANCE instance = GetModuleHandleA(nullptr);
  const BoxFlags& f = box.content.decoded;
  DWORD style = WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_READONLY;
  if (f.rightAligned) style |= ES_RIGHT;
  if (scroll) style |= WS_VSCROLL;
  const DWORD exStyle = f.rtlReading ? WS_EX_RTLREADING : 0;
  const auto id = reinterpret_cast<HMENU>(static_cast<INT_PTR>(kTextControlId));
  box.text = CreateWindowExA(exStyle, "RICHEDIT", "", style, 0, 0, size.width, size.height,
                             box.window, id, instance, nullptr);
  box.richEdit = box.text != nullptr;
  if (!box.richEdit) {
    // Without the rich-edit library the message is still shown, unformatted.
    box.text = CreateWindowExA(exStyle, "EDIT", "", style, 0, 0, size.width, size.height,
                               box.window, id, instance, nullptr);
    if (!box.text) return;
  }
  const auto limit = static_cast<LPARAM>(box.plainText.size() + 1);
  if (box.richEdit) {
    SendMessageA(box.text, EM_SETEVENTMASK, 0, ENM_REQUESTRESIZE);
    SendMessageA(box.text, EM_SETBKGNDCOLOR, 0, static_cast<LPARAM>(GetSysColor(COLOR_WINDOW)));
    SendMessageA(box.text, EM_EXLIMITTEXT, 0, limit);
  } else {
    SendMessageA(box.text, EM_SETLIMITTEXT, static_cast<WPARAM>(limit), 0);
  }
  SendMessageA(box.text, WM_SETFONT, reinterpret_cast<WPARAM>(box.font), FALSE);
  SendMessageA(box.text, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(box.plainText.c_str()));
  if (!box.richEdit) return;
  if (f.rightAligned) {
    // The paragraphs follow the control's alignment style only where the
    // rich-edit version reads it at creation; set them explicitly.
    PARAFORMAT para{};
    para.cbSize = sizeof para;
    para.dwMask = PFM_ALIGNMENT;
    para.wAlignment = PFA_RIGHT;
    CHARRANGE all{0, -1};
    SendMessageA(box.text, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&all));
    SendMessageA(box.text, EM_SETPARAFORMAT, 0, reinterpret_cast<LPARAM>(&para));
  }
  for (const BoldRun& run : box.content.body.bold) {
    CHARRANGE range{static_cast<LONG>(run.start), static_cast<LONG>(run.end)};
    SendMessageA(box.text, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&range));
    CHARFORMATA format{};
    format.cbSize = sizeof format;
    format.dwMask = CFM_BOLD | CFM_ITALIC | CFM_UNDERLINE | CFM_STRIKEOUT;
    format.dwEffects = CFE_BOLD;
    SendMessageA(box.text, EM_SETCHARFORMAT, SCF_SELECTION, reinterpret_cast<LPARAM>(&format));
  }
  CHARRANGE start{0, 0};
  SendMessageA(box.text, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&start));
}

void SizeControl(HWND control, Size size) {
  SetWindowPos(control, nullptr, 0, 0, size.width, size.height,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

WindowFrame BoxFrame() {
  RECT r{0, 0, 0, 0};
  AdjustWindowRectEx(&r, kBoxStyle, FALSE, kBoxExStyle);
  return {static_cast<int>(-r.left), static_cast<int>(r.bottom),
          static_cast<int>(-r.top - r.bottom)};
}

Rect WorkArea() {
  RECT r{};
  if (!SystemParametersInfoA(SPI_GETWORKAREA, 0, &r, 0))
    r = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  return {static_cast<int>(r.left), static_cast<int>(r.top), static_cast<int>(r.right - r.left),
          static_cast<int>(r.bottom - r.top)};
}

// Text control, box size and place, buttons and focus.
void BuildBox(Box& box, std::string_view sourceText) {
  const Size measured = MeasureWithBoxFont(box.font, box.plainText);
  const int dpi = util::ScreenDpiY();
  const Size initial{measured.width + ScaledLength(10, dpi), measured.height};
  const WindowFrame frame = BoxFrame();
  const Rect work = WorkArea();
  const bool testPlacement = IsTestPlacement(sourceText, DvxValue());
  const bool scroll = PlaceBox(initial, frame, work, testPlacement, dpi).scroll;

  CreateTextControl(box, initial, scroll);
  Size control = initial;
  if (box.text) {
    if (box.richEdit && !box.content.body.bold.empty()) {
      control = FitBoldText(measured, [&box](Size size) {
        SizeControl(box.text, size);
        SendMessageA(box.text, EM_REQUESTRESIZE, 0, 0);
        return box.requested;
      });
    }
  }

  const BoxPlacement place = PlaceBox(control, frame, work, testPlacement, dpi);
  if (place.scroll && !scroll && box.text) {
    // Only a screen narrower than the text gets here.
    SetWindowLongA(box.text, GWL_STYLE, GetWindowLongA(box.text, GWL_STYLE) | WS_VSCROLL);
    SetWindowPos(box.text, nullptr, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED);
  }
  SetWindowPos(box.window, nullptr, place.box.left, place.box.top, place.box.width,
               place.box.height, SWP_NOZORDER | SWP_NOACTIVATE);
  RECT client{};
  GetClientRect(box.window, &client);
  const ClientLayout layout =
      LayoutClient({static_cast<int>(client.right), static_cast<int>(client.bottom)}, place.control,
                   static_cast<int>(box.content.buttons.size()), dpi);
  if (box.text) {
    const Rect& r = layout.control;
    SetWindowPos(box.text, nullptr, r.left, r.top, r.width, r.height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
  }

  box.icon = LoadBoxIcon(box.content.decoded.icon);
  HINSTANCE instance = GetModuleHandleA(nullptr);
  for (std::size_t i = 0; i < box.content.buttons.size(); ++i) {
    const BoxButton& wanted = box.content.buttons[i];
    const Rect& r = layout.buttons[i];
    const bool isDefault = static_cast<int>(i) == box.content.defaultButton;
    const std::string label = WindowText(wanted.label);
    HWND button = CreateWindowExA(
        0, "Button", label.c_str(),
        WS_CHILD | WS_VISIBLE | (isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON), r.left, r.top,
        r.width, r.height, box.window,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstButtonId + i)), instance, nullptr);
    if (button) {
      SendMessageA(button, WM_SETFONT, reinterpret_cast<WPARAM>(box.font), FALSE);
      SetWindowLongPtrA(button, GWLP_USERDATA, wanted.result);
    }
    box.buttons.push_back(button); // kept even when missing: indices match the content
  }
  if (box.content.defaultButton >= 0 && box.buttons[box.content.defaultButton])
    SetFocus(box.buttons[box.content.defaultButton]);
  ShowWindow(box.window, SW_SHOW);
  UpdateWindow(box.window);
}

void RunBoxLoop(Box& box) {
  MSG m;
  while (!box.closed) {
    const BOOL got = GetMessageA(&m, nullptr, 0, 0);
    if (got == 0) {
      // The program is ending: leave the quit request to the caller's loop.
      PostQuitMessage(static_cast<int>(m.wParam));
      break;
    }
    if (got < 0) break;
    if (FilterKeyboard(box, m)) continue;
    TranslateMessage(&m);
    DispatchMessageA(&m);
  }
}

} // namespace

void SetMessageBoxFont(std::string_view faceName, int sizePoints, int charset) {
  FontSettings& f = BoxFont();
  if (!faceName.empty()) f.face = WindowText(faceName);
  if (sizePoints != 0) f.sizePoints = sizePoints;
  f.charset = charset;
}

int MarkupMessageBox(OwnerOrMode ownerOrMode, std::string_view text, std::string_view caption,
                     int timeoutMs, std::uint32_t flags, int charset, std::string_view labels) {
  LoadRichEditOnce();
  Box box;
  box.owner = GetActiveWindow();
  const HWND parent = ownerOrMode > kModeNoClose ? reinterpret_cast<HWND>(ownerOrMode) : box.owner;
  if (box.owner) EnableWindow(box.owner, FALSE);

  box.content = PrepareBox(ownerOrMode, text, caption, flags, charset, labels);
  box.plainText = WindowText(box.content.body.text);
  box.timeoutMs = timeoutMs;
  box.font = CreateBoxFont();
  HMODULE richEdit = LoadLibraryA("RICHED32.DLL");

  HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSA wc{};
  wc.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
  wc.lpfnWndProc = BoxProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kClassName;
  RegisterClassA(&wc); // already there while another box is open: fine

  const std::string title = WindowText(caption);
  CreateWindowExA(kBoxExStyle, kClassName, title.c_str(), kBoxStyle, -100, -100, 10, 10, parent,
                  nullptr, instance, &box);
  if (box.window) {
    if (box.content.decoded.closeDisabled)
      EnableMenuItem(GetSystemMenu(box.window, FALSE), SC_CLOSE, MF_BYCOMMAND | MF_GRAYED);
    BuildBox(box, text);
    RunBoxLoop(box);
    if (IsWindow(box.window)) DestroyWindow(box.window);
  }

  // Also when the box went without its close message (destroyed with its
  // parent, or the program quitting).
  if (box.owner && !IsWindowEnabled(box.owner)) EnableWindow(box.owner, TRUE);
  // After the children are gone: they draw with the font until then, and
  // the class can only go once no window of it is left.
  DeleteObject(box.font);
  UnregisterClassA(kClassName, instance);
  if (richEdit) FreeLibrary(richEdit);
  return box.result;
}

void ShowErrorBox(OwnerOrMode ownerOrMode, std::string_view text, std::string_view caption,
                  int charset, std::string_view labels) {
  // OK, error icon
  MarkupMessageBox(ownerOrMode, text, CaptionOrDefault(caption, 0), 0, 0x10, charset, labels);
  WaitPumping(100);
}

void ShowAttentionBox(OwnerOrMode ownerOrMode, std::string_view text, std::string_view caption,
                      int timeoutMs, int charset, std::string_view labels) {
  // OK, exclamation icon
  MarkupMessageBox(ownerOrMode, text, CaptionOrDefault(caption, 1), timeoutMs, 0x30, charset,
                   labels);
  WaitPumping(100);
}

bool AskYesNo(OwnerOrMode ownerOrMode, std::string_view text, std::string_view caption,
              int timeoutMs, int charset, std::string_view labels) {
  // Yes, No; question icon
  const int result = MarkupMessageBox(ownerOrMode, text, CaptionOrDefault(caption, 2), timeoutMs,
                                      0x24, charset, labels);
  WaitPumping(100);
  return result == kResultYes;
}

bool AskOkCancel(OwnerOrMode ownerOrMode, std::string_view text, std::string_view caption,
                 int charset, std::string_view labels) {
  // OK, Cancel; question icon
  const int result =
      MarkupMessageBox(ownerOrMode, text, CaptionOrDefault(caption, 2), 0, 0x21, charset, labels);
  WaitPumping(100);
  return result == kResultOk;
}

// The Windows build has no C++ exceptions, so nothing dispatched here can
// throw past this loop.
void YieldX() {
  MSG m;
  while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
    if (m.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(m.wParam));
      return;
    }
    TranslateMessage(&m);
    DispatchMessageA(&m);
  }
}

void YieldXThrottled(int intervalMs) {
  static std::int64_t last = std::numeric_limits<std::int64_t>::min() / 2;
  const std::int64_t now = util::MillisecondClock();
  if (now - last < intervalMs) return;
  last = now;
  YieldX();
}

void WaitPumping(int ms) {
  const int step = std::clamp(ms / 10, 1, 25);
  const std::int64_t start = util::MillisecondClock();
  do {
    YieldX();
    Sleep(static_cast<DWORD>(step));
  } while (util::MillisecondClock() - start < ms);
}

} // namespace ui
