// vpack release: a new version laid out ready to upload, checked as an
// agent will check it, or nothing at all.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "agent/descriptors.h"
#include "agent/services.h"
#include "pack/cli.h"
#include "trust/update_signature.h"
#include "vpack_test_util.h"

namespace {

using namespace vpack_test;

class VpackRelease : public ScratchTest {
protected:
  void SetUp() override {
    ScratchTest::SetUp();
    ASSERT_EQ(Run({"keygen", Path("keys/app")}), 0) << err_;
    WriteFile(dir_ / "AppSetup3.exe", RawPackage({{"readme.txt", "version 3"}}));
    // The previous release, as it lies at the update location.
    WriteFile(dir_ / "App.info",
              "[NewSetup]\r\nDownloadURL_UPDATE=https://upd.example.com/app\r\n"
              "NameOfUpdateFile=AppSetup2.exe\r\nSizeOfUpdateFile=1234\r\nVersionNew=2\r\n"
              "Stamp=41\r\nValidVersions=1,2\r\nRolloutPercent=5\r\nShutDownMethod=Using WM_CLOSE\r\n");
  }
  int Run(const std::vector<std::string>& args) { return RunVpack(args, out_, err_); }
  int Release(std::vector<std::string> more) {
    std::vector<std::string> args = {"release", Path("AppSetup3.exe"), "--info", Path("App.info"),
                                      "--version", "3", "--key", Path("keys/app.key"),
                                      "-o", Path("out")};
    args.insert(args.end(), more.begin(), more.end());
    return Run(args);
  }
  std::string Key(const std::string& key) {
    agent::IniFileSettings store;
    return store.Read(Path("out/App.info"), "NewSetup", key, "");
  }
  std::string out_, err_;
};

TEST_F(VpackRelease, WritesSignsAndChecksTheNewDescriptor) {
  ASSERT_EQ(Release({"--rollout", "10"}), 0) << err_;
  EXPECT_EQ(ReadFile(dir_ / "out/AppSetup3.exe"), ReadFile(dir_ / "AppSetup3.exe"));
  EXPECT_EQ(Key("NameOfUpdateFile"), "AppSetup3.exe");
  EXPECT_EQ(Key("SizeOfUpdateFile"), std::to_string(fs::file_size(dir_ / "AppSetup3.exe")));
  EXPECT_EQ(Key("VersionNew"), "3");
  EXPECT_EQ(Key("Stamp"), "42");
  EXPECT_EQ(Key("RolloutPercent"), "10");
  EXPECT_EQ(Key("ValidVersions"), "1,2");            // carried over
  EXPECT_EQ(Key("ShutDownMethod"), "Using WM_CLOSE"); // carried over
  EXPECT_EQ(Key("SHA256OfUpdateFile"), trust::FileSha256(Path("AppSetup3.exe")));
  EXPECT_FALSE(Key("Expires").empty());
  EXPECT_TRUE(fs::exists(dir_ / "out/App.info.sig"));
  EXPECT_EQ(Run({"verify-update", Path("out/App.info"), "--key", Path("keys/app.pub")}), 0)
      << out_;
  // Nothing but the three files: the staging folder is gone.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_ / "out"), fs::directory_iterator()), 3);
  // The template is left as it was.
  EXPECT_NE(ReadFile(dir_ / "App.info").find("Stamp=41"), std::string::npos);

  // Without --rollout the next release reaches every install.
  ASSERT_EQ(Run({"release", Path("AppSetup3.exe"), "--info", Path("out/App.info"), "--version",
                 "4", "--key", Path("keys/app.key"), "-o", Path("out4")}),
            0)
      << err_;
  agent::IniFileSettings store;
  EXPECT_EQ(store.Read(Path("out4/App.info"), "NewSetup", "RolloutPercent", ""), "");
  EXPECT_EQ(store.Read(Path("out4/App.info"), "NewSetup", "Stamp", ""), "43");
}

TEST_F(VpackRelease, RefusesWhatAnAgentWouldRefuseAndWritesNothing) {
  WriteFile(dir_ / "NotAPackage.exe", RandomBytes(3000, 7));
  WriteFile(dir_ / "NoUrl.info", "[NewSetup]\r\nVersionNew=2\r\n");
  const struct {
    const char* what;
    std::string setup, info, version, key;
    std::vector<std::string> extra;
    const char* message;
  } cases[] = {
      {"version not above the previous", "AppSetup3.exe", "App.info", "2", "keys/app.key", {},
       "not above the previous"},
      {"not a package", "NotAPackage.exe", "App.info", "3", "keys/app.key", {},
       "not a sound package"},
      {"no download location", "AppSetup3.exe", "NoUrl.info", "3", "keys/app.key", {},
       "no DownloadURL_UPDATE"},
      {"a public key to sign with", "AppSetup3.exe", "App.info", "3", "keys/app.pub", {},
       "private key"},
      {"rollout above 100", "AppSetup3.exe", "App.info", "3", "keys/app.key", {"--rollout", "101"},
       "101"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::string> args = {"release", Path(c.setup), "--info", Path(c.info),
                                     "--version", c.version, "--key", Path(c.key),
                                     "-o", Path("out")};
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    EXPECT_NE(Run(args), 0);
    EXPECT_NE((out_ + err_).find(c.message), std::string::npos) << out_ << err_;
    EXPECT_FALSE(fs::exists(dir_ / "out") && !fs::is_empty(dir_ / "out"));
  }
}

TEST_F(VpackRelease, KeepsAnEarlierReleaseUnlessForced) {
  ASSERT_EQ(Release({}), 0) << err_;
  const std::string first = ReadFile(dir_ / "out/App.info");
  EXPECT_EQ(Release({}), 1);
  EXPECT_NE(err_.find("--force"), std::string::npos);
  EXPECT_EQ(ReadFile(dir_ / "out/App.info"), first);
  EXPECT_EQ(Release({"--force"}), 0) << err_;
}

} // namespace
