// Progress of long builds on stderr: a counter rewritten in place on a
// terminal, else a line per 5 percent.
#pragma once

#include <ostream>

#include "pack/builder.h"

namespace pack {

class ProgressPrinter {
public:
  ProgressPrinter(std::ostream& err, bool quiet, bool terminal)
      : err_(err), quiet_(quiet), tty_(terminal) {}
  ~ProgressPrinter() { End(); }
  ProgressPrinter(const ProgressPrinter&) = delete;
  ProgressPrinter& operator=(const ProgressPrinter&) = delete;

  void operator()(const BuildProgress& p);
  // Ends the counter's line, so a warning or the summary that follows starts
  // on a line of its own.
  void End();

private:
  std::ostream& err_;
  bool quiet_, tty_;
  bool shown_ = false;
  int last_ = -1;
};

} // namespace pack
