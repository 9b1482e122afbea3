#include "package/engine_result.h"

namespace package {

EngineResult EngineResultFromField(std::string_view field) {
  return field == kEngineResultExitCodeText ? EngineResult::kExitCode : EngineResult::kHandshake;
}

const char* EngineResultName(EngineResult rule) {
  return rule == EngineResult::kExitCode ? "exit-code" : "handshake";
}

bool EngineResultFromName(std::string_view name, EngineResult& rule) {
  for (EngineResult r : {EngineResult::kHandshake, EngineResult::kExitCode}) {
    if (name == EngineResultName(r)) {
      rule = r;
      return true;
    }
  }
  return false;
}

bool SetupSucceeded(const EngineRun& run) {
  if (!run.started) return false;
  if (run.rule == EngineResult::kExitCode)
    return run.exitCode == 0 || run.exitCode == kExitRestartRequired;
  return run.atomTaken;
}

bool UpdateSucceeded(const EngineRun& run) {
  if (run.rule == EngineResult::kExitCode) return SetupSucceeded(run);
  return SetupSucceeded(run) && run.exitCode == 0;
}

}  // namespace package
