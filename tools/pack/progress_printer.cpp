#include "pack/progress_printer.h"

#include <cstdio>

namespace pack {

void ProgressPrinter::operator()(const BuildProgress& p) {
  constexpr std::uint64_t kLongBuild = 16u << 20;
  if (quiet_ || p.bytesTotal < kLongBuild) return;
  const int percent = static_cast<int>(p.bytesDone * 100 / p.bytesTotal);
  const int step = tty_ ? percent : percent / 5 * 5;
  if (step == last_) return;
  last_ = step;
  shown_ = true;
  char line[96];
  std::snprintf(line, sizeof line, "packing %3d%%  %.1f of %.1f MB, block %u of %u", step,
                p.bytesDone / 1048576.0, p.bytesTotal / 1048576.0, p.blocksDone, p.blocksTotal);
  err_ << (tty_ ? "\r" : "") << line << (tty_ ? "" : "\n") << std::flush;
}

void ProgressPrinter::End() {
  if (shown_ && tty_) err_ << "\n" << std::flush;
  shown_ = false;
}

} // namespace pack
