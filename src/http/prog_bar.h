// The progress object of transfers (TProgBar): forwards range, text, end
// and caption events to whatever displays them, pumps messages around each
// event, and carries the user's cancel flag back to the download loop.
//
// Sinks, the first that exists gets the event:
//   1. a display window: the event goes into a process-wide queue that the
//      window's timer empties (TakeQueueEntries);
//   2. a method sink (an object and a function);
//   3. the procedure given at creation (not for the caption event).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace http {

inline constexpr int kEventRange = 1;   // position, maximum
inline constexpr int kEventText = 2;    // text
inline constexpr int kEventEnd = 3;     // no values
inline constexpr int kEventCaption = 5; // text

class TProgBar;

using ProgressProc = void (*)(TProgBar* sender, int event, int position, int maximum,
                              const std::string& text);

struct ProgressMethod {
  void* object = nullptr;
  void (*fn)(void* object, TProgBar* sender, int event, int position, int maximum,
             const std::string& text) = nullptr;
};

// How events wait: pump(ms) keeps the thread's windows alive for ms
// milliseconds (0: one service of the queue). None installed (the default,
// and natively) means no pumping at all.
using MessagePump = void (*)(std::uint32_t ms);
void SetMessagePump(MessagePump pump);
// Kills a display window's timer when its progress object goes away.
using TimerKiller = void (*)(std::uintptr_t window, std::uint32_t timerId);
void SetTimerKiller(TimerKiller killer);

class TProgBar {
public:
  explicit TProgBar(ProgressProc proc);
  // Finish(0, 0); then the display window's timer is killed when a window
  // is set.
  ~TProgBar();
  TProgBar(const TProgBar&) = delete;
  TProgBar& operator=(const TProgBar&) = delete;

  void SetRange(int position, int maximum);
  void SetText(const std::string& text);
  // Pumps pauseBefore, then the end event with its own pauses, then
  // pauseAfter.
  void Finish(std::uint32_t pauseBefore, std::uint32_t pauseAfter);
  // To the display window or the method sink only; pumps once afterwards.
  void SetCaption(const std::string& text);

  ProgressMethod method;
  std::uint32_t rangePauseBefore = 0;
  std::uint32_t rangePauseAfter = 0;
  std::uint32_t textPauseBefore = 0;
  std::uint32_t textPauseAfter = 0;
  std::uint32_t endPauseBefore = 0;
  std::uint32_t endPauseAfter = 0;
  // Set by the display when the user cancels; the download loop ends on it.
  bool cancelled = false;
  std::uintptr_t window = 0; // display window handle, 0 for none
  std::uint32_t timerId = 0;

private:
  void Deliver(int event, int position, int maximum, const std::string& text);
  ProgressProc proc_;
};

// --- The display window's queue ---------------------------------------------

// One queued event: window handle in decimal, "=", then the field list
// sender|event|position|maximum|text (sender = the object's address in
// decimal), e.g. "1234=|5570560|2|0|0|1.5/1,024.0 KB|"; the separator is
// re-chosen when the text holds "|".
std::string MakeQueueEntry(std::uintptr_t window, const TProgBar* sender, int event, int position,
                           int maximum, std::string_view text);

struct ProgressEvent {
  std::uintptr_t window = 0;
  std::uintptr_t sender = 0;
  int event = 0;
  int position = 0;
  int maximum = 0;
  std::string text;
};
// Reads an entry back; false when it is not one.
bool ParseQueueEntry(std::string_view entry, ProgressEvent& out);

// Removes and returns the queued entries of `window`, oldest first; other
// windows' entries stay. Safe from any thread.
std::vector<std::string> TakeQueueEntries(std::uintptr_t window);

} // namespace http
