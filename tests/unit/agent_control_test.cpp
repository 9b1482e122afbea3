// The agent's control commands, the requests they leave for the timer, the
// override values and the names the relay builds.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "startup/agent_commands.h"
#include "startup/agent_overrides.h"
#include "startup/run_mode.h"

namespace {

using startup::DispatchAgentCommand;

// Descriptors as a map; every other call is recorded as text.
class FakeHost : public startup::AgentCommandHost {
public:
  std::map<std::pair<std::string, std::string>, std::string> keys;
  std::vector<std::string> calls;
  int state = 0;

  std::string ReadDescriptorKey(std::string_view section, std::string_view key) override {
    const auto it = keys.find({std::string(section), std::string(key)});
    return it == keys.end() ? std::string() : it->second;
  }
  void WriteDescriptorKey(std::string_view section, std::string_view key,
                          std::string_view value) override {
    keys[{std::string(section), std::string(key)}] = value;
  }
  int AgentState() override { return state; }
  void SetOverride(int position, std::int64_t value) override {
    calls.push_back("override " + std::to_string(position) + " " + std::to_string(value));
  }
  void SetStopRequest(std::int64_t request) override {
    calls.push_back("stop " + std::to_string(request));
  }
  void RequestCycle(std::int64_t mode) override {
    calls.push_back("cycle " + std::to_string(mode));
  }
  void SetUpdateRequest() override { calls.push_back("update"); }
};

TEST(AgentCommands, ReadsTakeTheirKeyAndSection) {
  FakeHost host;
  host.keys = {{{"OriginalSetup", "VersionOriginal"}, "17"},
               {{"OriginalSetup", "VersionNew"}, "99"}, // not the one command 5 reads
               {{"NewSetup", "VersionNew"}, "18"},
               {{"OriginalSetup", "ProbeSecondsInterval"}, "-1"},
               {{"OriginalSetup", "ReAskSecondsInterval"}, " 3600 "},
               {{"OriginalSetup", "ProbeSecondsLast"}, "yes"},
               {{"OriginalSetup", "ReAskSecondsLast"}, "123456"}};
  host.state = 3;
  const struct {
    std::uintptr_t command;
    std::intptr_t result;
  } cases[] = {{4, 17},      {5, 18}, {7, 3}, {8, -1}, {9, 3600}, {10, 0},
               {11, 123456}, {1, 0},  {6, 0}, {16, 0}, {99, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    EXPECT_EQ(DispatchAgentCommand(host, c.command, 5), c.result);
  }
  EXPECT_TRUE(host.calls.empty());
  FakeHost empty;
  EXPECT_EQ(DispatchAgentCommand(empty, 4, 0), 0); // missing .original
}

TEST(AgentCommands, WritesStoreDecimalAndTimesTheirReadableTwin) {
  FakeHost host;
  EXPECT_EQ(DispatchAgentCommand(host, 12, -1), 0);
  EXPECT_EQ(DispatchAgentCommand(host, 13, 86400), 0);
  EXPECT_EQ(DispatchAgentCommand(host, 14, static_cast<std::intptr_t>(4005806400LL)), 0);
  EXPECT_EQ(DispatchAgentCommand(host, 15, 0), 0);
  const std::map<std::pair<std::string, std::string>, std::string> want = {
      {{"OriginalSetup", "ProbeSecondsInterval"}, "-1"},
      {{"OriginalSetup", "ReAskSecondsInterval"}, "86400"},
      {{"OriginalSetup", "ProbeSecondsLast"}, "4005806400"},
      {{"OriginalSetup", "__ProbeSecondsLast"}, "07-DEC-2026 12:00:00"},
      {{"OriginalSetup", "ReAskSecondsLast"}, "0"},
      {{"OriginalSetup", "__ReAskSecondsLast"}, "30-DEC-1899 00:00:00"}};
  EXPECT_EQ(host.keys, want);
  // What was written reads back through the read commands.
  EXPECT_EQ(DispatchAgentCommand(host, 8, 0), -1);
  EXPECT_EQ(DispatchAgentCommand(host, 9, 0), 86400);
}

TEST(AgentCommands, OverridesStopAndRequests) {
  FakeHost host;
  for (std::uintptr_t command : {20, 25, 30, 31, 32})
    EXPECT_EQ(DispatchAgentCommand(host, command, 2), 0);
  EXPECT_EQ(DispatchAgentCommand(host, 30, -1), 0);
  EXPECT_EQ(host.calls, (std::vector<std::string>{"override 0 2", "override 5 2", "stop 2",
                                                  "cycle 2", "update", "stop -1"}));
}

TEST(AgentRequests, CycleRequestLiftsTheStartDelay) {
  const struct {
    std::int64_t countdown, mode, countdownAfter;
    int modeAfter;
  } cases[] = {{-30, 0, 1, 0}, {0, 2, 1, 2}, {1, 1, 1, 0}, {57, 2, 57, 2}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.countdown);
    startup::AgentRequests r;
    std::int64_t countdown = c.countdown;
    startup::RequestCycle(r, countdown, c.mode);
    EXPECT_TRUE(r.cycleRequest);
    EXPECT_EQ(countdown, c.countdownAfter);
    EXPECT_EQ(r.cycleMode, c.modeAfter);
  }
}

TEST(AgentRequests, StopRequestEndsAfterThatManyTicks) {
  startup::AgentRequests r;
  for (int tick = 0; tick < 5; ++tick)
    EXPECT_FALSE(startup::StopRequestTick(r)); // none set
  r.stopRequest = 2;
  EXPECT_FALSE(startup::StopRequestTick(r));
  EXPECT_FALSE(startup::StopRequestTick(r));
  EXPECT_TRUE(startup::StopRequestTick(r));
  EXPECT_FALSE(startup::StopRequestTick(r)); // once
}

TEST(AgentRelay, DescriptorFilesLieBesideTheAgent) {
  const auto f = startup::DescriptorFilesFor("C:\\Program Files\\P\\Prog.AutoUpdate.exe",
                                             "http://x/updates/Product.v2.info");
#ifdef _WIN32
  EXPECT_EQ(f.info, "C:\\Program Files\\P\\Product.v2.info");
  EXPECT_EQ(f.original, "C:\\Program Files\\P\\Product.original");
#else
  EXPECT_EQ(f.info, "C:\\Program Files\\P/Product.v2.info");
  EXPECT_EQ(f.original, "C:\\Program Files\\P/Product.original");
#endif
}

TEST(AgentRelay, ListenerSwitch) {
  const struct {
    const char* value;
    std::uint64_t window, message;
  } cases[] = {{"65620:49321", 65620, 49321}, {"65620", 65620, 0}, {"x:7", 0, 7},
               {" 12 : 34 :5", 12, 34},       {"", 0, 0},          {":", 0, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    const auto a = startup::ParseListenerSwitch(c.value);
    EXPECT_EQ(a.window, c.window);
    EXPECT_EQ(a.message, c.message);
  }
}

TEST(AgentRelay, CopyCommandLineQuotesThePath) {
  using startup::XCopyArguments;
  EXPECT_EQ(XCopyArguments("", ""), "");
  EXPECT_EQ(XCopyArguments("|1|0|", ""), " /TRANSIENTx=|1|0|");
  EXPECT_EQ(XCopyArguments("|1|0|", "5"), " /SleepX=5"); // the delay replaces the overrides
  EXPECT_EQ(XCopyArguments("", "0"), " /SleepX=0");
  const std::string copy = startup::XCopyPath("C:\\Program Files\\V T\\Prog.AutoUpdate.exe");
  EXPECT_EQ(copy.substr(0, 20), "C:\\Program Files\\V T");
  EXPECT_EQ(copy.substr(21), "X_Prog.AutoUpdate.exe");
  EXPECT_EQ(startup::ProgramCommandLine("C:\\Program Files\\V\\X_a.exe", " /SleepX=5"),
            "\"C:\\Program Files\\V\\X_a.exe\" /SleepX=5");
  EXPECT_EQ(startup::ProgramCommandLine("C:\\V\\X_a.exe", ""), "\"C:\\V\\X_a.exe\"");
  EXPECT_EQ(startup::ProgramCommandLine("\"C:\\a b\\x.exe\"", " y"), "\"C:\\a b\\x.exe\" y");
}

TEST(AgentOverrides, TextRoundTripAndPartialLoads) {
  using namespace startup;
  ResetOverrides();
  EXPECT_EQ(OverridesToText(), "|255|255|255|255|255|255|255|255|");
  OverridesFromText("|1|0|");
  EXPECT_EQ(OverridesToText(), "|1|0|255|255|255|255|255|255|");
  OverridesFromText("|x| 7 ||1|2|3|4|5|6|");
  EXPECT_EQ(OverridesToText(), "|1|7|255|1|2|3|4|5|");
  OverridesFromText("1|0"); // not a field list: nothing changes
  EXPECT_EQ(OverridesToText(), "|1|7|255|1|2|3|4|5|");
  SetOverride(5, 0x101); // a byte
  SetOverride(6, 1);     // beyond what the commands may set
  SetOverride(-1, 1);
  EXPECT_EQ(OverrideValue(5), 1);
  EXPECT_EQ(OverrideValue(6), 4);
  EXPECT_EQ(OverrideValue(8), kOverrideNotSet);
  ResetOverrides();
}

} // namespace
