// The inform window's decisions: when it shows, its fonts, its place and
// the layout of its client area.
#include <gtest/gtest.h>

#include "ui/inform_window_layout.h"

namespace {

using namespace ui;

TEST(InformWindow, TextAndLinkDecideWhatHappens) {
  EXPECT_EQ(DecideInform("", ""), InformAction::None);
  EXPECT_EQ(DecideInform("", "  \t "), InformAction::None);
  EXPECT_EQ(DecideInform("", " http://x/ "), InformAction::OpenLink);
  EXPECT_EQ(DecideInform("news", ""), InformAction::Show);
  EXPECT_EQ(DecideInform("news", "http://x/"), InformAction::Show);
}

TEST(InformWindow, Fonts) {
  EXPECT_EQ(InformTextFace(""), "Verdana");
  EXPECT_EQ(InformTextFace("Tahoma"), "Verdana");
  EXPECT_EQ(InformTextFace("tahoma"), "tahoma"); // the comparison is exact
  EXPECT_EQ(InformTextFace("Arial"), "Arial");
  EXPECT_EQ(InformButtonFontHeight(8, 96), -11); // 10.67 rounds to 11
  EXPECT_EQ(InformButtonFontHeight(9, 96), -12);
  EXPECT_EQ(InformButtonFontHeight(10, 120), -17);
}

TEST(InformWindow, CentredRoundingTowardZero) {
  EXPECT_EQ(CentredOnScreen(1024, 768, 360, 360), (Rect{332, 204, 360, 360}));
  EXPECT_EQ(CentredOnScreen(1025, 769, 360, 360), (Rect{332, 204, 360, 360}));
  // Larger than the screen: -0.5 becomes 0, not -1.
  EXPECT_EQ(CentredOnScreen(800, 600, 801, 603), (Rect{0, -1, 801, 603}));
}

TEST(InformWindow, LayoutWithAndWithoutLink) {
  const InformLayout plain = LayoutInform({344, 322}, false);
  EXPECT_EQ(plain.text, (Rect{3, 0, 341, 322}));
  EXPECT_EQ(plain.button, Rect{});

  const InformLayout linked = LayoutInform({344, 322}, true);
  EXPECT_EQ(linked.text, (Rect{3, 0, 341, 279}));
  EXPECT_EQ(linked.button, (Rect{92, 289, 160, 25}));
  EXPECT_EQ(linked.separatorY, 279);
  // The button stays centred and at the bottom after a resize.
  const InformLayout wide = LayoutInform({601, 500}, true);
  EXPECT_EQ(wide.button, (Rect{220, 467, 160, 25}));
  EXPECT_EQ(wide.text, (Rect{3, 0, 598, 457}));
  // At 144 DPI (150 %) the strip, margin and button grow with the fonts.
  const InformLayout large = LayoutInform({516, 483}, true, 144);
  EXPECT_EQ(large.text, (Rect{5, 0, 511, 418}));
  EXPECT_EQ(large.button, (Rect{138, 433, 240, 38}));
  EXPECT_EQ(large.separatorY, 418);
}

} // namespace
