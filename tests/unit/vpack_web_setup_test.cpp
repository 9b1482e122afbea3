// Web setups: one build writes the full setup and the download-road stub for
// it, read back as the stub reads them (TGFileInfo) and through `info`; bad
// input leaves neither file behind.
#include <gtest/gtest.h>

#include <set>

#include "pack/builder.h"
#include "pack/cli.h"
#include "pack/error.h"
#include "pack/inspector.h"
#include "pack/reader.h"
#include "package/file_info.h"
#include "package/token.h"
#include "trust/update_signature.h"
#include "vpack_test_util.h"

namespace pack {
namespace {

using namespace vpack_test;

class VpackWebSetup : public ScratchTest {
protected:
  void SetUp() override {
    ScratchTest::SetUp();
    WriteFile(dir_ / "src/setup.exe", FakeProgram(RandomBytes(3000, 1)));
    WriteFile(dir_ / "src/data/readme.txt", std::string(5000, 'r'));
    WriteFile(dir_ / "lang.ini", "[ENGLISH]\ns11=Download <SIZE> MB?\n");
    fs::create_directories(dir_ / "upload");
    fs::create_directories(dir_ / "web");
  }

  BuildOptions Options() const {
    BuildOptions o;
    o.force = true; // tests build one output again and again
    o.sourceDir = Path("src");
    o.stubPath = Path("stub.exe");
    o.outputPath = Path("upload/full-setup.exe");
    o.webStubPath = Path("web/websetup.exe");
    o.downloadSource = "http://dl.example.invalid/files";
    o.engine = "setup.exe";
    o.languageFile = Path("lang.ini");
    o.updateUrl = "http://updates.example.invalid/app";
    o.agentName = "Agent.exe";
    o.updateTokenPlain = "update secret";
    o.carryAgent = true;
    o.flagShowSecondBar = true;
    return o;
  }

  // Every file under the scratch folder but the inputs.
  std::set<std::string> Outputs() const {
    std::set<std::string> names;
    for (const auto& e : fs::recursive_directory_iterator(dir_))
      if (e.is_regular_file()) {
        const std::string rel = e.path().lexically_relative(dir_).generic_string();
        if (rel != "stub.exe" && rel != "lang.ini" && rel.rfind("src/", 0) != 0 && rel != "blocker")
          names.insert(rel);
      }
    return names;
  }

