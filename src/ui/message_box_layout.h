// The portable half of the markup message box: what the flags mean, which
// buttons a box has and what they answer, what the keyboard does, and how big
// the box is and where its parts go. The Win32 half (message_box_win.cpp)
// only creates the windows and feeds these functions with font metrics and
// system sizes.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "ui/markup.h"

namespace ui {

// Results in the system message-box numbering; 0 = closed without a choice.
inline constexpr int kResultNone = 0;
inline constexpr int kResultOk = 1;
inline constexpr int kResultCancel = 2;
inline constexpr int kResultAbort = 3;
inline constexpr int kResultRetry = 4;
inline constexpr int kResultIgnore = 5;
inline constexpr int kResultYes = 6;
inline constexpr int kResultNo = 7;

// Flag bits beyond the button set, icon and default-button fields.
inline constexpr std::uint32_t kFlagRightAligned = 0x00080000;
inline constexpr std::uint32_t kFlagRtlReading = 0x00100000;
inline constexpr std::uint32_t kFlagCloseDisabled = 0x10000000;

// Character sets that read right to left.
inline constexpr int kCharsetHebrew = 177;
inline constexpr int kCharsetArabic = 178;

// Owner-or-mode values; anything above kModeNoClose is a window handle.
inline constexpr std::uintptr_t kModeHeading = 0;
inline constexpr std::uintptr_t kModePlain = 1;
inline constexpr std::uintptr_t kModeNoClose = 2;

inline constexpr std::string_view kDefaultLabels = "|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|";

enum class BoxIcon { Own, Error, Question, Exclamation, Information };

struct BoxFlags {
  int buttonSet = 0; // low 4 bits
  BoxIcon icon = BoxIcon::Own;
  int defaultIndex = 0; // bits 8-11, not yet reduced modulo the button count
  bool rightAligned = false;
  bool rtlReading = false;
  bool closeDisabled = false;
};
BoxFlags DecodeFlags(std::uint32_t flags);

// The flags a box really uses: mode kModeNoClose adds kFlagCloseDisabled,
// a right-to-left character set adds kFlagRightAligned and kFlagRtlReading.
std::uint32_t EffectiveFlags(std::uint32_t flags, std::uintptr_t ownerOrMode, int charset);

struct SetButton {
  int labelPosition; // field of the label list
  int result;
};
// The buttons of a set, left to right; empty for an unknown set.
std::span<const SetButton> ButtonSet(int set);

struct BoxButton {
  std::string label;
  int result = kResultNone;
};

// Everything a box shows, decided before any window exists.
struct BoxContent {
  std::uint32_t flags = 0; // effective flags
  BoxFlags decoded;
  MarkupText body;
  std::vector<BoxButton> buttons;
  int defaultButton = -1; // index into buttons; -1 when there are none
};
// An empty label list means kDefaultLabels; a label position beyond the list
// gives an empty label. Mode kModeHeading puts the caption into the text as a
// bold heading.
BoxContent PrepareBox(std::uintptr_t ownerOrMode, std::string_view text, std::string_view caption,
                      std::uint32_t flags, int charset, std::string_view labels);

// `caption`, or when it is empty the field `position` of kCaptionList.
std::string CaptionOrDefault(std::string_view caption, int position);

// --- Keyboard ---------------------------------------------------------------

// Virtual-key codes the box reacts to ('A'..'Z' are the letters).
inline constexpr int kKeyTab = 0x09;
inline constexpr int kKeyReturn = 0x0D;
inline constexpr int kKeyEscape = 0x1B;
inline constexpr int kKeyLeft = 0x25;
inline constexpr int kKeyUp = 0x26;
inline constexpr int kKeyRight = 0x27;
inline constexpr int kKeyDown = 0x28;

enum class KeyAction { None, FocusPrevious, FocusNext, Choose, Close };
struct KeyDecision {
  KeyAction action = KeyAction::None;
  int button = -1; // for Choose
  friend bool operator==(const KeyDecision&, const KeyDecision&) = default;
};

// A key press. `focused` is the index of the button that has the focus, -1
// when none has. Left/Up: previous button; Tab/Right/Down: next; Enter: the
// focused button; a letter: the last button whose label has that letter
// (any case) right after its first "&", or first when it has no "&";
// Escape: close without a choice. None: the key is not the box's.
KeyDecision DecideKeyDown(int virtualKey, std::span<const BoxButton> buttons, int focused);
// A typed character, as typed or upper-cased, against the second character
// of every label of at least two characters; on a tie the leftmost button.
KeyDecision DecideChar(char typed, std::span<const BoxButton> buttons);
// The button after (before) `focused`, wrapping around; -1 without buttons.
int StepFocus(int focused, int count, bool forward);

// --- Measurement -----------------------------------------------------------

// Metrics of the box font (normal weight) as the display reports them.
class FontMeasure {
public:
  virtual ~FontMeasure() = default;
  virtual int TextWidth(std::string_view piece) const = 0;
  virtual int CharHeight() const = 0;
  virtual int ExternalLeading() const = 0;
  virtual std::string_view FaceName() const = 0;
};

struct Size {
  int width = 0;
  int height = 0;
  friend bool operator==(const Size&, const Size&) = default;
};

// Lines wider than this wrap; the text's width never exceeds it.
inline constexpr int kMaxTextWidth = 600;

// The text's size from the font: each line (split at CR LF; an empty rest
// after the last line end does not count) is `TextWidth` + 10 wide, at most
// kMaxTextWidth, and (width div 600 + 1) lines high; a line is the character
// height plus external leading, plus 1 for the face "MS PGothic". An empty
// text is measured as one blank.
//
// Every length in this file is for 96 dots per inch. The stub is DPI aware
// and its fonts follow the screen's resolution, so the functions that take
// `dpi` scale their lengths to it (ScaledLength).
Size MeasureText(std::string_view plain, const FontMeasure& font, int dpi = 96);

// `length` of the 96 DPI geometry at `dpi` (multiply-divide, rounded).
int ScaledLength(int length, int dpi);

// Bold glyphs are wider than the measured ones, so a text with bold runs may
// wrap once more than measured. `resize` sizes the control and returns the
// size it then asks for. The control is widened 10 pixels at a time (21
// tries) until the height it asks for fits the measured height; failing
// that, it gets the widest width it asked for + 10. Returns the final size.
Size FitBoldText(Size measured, const std::function<Size(Size)>& resize);

// --- Layout ----------------------------------------------------------------

struct Rect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  int Right() const { return left + width; }
  int Bottom() const { return top + height; }
  friend bool operator==(const Rect&, const Rect&) = default;
};

