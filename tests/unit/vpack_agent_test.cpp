// `vpack agent` writes what a vendor ships for the update agent; the agent's
// own readers must understand it, and `vpack info` must show it.
#include <gtest/gtest.h>

#include "agent/descriptors.h"
#include "agent/eligibility.h"
#include "agent/services.h"
#include "agent_fakes.h"
#include "pack/agent_writer.h"
#include "pack/reader.h"
#include "package/file_info.h"
#include "vpack_test_util.h"

namespace {

using namespace vpack_test;

class VpackAgent : public ScratchTest {
protected:
  std::vector<std::string> Args() {
    return {"agent",
            "--stub",
            Path("stub.exe"),
            "-o",
            Path("ship"),
            "--update-url",
            "http://upd.invalid/app",
            "--update-info",
            "App.v2.info",
            "--agent-name",
            "App.AutoUpdate.exe",
            "--version",
            "3",
            "--check-interval",
            "86400",
            "--program",
            "<InstallDir>\\App.exe",
            "--program-name",
            "App Deluxe",
            "--shutdown-method",
            "Using WM_QUIT",
            "--update-token-plain",
            "app token",
            "--flag-agent-log"};
  }
};

TEST_F(VpackAgent, WritesAnAgentAndDescriptorsTheAgentReads) {
  std::string out, err;
  ASSERT_EQ(RunVpack(Args(), out, err), 0) << err;
  EXPECT_EQ(err, "");

  const package::TGFileInfo agentInfo(Path("ship/App.AutoUpdate.exe"));
  EXPECT_TRUE(agentInfo.IsUpdateAgent());
  EXPECT_TRUE(agentInfo.AgentLog());
  EXPECT_FALSE(agentInfo.CarryAgent());
  EXPECT_EQ(agentInfo.UpdateUrl(), "http://upd.invalid/app");
  EXPECT_EQ(agentInfo.UpdateInfoName(), "App.v2.info");
  EXPECT_EQ(agentInfo.AgentFileName(), "App.AutoUpdate.exe");
  EXPECT_EQ(agentInfo.UpdateToken(true), "app token");
  std::size_t blocks = 0;
  pack::PackageReader(Path("ship/App.AutoUpdate.exe")).Walk({}, [&](const pack::PayloadBlock&) {
    return ++blocks, true;
  });
  EXPECT_EQ(blocks, 0u);

  // The names the agent computes from its own header.
  agent::IniFileSettings store;
  agent::Descriptors d(store, agent::OriginalFilePathFor(Path("ship"), agentInfo.UpdateInfoName()),
                       agent::InfoFilePathFor(Path("ship"), agentInfo.UpdateInfoName()));
  ASSERT_TRUE(fs::exists(d.OriginalFilePath())) << d.OriginalFilePath();
  EXPECT_EQ(fs::path(d.OriginalFilePath()).filename(), "App.original");
  EXPECT_EQ(d.VersionOriginal(), 3);
  EXPECT_EQ(d.ProbeSecondsInterval(), 86400);
  EXPECT_EQ(d.ProgramName(), "App Deluxe");
  EXPECT_NE(d.AutoUpdateText("s11"), "");
  // The question before a check joins s22, s23 and s24; the blank that
  // starts s23 must survive the profile reader, which trims values.
  EXPECT_EQ(d.AutoUpdateText("s23"), " on the Internet");
  EXPECT_NE((d.AutoUpdateText("s22") + d.AutoUpdateText("s23")).find("version on the Internet"),
            std::string::npos);
  EXPECT_EQ(d.ShutDownMethod(), "Using WM_QUIT");
  EXPECT_EQ(d.RunningProcess(), "<InstallDir>\\App.exe");
  EXPECT_TRUE(d.RestartProcess());
  EXPECT_EQ(d.DownloadURL_UPDATE(), "http://upd.invalid/app");
  EXPECT_EQ(d.VersionNew(), 3);

  // The first .info offers nothing: the product is at that version.
  agent_test::FakeClock clock;
  agent_test::FakeRegistry registry;
  agent_test::FakeSizeProbe sizes;
  agent_test::RecordingLog log;
  agent::Eligibility e(d, clock, registry, sizes, log);
  int code = -1;
  std::string reason;
  EXPECT_FALSE(e.GetOkToPerformAU(true, code, reason));
  EXPECT_EQ(code, agent::kVersionNotHigher);
}

TEST_F(VpackAgent, InfoShowsTheDescriptorsBesideTheAgentAndADescriptorAlone) {
  std::string out, err;
  ASSERT_EQ(RunVpack(Args(), out, err), 0) << err;
  ASSERT_EQ(RunVpack({"info", Path("ship/App.AutoUpdate.exe"), "--json"}, out, err), 0) << err;
  const auto j = nlohmann::ordered_json::parse(out);
  EXPECT_EQ(j["descriptors"]["original"]["OriginalSetup"]["VersionOriginal"], 3);
  EXPECT_EQ(j["descriptors"]["info"]["NewSetup"]["ShutDownMethod"], "Using WM_QUIT");

  ASSERT_EQ(RunVpack({"info", Path("ship/App.AutoUpdate.exe")}, out, err), 0) << err;
  EXPECT_NE(out.find("auto-update agent"), std::string::npos);
  EXPECT_NE(out.find("Descriptors beside the agent"), std::string::npos);
  EXPECT_NE(out.find("ProbeSecondsInterval"), std::string::npos);

  ASSERT_EQ(RunVpack({"info", Path("ship/App.original")}, out, err), 0) << err;
  EXPECT_NE(out.find("VersionOriginal"), std::string::npos);
  EXPECT_NE(out.find("App Deluxe"), std::string::npos);

  // Without its .original the agent's info says so.
  fs::remove(Path("ship/App.original"));
  ASSERT_EQ(RunVpack({"info", Path("ship/App.AutoUpdate.exe")}, out, err), 0) << err;
  EXPECT_NE(out.find("App.original: not there"), std::string::npos);
}

TEST_F(VpackAgent, RefusesWhatTheAgentCouldNotUseAndLeavesNothing) {
  const struct {
    const char* what;
    std::vector<std::pair<std::string, std::string>> change;
  } cases[] = {
      {"version 0", {{"--version", "0"}}},
      {"negative version", {{"--version", "-2"}}},
      {"interval below -1", {{"--check-interval", "-2"}}},
      {"agent name with a folder", {{"--agent-name", "bin/App.AutoUpdate.exe"}}},
      {"unknown shut-down method", {{"--shutdown-method", "Kill it"}}},
      {"descriptor without a name", {{"--update-info", "upd/"}}},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = Args();
    for (const auto& [option, value] : c.change)
      for (std::size_t i = 0; i + 1 < args.size(); ++i)
        if (args[i] == option) args[i + 1] = value;
    std::string out, err;
    EXPECT_NE(RunVpack(args, out, err), 0) << c.what;
    EXPECT_FALSE(fs::exists(Path("ship")) && !fs::is_empty(Path("ship"))) << c.what;
  }
}

// A second run into the same folder would silently drop the vendor's edits
// of the descriptors; only --force replaces them.
TEST_F(VpackAgent, KeepsFilesAlreadyThereUnlessForced) {
  std::string out, err;
  ASSERT_EQ(RunVpack(Args(), out, err), 0) << err;
  const std::string edited = ReadFile(Path("ship/App.original")) + "; edited\r\n";
  WriteFile(Path("ship/App.original"), edited);
  EXPECT_NE(RunVpack(Args(), out, err), 0);
  EXPECT_NE(err.find("App.AutoUpdate.exe exists"), std::string::npos) << err;
  EXPECT_EQ(ReadFile(Path("ship/App.original")), edited);
  // Each file alone is enough to refuse.
  for (const char* only : {"App.original", "App.v2.info"}) {
    fs::remove_all(Path("ship"));
    WriteFile(dir_ / "ship" / only, edited);
    EXPECT_NE(RunVpack(Args(), out, err), 0) << only;
    EXPECT_NE(err.find("give --force"), std::string::npos) << err;
    EXPECT_EQ(ReadFile(dir_ / "ship" / only), edited);
  }
  std::vector<std::string> forced = Args();
  forced.push_back("--force");
  ASSERT_EQ(RunVpack(forced, out, err), 0) << err;
  EXPECT_EQ(ReadFile(Path("ship/App.original")).find("; edited"), std::string::npos);
}

} // namespace
