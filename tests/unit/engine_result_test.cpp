// How the setup road and the agent judge an engine, and the package option
// that chooses the rule (`vpack build --engine-result`).
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>

#include "pack/cli.h"
#include "pack/update_signing.h"
#include "package/engine_result.h"
#include "package/file_info.h"
#include "util/field_list.h"
#include "vpack_test_util.h"

namespace package {
namespace {

using namespace vpack_test;

TEST(EngineResult, DecisionTable) {
  constexpr auto H = EngineResult::kHandshake, X = EngineResult::kExitCode;
  struct Case {
    EngineResult rule;
    bool started, atomTaken;
    int exitCode;
    bool setup, update;
  };
  const Case cases[] = {
      // The design's rule: the atom decides the setup run; the agent also
      // wants a clean exit.
      {H, true, true, 0, true, true},
      {H, true, true, 3, true, false},
      {H, true, true, kExitRestartRequired, true, false},
      {H, true, false, 0, false, false},
      {H, false, false, 0, false, false},
      // The exit-code rule: 0 and 3010 with or without the atom.
      {X, true, false, 0, true, true},
      {X, true, true, 0, true, true},
      {X, true, false, kExitRestartRequired, true, true},
      {X, true, true, 1, false, false},
      {X, true, false, 2, false, false},
      {X, true, false, -1, false, false},
      {X, true, false, 259, false, false},
      // Not started: no exit code to trust, whatever the fields say.
      {X, false, false, 0, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(EngineResultName(c.rule)) + " started=" +
                 std::to_string(c.started) + " atomTaken=" + std::to_string(c.atomTaken) +
                 " exit=" + std::to_string(c.exitCode));
    EngineRun run;
    run.rule = c.rule;
    run.started = c.started;
    run.atomTaken = c.atomTaken;
    run.exitCode = c.exitCode;
    EXPECT_EQ(SetupSucceeded(run), c.setup);
    EXPECT_EQ(UpdateSucceeded(run), c.update);
  }
}

TEST(EngineResult, OnlyTheKnownTextChoosesTheExitCode) {
  EXPECT_EQ(EngineResultFromField("exit-code"), EngineResult::kExitCode);
  for (const char* other : {"", "handshake", "EXIT-CODE", "exit-code ", "1", "exit-codes"})
    EXPECT_EQ(EngineResultFromField(other), EngineResult::kHandshake) << other;
  EngineResult rule = EngineResult::kHandshake;
  EXPECT_TRUE(EngineResultFromName("exit-code", rule));
  EXPECT_EQ(rule, EngineResult::kExitCode);
  EXPECT_TRUE(EngineResultFromName("handshake", rule));
  EXPECT_EQ(rule, EngineResult::kHandshake);
  EXPECT_FALSE(EngineResultFromName("atom", rule));
}

class VpackEngineResult : public ScratchTest {
protected:
  void SetUp() override {
    ScratchTest::SetUp();
    WriteFile(dir_ / "src" / "Setup.exe", FakeStub(600));
    WriteFile(dir_ / "src" / "readme.txt", "hello");
  }
  int Run(std::vector<std::string> args) {
    args.insert(args.begin(), "vpack");
    std::vector<const char*> argv;
    for (const std::string& a : args) argv.push_back(a.c_str());
    out_.str("");
    err_.str("");
    return pack::RunCli(static_cast<int>(argv.size()), argv.data(), out_, err_);
  }
  int Build(const std::string& out, std::vector<std::string> extra) {
    std::vector<std::string> args = {"build", Path("src"), "--stub", Path("stub.exe"),
                                     "--engine", "Setup.exe", "--update-url", "http://u.invalid",
                                     "--agent-name", "A.exe", "--seed", "7", "-q", "-o", Path(out)};
    args.insert(args.end(), extra.begin(), extra.end());
    return Run(args);
  }
  std::ostringstream out_, err_;
};

TEST_F(VpackEngineResult, WrittenOnlyWhenAskedAndReadBack) {
  ASSERT_EQ(Build("plain.exe", {}), 0) << err_.str();
  ASSERT_EQ(Build("handshake.exe", {"--engine-result", "handshake"}), 0) << err_.str();
  ASSERT_EQ(Build("exit.exe", {"--engine-result", "exit-code"}), 0) << err_.str();
  ASSERT_EQ(Run({"keygen", Path("k")}), 0) << err_.str();
  ASSERT_EQ(Build("keyed.exe", {"--engine-result", "exit-code", "--update-key", Path("k.pub")}), 0)
      << err_.str();
  EXPECT_NE(Build("bad.exe", {"--engine-result", "atom"}), 0);
  EXPECT_FALSE(fs::exists(dir_ / "bad.exe"));

  // The default writes the package as before the option existed.
  EXPECT_EQ(ReadFile(dir_ / "plain.exe"), ReadFile(dir_ / "handshake.exe"));
  const TGFileInfo plain(Path("plain.exe")), exit(Path("exit.exe")), keyed(Path("keyed.exe"));
  EXPECT_EQ(util::SUB::FieldCount(plain.UpdateInfo()), 5);
  EXPECT_EQ(plain.EngineResultRule(), EngineResult::kHandshake);

  // Only fields 5 (empty: no key) and 6 are added; every other field, and
  // so what a reader that stops at field 5 sees, stays.
  EXPECT_EQ(exit.EngineResultRule(), EngineResult::kExitCode);
  EXPECT_EQ(exit.UpdateInfo(), plain.UpdateInfo() + "|exit-code|");
  EXPECT_EQ(exit.UpdateKey(), "");
  EXPECT_EQ(exit.UpdateUrl(), plain.UpdateUrl());
  EXPECT_EQ(exit.AgentFileName(), "A.exe");
  EXPECT_EQ(keyed.EngineResultRule(), EngineResult::kExitCode);
  EXPECT_EQ(keyed.UpdateKey(), pack::PublicKeyHexFromPem(ReadFile(dir_ / "k.pub"), "k.pub"));

  for (const auto& [file, rule] : {std::pair{"plain.exe", "handshake"},
                                   std::pair{"exit.exe", "exit-code"}}) {
    SCOPED_TRACE(file);
    ASSERT_EQ(Run({"info", Path(file), "--json"}), 0) << err_.str();
    const auto j = nlohmann::json::parse(out_.str());
    EXPECT_EQ(j["header"]["updateInfo"]["engineResult"], rule);
    ASSERT_EQ(Run({"info", Path(file)}), 0) << err_.str();
    EXPECT_NE(out_.str().find("engineResult"), std::string::npos) << out_.str();
    EXPECT_NE(out_.str().find(rule), std::string::npos) << out_.str();
  }
}

}  // namespace
}  // namespace package
