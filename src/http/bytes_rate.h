// The rate meter of a transfer (TBytesRate): turns the byte counts of a
// running download into the text under the progress bar, "done/total" in
// bytes, KB or MB, followed by the rate over the last rounds in KB/Sec.
#pragma once

#include <cstdint>
#include <string>

namespace http {

// A millisecond tick count that may wrap (GetTickCount on Windows, a
// monotonic clock natively).
using TickSource = std::uint32_t (*)();
std::uint32_t TickCount();

// bytes / divisor with exactly one decimal (rounded half up) and "," between
// the thousands of the integer part: 1048576 / 1024 -> "1,024.0".
std::string FormatTenths(std::uint32_t bytes, std::uint32_t divisor);

class TBytesRate {
public:
  // Megabyte mode wins over kilobyte mode. `ticks` is the clock read once per
  // MakeText; nullptr means TickCount.
  TBytesRate(bool kiloMode, bool megaMode, TickSource ticks = nullptr);

  void Reset();
  // The progress text after a round that moved `roundBytes` bytes:
  //   "D/T Bytes" (plain counts, read as signed 32-bit like "%d"),
  //   "D/T KB" or "D/T MB" (FormatTenths),
  // then "   -   R KB/Sec" once a rate is known. The rate is the bytes of
  // the four newest rounds over the time since the oldest of the last five,
  // in KB per second with two decimals; it needs five rounds and is
  // recomputed at most every 500 ms (in between the last rate is shown).
  void MakeText(std::uint32_t total, std::uint32_t done, std::string& text,
                std::uint32_t roundBytes);

private:
  static constexpr int kWindow = 5;
  std::uint32_t ticks_[kWindow];
  std::uint32_t bytes_[kWindow];
  bool kiloMode_;
  bool megaMode_;
  std::string rateText_;
  std::uint32_t lastUpdate_;
  TickSource tickSource_;
};

} // namespace http
