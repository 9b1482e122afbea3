// Test support: shows one markup message box and exits with its result.
//
//   msgbox_probe.exe [--mode N] [--text T | --text-file F] [--caption C]
//                    [--timeout MS] [--flags N] [--charset N] [--labels L]
//                    [--font FACE SIZE CHARSET] [--front yesno|okcancel]
//                    [--owner] [--report FILE]
//
// --mode is the owner-or-mode argument (default 1); --flags takes decimal or
// 0x hex. --front calls AskYesNo / AskOkCancel instead (exit code 1 for
// true). --owner first opens an active top-level window that the box must
// disable while it is up. --report writes, once the box is up, what the box
// looks like from inside the process (key=value lines; texts as hex):
// geometry, the text control's class, styles, text and paragraph alignment,
// the box font, the bold ranges (EM_GETCHARFORMAT per character, first
// 4096), the buttons, the focus and the close command's state; after the box
// the lines "result=" and (with --owner) "owner_enabled_after=" follow.
#include <windows.h>

#include <richedit.h>

#include <cstdlib>
#include <string>

#include "box_finder_win.h"
#include "ui/message_box.h"

namespace {

using box_finder::ClassOf;

std::string g_report;
HWND g_owner = nullptr;
bool g_reported = false;

std::string Hex(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

std::string Num(long long v) {
  return std::to_string(v);
}

std::string RectText(const RECT& r) {
  return Num(r.left) + " " + Num(r.top) + " " + Num(r.right) + " " + Num(r.bottom);
}

std::string WindowTextOf(HWND wnd) {
  const LRESULT n = SendMessageA(wnd, WM_GETTEXTLENGTH, 0, 0);
  std::string text(static_cast<std::size_t>(n) + 1, '\0');
  const LRESULT got =
      SendMessageA(wnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<std::size_t>(got));
  return text;
}

RECT ChildRect(HWND parent, HWND child) {
  RECT r;
  GetWindowRect(child, &r);
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

void WriteFileBytes(const std::string& path, const std::string& data, bool append) {
  HANDLE h =
      CreateFileA(path.c_str(), append ? FILE_APPEND_DATA : GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                  append ? OPEN_ALWAYS : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(h, data.data(), static_cast<DWORD>(data.size()), &written, nullptr);
  CloseHandle(h);
}

std::string ReadFileBytes(const std::string& path) {
  std::string data;
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return data;
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(h, buffer, sizeof buffer, &got, nullptr) && got > 0)
    data.append(buffer, got);
  CloseHandle(h);
  return data;
}

BOOL CALLBACK FindBox(HWND wnd, LPARAM out) {
  if (ClassOf(wnd) == box_finder::kBoxClass) {
    *reinterpret_cast<HWND*>(out) = wnd;
    return FALSE;
  }
  return TRUE;
}

// Bold ranges "a-b,c-d" (end exclusive) and the number of characters with
// any other effect, over the first `limit` characters.
void ReadFormats(HWND text, int length, std::string& bold, int& otherEffects) {
  otherEffects = 0;
  int runStart = -1;
  const int limit = length < 4096 ? length : 4096;
  for (int i = 0; i <= limit; ++i) {
    bool isBold = false;
    if (i < limit) {
      CHARRANGE r{i, i + 1};
      SendMessageA(text, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&r));
      CHARFORMATA f{};
      f.cbSize = sizeof f;
      SendMessageA(text, EM_GETCHARFORMAT, TRUE, reinterpret_cast<LPARAM>(&f));
      isBold = (f.dwMask & CFM_BOLD) && (f.dwEffects & CFE_BOLD);
      if (f.dwEffects & (CFE_ITALIC | CFE_UNDERLINE | CFE_STRIKEOUT)) ++otherEffects;
    }
    if (isBold && runStart < 0) runStart = i;
    if (!isBold && runStart >= 0) {
      if (!bold.empty()) bold += ",";
      bold += Num(runStart) + "-" + Num(i);
      runStart = -1;
    }
  }
  CHARRANGE none{0, 0};
  SendMessageA(text, EM_EXSETSEL, 0, reinterpret_cast<LPARAM>(&none));
}

void CALLBACK ReportTimer(HWND, UINT, UINT_PTR id, DWORD) {
  if (g_reported) return;
  HWND box = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), FindBox, reinterpret_cast<LPARAM>(&box));
  if (!box) return; // not up yet: the next tick looks again
  g_reported = true;
  KillTimer(nullptr, id);

