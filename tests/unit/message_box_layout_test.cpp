#include "ui/message_box_layout.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

using namespace ui;

namespace {

std::vector<std::string> Labels(const BoxContent& box) {
  std::vector<std::string> out;
  for (const BoxButton& b : box.buttons)
    out.push_back(b.label);
  return out;
}

std::vector<int> Results(const BoxContent& box) {
  std::vector<int> out;
  for (const BoxButton& b : box.buttons)
    out.push_back(b.result);
  return out;
}

std::vector<BoxButton> Buttons(std::vector<std::string> labels) {
  std::vector<BoxButton> out;
  for (std::string& l : labels)
    out.push_back({std::move(l), kResultOk});
  return out;
}

// A font whose characters are all 7 pixels wide.
class FakeFont : public FontMeasure {
public:
  explicit FakeFont(std::string face = "Tahoma") : face_(std::move(face)) {}
  int TextWidth(std::string_view piece) const override {
    return static_cast<int>(
        std::min<long long>(7LL * static_cast<long long>(piece.size()), INT_MAX));
  }
  int CharHeight() const override { return 13; }
  int ExternalLeading() const override { return 2; }
  std::string_view FaceName() const override { return face_; }

private:
  std::string face_;
};

// Any text wider than the fake font's widest line.
class HugeFont : public FakeFont {
public:
  int TextWidth(std::string_view) const override { return INT_MAX; }
  int CharHeight() const override { return INT_MAX; }
  int ExternalLeading() const override { return INT_MAX; }
};

constexpr WindowFrame kFrame{3, 3, 20};
constexpr Rect kWork{0, 0, 1024, 738};

} // namespace

TEST(MessageBoxContent, ButtonSetsLabelsAndResults) {
  struct Case {
    int set;
    std::vector<std::string> labels;
    std::vector<int> results;
  } cases[] = {
      {0, {"&OK"}, {1}},
      {1, {"&OK", "&Cancel"}, {1, 2}},
      {2, {"&Abort", "&Retry", "&Ignore"}, {3, 4, 5}},
      {3, {"&Yes", "&No", "&Cancel"}, {6, 7, 2}},
      {4, {"&Yes", "&No"}, {6, 7}},
      {5, {"&Retry", "&Cancel"}, {4, 2}},
      {6, {}, {}},
      {15, {}, {}},
  };
  for (const Case& c : cases) {
    const BoxContent box =
        PrepareBox(kModePlain, "t", "", static_cast<std::uint32_t>(c.set), 1, "");
    EXPECT_EQ(Labels(box), c.labels) << c.set;
    EXPECT_EQ(Results(box), c.results) << c.set;
    EXPECT_EQ(box.defaultButton, c.labels.empty() ? -1 : 0) << c.set;
  }
}

TEST(MessageBoxContent, DefaultButtonIsTakenModuloTheButtonCount) {
  EXPECT_EQ(PrepareBox(kModePlain, "", "", 0x103, 1, "").defaultButton, 1); // No
  EXPECT_EQ(PrepareBox(kModePlain, "", "", 0x502, 1, "").defaultButton, 2); // Ignore
  EXPECT_EQ(PrepareBox(kModePlain, "", "", 0xF00, 1, "").defaultButton, 0);
  EXPECT_EQ(PrepareBox(kModePlain, "", "", 0xF04, 1, "").defaultButton, 1);
}

TEST(MessageBoxContent, ShortOrOwnLabelLists) {
  // Positions beyond the list give empty labels.
  EXPECT_EQ(Labels(PrepareBox(kModePlain, "", "", 3, 1, "|Ja|Nein|")),
            (std::vector<std::string>{"", "", "Nein"}));
  EXPECT_EQ(Labels(PrepareBox(kModePlain, "", "", 1, 1, "#Oui#Annuler#")),
            (std::vector<std::string>{"Oui", "Annuler"}));
  // Not a field list at all: every label empty, the buttons still answer.
  const BoxContent odd = PrepareBox(kModePlain, "", "", 4, 1, "Yes");
  EXPECT_EQ(Labels(odd), (std::vector<std::string>{"", ""}));
  EXPECT_EQ(Results(odd), (std::vector<int>{6, 7}));
}

