// Command-line switch reader. Works on the raw process
// command line (not an argument vector) so values may hold blanks and paths
// may or may not be quoted. Switches have the form /NAME=value (or -NAME=value).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace util {

struct CommandLine {
  std::string text;        // raw process command line, as the system gives it
  std::string programPath; // full path of the own executable
};

// The command line with the program's own name removed, trimmed (the
// "argument tail"). With an empty programPath nothing is removed.
std::string ArgumentTail(const CommandLine& cl);

// Value of the first switch `name` (e.g. "/WAIT=", "WAIT", "-STOP="; the
// trailing "=" is optional), any case, quotes removed, trimmed; `def` when
// the switch is absent. A switch present with an empty value gives "".
// A name starting with "-" looks for "-NAME=" switches only, any other name
// for "/NAME=" switches.
std::string SwitchValue(const CommandLine& cl, std::string_view name, std::string_view def);
// The switch value as a decimal integer; `def` when absent or not a number.
std::int64_t SwitchNumber(const CommandLine& cl, std::string_view name, std::int64_t def);
// True when the trimmed `word` followed by a blank occurs, any case, in the
// argument tail followed by a blank (flag switches such as "/AutoUpdateProg").
// An empty word is never present.
bool SwitchPresent(const CommandLine& cl, std::string_view word);

// `path` in double quotes when it contains a blank and is not quoted yet;
// otherwise unchanged. For building command lines from program paths.
std::string QuoteIfBlank(std::string_view path);

// The process's own command line: the value set by SetProcessCommandLine
// when there is one, else the system's (Windows: GetCommandLineA and
// GetModuleFileNameA; natively: /proc/self/cmdline and /proc/self/exe where
// available, otherwise empty).
CommandLine ProcessCommandLine();
// Makes ProcessCommandLine return `cl` (tests; also usable on Windows).
void SetProcessCommandLine(CommandLine cl);
// Back to the system's command line.
void ClearProcessCommandLine();

// The same operations on ProcessCommandLine().
std::string ArgumentTail();
std::string SwitchValue(std::string_view name, std::string_view def);
std::int64_t SwitchNumber(std::string_view name, std::int64_t def);
bool SwitchPresent(std::string_view word);

namespace detail {
// The override storage behind SetProcessCommandLine (nullptr when unset).
const CommandLine* ProcessCommandLineOverride();
} // namespace detail

} // namespace util
