#include "startup/main_window_layout.h"

#include <gtest/gtest.h>

namespace startup {
namespace {

bool operator==(const ControlRect& a, const ControlRect& b) {
  return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height;
}

TEST(MainWindowLayout, FollowsTheScreensResolution) {
  // At 96 DPI the geometry as drawn; at 120 and 144 DPI the boxes grow with
  // the fonts, so the label's text and the bars are not cut off.
  EXPECT_TRUE(Scaled(ProgressBarRect(), 96) == (ControlRect{70, 38, 392, 13}));
  EXPECT_TRUE(Scaled(ProgressBarRect(), 144) == (ControlRect{105, 57, 588, 20}));
  EXPECT_TRUE(Scaled(StatusLabelRect(0), 120) == (ControlRect{88, 25, 425, 23}));
  EXPECT_TRUE(Scaled(SecondBarRect(177), 144) == (ControlRect{105, 30, 69, 20}));

  EXPECT_TRUE(CentredWindowRect(0, 0, 1024, 768) == (ControlRect{266, 329, 492, 110}));
  EXPECT_TRUE(CentredWindowRect(10, 20, 1920, 1040, 144) == (ControlRect{601, 457, 738, 165}));
}

} // namespace
} // namespace startup
