// Test support: shows the inform window and exits with its result.
//
//   inform_probe.exe [--text T | --text-file F] [--link L] [--title T]
//                    [--button B] [--charset N] [--size N] [--face F] [--rtl]
//                    [--width N] [--height N] [--report FILE]
//
// --report writes, once the window is up, what it looks like from inside
// (key=value lines): "window=" left top right bottom, "client=" width
// height, "screen=" width height, "exstyle=", "title=", "text_face=" (the rich-edit control's
// character format), "button_font=" height charset face, "button_focus=",
// "button_style=" (low 4 bits), "button_data="; after the window "result=".
#include <windows.h>

#include <richedit.h>

#include <cstdlib>
#include <string>

#include "ui/inform_window.h"

namespace {

std::string g_report;
bool g_reported = false;

std::string Num(long long v) {
  return std::to_string(v);
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

std::string ClassOf(HWND wnd) {
  char cls[64] = {};
  GetClassNameA(wnd, cls, sizeof cls);
  return cls;
}

BOOL CALLBACK FindWindowOfClass(HWND wnd, LPARAM out) {
  if (ClassOf(wnd) != "VRichEditBox") return TRUE;
  *reinterpret_cast<HWND*>(out) = wnd;
  return FALSE;
}

struct Children {
  HWND text = nullptr;
  HWND button = nullptr;
};

BOOL CALLBACK CollectChild(HWND child, LPARAM out) {
  auto* c = reinterpret_cast<Children*>(out);
  const std::string cls = ClassOf(child);
  if (cls == "RICHEDIT") c->text = child;
  if (cls == "Button") c->button = child;
  return TRUE;
}

void CALLBACK ReportTimer(HWND, UINT, UINT_PTR id, DWORD) {
  if (g_reported) return;
  HWND wnd = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), FindWindowOfClass, reinterpret_cast<LPARAM>(&wnd));
  if (!wnd) return; // not up yet
  g_reported = true;
  KillTimer(nullptr, id);
  std::string r;
  RECT rect;
  GetWindowRect(wnd, &rect);
  r += "window=" + Num(rect.left) + " " + Num(rect.top) + " " + Num(rect.right) + " " +
       Num(rect.bottom) + "\n";
  GetClientRect(wnd, &rect);
  r += "client=" + Num(rect.right) + " " + Num(rect.bottom) + "\n";
  r += "screen=" + Num(GetSystemMetrics(SM_CXSCREEN)) + " " + Num(GetSystemMetrics(SM_CYSCREEN)) +
       "\n";
  r += "exstyle=" + Num(GetWindowLongA(wnd, GWL_EXSTYLE)) + "\n";
  char title[256] = {};
  GetWindowTextA(wnd, title, sizeof title);
  r += std::string("title=") + title + "\n";
  Children c;
  EnumChildWindows(wnd, CollectChild, reinterpret_cast<LPARAM>(&c));
  if (c.text) {
    CHARFORMATA f{};
    f.cbSize = sizeof f;
    SendMessageA(c.text, EM_GETCHARFORMAT, TRUE, reinterpret_cast<LPARAM>(&f));
    r += std::string("text_face=") + f.szFaceName + "\n";
  }
  if (c.button) {
    LOGFONTA font{};
    const auto handle = reinterpret_cast<HFONT>(SendMessageA(c.button, WM_GETFONT, 0, 0));
    if (handle) GetObjectA(handle, sizeof font, &font);
    r += "button_font=" + Num(font.lfHeight) + " " + Num(font.lfCharSet) + " " + font.lfFaceName +
         "\n";
    r += "button_focus=" + Num(GetFocus() == c.button ? 1 : 0) + "\n";
    r += "button_style=" + Num(GetWindowLongA(c.button, GWL_STYLE) & 0xF) + "\n";
    r += "button_data=" + Num(GetWindowLongPtrA(c.button, GWLP_USERDATA)) + "\n";
  }
  WriteFileBytes(g_report + ".tmp", r, false);
  MoveFileExA((g_report + ".tmp").c_str(), g_report.c_str(), MOVEFILE_REPLACE_EXISTING);
}

} // namespace

int main(int argc, char** argv) {
  std::string text, link, title = "New Version", button = "Download", face;
  int charset = 1, size = 8, width = 360, height = 360;
  bool rtl = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto next = [&]() -> std::string { return i + 1 < argc ? argv[++i] : ""; };
    if (arg == "--text")
      text = next();
    else if (arg == "--text-file")
      text = ReadFileBytes(next());
    else if (arg == "--link")
      link = next();
    else if (arg == "--title")
      title = next();
    else if (arg == "--button")
      button = next();
    else if (arg == "--charset")
      charset = std::atoi(next().c_str());
    else if (arg == "--size")
      size = std::atoi(next().c_str());
    else if (arg == "--face")
      face = next();
    else if (arg == "--rtl")
      rtl = true;
    else if (arg == "--width")
      width = std::atoi(next().c_str());
    else if (arg == "--height")
      height = std::atoi(next().c_str());
    else if (arg == "--report")
      g_report = next();
    else
      return 99;
  }
  if (!g_report.empty()) SetTimer(nullptr, 0, 1, ReportTimer);
  const int result =
      ui::ShowInformWindow(0, title, button, charset, size, face, rtl, height, width, link, text);
  if (!g_report.empty()) WriteFileBytes(g_report, "result=" + Num(result) + "\n", true);
  return result;
}
