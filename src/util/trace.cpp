#include "util/trace.h"

#include "util/field_list.h"

namespace util {

namespace {

TraceSink g_sink = nullptr;
char g_buffer[kTraceBufferSize];
std::size_t g_used = 0;
// Deliveries in progress. The viewer's delivery is a synchronous message,
// during which the same thread may handle a sent message that traces
// again; such nested text gets its own delivery, up to a few levels deep,
// and deeper text is dropped so the nesting stays bounded.
int g_depth = 0;
constexpr int kMaxDepth = 3;

// Hands the buffer on. It is copied and emptied first, so text written
// while the sink runs starts a buffer of its own.
void Deliver() {
  if (g_used == 0) return;
  char piece[kTraceBufferSize];
  const std::size_t n = g_used;
  for (std::size_t i = 0; i < n; ++i) piece[i] = g_buffer[i];
  g_used = 0;
  if (!g_sink) return;
  ++g_depth;
  g_sink(std::string_view(piece, n));
  --g_depth;
}

}  // namespace

void SetTraceSink(TraceSink sink) { g_sink = sink; }

void TraceWrite(std::string_view text) {
  if (g_depth >= kMaxDepth) return;
  for (char c : text) {
    g_buffer[g_used++] = c;
    if (g_used == kTraceBufferSize) Deliver();
  }
  Deliver();
}

void WriteTraceLine(std::string_view text) {
  std::string line(text);
  line += "\r\n";
  TraceWrite(line);
}

void WriteTracePair(std::string_view a, std::string_view b) {
  std::string line = "[";
  line.append(a).append("]  [").append(b).append("]");
  WriteTraceLine(line);
}

std::string FormatExceptionReport(std::string_view method, std::string_view remark,
                                  std::string_view message) {
  static constexpr std::string_view kLabels = "|Method = |Remark = |SX = |ErrMsg = |";
  const std::string_view values[4] = {method, remark, {}, message};
  std::string report = " --- ";
  for (int i = 0; i < 4; ++i) {
    if (values[i].empty()) continue;
    report.append(" [ ").append(SUB::GetField(kLabels, i)).append(values[i]).append(" ] ");
  }
  return report;
}

void TraceException(std::string_view message, std::string_view method, std::string_view remark) {
  WriteTraceLine(FormatExceptionReport(method, remark, message));
}

std::string NormalizeLineEnds(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      out += "\r\n";
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else if (text[i] == '\n') {
      out += "\r\n";
    } else {
      out += text[i];
    }
  }
  return out;
}

}  // namespace util
