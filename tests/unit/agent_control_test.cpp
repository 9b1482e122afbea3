// The agent's control commands and the names the relay builds.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "startup/agent_commands.h"
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

} // namespace
