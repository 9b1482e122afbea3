// The texts the setup road builds: the engine's command line and the
// temporary-space question.
#pragma once

#include <string>
#include <string_view>

namespace package {

// Deletes from the first occurrence of `name` up to the next "/" (which
// stays) or the end.
std::string RemoveSwitch(std::string_view commandLine, std::string_view name);

struct EngineLaunch {
  std::string workFolder;   // with or without a trailing backslash
  std::string launchText;   // "Engine.exe" or "Engine.exe*args"
  std::string extraArgs;    // the stub's own argument tail
  std::string launchToken;  // "_" + thread id
  std::string ownPath;      // the stub's full path
  bool isAutoUpdateProg = false;
};
// The engine's command line: work folder + engine (quoted when its path has
// a blank), the stub's arguments, the engine's own, " /TH_ID=" + token, the
// quoted " /OriginExe=" unless one is there, " /AutoUpdateProg" for the
// agent; never the span switches.
std::string EngineCommandLine(const EngineLaunch& launch);

// An engine whose own manifest demands administrator rights does not start
// from a stub without them: the plain process start fails with this error.
// The setup road then has the shell start it elevated ("runas") with the
// same command line, split into the program and its parameters.
inline constexpr unsigned long kErrorElevationRequired = 740;
inline bool NeedsElevatedStart(unsigned long startError) {
  return startError == kErrorElevationRequired;
}
struct ShellCommand {
  std::string file;        // without its quotes
  std::string parameters;  // the rest, leading blanks dropped
};
ShellCommand SplitCommandLine(std::string_view commandLine);

struct SpaceFacts {
  std::string folder;
  double required = 0;
  double available = 0;
  bool alwaysReportTempDrive = false;
};
// Looks up a package text by key with its default.
using TextLookup = std::string (*)(const void* context, std::string_view key,
                                   std::string_view def);
// The markup of the space question, or empty when there is nothing to ask.
std::string TempSpaceQuestion(const SpaceFacts& facts, TextLookup text, const void* context);

}  // namespace package