  static int Run(const std::vector<std::string>& args, std::string& out, std::string& err) {
    return RunVpack(args, out, err);
  }
};

TEST_F(VpackWebSetup, BothFilesShareOneTokenAndTheStubNamesTheFullSetup) {
  struct Case {
    const char* what;
    std::optional<std::string> plain, raw;
    bool ask, asIs;
  };
  const std::vector<Case> cases = {
      {"plain token", "product secret", std::nullopt, true, false},
      {"raw token", std::nullopt, package::MakeToken("raw secret", 5), false, true},
      {"random token", std::nullopt, std::nullopt, false, false},
  };
  std::set<std::string> randomTokens;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    // The random case twice: a fixed default would make every product's
    // web stub accept every other product's setup.
    for (int round = 0; round < (c.plain || c.raw ? 1 : 2); ++round) {
      BuildOptions o = Options();
      o.downloadTokenPlain = c.plain;
      o.downloadToken = c.raw;
      o.askBeforeDownload = c.ask;
      o.downloadAsIs = c.asIs;
      const BuildResult r = Build(o);
      EXPECT_EQ(Outputs(), (std::set<std::string>{"upload/full-setup.exe", "web/websetup.exe"}));

      package::ResetLanguageSelection();
      const package::TGFileInfo full(o.outputPath), web(o.webStubPath);
      // What the stub compares after downloading.
      EXPECT_EQ(full.DownloadToken(true), web.DownloadToken(true));
      EXPECT_EQ(full.DownloadToken(false), r.downloadToken);
      EXPECT_EQ(web.DownloadToken(false), r.downloadToken);
      if (c.plain) {
        EXPECT_EQ(web.DownloadToken(true), *c.plain);
      } else if (c.raw) {
        EXPECT_EQ(web.DownloadToken(false), *c.raw);
      } else {
        randomTokens.insert(web.DownloadToken(true));
      }

      // The web stub: the download road to the full setup, no payload.
      EXPECT_TRUE(web.UseDownloadRoad());
      EXPECT_EQ(web.AskBeforeDownload(), c.ask);
      EXPECT_EQ(web.trailer().version, 3);
      EXPECT_EQ(web.DownloadSource(), *o.downloadSource);
      EXPECT_EQ(web.DownloadFileName(), "full-setup.exe");
      EXPECT_EQ(web.UseSourceAsIs(), c.asIs);
      EXPECT_EQ(web.DownloadSize(), std::to_string(fs::file_size(o.outputPath)));
      // Its SHA-256 too, checked after the download beside the token.
      EXPECT_EQ(web.DownloadSha256(), trust::FileSha256(o.outputPath));
      EXPECT_EQ(web.DownloadSha256().size(), 64u);
      EXPECT_EQ(full.DownloadSha256(), "");
      EXPECT_EQ(web.trailer().filesCount, 0u);
      EXPECT_EQ(web.PayloadStart() + package::kTrailerSize, fs::file_size(o.webStubPath));
      EXPECT_EQ(r.webStub.bytes, fs::file_size(o.webStubPath));
      // The same texts, update settings and trailer bytes as the full setup.
      EXPECT_EQ(web.LanguageTable(), full.LanguageTable());
      EXPECT_EQ(web.UpdateInfo(), full.UpdateInfo());
      EXPECT_EQ(web.UpdateToken(true), "update secret");
      EXPECT_TRUE(web.CarryAgent());
      EXPECT_TRUE(web.ShowSecondBar());

      // The full setup unpacks itself.
      EXPECT_FALSE(full.UseDownloadRoad());
      EXPECT_FALSE(full.AskBeforeDownload());
      EXPECT_EQ(full.trailer().version, 3);
      EXPECT_EQ(full.trailer().filesCount, 2u);
      EXPECT_EQ(r.engineEntry, "setup.exe*");

      for (const std::string& path : {o.outputPath, o.webStubPath}) {
        SCOPED_TRACE(path);
        EXPECT_TRUE(Verify(path).Ok());
        const auto j = InfoJson(PackageReader(path));
        EXPECT_EQ(j["header"]["downloadInfo"]["token"], r.downloadToken);
        EXPECT_EQ(j["header"]["downloadInfo"]["tokenPlain"], web.DownloadToken(true));
      }
    }
  }
  EXPECT_EQ(randomTokens.size(), 2u);
}

TEST_F(VpackWebSetup, BadInputGivesAMessageAndLeavesNeitherFile) {
  WriteFile(dir_ / "blocker", "a file where a folder is expected");
  fs::create_directories(dir_ / "web/taken.exe"); // a folder: the last rename fails
  // --force: a taken name is then found by the rename, as it would be if it
  // appeared during the build.
  const std::vector<std::string> base = {"build",    Path("src"), "--stub",   Path("stub.exe"),
                                         "--engine", "setup.exe", "--force"};
  const std::string source = "http://dl.example.invalid";
  struct Case {
    const char* what;
    std::vector<std::string> args;
    std::string message;
    std::string full = "upload/full.exe";
  };
  const std::vector<Case> cases = {
      {"no download source", {"--web-stub", Path("web/w.exe")}, "--download-source"},
      {"download road",
       {"--web-stub", Path("web/w.exe"), "--download-source", source, "--download-road"},
       "--download-road"},
      {"spanned",
       {"--web-stub", Path("web/w.exe"), "--download-source", source, "--cd-layout"},
       "--cd-layout"},
      {"one file for both",
       {"--web-stub", Path("upload/full.exe"), "--download-source", source},
       "two files"},
      {"web stub inside the source",
       {"--web-stub", Path("src/w.exe"), "--download-source", source},
       "inside the source"},
      {"web stub the stub itself",
       {"--web-stub", Path("stub.exe"), "--download-source", source},
       "stub itself"},
      {"unwritable web stub",
       {"--web-stub", Path("blocker/w.exe"), "--download-source", source},
       "cannot create"},
      {"web stub cannot be renamed into place",
       {"--web-stub", Path("web/taken.exe"), "--download-source", source},
       "cannot rename"},
      {"unwritable full setup",
       {"--web-stub", Path("web/w.exe"), "--download-source", source},
       "cannot create",
       "blocker/full.exe"},
      {"version 2",
       {"--web-stub", Path("web/w.exe"), "--download-source", source, "--version-byte", "2"},
       "version 3"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::string> args = base;
    args.insert(args.end(), {"-o", Path(c.full)});
    args.insert(args.end(), c.args.begin(), c.args.end());
    std::string out, err;
    EXPECT_NE(Run(args, out, err), 0);
    EXPECT_NE(err.find(c.message), std::string::npos) << err;
    EXPECT_EQ(Outputs(), std::set<std::string>{});
  }
}

TEST_F(VpackWebSetup, CommandLineWritesThePairAndInfoShowsTheSharedToken) {
  std::string out, err;
  ASSERT_EQ(Run({"build", Path("src"), "--stub", Path("stub.exe"), "-o", Path("upload/full.exe"),
                 "--engine", "setup.exe", "--web-stub", Path("web/web.exe"), "--download-source",
                 "http://dl.example.invalid", "--download-token-plain", "shared one",
                 "--update-token", "not a token", "--ask-before-download"},
                out, err),
            0)
      << err;
  const std::string size = std::to_string(fs::file_size(dir_ / "upload/full.exe"));
  EXPECT_NE(out.find("web stub " + Path("web/web.exe")), std::string::npos) << out;
  EXPECT_NE(out.find("full.exe (" + size + " bytes)"), std::string::npos) << out;

  for (const char* file : {"upload/full.exe", "web/web.exe"}) {
    SCOPED_TRACE(file);
    ASSERT_EQ(Run({"info", Path(file)}, out, err), 0) << err;
    EXPECT_NE(out.find("tokenPlain          shared one\n"), std::string::npos) << out;
    // A field that is no token is named so, the same on every run (the
    // stub's reading would give a random number).
    EXPECT_NE(out.find("(not a valid token)"), std::string::npos) << out;
  }
  ASSERT_EQ(Run({"info", "--json", Path("web/web.exe")}, out, err), 0) << err;
  EXPECT_NE(out.find("\"size\": \"" + size + "\""), std::string::npos) << out;
  EXPECT_NE(out.find("\"askBeforeDownload\": 1"), std::string::npos) << out;
}

} // namespace
} // namespace pack
