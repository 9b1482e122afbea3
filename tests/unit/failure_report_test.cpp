#include "flows/failure_report.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Recorder : flows::FailureOutput {
  std::vector<std::string> traced, boxes;
  void Trace(const std::string& line) override { traced.push_back(line); }
  void ShowBox(const std::string& markup) override { boxes.push_back(markup); }
};

TEST(FailureReport, HiddenRunsTraceAndSetTheCodeButShowNoBox) {
  struct Case {
    bool foreground;
    std::string markup;
    bool box;
  } cases[] = {{true, "<B>x</B>", true}, {false, "<B>x</B>", false}, {true, "", false},
               {false, "", false}};
  for (const Case& c : cases) {
    Recorder out;
    flows::SetSetupExitCode(0);
    flows::ReportFailure({91, "damaged package: a.exe", c.markup}, c.foreground, out);
    EXPECT_EQ(flows::SetupExitCode(), 91);
    ASSERT_EQ(out.traced.size(), 1u);
    EXPECT_EQ(out.traced[0], "Setup failed, exit code 91: damaged package: a.exe");
    EXPECT_EQ(out.boxes.size(), c.box ? 1u : 0u) << c.foreground << " " << c.markup;
  }
}

TEST(FailureReport, TakeSetsTheCodeBackToZero) {
  flows::SetSetupExitCode(1602);
  EXPECT_EQ(flows::TakeSetupExitCode(), 1602);
  EXPECT_EQ(flows::SetupExitCode(), 0);
}

}  // namespace
