// Signed updates: the signature and key formats against OpenSSL's, the
// checks with real keys, and vpack's keygen, sign-update, verify-update and
// --update-key as a vendor uses them.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "agent/signed_descriptor.h"
#include "pack/builder.h"
#include "pack/cli.h"
#include "pack/error.h"
#include "pack/update_signing.h"
#include "package/file_info.h"
#include "trust/update_signature.h"
#include "util/field_list.h"
#include "vpack_test_util.h"

namespace {

using namespace vpack_test;

std::string Bytes(std::initializer_list<int> b) {
  std::string s;
  for (int c : b)
    s.push_back(static_cast<char>(c));
  return s;
}

TEST(UpdateSignature, DerSignaturesBecomeRawOrAreRefused) {
  const std::string r32(32, '\x11'), s31(31, '\x22');
  // r with its sign byte (33 bytes), s one byte short (padded).
  const std::string good = Bytes({0x30, 2 + 33 + 2 + 31, 0x02, 33, 0}) + "\x91" + r32.substr(1) +
                           Bytes({0x02, 31}) + s31;
  std::string raw;
  ASSERT_TRUE(trust::RawSignatureFromDer(good, raw));
  EXPECT_EQ(raw, "\x91" + r32.substr(1) + std::string(1, '\0') + s31);

  const auto with = [&](std::size_t at, char c) {
    std::string s = good;
    s[at] = c;
    return s;
  };
  const std::string bad[] = {
      "",
      with(0, 0x31),             // not a SEQUENCE
      with(1, good[1] + 1),      // length beyond the end
      good + "x",                // bytes after it
      with(2, 0x03),             // not an INTEGER
      with(4, 1),                // 33 bytes without a sign byte: too large
      with(5, '\x11'),           // after the sign byte removal: still 33 bytes
      Bytes({0x30, 6, 0x02, 1, 0x80, 0x02, 1, 1}),        // negative r
      Bytes({0x30, 7, 0x02, 2, 0, 0x01, 0x02, 1, 1}),     // r not minimal
      Bytes({0x30, 0x81, 6, 0x02, 1, 1, 0x02, 1, 1}),     // long-form length
      Bytes({0x30, 3, 0x02, 1, 1}),                       // s missing
  };
  for (const std::string& b : bad) {
    SCOPED_TRACE(testing::PrintToString(b));
    EXPECT_FALSE(trust::RawSignatureFromDer(b, raw));
  }
}

TEST(UpdateSignature, OnlyTheKeysSignatureOfTheSameBytesMatches) {
  const pack::KeyPair vendor = pack::GenerateUpdateKey(), other = pack::GenerateUpdateKey();
  const std::string key = pack::PublicKeyHexFromPem(vendor.publicPem, "vendor.pub");
  EXPECT_EQ(key.size(), 128u);
  const std::string data = "[NewSetup]\r\nVersionNew=4\r\n";
  const std::string sig = pack::SignWithKey(vendor.privatePem, data);
  std::string raw;
  EXPECT_TRUE(trust::RawSignatureFromDer(sig, raw)); // OpenSSL's DER is what we take apart
  EXPECT_TRUE(trust::SignatureMatches(key, data, sig));

  std::string changedData = data, changedSig = sig, changedKey = key;
  changedData[14] ^= 1;
  changedSig[sig.size() - 3] ^= 1;
  changedKey[70] = changedKey[70] == '0' ? '1' : '0';
  EXPECT_FALSE(trust::SignatureMatches(key, changedData, sig));
  EXPECT_FALSE(trust::SignatureMatches(key, data, changedSig));
  EXPECT_FALSE(trust::SignatureMatches(changedKey, data, sig));
  EXPECT_FALSE(trust::SignatureMatches(key, data, pack::SignWithKey(other.privatePem, data)));
  EXPECT_FALSE(trust::SignatureMatches(key.substr(2), data, sig));
  EXPECT_FALSE(trust::SignatureMatches("", data, sig));
  EXPECT_FALSE(trust::SignatureMatches(key, data, ""));
}

TEST(UpdateSignature, HashesAndTheirTexts) {
  const std::string abc = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
  EXPECT_EQ(trust::Sha256Of("abc"), abc);
  {
    const auto path = fs::temp_directory_path() / ("sha_" + std::to_string(std::random_device{}()));
    WriteFile(path, "abc");
    EXPECT_EQ(trust::FileSha256(path.string()), abc);
    fs::remove(path);
    EXPECT_EQ(trust::FileSha256(path.string()), "");
  }
  std::string upper = abc;
  for (char& c : upper)
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  EXPECT_TRUE(trust::SameSha256Text(abc, upper));
  EXPECT_FALSE(trust::SameSha256Text("", ""));
  EXPECT_FALSE(trust::SameSha256Text(abc.substr(2), abc.substr(2)));
  EXPECT_FALSE(trust::SameSha256Text(abc, trust::Sha256Of("abd")));
}

TEST(UpdateSignature, PublicKeyFilesAreReadStrictly) {
  const pack::KeyPair keys = pack::GenerateUpdateKey();
  EXPECT_NO_THROW(pack::PublicKeyHexFromPem("\n" + keys.publicPem + "\n", "k"));
  for (const std::string& pem :
       {keys.privatePem, std::string("not a key"), keys.publicPem.substr(0, 60),
        std::string("-----BEGIN PUBLIC KEY-----\nMFkwEwYHKoZIzj0CAQ==\n-----END PUBLIC KEY-----\n")}) {
    SCOPED_TRACE(pem);
    EXPECT_THROW(pack::PublicKeyHexFromPem(pem, "k"), pack::Error);
  }
}

class VpackSigning : public ScratchTest {
protected:
  int Run(std::vector<std::string> args) {
    args.insert(args.begin(), "vpack");
    std::vector<const char*> argv;
    for (const std::string& a : args)
      argv.push_back(a.c_str());
    out_.str("");
    err_.str("");
    return pack::RunCli(static_cast<int>(argv.size()), argv.data(), out_, err_);
  }
  std::ostringstream out_, err_;
};

TEST_F(VpackSigning, KeygenSignVerifyAsAVendorDoes) {
  ASSERT_EQ(Run({"keygen", Path("keys/app")}), 0) << err_.str();
  EXPECT_EQ(Run({"keygen", Path("keys/app")}), 1); // never silently replaced
  EXPECT_NE(err_.str().find("--force"), std::string::npos);
  EXPECT_EQ(fs::status(Path("keys/app.key")).permissions() & fs::perms::others_read,
            fs::perms::none);

  const std::string written =
      "[NewSetup]\r\nNameOfUpdateFile=Setup2.exe\r\nSizeOfUpdateFile=5000\r\nVersionNew=2\r\n";
  WriteFile(dir_ / "App.info", written);
  WriteFile(dir_ / "Setup2.exe", RandomBytes(5000, 3));
  ASSERT_EQ(Run({"sign-update", Path("App.info"), "--key", Path("keys/app.key"), "--setup",
                 Path("Setup2.exe")}),
            0)
      << err_.str();
  const std::string info = ReadFile(dir_ / "App.info");
  EXPECT_NE(info.find("SHA256OfUpdateFile=" + trust::FileSha256(Path("Setup2.exe"))),
            std::string::npos);
  EXPECT_EQ(info.rfind(written, 0), 0u);
  EXPECT_EQ(Run({"verify-update", Path("App.info"), "--key", Path("keys/app.pub")}), 0)
      << out_.str();

  // Each file changed alone fails its check; the others stay good.
  struct Case {
    const char* file;
    std::size_t at;
    const char* problem;
  };
  for (const Case& c : {Case{"App.info", 20, "PROBLEM signature"},
                        Case{"App.info.sig", 10, "PROBLEM signature"},
                        Case{"Setup2.exe", 4000, "PROBLEM setup SHA-256"}}) {
    SCOPED_TRACE(c.file);
    const std::string good = ReadFile(dir_ / c.file);
    std::string bad = good;
    bad[c.at] ^= 1;
    WriteFile(dir_ / c.file, bad);
    EXPECT_EQ(Run({"verify-update", Path("App.info"), "--key", Path("keys/app.pub")}), 1);
    EXPECT_NE(out_.str().find(c.problem), std::string::npos) << out_.str();
    WriteFile(dir_ / c.file, good);
  }
  EXPECT_EQ(Run({"verify-update", Path("App.info"), "--key", Path("keys/app.key")}), 1);
  EXPECT_NE(err_.str().find("is a private key"), std::string::npos);
}

TEST_F(VpackSigning, AFailedSigningChangesNothing) {
  const std::string before =
      "[NewSetup]\r\nNameOfUpdateFile=Setup2.exe\r\nSizeOfUpdateFile=5\r\nVersionNew=2\r\n";
  WriteFile(dir_ / "App.info", before);
  WriteFile(dir_ / "Setup2.exe", "setup");
  WriteFile(dir_ / "not-a-key.key", "hello");
  ASSERT_EQ(Run({"keygen", Path("k")}), 0);
  for (const std::string& key : {Path("not-a-key.key"), Path("k.pub")}) {
    SCOPED_TRACE(key);
    EXPECT_EQ(Run({"sign-update", Path("App.info"), "--key", key, "--setup", Path("Setup2.exe")}), 1);
    EXPECT_EQ(ReadFile(dir_ / "App.info"), before);
    EXPECT_FALSE(fs::exists(dir_ / "App.info.sig"));
  }
  for (const auto& e : fs::directory_iterator(dir_))
    EXPECT_EQ(e.path().string().find(".vpack-tmp"), std::string::npos) << e.path();
}

TEST_F(VpackSigning, UpdateKeyGoesIntoTheAgentAndNothingChangesWithoutIt) {
  ASSERT_EQ(Run({"keygen", Path("k")}), 0);
  const std::vector<std::string> base = {"build", "--stub", Path("stub.exe"), "--agent",
                                         "--download-road", "--update-url", "http://u.invalid",
                                         "--update-info", "App.info", "--agent-name", "A.exe",
                                         "-q"};
  auto with = [&](std::vector<std::string> extra) {
    std::vector<std::string> args = base;
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
  };
  ASSERT_EQ(Run(with({"-o", Path("plain.exe")})), 0) << err_.str();
  ASSERT_EQ(Run(with({"-o", Path("signed.exe"), "--update-key", Path("k.pub")})), 0) << err_.str();
  const package::TGFileInfo plain(Path("plain.exe")), signedAgent(Path("signed.exe"));
  EXPECT_EQ(plain.UpdateKey(), "");
  EXPECT_EQ(util::SUB::FieldCount(plain.UpdateInfo()), 5);
  EXPECT_EQ(util::SUB::FieldCount(signedAgent.UpdateInfo()), 6);
  EXPECT_EQ(signedAgent.UpdateKey(),
            pack::PublicKeyHexFromPem(ReadFile(dir_ / "k.pub"), "k.pub"));
  // Only the key field is added: an agent without one is built as before.
  EXPECT_EQ(signedAgent.UpdateInfo().substr(0, plain.UpdateInfo().size()), plain.UpdateInfo());
  EXPECT_EQ(Run(with({"-o", Path("bad.exe"), "--update-key", Path("k.key")})), 1);
  EXPECT_FALSE(fs::exists(dir_ / "bad.exe"));
}


TEST_F(VpackSigning, SignUpdateWritesExpiresAndTheNewsPageHashAndDropsAByteOrderMark) {
  ASSERT_EQ(Run({"keygen", Path("k")}), 0);
  WriteFile(dir_ / "news.txt", "|token|x|y|Version 2");
  struct Case {
    const char* name;
    std::string before;
    std::vector<std::string> extra;
    std::string expires; // "" for none; "+30" for today + 30
  };
  const Case cases[] = {
      {"the default validity", "[NewSetup]\r\nVersionNew=2\r\n", {}, "+30"},
      {"a week", "[NewSetup]\r\nVersionNew=2\r\n", {"--expires", "7"}, "+7"},
      {"no Expires", "[NewSetup]\r\nVersionNew=2\r\n", {"--expires", "0"}, ""},
      {"saved with a byte-order mark", "\xEF\xBB\xBF[NewSetup]\r\nVersionNew=2\r\n", {}, "+30"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteFile(dir_ / "App.info", c.before);
    std::vector<std::string> args = {"sign-update", Path("App.info"), "--key", Path("k.key"),
                                     "--inform", Path("news.txt")};
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    ASSERT_EQ(Run(args), 0) << err_.str();
    const std::string info = ReadFile(dir_ / "App.info");
    EXPECT_EQ(info.find("[NewSetup]"), 0u);
    EXPECT_EQ(info.find("[NewSetup]", 1), std::string::npos); // one section, not two
    EXPECT_EQ(agent::IniTextValue(info, "AutoInform", "SHA256OfInformFile"),
              trust::FileSha256(Path("news.txt")));
    const std::string expires = agent::IniTextValue(info, "NewSetup", "Expires");
    if (c.expires.empty()) {
      EXPECT_EQ(expires, "");
    } else {
      // Today's UTC date, printed by sign-update itself, plus the days.
      const std::string printed = out_.str().substr(out_.str().find("Expires=") + 8, 10);
      EXPECT_EQ(expires, printed);
      std::time_t now = std::time(nullptr);
      const std::tm* t = std::gmtime(&now);
      char today[16];
      std::snprintf(today, sizeof today, "%04d-%02d-%02d", t->tm_year + 1900, t->tm_mon + 1,
                    t->tm_mday);
      EXPECT_EQ(expires, pack::DatePlusDays(today, std::stoi(c.expires.substr(1))));
    }
    EXPECT_EQ(Run({"verify-update", Path("App.info"), "--key", Path("k.pub")}), 0) << out_.str();
  }
  EXPECT_EQ(pack::DatePlusDays("2026-12-10", 30), "2027-01-09");
  EXPECT_EQ(pack::DatePlusDays("2028-02-28", 1), "2028-02-29");
}

TEST_F(VpackSigning, PrivateKeyIsTheOwnersOnlyFromTheStart) {
  // Even with a umask that lets everyone read new files.
  const mode_t old = ::umask(0);
  ASSERT_EQ(Run({"keygen", Path("k")}), 0) << err_.str();
  ::umask(old);
  struct stat st {};
  ASSERT_EQ(::stat(Path("k.key").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  // A temporary left by a crashed run is not reused (it may be readable).
  WriteFile(dir_ / "j.key.new", "left over");
  EXPECT_EQ(Run({"keygen", Path("j")}), 1);
  EXPECT_EQ(ReadFile(dir_ / "j.key.new"), "left over");
  EXPECT_FALSE(fs::exists(dir_ / "j.key"));
}

} // namespace
