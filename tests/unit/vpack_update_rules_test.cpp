// A vendor's descriptor mistakes: keys no one reads, and descriptors that
// sign-update would sign and verify-update would pass though every agent
// refuses them.
#include <gtest/gtest.h>

#include "pack/agent_writer.h"
#include "pack/key_check.h"
#include "pack/update_signing.h"
#include "trust/update_signature.h"
#include "vpack_test_util.h"

namespace pack {
namespace {

using namespace vpack_test;

std::string Joined(const std::vector<std::string>& lines) {
  std::string s;
  for (const std::string& l : lines)
    s += l + "\n";
  return s;
}

TEST(VpackKeyCheck, UnknownAndMissingDescriptorKeys) {
  const std::string info = "[NewSetup]\r\nDownloadURL_UPDATE=https://u.example.com\r\n"
                           "NameOfUpdateFile=Setup2.exe\r\nSizeOfUpdateFile=5000\r\nStamp=2\r\n";
  const struct {
    const char* name;
    std::string content;
    bool isInfo;
    std::vector<std::string> expected; // each found in the warnings; none: no warning at all
  } cases[] = {
      {"complete .info", info + "VersionNew=2\r\n", true, {}},
      {"a typo", info + "VersionNwe=2\r\n", true,
       {"unknown key VersionNwe in [NewSetup] (did you mean VersionNew?)",
        "missing key VersionNew in [NewSetup]"}},
      {"a misspelt section", "[NewSetpu]\r\nVersionNew=2\r\n", true,
       {"unknown section [NewSetpu] (did you mean NewSetup?)", "missing key DownloadURL_UPDATE"}},
      {"a .original key in a .info", info + "VersionNew=2\r\n[OriginalSetup]\r\nVersionOriginal=1\r\n",
       true, {"unknown section [OriginalSetup]"}},
      {"a news page without its name",
       "[NewSetup]\r\nDownloadURL_UPDATE=x\r\nVersionNew=2\r\nStamp=1\r\n[General]\r\nAutoInform=1\r\n",
       true, {"missing key NameOfInformFile in [AutoInform]"}},
      {"agent texts", "[OriginalSetup]\r\nVersionOriginal=1\r\nProbeSecondsInterval=0\r\n"
                      "__ProbeSecondsLast=x\r\n[AutoUpdate]\r\ns2=a\r\ns99=b\r\n",
       false, {"unknown key s99 in [AutoUpdate]", "missing key s11 in [AutoUpdate]: the agent shows"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string warnings = Joined(DescriptorKeyWarnings(c.content, c.isInfo));
    if (c.expected.empty()) {
      EXPECT_EQ(warnings, "");
    }
    for (const std::string& e : c.expected)
      EXPECT_NE(warnings.find(e), std::string::npos) << warnings;
  }
  EXPECT_EQ(Joined(DescriptorKeyWarnings(info + "VersionNew=2\r\n", true)).find("__"),
            std::string::npos);
  // What vpack agent writes is what the agent reads.
  AgentOptions o;
  o.updateUrl = "https://u.example.com";
  EXPECT_EQ(Joined(DescriptorKeyWarnings(OriginalDescriptorText(o), false)), "");
  EXPECT_EQ(Joined(DescriptorKeyWarnings(InfoDescriptorText(o), true)), "");
}

TEST(VpackKeyCheck, UnknownLanguageKeys) {
  const nlohmann::ordered_json languages = nlohmann::ordered_json::parse(
      R"([{"name":"*","strings":{"s0":"Brand","BtnText":"|OK|","s11x":"?","Caption":"?"}}])");
  const std::string warnings = Joined(LanguageKeyWarnings(languages));
  EXPECT_NE(warnings.find("unknown language key s11x in [*] (did you mean s11?)"),
            std::string::npos)
      << warnings;
  EXPECT_NE(warnings.find("unknown language key Caption"), std::string::npos) << warnings;
  EXPECT_EQ(warnings.find("s0"), std::string::npos) << warnings;
  EXPECT_EQ(warnings.find("BtnText"), std::string::npos) << warnings;
}

class VpackUpdateRules : public ScratchTest {
protected:
  void SetUp() override {
    ScratchTest::SetUp();
    ASSERT_EQ(Run({"keygen", Path("keys/app")}), 0) << err_;
    WriteFile(dir_ / "Setup2.exe", RandomBytes(5000, 3));
    WriteFile(dir_ / "news.txt", "news!!");
  }
  int Run(const std::vector<std::string>& args) { return RunVpack(args, out_, err_); }
  // A descriptor for Setup2.exe with the given [NewSetup] keys replacing
  // the good ones.
  static std::string Info(const std::string& name = "Setup2.exe", const std::string& size = "5000",
                          const std::string& version = "VersionNew=2") {
    return "[NewSetup]\r\nDownloadURL_UPDATE=https://u.example.com\r\nNameOfUpdateFile=" + name +
           "\r\nSizeOfUpdateFile=" + size + "\r\n" + version + "\r\nStamp=2\r\n";
  }
  std::string out_, err_;
};

// Signed or not, these descriptors are refused by every agent: sign-update
// refuses them and writes nothing.
TEST_F(VpackUpdateRules, SignUpdateRefusesWhatAgentsRefuse) {
  const struct {
    const char* name;
    std::string info;
    std::vector<std::string> extra;
    const char* problem; // "" signs
  } cases[] = {
      {"good", Info(), {}, ""},
      {"99 bytes off: within the agent's tolerance", Info("Setup2.exe", "4901"), {}, ""},
      {"100 bytes off", Info("Setup2.exe", "4900"), {}, "SizeOfUpdateFile 4900, the file has 5000"},
      {"size 0", Info("Setup2.exe", "0"), {}, "SizeOfUpdateFile 0"},
      {"version 0", Info("Setup2.exe", "5000", "VersionNew=0"), {}, "VersionNew 0"},
      {"a version key typo", Info("Setup2.exe", "5000", "VersionNwe=2"), {}, "VersionNew 0"},
      {"another setup named", Info("Setup1.exe"), {}, "is not the file given, Setup2.exe"},
      {"a device name", Info("COM1"), {}, "'COM1' is no name an agent writes"},
      {"the descriptor's own name", Info("App.info"), {}, "'App.info' is no name an agent writes"},
      {"no setup and no hash", Info(), {"--no-setup"}, "SHA256OfUpdateFile missing"},
      {"a news page: its setup name is not read",
       Info() + "[General]\r\nAutoInform=1\r\n[AutoInform]\r\nNameOfInformFile=news.txt\r\n"
                "SizeOfInformFile=6\r\n",
       {"--no-setup", "--inform", Path("news.txt")}, ""},
      {"a news page of another size",
       Info() + "[General]\r\nAutoInform=1\r\n[AutoInform]\r\nNameOfInformFile=news.txt\r\n"
                "SizeOfInformFile=600\r\n",
       {"--no-setup", "--inform", Path("news.txt")}, "SizeOfInformFile 600, the file has 6"},
      {"expired, Expires kept", Info() + "Expires=2020-01-01\r\n", {"--expires", "0"},
       "Expires 2020-01-01: expired"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WriteFile(dir_ / "App.info", c.info);
    fs::remove(dir_ / "App.info.sig");
    std::vector<std::string> args = {"sign-update", Path("App.info"), "--key",
                                     Path("keys/app.key")};
    if (c.extra.empty() || c.extra[0] != "--no-setup")
      args.insert(args.end(), {"--setup", Path("Setup2.exe")});
    for (const std::string& e : c.extra)
      if (e != "--no-setup") args.push_back(e);
    const int code = Run(args);
    if (*c.problem == '\0') {
      EXPECT_EQ(code, 0) << err_;
      EXPECT_EQ(Run({"verify-update", Path("App.info"), "--key", Path("keys/app.pub")}), 0)
          << out_;
      continue;
    }
    EXPECT_EQ(code, 1);
    EXPECT_NE(err_.find(c.problem), std::string::npos) << err_;
    EXPECT_NE(err_.find("nothing was signed"), std::string::npos) << err_;
    EXPECT_EQ(ReadFile(dir_ / "App.info"), c.info);
    EXPECT_FALSE(fs::exists(dir_ / "App.info.sig"));
  }
  // The typo is named, not only its effect.
  WriteFile(dir_ / "App.info", Info("Setup2.exe", "5000", "VersionNwe=2"));
  Run({"sign-update", Path("App.info"), "--key", Path("keys/app.key"), "--setup",
       Path("Setup2.exe")});
  EXPECT_NE(err_.find("unknown key VersionNwe in [NewSetup] (did you mean VersionNew?)"),
            std::string::npos)
      << err_;
}

// A validly signed descriptor is still refused by agents; verify-update
// says so (signed here by other means than sign-update, as openssl would).
TEST_F(VpackUpdateRules, VerifyUpdateAppliesTheAgentsRules) {
  const std::string privatePem = ReadFile(dir_ / "keys/app.key");
  const struct {
    const char* name;
    std::string info;
    const char* problem;
  } cases[] = {
      {"size 0", Info("Setup2.exe", "0") + "SHA256OfUpdateFile=00\r\n", "PROBLEM SizeOfUpdateFile 0"},
      {"version 0", Info("Setup2.exe", "5000", "VersionNew=0"), "PROBLEM VersionNew 0"},
      {"expired", Info() + "Expires=2020-01-01\r\n", "PROBLEM Expires 2020-01-01: expired"},
      {"no hash", Info(), "PROBLEM setup SHA-256"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WriteFile(dir_ / "App.info", c.info);
    WriteFile(dir_ / "App.info.sig", SignWithKey(privatePem, c.info));
    EXPECT_EQ(Run({"verify-update", Path("App.info"), "--key", Path("keys/app.pub"), "--setup",
                   Path("Setup2.exe")}),
              1);
    EXPECT_NE(out_.find("OK      signature"), std::string::npos) << out_;
    EXPECT_NE(out_.find(c.problem), std::string::npos) << out_;
  }
}

// The agent a vendor ships decides: its key, its own file names, and the
// descriptor name it fetches.
TEST_F(VpackUpdateRules, VerifyUpdateAgainstTheAgent) {
  ASSERT_EQ(Run({"keygen", Path("keys/other")}), 0);
  const auto agent = [&](const std::string& folder, const std::vector<std::string>& key) {
    std::vector<std::string> args = {"agent", "--stub", Path("stub.exe"), "-o", Path(folder),
                                     "--update-url", "https://u.example.com", "--update-info",
                                     "App.info", "--agent-name", "App.AutoUpdate.exe"};
    args.insert(args.end(), key.begin(), key.end());
    ASSERT_EQ(Run(args), 0) << err_;
  };
  agent("signed", {"--update-key", Path("keys/app.pub")});
  agent("other", {"--update-key", Path("keys/other.pub")});
  agent("unsigned", {});
  const auto sign = [&](const std::string& info, const std::string& name,
                        const std::string& setup = "Setup2.exe") {
    WriteFile(dir_ / name, info);
    ASSERT_EQ(Run({"sign-update", Path(name), "--key", Path("keys/app.key"), "--setup",
                   Path(setup)}),
              0)
        << err_;
  };
  sign(Info(), "App.info");
  const auto verify = [&](const std::string& info, const std::string& agentFolder) {
    return Run({"verify-update", Path(info), "--agent", Path(agentFolder + "/App.AutoUpdate.exe")});
  };
  EXPECT_EQ(verify("App.info", "signed"), 0) << out_;
  EXPECT_EQ(verify("App.info", "other"), 1);
  EXPECT_NE(out_.find("PROBLEM signature"), std::string::npos) << out_;
  EXPECT_EQ(verify("App.info", "unsigned"), 1);
  EXPECT_NE(err_.find("carries no update key"), std::string::npos) << err_;
  EXPECT_EQ(Run({"verify-update", Path("App.info"), "--agent", Path("Setup2.exe")}), 1);
  EXPECT_NE(err_.find("is no agent"), std::string::npos) << err_;

  sign(Info(), "Other.info");
  EXPECT_EQ(verify("Other.info", "signed"), 1);
  EXPECT_NE(out_.find("PROBLEM descriptor name Other.info: the agent fetches App.info"),
            std::string::npos)
      << out_;
  // A setup named as the agent would overwrite it.
  fs::copy_file(dir_ / "Setup2.exe", dir_ / "App.AutoUpdate.exe");
  sign(Info("App.AutoUpdate.exe"), "App.info", "App.AutoUpdate.exe");
  EXPECT_EQ(verify("App.info", "signed"), 1);
  EXPECT_NE(out_.find("PROBLEM NameOfUpdateFile 'App.AutoUpdate.exe'"), std::string::npos) << out_;
}

// The DER bytes of a PEM file's body, decoded here on their own.
std::string PemBody(const std::string& pem) {
  const std::string alphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  const std::size_t begin = pem.find('\n') + 1, end = pem.find("-----END");
  std::string der;
  unsigned bits = 0;
  int count = 0;
  for (char c : pem.substr(begin, end - begin)) {
    const std::size_t v = alphabet.find(c);
    if (v == std::string::npos) continue;
    bits = (bits << 6) | unsigned(v);
    if ((count += 6) >= 8) der.push_back(char((bits >> (count -= 8)) & 0xFF));
  }
  return der;
}

// One key, one fingerprint, wherever it is shown: keygen, the .pub, and
// the agent that carries it.
TEST_F(VpackUpdateRules, KeyFingerprintsCompareKeys) {
  ASSERT_EQ(Run({"keygen", Path("keys/other")}), 0);
  const std::string shown = out_.substr(out_.find("key fingerprint ") + 16, 64);
  EXPECT_EQ(shown, trust::Sha256Of(PemBody(ReadFile(dir_ / "keys/other.pub"))));
  ASSERT_EQ(Run({"info", Path("keys/other.pub")}), 0) << err_;
  EXPECT_NE(out_.find("fingerprint " + shown), std::string::npos) << out_;
  ASSERT_EQ(Run({"agent", "--stub", Path("stub.exe"), "-o", Path("ship"), "--update-url",
                 "https://u.example.com", "--update-info", "App.info", "--agent-name",
                 "App.AutoUpdate.exe", "--update-key", Path("keys/other.pub")}),
            0)
      << err_;
  ASSERT_EQ(Run({"info", Path("ship/App.AutoUpdate.exe"), "--json"}), 0) << err_;
  EXPECT_EQ(nlohmann::json::parse(out_)["header"]["updateInfo"]["updateKeyFingerprint"], shown);
  ASSERT_EQ(Run({"info", Path("keys/app.pub")}), 0);
  EXPECT_EQ(out_.find(shown), std::string::npos) << out_;
}

TEST_F(VpackUpdateRules, InfoWarnsOnDescriptorKeys) {
  WriteFile(dir_ / "App.info", Info("Setup2.exe", "5000", "VersionNwe=2"));
  ASSERT_EQ(Run({"info", Path("App.info")}), 0) << err_;
  EXPECT_NE(err_.find("warning: unknown key VersionNwe in [NewSetup] (did you mean VersionNew?)"),
            std::string::npos)
      << err_;
  EXPECT_NE(out_.find("VersionNew"), std::string::npos) << out_;
}

} // namespace
} // namespace pack