TEST(MessageBoxContent, ModesAddHeadingAndCloseFlag) {
  const BoxContent heading = PrepareBox(kModeHeading, "Disk <B>full</B>", "Attention", 0, 1, "");
  EXPECT_EQ(heading.body.text, "ATTENTION\r\n\r\nDisk full\r\n");
  EXPECT_EQ(heading.body.bold, (std::vector<BoldRun>{{0, 9}, {18, 22}}));
  EXPECT_FALSE(heading.decoded.closeDisabled);

  const BoxContent plain = PrepareBox(kModePlain, "Disk <B>full</B>", "Attention", 0, 1, "");
  EXPECT_EQ(plain.body.text, "Disk full");
  EXPECT_FALSE(plain.decoded.closeDisabled);

  const BoxContent noClose = PrepareBox(kModeNoClose, "x", "Attention", 0, 1, "");
  EXPECT_EQ(noClose.body.text, "x");
  EXPECT_TRUE(noClose.decoded.closeDisabled);
  EXPECT_EQ(noClose.flags, kFlagCloseDisabled);

  // A window handle: no heading, no flag.
  const BoxContent owned = PrepareBox(0x10044, "x", "Attention", 0, 1, "");
  EXPECT_EQ(owned.body.text, "x");
  EXPECT_EQ(owned.flags, 0u);
}

TEST(MessageBoxFlags, DecodeFlags) {
  const struct {
    std::uint32_t flags;
    BoxIcon icon;
  } icons[] = {{0x00, BoxIcon::Own},         {0x10, BoxIcon::Error},
               {0x20, BoxIcon::Question},    {0x30, BoxIcon::Exclamation},
               {0x40, BoxIcon::Information}, {0x50, BoxIcon::Own},
               {0xF0, BoxIcon::Own}};
  for (const auto& c : icons)
    EXPECT_EQ(DecodeFlags(c.flags).icon, c.icon) << c.flags;

  const BoxFlags none = DecodeFlags(0x24);
  EXPECT_EQ(none.buttonSet, 4);
  EXPECT_EQ(none.defaultIndex, 0);
  EXPECT_FALSE(none.rightAligned || none.rtlReading || none.closeDisabled);

  const BoxFlags all = DecodeFlags(0xFFFFFFFF);
  EXPECT_EQ(all.buttonSet, 15);
  EXPECT_EQ(all.defaultIndex, 15);
  EXPECT_TRUE(all.rightAligned && all.rtlReading && all.closeDisabled);

  // Neighbouring bits are not read.
  const BoxFlags neighbours =
      DecodeFlags(~(kFlagRightAligned | kFlagRtlReading | kFlagCloseDisabled));
  EXPECT_FALSE(neighbours.rightAligned || neighbours.rtlReading || neighbours.closeDisabled);
}

TEST(MessageBoxFlags, RightToLeftCharsetsAndNoCloseMode) {
  constexpr std::uint32_t kRtl = kFlagRightAligned | kFlagRtlReading;
  EXPECT_EQ(EffectiveFlags(0x21, kModePlain, kCharsetHebrew), 0x21 | kRtl);
  EXPECT_EQ(EffectiveFlags(0x21, kModePlain, kCharsetArabic), 0x21 | kRtl);
  for (int charset : {0, 1, 176, 179, 186, 222})
    EXPECT_EQ(EffectiveFlags(0x21, kModePlain, charset), 0x21u) << charset;
  EXPECT_EQ(EffectiveFlags(0, kModeNoClose, 1), kFlagCloseDisabled);
  EXPECT_EQ(EffectiveFlags(0, kModeHeading, 1), 0u);
  EXPECT_EQ(EffectiveFlags(0, 3, 1), 0u);
}

