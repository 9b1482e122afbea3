// How a failed run reports itself, on the setup road and the download road
// alike: always a trace line (and an agent log line where an agent runs),
// a box only when a person is there to read it, and the exit code the
// process ends with. A run under "/hide" never waits for anybody.
#pragma once

#include <string>

namespace flows {

struct Failure {
  int exitCode = 0;    // one of flows/exit_codes.h
  std::string why;     // the trace text
  std::string markup;  // the box text; empty when there is none to show
};

// Where a report goes; failure_report_win.cpp has the stub's.
class FailureOutput {
 public:
  virtual ~FailureOutput() = default;
  virtual void Trace(const std::string& line) = 0;
  virtual void ShowBox(const std::string& markup) = 0;
};

// Sets the exit code, traces `FailureTraceText`, and shows the box only in
// a foreground run with a text to show.
void ReportFailure(const Failure& failure, bool foreground, FailureOutput& out);

// "Setup failed, exit code <code>: <why>".
std::string FailureTraceText(const Failure& failure);

// The exit code the process ends with: the engine's, a failure's, or 0.
int SetupExitCode();
void SetSetupExitCode(int code);
// The same, set back to 0: the agent runs a setup without taking its code.
int TakeSetupExitCode();

// Windows build only: ReportFailure to the debug trace and the agent log,
// the box in the own package's language ("Error" caption, "BtnText",
// character set).
void ReportFailure(const Failure& failure, bool foreground);

}  // namespace flows
