// Test support: answers the program's own message box (a top-level window of
// class "VMsgBox", in any process) like a user would.
//
//   ui_driver.exe [--timeout MS] ACTION...
//
// Actions run in order; each one that needs a box waits for one (up to the
// time-out, default 20000 ms), and for the part of it that it needs (a
// button's label; for --text and --state a button with the focus, which
// comes last while the box is built):
//   --wait          just wait for a box
//   --text          print the text of its text control, then a line end
//   --title         print its caption, then a line end
//   --state         print "focus=LABEL default=LABEL" (labels as shown,
//                   "-" for none), then a line end
//   --click LABEL   post BM_CLICK to the button labelled LABEL ("&" ignored)
//   --key NAME      post WM_KEYDOWN to the box's focused control (or the box):
//                   left right up down tab enter escape, or one character
//   --char C        post WM_CHAR with the first byte of C the same way
//   --gone          wait until that box has been destroyed; the next action
//                   waits for a new one
//   --sleep MS
// Texts cross the process boundary with WM_GETTEXT (GetWindowText does not
// read another process's rich-edit control). Exit codes: 0 done, 1 no box
// in time, 2 bad arguments, 3 no such button, 4 the box did not go.
#include <windows.h>

#include <cstdlib>
#include <string>

#include "box_finder_win.h"

namespace {

using box_finder::ChildrenOf;
using box_finder::ClassOf;

DWORD g_timeoutMs = 20000;
HWND g_box = nullptr;

void Print(const std::string& text) {
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text.data(), static_cast<DWORD>(text.size()), &written,
            nullptr);
}

std::string TextOf(HWND wnd) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutA(wnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length)) return {};
  std::string text(length + 1, '\0');
  DWORD_PTR got = 0;
  if (!SendMessageTimeoutA(wnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                           SMTO_ABORTIFHUNG, 5000, &got))
    return {};
  text.resize(got < length ? got : length);
  return text;
}

std::string WithoutAmpersands(std::string s) {
  std::string out;
  for (char c : s)
    if (c != '&') out += c;
  return out;
}

bool TimedOut(DWORD start) {
  return GetTickCount() - start >= g_timeoutMs;
}

// The first top-level box. Its parts appear while it is being built; the
// actions below wait for the part they need. Input posted early is safe:
// the box handles it in its message loop, which starts once it is built.
bool WaitForBox() {
  if (g_box && IsWindow(g_box)) return true;
  const DWORD start = GetTickCount();
  for (;;) {
    HWND box = FindWindowA(box_finder::kBoxClass, nullptr);
    if (box && IsWindowVisible(box)) {
      g_box = box;
      return true;
    }
    if (TimedOut(start)) return false;
    Sleep(20);
  }
}

// The control that has the focus in the box's thread, else the box.
HWND KeyTarget() {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  const DWORD thread = GetWindowThreadProcessId(g_box, nullptr);
  if (GetGUIThreadInfo(thread, &info) && info.hwndFocus &&
      (info.hwndFocus == g_box || IsChild(g_box, info.hwndFocus)))
    return info.hwndFocus;
  return g_box;
}

int VirtualKey(const std::string& name) {
  if (name == "left") return VK_LEFT;
  if (name == "right") return VK_RIGHT;
  if (name == "up") return VK_UP;
  if (name == "down") return VK_DOWN;
  if (name == "tab") return VK_TAB;
  if (name == "enter") return VK_RETURN;
  if (name == "escape") return VK_ESCAPE;
  if (name.size() == 1) {
    char c = name[0];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    return static_cast<unsigned char>(c);
  }
  return 0;
}

// Posted input is handled in the box's own time; give it that.
void Settle() {
  Sleep(200);
}

// Waits (within the time-out) until a button of the box has the focus,
// which it gets last while the box is built; boxes without buttons never
// get there.
void WaitForButtonFocus() {
  const DWORD start = GetTickCount();
  while (!TimedOut(start) && IsWindow(g_box)) {
    const HWND focus = KeyTarget();
    if (focus != g_box && ClassOf(focus) == "Button") return;
    Sleep(20);
  }
}

std::string State() {
  WaitForButtonFocus();
  const box_finder::Children c = ChildrenOf(g_box);
  const HWND focus = KeyTarget();
  std::string focused = "-", byDefault = "-";
  for (HWND b : c.buttons) {
    if (b == focus) focused = TextOf(b);
    if ((GetWindowLongA(b, GWL_STYLE) & 0xF) == BS_DEFPUSHBUTTON) byDefault = TextOf(b);
  }
  return "focus=" + focused + " default=" + byDefault;
}

HWND FindButton(const std::string& label) {
  const DWORD start = GetTickCount();
  for (;;) {
    for (HWND b : ChildrenOf(g_box).buttons)
      if (WithoutAmpersands(TextOf(b)) == label) return b;
    if (TimedOut(start) || !IsWindow(g_box)) return nullptr;
    Sleep(20);
  }
}

} // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string action = argv[i];
    const bool hasValue = i + 1 < argc;
    if (action == "--timeout" && hasValue) {
      g_timeoutMs = std::strtoul(argv[++i], nullptr, 10);
    } else if (action == "--sleep" && hasValue) {
      Sleep(std::strtoul(argv[++i], nullptr, 10));
    } else if (action == "--wait") {
      if (!WaitForBox()) return 1;
    } else if (action == "--text" || action == "--title") {
      if (!WaitForBox()) return 1;
      if (action == "--text") WaitForButtonFocus();
      Print((action == "--text" ? TextOf(ChildrenOf(g_box).text) : TextOf(g_box)) + "\n");
    } else if (action == "--state") {
      if (!WaitForBox()) return 1;
      Print(State() + "\n");
    } else if (action == "--click" && hasValue) {
      const std::string label = WithoutAmpersands(argv[++i]);
      if (!WaitForBox()) return 1;
      const HWND target = FindButton(label);
      if (!target) return 3;
      PostMessageA(target, BM_CLICK, 0, 0);
      Settle();
    } else if ((action == "--key" || action == "--char") && hasValue) {
      const std::string value = argv[++i];
      if (!WaitForBox()) return 1;
      if (action == "--key") {
        const int vk = VirtualKey(value);
        if (vk == 0) return 2;
        PostMessageA(KeyTarget(), WM_KEYDOWN, static_cast<WPARAM>(vk), 1);
      } else {
        if (value.empty()) return 2;
        PostMessageA(KeyTarget(), WM_CHAR, static_cast<unsigned char>(value[0]), 1);
      }
      Settle();
    } else if (action == "--gone") {
      // The box of the previous action may already be gone.
      if (!g_box && !WaitForBox()) return 1;
      const DWORD start = GetTickCount();
      while (IsWindow(g_box)) {
        if (TimedOut(start)) return 4;
        Sleep(20);
      }
      g_box = nullptr;
    } else {
      return 2;
    }
  }
  return 0;
}