TEST(MessageBoxContent, CaptionOrDefault) {
  EXPECT_EQ(CaptionOrDefault("", 0), "Error");
  EXPECT_EQ(CaptionOrDefault("", 1), "Attention");
  EXPECT_EQ(CaptionOrDefault("", 2), "Confirm");
  EXPECT_EQ(CaptionOrDefault("Setup", 2), "Setup");
}

TEST(MessageBoxKeys, KeyDownMovesChoosesAndCloses) {
  const auto buttons = Buttons({"&Yes", "&No", "&Cancel"});
  struct Case {
    int key, focused;
    KeyDecision want;
  } cases[] = {
      {kKeyLeft, 1, {KeyAction::FocusPrevious, -1}},
      {kKeyUp, 1, {KeyAction::FocusPrevious, -1}},
      {kKeyRight, 1, {KeyAction::FocusNext, -1}},
      {kKeyDown, 1, {KeyAction::FocusNext, -1}},
      {kKeyTab, 1, {KeyAction::FocusNext, -1}},
      {kKeyReturn, 2, {KeyAction::Choose, 2}},
      {kKeyReturn, -1, {}}, // focus elsewhere (the text)
      {kKeyEscape, 0, {KeyAction::Close, -1}},
      {'N', 0, {KeyAction::Choose, 1}},
      {'C', -1, {KeyAction::Choose, 2}},
      {'Q', 0, {}},
      {0x6E, 0, {}}, // not a letter key (numeric pad)
      {0x20, 0, {}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(DecideKeyDown(c.key, buttons, c.focused), c.want) << c.key;

  const std::vector<BoxButton> none;
  EXPECT_EQ(DecideKeyDown(kKeyTab, none, -1), KeyDecision{});
  EXPECT_EQ(DecideKeyDown(kKeyEscape, none, -1), (KeyDecision{KeyAction::Close, -1}));
}

TEST(MessageBoxKeys, LetterAfterTheFirstAmpersandLastMatchWins) {
  EXPECT_EQ(DecideKeyDown('Y', Buttons({"&Yes", "&Yup"}), 0), (KeyDecision{KeyAction::Choose, 1}));
  // Without "&" the first character counts, in any case.
  EXPECT_EQ(DecideKeyDown('N', Buttons({"Ja", "nein"}), 0), (KeyDecision{KeyAction::Choose, 1}));
  // Only the letter after the first "&"; nothing after a trailing "&".
  EXPECT_EQ(DecideKeyDown('B', Buttons({"A&B&C"}), 0), (KeyDecision{KeyAction::Choose, 0}));
  EXPECT_EQ(DecideKeyDown('C', Buttons({"A&B&C"}), 0), KeyDecision{});
  EXPECT_EQ(DecideKeyDown('S', Buttons({"Save&", ""}), 0), KeyDecision{});
}

TEST(MessageBoxKeys, TypedCharacterAgainstSecondCharacterLeftmostWins) {
  const auto yesNo = Buttons({"&Yes", "&No", "&Cancel"});
  EXPECT_EQ(DecideChar('c', yesNo), (KeyDecision{KeyAction::Choose, 2}));
  EXPECT_EQ(DecideChar('N', yesNo), (KeyDecision{KeyAction::Choose, 1}));
  EXPECT_EQ(DecideChar('x', yesNo), KeyDecision{});
  EXPECT_EQ(DecideChar('y', Buttons({"&Yes", "&Yup"})), (KeyDecision{KeyAction::Choose, 0}));
  // As typed or upper-cased, but the label is not folded.
  EXPECT_EQ(DecideChar('e', Buttons({"Ne"})), (KeyDecision{KeyAction::Choose, 0}));
  EXPECT_EQ(DecideChar('N', Buttons({"&n"})), KeyDecision{});
  EXPECT_EQ(DecideChar('\xE4', Buttons({"&\xE4nd"})), (KeyDecision{KeyAction::Choose, 0}));
  EXPECT_EQ(DecideChar('Y', Buttons({"Y", ""})), KeyDecision{}); // too short
}

TEST(MessageBoxKeys, StepFocusWraps) {
  EXPECT_EQ(StepFocus(2, 3, true), 0);
  EXPECT_EQ(StepFocus(0, 3, false), 2);
  EXPECT_EQ(StepFocus(1, 3, true), 2);
  EXPECT_EQ(StepFocus(0, 1, true), 0);
  EXPECT_EQ(StepFocus(-1, 3, true), 0);
  EXPECT_EQ(StepFocus(-1, 3, false), 2);
  EXPECT_EQ(StepFocus(0, 0, true), -1);
}

TEST(MessageBoxMeasure, LinesWidthAndHeight) {
  const FakeFont font;
  struct Case {
    std::string text;
    Size want;
  } cases[] = {
      {"hello", {45, 15}},
      {"", {17, 15}},            // one blank
      {"a\r\nbb\r\n", {24, 30}}, // no line for the empty rest
      {"a\r\n\r\nb", {17, 45}},  // an empty line in between counts
      {"\r\n", {10, 15}},
      {"a\nb\rc", {45, 15}},              // only CR LF ends a line
      {std::string(100, 'x'), {600, 30}}, // 700 px: capped, two lines
      {std::string(85, 'x'), {600, 15}},  // 595 + 10 > 600
      {std::string(180, 'x'), {600, 45}},
      {std::string(84, 'x') + "\r\n" + std::string(20, 'x'), {598, 30}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(MeasureText(c.text, font), c.want) << c.text;

  EXPECT_EQ(MeasureText("a\r\nb", FakeFont(" ms pgothic ")).height, 32);
  EXPECT_EQ(MeasureText("a\r\nb", FakeFont("MS Gothic")).height, 30);

  const Size huge = MeasureText(std::string(1000, '\n') + "\r\n\r\n", HugeFont());
  EXPECT_EQ(huge.width, kMaxTextWidth);
  EXPECT_GT(huge.height, 0);
}

TEST(MessageBoxMeasure, FitBoldTextWidensUntilTheHeightFits) {
  const Size measured{200, 45};
  std::vector<int> widths;
  auto fitsAt = [&](int fitWidth) {
    return [&widths, fitWidth](Size s) {
      widths.push_back(s.width);
      EXPECT_EQ(s.height, 45);
      return Size{s.width, s.width >= fitWidth ? 45 : 60};
    };
  };
  EXPECT_EQ(FitBoldText(measured, fitsAt(0)), (Size{200, 45}));
  EXPECT_EQ(widths, std::vector<int>{200});

  widths.clear();
  EXPECT_EQ(FitBoldText(measured, fitsAt(225)), (Size{230, 45}));
  EXPECT_EQ(widths, (std::vector<int>{200, 210, 220, 230}));

  // Never fits: 21 tries, then the widest requested width + 10.
  widths.clear();
  int call = 0;
  const Size last = FitBoldText(measured, [&](Size s) {
    widths.push_back(s.width);
    return Size{++call == 5 ? 777 : 100, 99};
  });
  EXPECT_EQ(last, (Size{787, 45}));
  ASSERT_EQ(widths.size(), 22u);
  EXPECT_EQ(widths[20], 400);
  EXPECT_EQ(widths[21], 787);

  // The requested widths never make it narrower than measured.
  EXPECT_EQ(FitBoldText(measured, [](Size) { return Size{5, 99}; }), (Size{210, 45}));
}

TEST(MessageBoxLayout, BoxSizeFromTheControl) {
  struct Case {
    Size control;
    Rect box;
  } cases[] = {
      // Narrow text: margin 64 and the minimum width; short text: +90.
      {{100, 15}, {332, 285, 360, 167}},
      {{199, 38}, {318, 274, 387, 190}},
      {{200, 39}, {332, 286, 360, 165}},
      {{610, 120}, {145, 246, 734, 246}},
  };
  for (const Case& c : cases) {
    const BoxPlacement p = PlaceBox(c.control, kFrame, kWork, false);
    EXPECT_EQ(p.box, c.box) << c.control.width << "x" << c.control.height;
    EXPECT_EQ(p.control, c.control);
    EXPECT_FALSE(p.scroll);
  }
  // Centred in a work area that does not start at 0.
  EXPECT_EQ(PlaceBox({100, 15}, kFrame, {100, 40, 800, 600}, false).box,
            (Rect{320, 256, 360, 167}));
}

TEST(MessageBoxLayout, HugeTextIsClampedToTheWorkArea) {
  const BoxPlacement tall = PlaceBox({610, 50000}, kFrame, kWork, false);
  EXPECT_TRUE(tall.scroll);
  EXPECT_EQ(tall.box, (Rect{145, 0, 734, 738}));
  EXPECT_EQ(tall.control, (Size{610, 738 - 126}));

  const BoxPlacement wide = PlaceBox({830, 200}, kFrame, {0, 0, 640, 480}, false);
  EXPECT_TRUE(wide.scroll);
  EXPECT_EQ(wide.box.width, 640);
  EXPECT_EQ(wide.control.width, 640 - 124);

  // A work area smaller than the bare box: the box starts at its corner.
  const BoxPlacement tiny = PlaceBox({100, 15}, kFrame, {10, 20, 100, 100}, false);
  EXPECT_EQ(tiny.box.left, 10);
  EXPECT_EQ(tiny.box.top, 20);
  EXPECT_EQ(tiny.control, (Size{1, 1}));

  const BoxPlacement extreme = PlaceBox({INT_MAX, INT_MAX}, kFrame, kWork, true);
  EXPECT_TRUE(extreme.scroll);
  EXPECT_EQ(extreme.box, (Rect{0, 0, 1024, 738}));
}

TEST(MessageBoxLayout, TestPlacementMovesTheBoxButKeepsItOnScreen) {
  EXPECT_TRUE(IsTestPlacement("x Do you want to store the new Entry in y?", "731"));
  EXPECT_FALSE(IsTestPlacement("x Do you want to store the new Entry in y?", "732"));
  EXPECT_FALSE(IsTestPlacement("Do you want to store the new entry in", "731"));

  EXPECT_EQ(PlaceBox({100, 15}, kFrame, kWork, true).box, (Rect{482, 435, 360, 167}));
  const Rect big = PlaceBox({610, 400}, kFrame, kWork, true).box;
  EXPECT_EQ(big.Right(), 1024);
  EXPECT_EQ(big.Bottom(), 738);
}

TEST(MessageBoxLayout, ControlAndButtonsInTheClientArea) {
  const ClientLayout l = LayoutClient({354, 141}, {100, 15}, 2);
  EXPECT_EQ(l.control, (Rect{154, 45, 100, 57}));
  EXPECT_EQ(l.buttons, (std::vector<Rect>{{204, 112, 70, 23}, {274, 112, 70, 23}}));

  const ClientLayout three = LayoutClient({878, 220}, {610, 120}, 3);
  EXPECT_EQ(three.control, (Rect{161, 32, 610, 149}));
  EXPECT_EQ(three.buttons.front().left, 878 - 80 - 140);
  EXPECT_TRUE(LayoutClient({878, 220}, {610, 120}, 0).buttons.empty());

  // Halves are rounded toward zero, also when negative.
  EXPECT_EQ(LayoutClient({100, 60}, {57, 30}, 0).control, (Rect{49, -3, 57, 24}));
}

TEST(MessageBoxLayout, LengthsFollowTheScreensResolution) {
  // At 192 DPI (200 %) the fonts are twice as large: so are the wrap width,
  // the margins, the icon band and the buttons.
  EXPECT_EQ(MeasureText(std::string(100, 'x'), FakeFont(), 192), (Size{720, 15}));
  EXPECT_EQ(PlaceBox({200, 30}, {3, 3, 40}, kWork, false, 192).box, (Rect{152, 205, 720, 328}));
  const ClientLayout l = LayoutClient({708, 282}, {200, 30}, 2, 192);
  EXPECT_EQ(l.control, (Rect{308, 90, 200, 114}));
  EXPECT_EQ(l.buttons, (std::vector<Rect>{{408, 224, 140, 46}, {548, 224, 140, 46}}));
}
