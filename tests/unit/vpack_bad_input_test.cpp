// Damaged, foreign and hostile packages: a clear error naming what and where,
// no crash, nothing written outside the target folder.
#include <gtest/gtest.h>

#include <sstream>

#include "pack/cli.h"
#include "pack/error.h"
#include "pack/extractor.h"
#include "pack/inspector.h"
#include "pack/reader.h"
#include "package/token.h"
#include "vpack_test_util.h"

namespace pack {
namespace {

using namespace vpack_test;

void PutLe32(std::string& s, std::size_t at, std::uint32_t v) {
  package::WriteLe32(reinterpret_cast<unsigned char*>(s.data() + at), v);
}

class VpackBadInput : public ScratchTest {
protected:
  // Layout of the raw package: stub 2048 bytes, header block 1 at 2048 ("*"),
  // header block 2 at 2053 ("|||"), first file block at 2060. 60 KB of random
  // data keep it above the checksum limit, so damage past the checksum shows.
  static constexpr std::size_t kHeader1 = 2048, kFirstBlock = 2060;
  std::string Good() const {
    return RawPackage({{"a.bin", RandomBytes(60000, 1)}, {"b.txt", "bee"}});
  }
};

TEST_F(VpackBadInput, DamageIsReportedWithItsOffset) {
  struct Case {
    const char* what;
    std::function<void(std::string&)> damage;
    std::vector<std::string> expected; // all must occur in the message
  };
  const std::vector<Case> cases = {
      {"tiny file",
       [](std::string& s) { s.resize(10); },
       {"not a package, or truncated", "too small"}},
      {"truncated",
       [](std::string& s) { s.resize(s.size() / 2); },
       {"not a package, or truncated", "offset"}},
      {"foreign file",
       [](std::string& s) { s = std::string(3000, 'x'); },
       {"not a package, or truncated", "offset"}},
      {"text file",
       [](std::string& s) { s = "Read me first.\n" + std::string(200, '-') + "\n"; },
       {"not a package, or truncated"}},
      {"trailer length 0",
       [](std::string& s) { PutLe32(s, s.size() - 4, 0); },
       {"not a package, or truncated", "trailer length 0", "offset"}},
      {"trailer length huge",
       [](std::string& s) { PutLe32(s, s.size() - 4, 0xFFFFFFF0u); },
       {"not a package, or truncated", "larger than the package"}},
      {"wrong magic",
       [](std::string& s) { PutLe32(s, s.size() - 74 + 12, 0x12345678); },
       {"not a package, or truncated", "magic", "0x12345678"}},
      {"end marker past the file",
       [](std::string& s) { PutLe32(s, 252, static_cast<std::uint32_t>(s.size() + 100)); },
       {"end marker"}},
      {"header start past the trailer",
       [](std::string& s) { PutLe32(s, s.size() - 74 + 4, static_cast<std::uint32_t>(s.size())); },
       {"header start"}},
      {"negative header length",
       [](std::string& s) { PutLe32(s, kHeader1, std::uint32_t(-5)); },
       {"header block 1", "negative length -5"}},
      {"header length past the end",
       [](std::string& s) { PutLe32(s, kHeader1, 0x7FFFFFF0u); },
       {"header block 1", "offset 2048"}},
      {"file block past the end",
       [](std::string& s) { PutLe32(s, kFirstBlock, 0x7FFFFFF0u); },
       {"file block 1", "offset 2060"}},
      {"stored block past the end",
       [](std::string& s) { PutLe32(s, kFirstBlock, std::uint32_t(-0x7FFFFFF0)); },
       {"file block 1", "offset 2060"}},
      {"corrupt zlib data",
       [](std::string& s) { s[kFirstBlock + 4 + 2] ^= 0x7F; },
       {"zlib", "offset 2060"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string bytes = Good();
    c.damage(bytes);
    WriteFile(dir_ / "bad.exe", bytes);
    const auto contains_all = [&](const std::string& text) {
      for (const std::string& e : c.expected)
        if (text.find(e) == std::string::npos) return false;
      return true;
    };
    const VerifyReport r = Verify(Path("bad.exe"));
    ASSERT_FALSE(r.Ok());
    std::string all;
    for (const Problem& p : r.problems)
      all += p.where + ": " + p.what + "\n";
    EXPECT_TRUE(contains_all(all)) << all;
    try {
      Extract({Path("bad.exe"), Path("out"), true, {}});
      ADD_FAILURE() << "extract did not refuse";
    } catch (const Error& e) {
      EXPECT_TRUE(contains_all(e.what())) << e.what();
    }
  }
}

TEST_F(VpackBadInput, MissingPackageAndMissingVolume) {
  EXPECT_THROW(PackageReader(Path("none.exe")), Error);
  // Spanned flag set, but no volume 2 beside it.
  std::string bytes = Good();
  bytes[bytes.size() - 74 + 65] = package::kFlagSpanned;
  WriteFile(dir_ / "span.exe", bytes);
  try {
    ListFiles(PackageReader(Path("span.exe")));
    ADD_FAILURE() << "no error";
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("volume 2"), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("span.exe.002"), std::string::npos) << e.what();
  }
}

TEST_F(VpackBadInput, ChecksumMismatchStopsExtraction) {
  // Small enough to be summed.
  std::string bytes = RawPackage({{"a.txt", "some text"}});
  PutLe32(bytes, bytes.size() - 74 + 16, 0); // a real sum replaces "off"
  WriteFile(dir_ / "small.exe", bytes);
  const std::uint32_t sum = package::PackageChecksum(Path("small.exe"), 74);
  PutLe32(bytes, bytes.size() - 74 + 16, sum);
  WriteFile(dir_ / "small.exe", bytes);
  EXPECT_TRUE(Verify(Path("small.exe")).Ok());

  bytes[2052] ^= 1; // the language table text: framing stays intact
  WriteFile(dir_ / "small.exe", bytes);
  const VerifyReport r = Verify(Path("small.exe"));
  ASSERT_EQ(r.problems.size(), 1u);
  EXPECT_NE(r.problems[0].what.find("checksum mismatch"), std::string::npos);
  EXPECT_THROW(Extract({Path("small.exe"), Path("out"), true, {}}), Error);
  EXPECT_FALSE(fs::exists(dir_ / "out/a.txt"));
}

TEST_F(VpackBadInput, UnsafeNamesAreRefusedNeverWritten) {
  fs::create_directories(dir_ / "t/target");
  fs::create_directories(dir_ / "outside");
  fs::create_directory_symlink(dir_ / "outside", dir_ / "t/target/link");
  const std::vector<std::string> unsafe = {
      "..\\evil1.txt",      "C:evil2.txt",     "c:\\evil3.txt",
      "\\evil4.txt",        "/tmp/evil5.txt",  "ok\\..\\..\\evil6.txt",
      "ok/../../evil7.txt", "link\\evil8.txt", "",
  };
  std::vector<std::pair<std::string, std::string>> files = {{"good.txt", "fine"}};
  for (const std::string& name : unsafe)
    files.push_back({name, "bad"});
  files.push_back({"evil9.exe*../x", "engine with arguments is fine"});
  WriteFile(dir_ / "hostile.exe", RawPackage(files));

  const ExtractResult x = Extract({Path("hostile.exe"), Path("t/target"), true, {}});
  EXPECT_EQ(x.refused.size(), unsafe.size());
  EXPECT_EQ(ReadFile(dir_ / "t/target/good.txt"), "fine");
  EXPECT_EQ(x.engineEntry, "evil9.exe*../x");
  EXPECT_TRUE(fs::exists(dir_ / "t/target/evil9.exe"));
  // Nothing named evil1..8 anywhere, inside or outside the target.
  for (const auto& e : fs::recursive_directory_iterator(dir_)) {
    const std::string name = e.path().filename().string();
    EXPECT_TRUE(name.rfind("evil", 0) != 0 || name == "evil9.exe") << e.path();
  }
  EXPECT_FALSE(fs::exists("/tmp/evil5.txt"));

  const VerifyReport r = Verify(Path("hostile.exe"));
  std::size_t unsafeReports = 0;
  for (const Problem& p : r.problems)
    unsafeReports += p.what.find("unsafe") != std::string::npos;
  EXPECT_EQ(unsafeReports, unsafe.size() - 1); // the link is only a danger on this disk
}

TEST_F(VpackBadInput, CommandLineExitCodesAndMessages) {
  WriteFile(dir_ / "good.exe", Good());
  std::string damaged = Good();
  PutLe32(damaged, kFirstBlock, 0x7FFFFFF0u);
  WriteFile(dir_ / "damaged.exe", damaged);
  struct Case {
    std::vector<std::string> args;
    int code;
    std::string out, err; // expected to occur
  };
  const std::vector<Case> cases = {
      {{"--help"}, 0, "Example", ""},
      {{"verify", Path("good.exe")}, 0, "OK", ""},
      {{"verify", Path("damaged.exe")}, 1, "offset 2060", ""},
      {{"list", Path("damaged.exe")}, 1, "", "offset 2060"},
      {{"info", Path("none.exe")}, 1, "", "cannot open"},
      {{"list", "--json", Path("good.exe")}, 0, "\"name\": \"a.bin\"", ""},
      {{"build", dir_.string()}, 106, "", "--stub"}, // CLI11: required option missing
      {{"extract", Path("good.exe"), "-o", Path("x")}, 0, "extracted 2 files", ""},
  };
  for (const Case& c : cases) {
    std::vector<const char*> argv = {"vpack"};
    for (const std::string& a : c.args)
      argv.push_back(a.c_str());
    std::ostringstream out, err;
    const int code = RunCli(static_cast<int>(argv.size()), argv.data(), out, err);
    SCOPED_TRACE(c.args[0] + (c.args.size() > 1 ? " " + c.args[1] : ""));
    EXPECT_EQ(code, c.code) << out.str() << err.str();
    EXPECT_NE(out.str().find(c.out), std::string::npos) << out.str();
    EXPECT_NE(err.str().find(c.err), std::string::npos) << err.str();
  }

  std::ostringstream out, err;
  const char* token[] = {"vpack", "token", "plain text", "--seed", "9"};
  ASSERT_EQ(RunCli(5, token, out, err), 0);
  std::string made = out.str();
  made.pop_back(); // the newline
  EXPECT_EQ(package::UnscrambleToken(made), "plain text");
}

} // namespace
} // namespace pack
