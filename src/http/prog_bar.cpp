#include "http/prog_bar.h"

#include "platform/lock.h"
#include "util/field_list.h"
#include "util/text.h"

namespace http {

namespace {

MessagePump g_pump = nullptr;
TimerKiller g_timerKiller = nullptr;

void Pump(std::uint32_t ms) {
  if (g_pump) g_pump(ms);
}

// The queue and its lock live from the first event to the end of the
// process.
struct Queue {
  platform::Lock lock;
  std::vector<std::string> entries;
};
Queue& TheQueue() {
  static Queue queue;
  return queue;
}

std::string WindowPrefix(std::uintptr_t window) {
  return util::IntToStr(static_cast<std::int64_t>(window)) + "=";
}

} // namespace

void SetMessagePump(MessagePump pump) {
  g_pump = pump;
}
void SetTimerKiller(TimerKiller killer) {
  g_timerKiller = killer;
}

TProgBar::TProgBar(ProgressProc proc) : proc_(proc) {}

TProgBar::~TProgBar() {
  Finish(0, 0);
  if (window != 0 && g_timerKiller) g_timerKiller(window, timerId);
}

void TProgBar::Deliver(int event, int position, int maximum, const std::string& text) {
  if (window != 0) {
    std::string entry = MakeQueueEntry(window, this, event, position, maximum, text);
    Queue& queue = TheQueue();
    platform::LockGuard guard(queue.lock);
    queue.entries.push_back(std::move(entry));
  } else if (method.fn) {
    method.fn(method.object, this, event, position, maximum, text);
  } else if (proc_ && event != kEventCaption) {
    proc_(this, event, position, maximum, text);
  }
}

void TProgBar::SetRange(int position, int maximum) {
  Pump(rangePauseBefore);
  Deliver(kEventRange, position, maximum, {});
  Pump(rangePauseAfter);
}

void TProgBar::SetText(const std::string& text) {
  Pump(textPauseBefore);
  Deliver(kEventText, 0, 0, text);
  Pump(textPauseAfter);
}

void TProgBar::Finish(std::uint32_t pauseBefore, std::uint32_t pauseAfter) {
  Pump(pauseBefore);
  Pump(endPauseBefore);
  Deliver(kEventEnd, 0, 0, {});
  Pump(endPauseAfter);
  Pump(pauseAfter);
}

void TProgBar::SetCaption(const std::string& text) {
  Deliver(kEventCaption, 0, 0, text);
  Pump(0);
}

std::string MakeQueueEntry(std::uintptr_t window, const TProgBar* sender, int event, int position,
                           int maximum, std::string_view text) {
  std::vector<std::string> fields(5);
  fields[0] = util::IntToStr(static_cast<std::int64_t>(reinterpret_cast<std::uintptr_t>(sender)));
  fields[1] = util::IntToStr(event);
  fields[2] = util::IntToStr(position);
  fields[3] = util::IntToStr(maximum);
  fields[4] = text;
  return WindowPrefix(window) + util::SUB::BuildList(fields);
}

bool ParseQueueEntry(std::string_view entry, ProgressEvent& out) {
  const std::size_t eq = entry.find('=');
  if (eq == std::string_view::npos) return false;
  const std::string_view list = entry.substr(eq + 1);
  const auto window = util::StrToInt64(entry.substr(0, eq));
  if (!window || *window < 0 || util::SUB::FieldCount(list) != 5) return false;
  std::int64_t numbers[4];
  for (int i = 0; i < 4; ++i) {
    const auto n = util::StrToInt64(util::SUB::GetField(list, i));
    if (!n) return false;
    numbers[i] = *n;
  }
  out.window = static_cast<std::uintptr_t>(*window);
  out.sender = static_cast<std::uintptr_t>(numbers[0]);
  out.event = static_cast<int>(numbers[1]);
  out.position = static_cast<int>(numbers[2]);
  out.maximum = static_cast<int>(numbers[3]);
  out.text = util::SUB::GetField(list, 4);
  return true;
}

std::vector<std::string> TakeQueueEntries(std::uintptr_t window) {
  const std::string prefix = WindowPrefix(window);
  std::vector<std::string> taken;
  Queue& queue = TheQueue();
  platform::LockGuard guard(queue.lock);
  std::vector<std::string>& entries = queue.entries;
  std::size_t kept = 0;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (entries[i].compare(0, prefix.size(), prefix) == 0)
      taken.push_back(std::move(entries[i]));
    else if (kept++ != i)
      entries[kept - 1] = std::move(entries[i]);
  }
  entries.resize(kept);
  return taken;
}

} // namespace http
