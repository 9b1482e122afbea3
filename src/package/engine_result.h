// How a setup package says whether its engine did its work: the launch
// handshake (the engine deletes the launch atom), or, for engines that
// cannot take it (a vendor's own installer), the engine's exit code.
// docs/engine-contract.md is the engine's side of it.
#pragma once

#include <string_view>

namespace package {

enum class EngineResult { kHandshake, kExitCode };

// UpdateInfo field 6 as written by `vpack build --engine-result exit-code`.
// Packages without the field, and any text this reader does not know, keep
// the handshake.
inline constexpr std::string_view kEngineResultExitCodeText = "exit-code";
EngineResult EngineResultFromField(std::string_view field);
// "handshake" or "exit-code", the option's values.
const char* EngineResultName(EngineResult rule);
// Parses the option's value; false for any other text.
bool EngineResultFromName(std::string_view name, EngineResult& rule);

// "Restart required": an installer that did its work and wants a reboot.
inline constexpr int kExitRestartRequired = 3010;

// What the setup road saw of one engine run.
struct EngineRun {
  EngineResult rule = EngineResult::kHandshake;
  bool started = false;
  bool atomTaken = false;  // the launch atom was gone after the wait
  int exitCode = 0;
};

// The setup run's verdict (it lets the run remove the shortcuts the new
// descriptor names): the atom taken, or by the exit-code rule 0 or 3010.
bool SetupSucceeded(const EngineRun& run);
// The agent's verdict, which records the new version: under the handshake
// the engine must also have ended with 0; the exit-code rule as above.
bool UpdateSucceeded(const EngineRun& run);

}  // namespace package
