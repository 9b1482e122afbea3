#include "http/bytes_rate.h"

#include "util/text.h"

namespace http {

namespace {

// Appends scaled / 10^decimals in decimal with `decimals` (1 or 2) digits
// after the point; with `grouped`, "," between the thousands of the integer
// part.
void AppendFixed(std::string& out, std::uint64_t scaled, int decimals, bool grouped) {
  char digits[40];
  int n = 0;
  for (int i = 0; scaled != 0 || i <= decimals; ++i) {
    if (i == decimals)
      digits[n++] = '.';
    else if (grouped && i > decimals && (i - decimals) % 3 == 0)
      digits[n++] = ',';
    digits[n++] = static_cast<char>('0' + scaled % 10);
    scaled /= 10;
  }
  while (n > 0)
    out += digits[--n];
}

std::uint64_t Tenths(std::uint32_t bytes, std::uint32_t divisor) {
  return (std::uint64_t{bytes} * 10 + divisor / 2) / divisor;
}

} // namespace

std::string FormatTenths(std::uint32_t bytes, std::uint32_t divisor) {
  std::string text;
  AppendFixed(text, Tenths(bytes, divisor ? divisor : 1), 1, true);
  return text;
}

TBytesRate::TBytesRate(bool kiloMode, bool megaMode, TickSource ticks)
    : kiloMode_(kiloMode), megaMode_(megaMode), tickSource_(ticks ? ticks : TickCount) {
  Reset();
}

void TBytesRate::Reset() {
  for (int i = 0; i < kWindow; ++i)
    ticks_[i] = bytes_[i] = 0;
  rateText_.clear();
  lastUpdate_ = 0;
}

void TBytesRate::MakeText(std::uint32_t total, std::uint32_t done, std::string& text,
                          std::uint32_t roundBytes) {
  text.clear();
  if (megaMode_ || kiloMode_) {
    const std::uint32_t divisor = megaMode_ ? 1048576 : 1024;
    AppendFixed(text, Tenths(done, divisor), 1, true);
    text += '/';
    AppendFixed(text, Tenths(total, divisor), 1, true);
    text += megaMode_ ? " MB" : " KB";
  } else {
    text += util::IntToStr(static_cast<std::int32_t>(done));
    text += '/';
    text += util::IntToStr(static_cast<std::int32_t>(total));
    text += " Bytes";
  }

  const std::uint32_t now = tickSource_();
  for (int i = 0; i + 1 < kWindow; ++i) {
    ticks_[i] = ticks_[i + 1];
    bytes_[i] = bytes_[i + 1];
  }
  ticks_[kWindow - 1] = now;
  bytes_[kWindow - 1] = roundBytes;
  std::uint64_t recent = 0; // the four newest rounds
  for (int i = 1; i < kWindow; ++i)
    recent += bytes_[i];
  const std::uint32_t elapsed = now - ticks_[0];
  if (ticks_[0] != 0 && elapsed != 0 && now - lastUpdate_ > 500) {
    // bytes / (elapsed / 1000) / 1024 in hundredths, rounded half up.
    const std::uint64_t divisor = std::uint64_t{elapsed} * 1024;
    rateText_.clear();
    AppendFixed(rateText_, (recent * 100000 + divisor / 2) / divisor, 2, false);
    lastUpdate_ = now;
  }
  if (!rateText_.empty()) {
    text += "   -   ";
    text += rateText_;
    text += " KB/Sec";
  }
}

} // namespace http
