// Geometry of the stub window and its controls. Character sets 177 and 178
// (Hebrew, Arabic) mirror the label and the second bar to the right.
#pragma once

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

// Top-left corner that centres the window in the work area (integer halves).
inline ControlRect CentredWindowRect(int workLeft, int workTop, int workWidth, int workHeight) {
  return {workLeft + (workWidth - kMainWindowWidth) / 2,
          workTop + (workHeight - kMainWindowHeight) / 2, kMainWindowWidth, kMainWindowHeight};
}

// The pulse bar cycles 1, 2, 3, 4, 5, 0, 1, ...
inline int NextPulse(int pulse) { return pulse >= 5 ? 0 : pulse + 1; }

}  // namespace startup
