// The naming rules behind the run modes: window-class names (which double as
// the single-instance token), the agent log, the spanned relaunch.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace startup {

// Windows refuses class names longer than an atom name.
inline constexpr std::size_t kMaxClassNameLength = 255;

// `name` when it fits; else its first characters, "#" and 16 hex digits of
// a hash of the whole name (case folded, as class names are), so a long
// name still gives one class per name.
std::string FitClassName(std::string_view name);

// ".AutoUpdate." + base name of the own file for an agent; the own full path
// for a setup stub. Both through FitClassName.
std::string StubClassNameFor(bool isAutoUpdateProg, std::string_view ownPath);
// The class an X_ copy of the agent registers.
std::string XCopyClassName(std::string_view agentFileName);

// The own file is the installed agent / its working copy.
bool IsPlainAgentFile(std::string_view ownPath, std::string_view agentFileName);
bool IsXAgentFile(std::string_view ownPath, std::string_view agentFileName);

// The agent log beside the executable: "X_" + name (unless it has it) with
// the extension ".log", so the agent and its copy share one file.
std::string AgentLogFilePath(std::string_view ownPath);
// "dd/mm/yy HH:NN:SS", a blank, the thread id right-aligned to 5, the tag,
// the text.
std::string AgentLogLine(std::string_view dateTime, std::uint32_t threadId, std::string_view tag,
                         std::string_view text);

// Arguments for the "Y_" copy of a spanned setup's first level. The user's
// own span switches are dropped from the tail first: the first occurrence of
// a switch wins, and a "/SpanCdLvl=1" kept in front of ours made every copy
// relaunch the next one.
std::string SpanRelaunchArguments(std::string_view argumentTail, std::string_view ownPath);

// `tail` without every "/NAME=value" switch the switch reader would find for
// `name` ("/SpanCdLvl="): any case, quotes ignored, blanks before the "="
// allowed, the value up to the next switch.
std::string WithoutSwitch(std::string_view tail, std::string_view name);

// The environment variable a spanned launcher sets for its "Y_" copy. A
// copy that finds it never relaunches again, whatever its command line
// says; it clears it at once, so what it starts does not inherit it.
inline constexpr char kSpanRelaunchMark[] = "VANTOR_SPAN_RELAUNCHED";

// The command line that starts the program at `path`: the path in quotes
// (unquoted, "C:\Program Files\..." would start "C:\Program.exe" or
// nothing), then `arguments` as given, each with its own leading blank.
std::string ProgramCommandLine(std::string_view path, std::string_view arguments);

// The agent's working copy beside it: "X_" + the own file name.
std::string XCopyPath(std::string_view ownPath);
// The copy's arguments from the plain agent's "/TRANSIENT=" and "/DELAY="
// values: " /TRANSIENTx=" + transient, replaced by " /SleepX=" + delay when
// a delay is given; empty values add nothing.
std::string XCopyArguments(std::string_view transient, std::string_view delay);

}  // namespace startup
