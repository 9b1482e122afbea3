// The program's own message box as the test programs see it: a top-level
// window of class "VMsgBox" with one text control and its buttons.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace box_finder {

inline constexpr char kBoxClass[] = "VMsgBox";

inline std::string ClassOf(HWND wnd) {
  char name[64] = {};
  GetClassNameA(wnd, name, sizeof name);
  return name;
}

struct Children {
  HWND text = nullptr;
  std::vector<HWND> buttons; // in creation order
};

inline BOOL CALLBACK CollectChild(HWND wnd, LPARAM out) {
  auto* children = reinterpret_cast<Children*>(out);
  if (ClassOf(wnd) == "Button")
    children->buttons.push_back(wnd);
  else if (!children->text)
    children->text = wnd;
  return TRUE;
}

// The box's parts so far: they appear while the box is being built.
inline Children ChildrenOf(HWND box) {
  Children c;
  EnumChildWindows(box, CollectChild, reinterpret_cast<LPARAM>(&c));
  return c;
}

} // namespace box_finder