// Non-client sizes of the box window: one side's frame, and the caption bar.
struct WindowFrame {
  int frameWidth = 0;
  int frameHeight = 0;
  int captionHeight = 0;
};

inline constexpr int kIconBandWidth = 54;
inline constexpr int kIconX = 11;
inline constexpr int kIconY = 20;
inline constexpr int kBandRed = 0;
inline constexpr int kBandGreen = 78;
inline constexpr int kBandBlue = 152;
inline constexpr int kButtonWidth = 70;
inline constexpr int kButtonHeight = 23;
inline constexpr int kMinBoxWidth = 360;
inline constexpr int kTestOffset = 150;

struct BoxPlacement {
  Rect box;            // screen coordinates
  Size control;        // the control's size, smaller than asked when clamped
  bool scroll = false; // the text no longer fits: the control needs a scroll bar
};

// True for the one text that a test setup places off-centre (environment
// value "731" of "DVX").
bool IsTestPlacement(std::string_view text, std::string_view dvx);

// The box around a text control of size `control`, centred in `workArea`
// (moved kTestOffset right and down when `testOffset`). The box is kept
// inside the work area: a text too tall or too wide for it gets a smaller
// control that scrolls instead of a box running off the screen.
BoxPlacement PlaceBox(Size control, WindowFrame frame, Rect workArea, bool testOffset,
                      int dpi = 96);

// Positions inside a client area of size `client` (the separator lines and
// the button strip are drawn at client.height - 37 and below).
struct ClientLayout {
  Rect control;
  std::vector<Rect> buttons; // left to right
};
ClientLayout LayoutClient(Size client, Size control, int buttonCount, int dpi = 96);

} // namespace ui
