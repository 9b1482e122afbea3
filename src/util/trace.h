// The debug trace: every trace text goes through a 128-character device
// buffer whose pieces are handed to a sink (the debug channel on Windows).
// Best effort: nothing here may fail the program.
#pragma once

#include <string>
#include <string_view>

namespace util {

inline constexpr std::size_t kTraceBufferSize = 128;

using TraceSink = void (*)(std::string_view piece);
// Installs the sink that receives each buffer's worth of text; none drops it.
void SetTraceSink(TraceSink sink);

// One write statement: the text goes through the buffer, which is handed on
// whenever it is full and once more at the end.
void TraceWrite(std::string_view text);
// Text and a CR LF line end, as one write.
void WriteTraceLine(std::string_view text);
// "[" a "]  [" b "]" as a line.
void WriteTracePair(std::string_view a, std::string_view b);
// The exception report line (see FormatExceptionReport).
void TraceException(std::string_view message, std::string_view method, std::string_view remark);

// " --- " then " [ label value ] " for each non-empty item of
// Method, Remark, SX (never given here) and ErrMsg, in that order.
std::string FormatExceptionReport(std::string_view method, std::string_view remark,
                                  std::string_view message);

// Every CR LF, lone CR and lone LF becomes CR LF (the debug file's form).
std::string NormalizeLineEnds(std::string_view text);

}  // namespace util
