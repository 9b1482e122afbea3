// The program's own modal message box (window class "VMsgBox"): a text in
// the markup of ui/markup.h in a read-only rich-edit control, a coloured
// icon band, buttons labelled from the caller's language, keyboard
// accelerators, an optional time-out and right-to-left layout for Hebrew and
// Arabic. Flags and results use the system message-box numbering (see
// ui/message_box_layout.h), so callers treat it like the system box.
// Windows build only.
#pragma once

#include <cstdint>
#include <string_view>

#include "ui/message_box_layout.h"

namespace ui {

// 0 (kModeHeading): the caption becomes a bold heading of the text;
// 1 (kModePlain): plain; 2 (kModeNoClose): plain, close command disabled;
// anything else is the handle of the box's parent window.
using OwnerOrMode = std::uintptr_t;

inline constexpr int kDefaultCharset = 1;

// The font of every later box (process-wide; "Tahoma", 8 points, character
// set 1 until set). A size of 0 keeps the current size, an empty face name
// the current face.
void SetMessageBoxFont(std::string_view faceName, int sizePoints, int charset);

// Shows a box and returns the chosen button's result, or 0 when the box was
// closed without a choice. `timeoutMs` > 0 picks the first button after
// that time. A character set of 177 or 178 lays the text out right to left.
// An empty `labels` means kDefaultLabels. Runs the box's own message loop,
// which serves every window of the calling thread.
int MarkupMessageBox(OwnerOrMode ownerOrMode, std::string_view text, std::string_view caption,
                     int timeoutMs, std::uint32_t flags, int charset, std::string_view labels);

// The front operations: an empty caption is taken from kCaptionList (Error,
// Attention, Confirm), an empty label list is kDefaultLabels; after the box
// they keep the caller's windows alive for 100 ms.
void ShowErrorBox(OwnerOrMode ownerOrMode, std::string_view text, std::string_view caption = {},
                  int charset = kDefaultCharset, std::string_view labels = {});
void ShowAttentionBox(OwnerOrMode ownerOrMode, std::string_view text, std::string_view caption = {},
                      int timeoutMs = 0, int charset = kDefaultCharset,
                      std::string_view labels = {});
// True when the answer is Yes (6) / OK (1).
bool AskYesNo(OwnerOrMode ownerOrMode, std::string_view text, std::string_view caption = {},
              int timeoutMs = 0, int charset = kDefaultCharset, std::string_view labels = {});
bool AskOkCancel(OwnerOrMode ownerOrMode, std::string_view text, std::string_view caption = {},
                 int charset = kDefaultCharset, std::string_view labels = {});

// Takes every message waiting in the thread's queue, translates and
// dispatches it. An exception out of a dispatched message is traced (method
// "YieldX") and does not end the pumping. A WM_QUIT taken here is posted
// again for the caller's own loop.
void YieldX();

// YieldX when at least `intervalMs` milliseconds have passed since the last
// queue service through here; else returns at once. For loops that call it
// per piece of work: under Wine each look at an empty queue takes about
// 0.1 ms, a large share of a fast loop's time.
void YieldXThrottled(int intervalMs);

// Keeps the caller's windows alive for `ms` milliseconds: YieldX, then sleep
// a step of ms / 10 (1 to 25) milliseconds, until the millisecond clock has
// advanced by `ms`. Services the queue at least once.
void WaitPumping(int ms);

} // namespace ui