  std::string r;
  RECT rect;
  GetWindowRect(box, &rect);
  r += "box=" + RectText(rect) + "\n";
  GetClientRect(box, &rect);
  r += "client=" + Num(rect.right) + " " + Num(rect.bottom) + "\n";
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &rect, 0);
  r += "work=" + RectText(rect) + "\n";
  r += "title=" + Hex(WindowTextOf(box)) + "\n";
  r += "box_exstyle=" + Num(GetWindowLongA(box, GWL_EXSTYLE)) + "\n";
  const UINT closeState = GetMenuState(GetSystemMenu(box, FALSE), SC_CLOSE, MF_BYCOMMAND);
  r += "close_disabled=" + Num(closeState != 0xFFFFFFFF && (closeState & MF_GRAYED) ? 1 : 0) + "\n";
  if (g_owner) r += "owner_enabled=" + Num(IsWindowEnabled(g_owner) ? 1 : 0) + "\n";

  const box_finder::Children children = box_finder::ChildrenOf(box);
  if (HWND text = children.text) {
    r += "text_class=" + ClassOf(text) + "\n";
    r += "text_rect=" + RectText(ChildRect(box, text)) + "\n";
    r += "text_style=" + Num(GetWindowLongA(text, GWL_STYLE)) + "\n";
    r += "text_exstyle=" + Num(GetWindowLongA(text, GWL_EXSTYLE)) + "\n";
    const std::string content = WindowTextOf(text);
    r += "text=" + Hex(content) + "\n";
    if (ClassOf(text) == "RICHEDIT") {
      PARAFORMAT para{};
      para.cbSize = sizeof para;
      SendMessageA(text, EM_GETPARAFORMAT, 0, reinterpret_cast<LPARAM>(&para));
      r += "para_align=" + Num(para.wAlignment) + "\n";
      std::string bold;
      int other = 0;
      ReadFormats(text, static_cast<int>(content.size()), bold, other);
      r += "bold=" + bold + "\n";
      r += "other_effects=" + Num(other) + "\n";
    }
  }
  // The rich-edit control does not answer WM_GETFONT; the buttons share
  // the box font.
  HFONT font = children.text
                   ? reinterpret_cast<HFONT>(SendMessageA(children.text, WM_GETFONT, 0, 0))
                   : nullptr;
  if (!font && !children.buttons.empty())
    font = reinterpret_cast<HFONT>(SendMessageA(children.buttons.front(), WM_GETFONT, 0, 0));
  LOGFONTA logFont{};
  if (font) GetObjectA(font, sizeof logFont, &logFont);
  r += "font=" + Num(logFont.lfHeight) + " " + Num(logFont.lfCharSet) + " " + logFont.lfFaceName +
       "\n";
  const HWND focus = GetFocus();
  for (HWND b : children.buttons) {
    r += "button=" + RectText(ChildRect(box, b)) + " " + Num(GetWindowLongA(b, GWL_STYLE) & 0xF) +
         " " + Num(b == focus ? 1 : 0) + " " + Hex(WindowTextOf(b)) + "\n";
  }
  // Written whole under a temporary name, so a reader never sees half.
  WriteFileBytes(g_report + ".tmp", r, false);
  MoveFileExA((g_report + ".tmp").c_str(), g_report.c_str(), MOVEFILE_REPLACE_EXISTING);
}

LRESULT CALLBACK OwnerProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  return DefWindowProcA(wnd, msg, wp, lp);
}

void OpenOwner() {
  WNDCLASSA wc{};
  wc.lpfnWndProc = OwnerProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = "ProbeOwner";
  RegisterClassA(&wc);
  g_owner = CreateWindowExA(0, "ProbeOwner", "probe owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                            200, 100, nullptr, nullptr, wc.hInstance, nullptr);
  SetActiveWindow(g_owner);
}

} // namespace

int main(int argc, char** argv) {
  ui::OwnerOrMode mode = ui::kModePlain;
  std::string text, caption, labels, front;
  int timeout = 0, charset = ui::kDefaultCharset;
  std::uint32_t flags = 0;
  bool owner = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto next = [&]() -> std::string { return i + 1 < argc ? argv[++i] : ""; };
    auto number = [&]() { return std::strtoul(next().c_str(), nullptr, 0); };
    if (arg == "--mode")
      mode = number();
    else if (arg == "--text")
      text = next();
    else if (arg == "--text-file")
      text = ReadFileBytes(next());
    else if (arg == "--caption")
      caption = next();
    else if (arg == "--timeout")
      timeout = static_cast<int>(number());
    else if (arg == "--flags")
      flags = static_cast<std::uint32_t>(number());
    else if (arg == "--charset")
      charset = static_cast<int>(number());
    else if (arg == "--labels")
      labels = next();
    else if (arg == "--front")
      front = next();
    else if (arg == "--owner")
      owner = true;
    else if (arg == "--report")
      g_report = next();
    else if (arg == "--font") {
      const std::string face = next();
      const int size = static_cast<int>(number());
      ui::SetMessageBoxFont(face, size, static_cast<int>(number()));
    } else {
      return 99;
    }
  }
  if (owner) OpenOwner();
  // A thread timer is served by the box's own loop; the first tick comes
  // once the box is built and waits for input.
  if (!g_report.empty()) SetTimer(nullptr, 0, 1, ReportTimer);

  int result;
  if (front == "yesno")
    result = ui::AskYesNo(mode, text, caption, timeout, charset, labels);
  else if (front == "okcancel")
    result = ui::AskOkCancel(mode, text, caption, charset, labels);
  else
    result = ui::MarkupMessageBox(mode, text, caption, timeout, flags, charset, labels);

  if (!g_report.empty()) {
    std::string after = "result=" + Num(result) + "\n";
    if (g_owner) after += "owner_enabled_after=" + Num(IsWindowEnabled(g_owner) ? 1 : 0) + "\n";
    WriteFileBytes(g_report, after, true);
  }
  if (g_owner) DestroyWindow(g_owner);
  return result;
}
