// The small markup of every text shown in a message box: "<P>" line break,
// "<T>" tab, "<B>" ... "</B>" bold, and the escapes "\\n" and "\\t". Turning
// markup into plain text plus bold runs is portable, so the exact rules
// (unmatched tags, the heading's "<<b>") are tested natively.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace ui {

// Captions used when a caller passes none (positions 0 Error, 1 Attention,
// 2 Confirm).
inline constexpr std::string_view kCaptionList = "|Error|Attention|Confirm|";

// A bold stretch of the plain text: character offsets, end exclusive.
struct BoldRun {
  std::size_t start = 0;
  std::size_t end = 0;
  friend bool operator==(const BoldRun&, const BoldRun&) = default;
};

struct MarkupText {
  std::string text;
  std::vector<BoldRun> bold;
};

// The escape step: every "\\n" (backslash, backslash, n) becomes CR LF, then
// every "\\t" a TAB, then every "<P>" (any case) CR LF and every "<T>" (any
// case) a TAB.
std::string ExpandMarkup(std::string_view text);

// The text of a box whose caption is shown as a bold heading: a caption that
// occurs in kCaptionList is upper-cased, then
// "<<b>" caption "</b><P><P>" text "<P>".
std::string HeadingText(std::string_view text, std::string_view caption);

// Markup to plain text and bold runs:
//   1. ExpandMarkup;
//   2. a text beginning with "<<b>" loses its first character;
//   3. repeatedly remove the first "<B>" (any case); if the first "</B>" of
//      the remaining text lies at or after that place, remove it too and
//      record a bold run from the one place to the other;
//   4. remove every "</B>" that is left.
// Runs are offsets into the text as it was when they were recorded; the rare
// run that later removals made stale (tags formed out of the pieces of other
// tags) is clipped to the final text, and empty runs are dropped.
// O(n log n) in the text's length, whatever tags it holds.
MarkupText ParseMarkup(std::string_view markup);

} // namespace ui
