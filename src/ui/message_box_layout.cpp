#include "ui/message_box_layout.h"

#include <algorithm>
#include <array>
#include <climits>

#include "util/field_list.h"
#include "util/system_info.h"
#include "util/text.h"

namespace ui {

namespace {

constexpr SetButton kSet0[] = {{0, kResultOk}};
constexpr SetButton kSet1[] = {{0, kResultOk}, {1, kResultCancel}};
constexpr SetButton kSet2[] = {{4, kResultAbort}, {5, kResultRetry}, {6, kResultIgnore}};
constexpr SetButton kSet3[] = {{2, kResultYes}, {3, kResultNo}, {1, kResultCancel}};
constexpr SetButton kSet4[] = {{2, kResultYes}, {3, kResultNo}};
constexpr SetButton kSet5[] = {{5, kResultRetry}, {1, kResultCancel}};
constexpr std::array<std::span<const SetButton>, 6> kSets = {kSet0, kSet1, kSet2,
                                                             kSet3, kSet4, kSet5};

// Sizes are kept far below INT_MAX so that sums of a few of them never
// overflow, whatever a font or a huge text reports.
constexpr long long kSizeLimit = INT_MAX / 8;

int Limit(long long v) {
  return static_cast<int>(std::clamp<long long>(v, 0, kSizeLimit));
}

KeyDecision Choose(int button) {
  return button < 0 ? KeyDecision{} : KeyDecision{KeyAction::Choose, button};
}

} // namespace

BoxFlags DecodeFlags(std::uint32_t flags) {
  BoxFlags f;
  f.buttonSet = static_cast<int>(flags & 0xF);
  switch (flags & 0xF0) {
  case 0x10:
    f.icon = BoxIcon::Error;
    break;
  case 0x20:
    f.icon = BoxIcon::Question;
    break;
  case 0x30:
    f.icon = BoxIcon::Exclamation;
    break;
  case 0x40:
    f.icon = BoxIcon::Information;
    break;
  default:
    f.icon = BoxIcon::Own;
    break;
  }
  f.defaultIndex = static_cast<int>((flags >> 8) & 0xF);
  f.rightAligned = (flags & kFlagRightAligned) != 0;
  f.rtlReading = (flags & kFlagRtlReading) != 0;
  f.closeDisabled = (flags & kFlagCloseDisabled) != 0;
  return f;
}

std::uint32_t EffectiveFlags(std::uint32_t flags, std::uintptr_t ownerOrMode, int charset) {
  if (ownerOrMode == kModeNoClose) flags |= kFlagCloseDisabled;
  if (charset == kCharsetHebrew || charset == kCharsetArabic)
    flags |= kFlagRightAligned | kFlagRtlReading;
  return flags;
}

std::span<const SetButton> ButtonSet(int set) {
  if (set < 0 || set >= static_cast<int>(kSets.size())) return {};
  return kSets[set];
}

BoxContent PrepareBox(std::uintptr_t ownerOrMode, std::string_view text, std::string_view caption,
                      std::uint32_t flags, int charset, std::string_view labels) {
  BoxContent box;
  box.flags = EffectiveFlags(flags, ownerOrMode, charset);
  box.decoded = DecodeFlags(box.flags);
  box.body = ParseMarkup(ownerOrMode == kModeHeading ? HeadingText(text, caption) : text);
  if (labels.empty()) labels = kDefaultLabels;
  for (const SetButton& member : ButtonSet(box.decoded.buttonSet))
    box.buttons.push_back({util::SUB::GetField(labels, member.labelPosition), member.result});
  if (!box.buttons.empty())
    box.defaultButton = box.decoded.defaultIndex % static_cast<int>(box.buttons.size());
  return box;
}

std::string CaptionOrDefault(std::string_view caption, int position) {
  return caption.empty() ? util::SUB::GetField(kCaptionList, position) : std::string(caption);
}

int StepFocus(int focused, int count, bool forward) {
  if (count <= 0) return -1;
  if (focused < 0 || focused >= count) return forward ? 0 : count - 1;
  return (focused + (forward ? 1 : count - 1)) % count;
}

KeyDecision DecideKeyDown(int virtualKey, std::span<const BoxButton> buttons, int focused) {
  const bool hasFocus = focused >= 0 && focused < static_cast<int>(buttons.size());
  switch (virtualKey) {
  case kKeyLeft:
  case kKeyUp:
    return buttons.empty() ? KeyDecision{} : KeyDecision{KeyAction::FocusPrevious, -1};
  case kKeyTab:
  case kKeyRight:
  case kKeyDown:
    return buttons.empty() ? KeyDecision{} : KeyDecision{KeyAction::FocusNext, -1};
  case kKeyReturn:
    return hasFocus ? Choose(focused) : KeyDecision{};
  case kKeyEscape:
    return {KeyAction::Close, -1};
  default:
    break;
  }
  if (virtualKey < 'A' || virtualKey > 'Z') return {};
  int match = -1;
  for (std::size_t i = 0; i < buttons.size(); ++i) {
    const std::string& label = buttons[i].label;
    const std::size_t amp = label.find('&');
    const std::size_t at = amp == std::string::npos ? 0 : amp + 1;
    if (at < label.size() && util::ToUpperAscii(label[at]) == virtualKey)
      match = static_cast<int>(i);
  }
  return Choose(match);
}

KeyDecision DecideChar(char typed, std::span<const BoxButton> buttons) {
  const char upper = util::ToUpperAscii(typed);
  int match = -1;
  for (std::size_t i = buttons.size(); i-- > 0;) {
    const std::string& label = buttons[i].label;
    if (label.size() >= 2 && (label[1] == typed || label[1] == upper)) match = static_cast<int>(i);
  }
  return Choose(match);
}

int ScaledLength(int length, int dpi) { return util::MulDivRounded(length, dpi, 96); }

Size MeasureText(std::string_view plain, const FontMeasure& font, int dpi) {
  const long long maxWidth = ScaledLength(kMaxTextWidth, dpi);
  const long long padding = ScaledLength(10, dpi);
  if (plain.empty()) plain = " ";
  long long lineHeight = static_cast<long long>(font.CharHeight()) + font.ExternalLeading();
  if (util::EqualsNoCase(util::TrimView(font.FaceName()), "MS PGothic")) ++lineHeight;
  long long widest = 0;
  long long height = 0;
  std::size_t from = 0;
  for (;;) {
    const std::size_t eol = plain.find("\r\n", from);
    const std::string_view piece =
        plain.substr(from, eol == std::string_view::npos ? std::string_view::npos : eol - from);
    if (eol == std::string_view::npos && piece.empty() && from > 0) break;
    const long long width = std::max(0, font.TextWidth(piece));
    widest = std::max(widest, width + padding);
    height = std::min<long long>(height + (width / maxWidth + 1) * lineHeight, kSizeLimit);
    if (eol == std::string_view::npos) break;
    from = eol + 2;
  }
  return {Limit(std::min<long long>(widest, maxWidth)), Limit(height)};
}

Size FitBoldText(Size measured, const std::function<Size(Size)>& resize) {
  int widest = measured.width;
  for (int i = 0; i <= 20; ++i) {
    const Size trial{measured.width + 10 * i, measured.height};
    const Size asked = resize(trial);
    if (measured.height >= asked.height) return trial;
    widest = std::max(widest, asked.width);
  }
  const Size last{Limit(static_cast<long long>(widest) + 10), measured.height};
  resize(last);
  return last;
}

bool IsTestPlacement(std::string_view text, std::string_view dvx) {
  return dvx == "731" &&
         text.find("Do you want to store the new Entry in") != std::string_view::npos;
}

BoxPlacement PlaceBox(Size control, WindowFrame frame, Rect workArea, bool testOffset, int dpi) {
  const auto s = [dpi](int length) { return static_cast<long long>(ScaledLength(length, dpi)); };
  BoxPlacement out;
  const long long rw = Limit(control.width);
  const long long rh = Limit(control.height);
  const long long margin = rw < s(200) ? s(64) : s(32);
  const long long chromeWidth = 2LL * frame.frameWidth + 2 * margin + s(kIconBandWidth);
  const long long chromeHeight =
      2LL * frame.frameHeight + (rh < s(39) ? s(90) : s(64)) + frame.captionHeight + s(36);
  out.control = {static_cast<int>(rw), static_cast<int>(rh)};

  // Never larger than the work area: the text gives up what does not fit
  // (keeping at least one pixel) and scrolls, and the minimum width gives
  // way to a narrower work area.
  const long long workWidth = std::max(workArea.width, 1);
  const long long workHeight = std::max(workArea.height, 1);
  if (rw + chromeWidth > workWidth) {
    out.control.width = static_cast<int>(std::max(workWidth - chromeWidth, 1LL));
    out.scroll = true;
  }
  if (rh + chromeHeight > workHeight) {
    out.control.height = static_cast<int>(std::max(workHeight - chromeHeight, 1LL));
    out.scroll = true;
  }
  const long long width = std::max<long long>(out.control.width + chromeWidth,
                                              std::min<long long>(s(kMinBoxWidth), workWidth));
  const long long height = out.control.height + chromeHeight;

  long long left = workArea.left + (workWidth - width) / 2;
  long long top = workArea.top + (workHeight - height) / 2;
  if (testOffset) {
    left += kTestOffset;
    top += kTestOffset;
  }
  // Keep the offset box on the screen too; the top-left corner wins when
  // even the smallest box is larger than a tiny work area.
  left = std::max<long long>(std::min(left, workArea.left + workWidth - width), workArea.left);
  top = std::max<long long>(std::min(top, workArea.top + workHeight - height), workArea.top);
  out.box = {static_cast<int>(left), static_cast<int>(top), static_cast<int>(width),
             static_cast<int>(height)};
  return out;
}

ClientLayout LayoutClient(Size client, Size control, int buttonCount, int dpi) {
  const auto s = [dpi](int length) { return ScaledLength(length, dpi); };
  ClientLayout out;
  const int band = s(kIconBandWidth), buttonWidth = s(kButtonWidth);
  const int x = band + (client.width - control.width - band) / 2;
  const int y = (client.height - control.height - s(36)) / 2;
  out.control = {x, y, control.width, std::max(client.height - y - s(39), 0)};
  for (int i = 0; i < buttonCount; ++i) {
    const int left = client.width - s(80) - buttonWidth * (buttonCount - 1 - i);
    out.buttons.push_back({left, client.height - s(29), buttonWidth, s(kButtonHeight)});
  }
  return out;
}

} // namespace ui
