#include "flows/failure_report.h"

#include "util/text.h"

namespace flows {

namespace {
int g_exitCode = 0;
}  // namespace

std::string FailureTraceText(const Failure& failure) {
  return "Setup failed, exit code " + util::IntToStr(failure.exitCode) + ": " + failure.why;
}

void ReportFailure(const Failure& failure, bool foreground, FailureOutput& out) {
  g_exitCode = failure.exitCode;
  out.Trace(FailureTraceText(failure));
  if (foreground && !failure.markup.empty()) out.ShowBox(failure.markup);
}

int SetupExitCode() { return g_exitCode; }
void SetSetupExitCode(int code) { g_exitCode = code; }

int TakeSetupExitCode() {
  const int code = g_exitCode;
  g_exitCode = 0;
  return code;
}

}  // namespace flows
