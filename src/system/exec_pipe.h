// Running a console program with its standard input, output and error on
// pipes, collecting what it writes.
//
// The command-line building is portable; RunPiped is Windows build only.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace sys {

// The exit code reported for a child that could not be started.
inline constexpr std::uint32_t kPipedStartFailed = 21;
// Longer command lines cannot be started by the system.
inline constexpr std::size_t kMaxCommandLine = 32766;

// `program` in double quotes when it contains a blank and no double quote,
// then a blank and `arguments` when there are any.
std::string PipedCommandLine(std::string_view program, std::string_view arguments);
// The error text of a failed start: "Command line is too long" for a line
// over kMaxCommandLine characters, otherwise the first 256 characters of the
// line, " --- " and the system's text for the error.
std::string PipedStartErrorText(std::string_view commandLine, std::string_view systemError);

// Receives each piece of output (OEM text already converted to ANSI) with
// the caller's value; setting `abort` terminates the child (exit code 255).
using PipedCallback =
    std::function<void(const std::string& text, std::intptr_t userValue, bool& abort)>;

struct PipedResult {
  bool success = false;   // the child ran and ended with exit code 0
  std::string errorText;  // its standard error, or why it did not start
  std::string outputText; // its standard output
  std::uint32_t exitCode = 0;
};

// Windows build only. Starts `program` with `arguments` at idle priority,
// with the given show state (SW_*), and collects its output until it ends;
// then keeps the caller's windows alive for `lingerMs` and reads once more.
// Blocks the caller; the callback runs on the caller's thread.
PipedResult RunPiped(const std::string& program, const std::string& arguments, int showState,
                     const PipedCallback& callback = {}, std::intptr_t userValue = 0,
                     int lingerMs = 0);

// Windows build only. The parent's end of the running child's standard
// input (a HANDLE), so other code can feed it; null while no child runs.
void* PipedChildInput();

} // namespace sys
