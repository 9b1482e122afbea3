// The portable half of the inform window: what a showing does with its text
// and link, its fonts, its place on the screen and the layout of its client
// area. ui/inform_window_win.cpp creates the windows from these.
#pragma once

#include <string>
#include <string_view>

#include "ui/message_box_layout.h"

namespace ui {

enum class InformAction {
  None,     // no text, no link: result 0
  OpenLink, // no text: the link is opened at once, no window
  Show      // the window, with a button when there is a link
};
// `link` trimmed first.
InformAction DecideInform(std::string_view text, std::string_view link);

inline constexpr int kInformTextFontHeight = 15;
inline constexpr int kInformButtonWidth = 160;
inline constexpr int kInformButtonHeight = 25;
// Height of the strip below the text that holds the button.
inline constexpr int kInformButtonStrip = 43;

// "Verdana", unless `face` is given and is not "Tahoma".
std::string InformTextFace(std::string_view face);
// The button font's height: minus the points at `dpi` (multiply-divide).
int InformButtonFontHeight(int points, int dpi);

// Top-left corner of a `width` x `height` window centred on the screen.
Rect CentredOnScreen(int screenWidth, int screenHeight, int width, int height);

struct InformLayout {
  Rect text;
  Rect button;        // empty without a link
  int separatorY = 0; // the line above the button strip (with a link)
};
// The lengths above are for 96 dots per inch; at `dpi` they are scaled, as
// the window's size, since the stub is DPI aware and its fonts follow the
// screen's resolution.
InformLayout LayoutInform(Size client, bool hasLink, int dpi = 96);

} // namespace ui
