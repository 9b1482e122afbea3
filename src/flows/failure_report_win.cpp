#include <windows.h>

#include "flows/failure_report.h"
#include "startup/stub_state.h"
#include "ui/message_box.h"
#include "util/text.h"
#include "util/trace.h"

namespace flows {

namespace {

constexpr char kButtons[] = "|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|";

class StubFailureOutput : public FailureOutput {
 public:
  void Trace(const std::string& line) override {
    util::WriteTraceLine(util::IntToStr(GetCurrentProcessId()) + " ==== " + line);
    startup::AgentLog(line);
  }
  void ShowBox(const std::string& markup) override {
    const package::TGFileInfo* own = startup::State().ownFileInfo;
    ui::ShowErrorBox(1, markup, own ? own->LangString("Error", "Error") : "Error",
                     own ? own->Charset() : 0, own ? own->LangString("BtnText", kButtons) : kButtons);
  }
};

}  // namespace

void ReportFailure(const Failure& failure, bool foreground) {
  StubFailureOutput out;
  ReportFailure(failure, foreground, out);
}

}  // namespace flows
