// vpack against packages made to hurt: the one name rule in build, verify
// and extract (the stub's), files as the stub writes them, resources freed
// on failure, and text output that cannot drive the terminal.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "pack/builder.h"
#include "pack/error.h"
#include "pack/extractor.h"
#include "pack/inspector.h"
#include "pack/text_encoding.h"
#include "vpack_test_util.h"

namespace pack {
namespace {

using namespace vpack_test;

class VpackHostile : public ScratchTest {};

std::size_t CountProblems(const VerifyReport& r, const std::string& text) {
  std::size_t n = 0;
  for (const Problem& p : r.problems)
    n += p.what.find(text) != std::string::npos;
  return n;
}

// Names that Windows writes as another name are refused by vpack as by the
// stub; names that differ only in letter case (folders too) go to one file
// and one folder, as on Windows; verify says OK only when the stub can
// unpack every name.
TEST_F(VpackHostile, ExtractGivesTheFilesTheStubGives) {
  std::string deep;
  for (int i = 0; i < 60; ++i)
    deep += "dd\\";
  const std::vector<std::string> refused = {
      "d\\\\a.txt", "d\\.\\a.txt", "a.txt.", "a.txt ", "...",   "COM1",      "aux.txt",
      "Con\\f.txt", "lpt2.tar.gz", "a<b",    "q\"",    "what?", "new\nline", deep + "f.txt"};
  std::vector<std::pair<std::string, std::string>> files = {
      {"Dir\\a.txt", "first"}, {"DIR\\A.TXT", "second"}, {"dir/b.txt", "b"}};
  for (const std::string& name : refused)
    files.push_back({name, "bad"});
  WriteFile(dir_ / "p.exe", RawPackage(files));

  const ExtractResult x = Extract({Path("p.exe"), Path("out"), true, {}});
  EXPECT_EQ(x.refused.size(), refused.size());
  EXPECT_EQ(ReadFile(dir_ / "out/Dir/a.txt"), "firstsecond");
  EXPECT_EQ(ReadFile(dir_ / "out/Dir/b.txt"), "b");
  std::vector<std::string> written;
  for (const auto& e : fs::recursive_directory_iterator(dir_ / "out"))
    written.push_back(e.path().lexically_relative(dir_ / "out").generic_string());
  std::sort(written.begin(), written.end());
  EXPECT_EQ(written, (std::vector<std::string>{"Dir", "Dir/a.txt", "Dir/b.txt"}));

  const VerifyReport r = Verify(Path("p.exe"));
  EXPECT_EQ(CountProblems(r, "unsafe file name"), refused.size());

  std::string out, err;
  EXPECT_EQ(RunVpack({"verify", Path("p.exe")}, out, err), 1);
  WriteFile(dir_ / "good.exe", RawPackage({{"Dir\\a.txt", "a"}, {"dir\\A.TXT", "b"}}));
  EXPECT_EQ(RunVpack({"verify", Path("good.exe")}, out, err), 0) << out;
}

TEST_F(VpackHostile, BuildRefusesNamesTheStubWouldRefuse) {
  for (const char* name : {"COM1", "aux.txt", "sub/nul.tar.gz", "a.txt.", "b.txt ", "x?y"}) {
    SCOPED_TRACE(name);
    fs::remove_all(dir_ / "src");
    WriteFile(dir_ / "src/ok.txt", "ok");
    WriteFile(dir_ / "src" / name, "bad");
    BuildOptions o;
    o.sourceDir = Path("src");
    o.stubPath = Path("stub.exe");
    o.outputPath = Path("out.exe");
    EXPECT_THROW(Build(o), Error);
    EXPECT_FALSE(fs::exists(dir_ / "out.exe"));
  }
  fs::remove_all(dir_ / "src");
  WriteFile(dir_ / "src/ok.txt", "ok");
  BuildOptions o;
  o.sourceDir = Path("src");
  o.stubPath = Path("stub.exe");
  o.outputPath = Path("out.exe");
  o.agentName = "COM1";
  o.carryAgent = true;
  EXPECT_THROW(Build(o), Error);
  o.agentName = "Agent.exe";
  EXPECT_NO_THROW(Build(o));
}

// A write that fails while a block inflates throws out of the decoder's
// sink; the inflate state must still be released (LeakSanitizer sees it).
TEST_F(VpackHostile, AFailedExtractReleasesTheInflateState) {
  WriteFile(dir_ / "p.exe", RawPackage({{"a.bin", RandomBytes(1000, 3) + std::string(5000, 'a')}}));
  fs::create_directories(dir_ / "out/a.bin"); // a folder where the file goes
  EXPECT_THROW(Extract({Path("p.exe"), Path("out"), true, {}}), Error);
}

// Newer builders may write a longer trailer; vpack reads such a package as
// the stub does.
TEST_F(VpackHostile, ATrailerLongerThan74BytesIsRead) {
  std::string bytes = RawPackage({{"a.txt", "aa"}, {"b.txt", "bb"}});
  package::WriteLe32(reinterpret_cast<unsigned char*>(&bytes[bytes.size() - 4]), 80);
  bytes.insert(bytes.size() - 4, std::string(6, 'x'));
  WriteFile(dir_ / "long.exe", bytes);
  EXPECT_TRUE(Verify(Path("long.exe")).Ok());
  const ExtractResult x = Extract({Path("long.exe"), Path("out"), true, {}});
  EXPECT_EQ(x.files.size(), 2u);
  EXPECT_EQ(ReadFile(dir_ / "out/b.txt"), "bb");
}

// Names and language texts reach the terminal escaped; the JSON is UTF-8
// with the texts' real characters, converted from their code page.
TEST_F(VpackHostile, TextOutputIsEscapedAndJsonKeepsTheTextsCharacters) {
  WriteFile(dir_ / "texts.ini", "[GERMAN]\nCharset=0\ns1=Zur\xFC"
                                "ck\ns2=x\x1B]0;title\x07"
                                "bell\n"
                                "[RUSSIAN]\nCharset=204\ns1=\xCF\xF0\xE8\xE2\xE5\xF2\n");
  WriteFile(dir_ / "src/a.txt", "a");
  BuildOptions o;
  o.sourceDir = Path("src");
  o.stubPath = Path("stub.exe");
  o.outputPath = Path("lang.exe");
  o.languageFile = Path("texts.ini");
  Build(o);
  std::string out, err;
  ASSERT_EQ(RunVpack({"info", Path("lang.exe")}, out, err), 0) << err;
  EXPECT_EQ(out.find('\x1B'), std::string::npos);
  EXPECT_EQ(out.find('\x07'), std::string::npos);
  // (Inside the value: the language file's reader trims control characters
  // at its ends.)
  EXPECT_NE(out.find("x\\x1B]0;title\\x07bell"), std::string::npos) << out;
  EXPECT_NE(out.find("Zur\xC3\xBC"
                     "ck"),
            std::string::npos)
      << out;

  ASSERT_EQ(RunVpack({"info", "--json", Path("lang.exe")}, out, err), 0) << err;
  const auto j = nlohmann::json::parse(out); // throws on invalid UTF-8
  const auto& languages = j["header"]["languages"];
  EXPECT_EQ(languages[0]["strings"]["s1"], "Zur\xC3\xBC"
                                           "ck");
  EXPECT_EQ(languages[0]["strings"]["s2"], "x\x1B]0;title\x07"
                                           "bell");
  EXPECT_EQ(languages[1]["strings"]["s1"], "\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82");

  WriteFile(dir_ / "names.exe",
            RawPackage({{"\x1B[31mred\x07", "x"}, {"caf\xE9.txt", "y"}, {"ok.txt", "z"}}));
  ASSERT_EQ(RunVpack({"list", Path("names.exe")}, out, err), 0) << err;
  EXPECT_EQ(out.find('\x1B'), std::string::npos);
  EXPECT_NE(out.find("\\x1B[31mred\\x07"), std::string::npos) << out;
  EXPECT_NE(out.find("caf\\xE9.txt"), std::string::npos) << out;
  ASSERT_EQ(RunVpack({"list", "--json", Path("names.exe")}, out, err), 0) << err;
  EXPECT_TRUE(nlohmann::json::accept(out)) << out;
  EXPECT_EQ(RunVpack({"extract", Path("names.exe"), "-o", Path("x")}, out, err), 1);
  EXPECT_EQ(err.find('\x1B'), std::string::npos) << err;
}

TEST(VpackTextEncoding, EscapesControlsAndBytesThatAreNotUtf8) {
  EXPECT_EQ(EscapeForTerminal("plain \xC3\xBC\xE2\x82\xAC"), "plain \xC3\xBC\xE2\x82\xAC");
  EXPECT_EQ(EscapeForTerminal("a\nb\tc\x7F"), "a\\x0Ab\\x09c\\x7F");
  EXPECT_EQ(EscapeForTerminal("\xC2\x9B"
                              "1m"),
            "\\x9B1m"); // C1 CSI
  EXPECT_EQ(EscapeForTerminal("\x9B\xFF\xC3"), "\\x9B\\xFF\\xC3");
  EXPECT_EQ(EscapeForTerminal("\xED\xA0\x80"), "\\xED\\xA0\\x80"); // a surrogate
  EXPECT_EQ(CodePageToUtf8("\x80 \xFC", CodePageOfCharset(0)), "\xE2\x82\xAC \xC3\xBC");
  EXPECT_EQ(CodePageToUtf8("\xB9", CodePageOfCharset(238)), "\xC4\x85");         // a-ogonek in 1250
  EXPECT_EQ(CodePageToUtf8("a\x81z", 1252), "a\xEF\xBF\xBDz");                   // unmapped in 1252
  EXPECT_EQ(CodePageToUtf8("\x82\xA0", CodePageOfCharset(128)), "\xE3\x81\x82"); // Shift-JIS
}

} // namespace
} // namespace pack
