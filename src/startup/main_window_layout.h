// Geometry of the stub window and its controls. Character sets 177 and 178
// (Hebrew, Arabic) mirror the label and the second bar to the right.
//
// The geometry is given for 96 dots per inch. The stub tells Windows it is
// DPI aware (so Windows does not blur it by stretching), and its fonts
// follow the screen's resolution; Scaled makes the boxes follow too.
#pragma once

#include "util/system_info.h"

namespace startup {

struct ControlRect {
  int x, y, width, height;
};

inline constexpr int kMainWindowWidth = 492;
inline constexpr int kMainWindowHeight = 110;

inline bool IsRightToLeftCharset(int charset) { return charset == 177 || charset == 178; }

inline ControlRect StatusLabelRect(int charset) {
  return {IsRightToLeftCharset(charset) ? 122 : 70, 20, 340, 18};
}
inline ControlRect ProgressBarRect() { return {70, 38, 392, 13}; }
inline ControlRect SecondBarRect(int charset) {
  return {IsRightToLeftCharset(charset) ? 70 : 416, 20, 46, 13};
}

// A length of the 96 DPI geometry at `dpi`.
inline int Scaled(int length, int dpi) { return util::MulDivRounded(length, dpi, 96); }
inline ControlRect Scaled(const ControlRect& r, int dpi) {
  return {Scaled(r.x, dpi), Scaled(r.y, dpi), Scaled(r.width, dpi), Scaled(r.height, dpi)};
}

// The window, scaled to `dpi`, centred in the work area (integer halves).
inline ControlRect CentredWindowRect(int workLeft, int workTop, int workWidth, int workHeight,
                                     int dpi = 96) {
  const int width = Scaled(kMainWindowWidth, dpi);
  const int height = Scaled(kMainWindowHeight, dpi);
  return {workLeft + (workWidth - width) / 2, workTop + (workHeight - height) / 2, width, height};
}

// The pulse bar cycles 1, 2, 3, 4, 5, 0, 1, ...
inline int NextPulse(int pulse) { return pulse >= 5 ? 0 : pulse + 1; }

}  // namespace startup
