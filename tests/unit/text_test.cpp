#include "util/text.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

using namespace util;

TEST(Text, TrimRemovesBlanksAndControlCharacters) {
  EXPECT_EQ(Trim("  \t a b \r\n"), "a b");
  EXPECT_EQ(TrimLeft("  a "), "a ");
  EXPECT_EQ(TrimRight("  a "), "  a");
  EXPECT_EQ(Trim(""), "");
  EXPECT_EQ(Trim("   "), "");
  EXPECT_EQ(Trim(std::string("\0a\0", 3)), "a");
}

TEST(Text, CaseHelpers) {
  EXPECT_EQ(ToUpperAscii("aZ9\xE4"), "AZ9\xE4");
  EXPECT_TRUE(EqualsNoCase("Setup.EXE", "setup.exe"));
  EXPECT_FALSE(EqualsNoCase("a", "ab"));
  EXPECT_EQ(FindNoCase("xxABcab", "ab"), 2u);
  EXPECT_EQ(FindNoCase("xxABcab", "ab", 3), 5u);
  EXPECT_EQ(FindNoCase("abc", "abcd"), npos);
  EXPECT_EQ(FindNoCase("abc", "x", 10), npos);
  EXPECT_EQ(FindNoCase("abc", ""), 0u);
  EXPECT_TRUE(StartsWithNoCase("/AutoUpdateProg", "/autoUPDATE"));
  EXPECT_FALSE(StartsWithNoCase("/A", "/AB"));
}

TEST(Text, ReplaceAll) {
  EXPECT_EQ(ReplaceAll("a<P>b<P>", "<P>", "\n"), "a\nb\n");
  EXPECT_EQ(ReplaceAll("aaa", "aa", "b"), "ba");
  EXPECT_EQ(ReplaceAll("abc", "", "x"), "abc");
  EXPECT_EQ(ReplaceAll("aXa", "a", "aa"), "aaXaa"); // no re-scan of the replacement
  EXPECT_EQ(ReplaceAllNoCase("<tempdir>\\x <TEMPDIR>", "<TempDir>", "C:\\T"), "C:\\T\\x C:\\T");
}

TEST(Text, IntToStr) {
  EXPECT_EQ(IntToStr(0), "0");
  EXPECT_EQ(IntToStr(-42), "-42");
  EXPECT_EQ(IntToStr(std::numeric_limits<std::int64_t>::min()), "-9223372036854775808");
}

TEST(Text, StrToInt64Strict) {
  EXPECT_EQ(StrToInt64("0"), 0);
  EXPECT_EQ(StrToInt64(" 12 "), 12);
  EXPECT_EQ(StrToInt64("+7"), 7);
  EXPECT_EQ(StrToInt64("-7"), -7);
  EXPECT_EQ(StrToInt64("007"), 7);
  EXPECT_EQ(StrToInt64("9223372036854775807"), std::numeric_limits<std::int64_t>::max());
  EXPECT_EQ(StrToInt64("-9223372036854775808"), std::numeric_limits<std::int64_t>::min());
  EXPECT_EQ(StrToInt64("9223372036854775808"), std::nullopt);
  EXPECT_EQ(StrToInt64("-9223372036854775809"), std::nullopt);
  EXPECT_EQ(StrToInt64("99999999999999999999999"), std::nullopt);
  for (const char* bad :
       {"", " ", "+", "-", "abc", "1a", "1 2", "0x10", "1.5", "--1", "+-1", "1e3", "$10"})
    EXPECT_EQ(StrToInt64(bad), std::nullopt) << bad;
  EXPECT_EQ(StrToInt64(std::string("1\0", 2)), 1); // NUL counts as a blank
  EXPECT_EQ(StrToInt64(std::string("1\0"
                                   "2",
                                   3)),
            std::nullopt);
  EXPECT_EQ(StrToInt64Def("x", -1), -1);
}

TEST(Text, PathParts) {
  EXPECT_EQ(FileNameOf("C:\\dir\\setup.exe"), "setup.exe");
  EXPECT_EQ(FileNameOf("/tmp/a/b.txt"), "b.txt");
  EXPECT_EQ(FileNameOf("C:/dir\\x"), "x");
  EXPECT_EQ(FileNameOf("plain"), "plain");
  EXPECT_EQ(FileNameOf("C:\\dir\\"), "");
  EXPECT_EQ(FolderOf("C:\\dir\\setup.exe"), "C:\\dir");
  EXPECT_EQ(FolderOf("C:\\setup.exe"), "C:");
  EXPECT_EQ(FolderOf("setup.exe"), "");
  EXPECT_EQ(FolderOf(""), "");
}

TEST(Text, ChangeExtensionOnlyTouchesTheFileName) {
  EXPECT_EQ(ChangeExtension("a.b.info", ".original"), "a.b.original");
  EXPECT_EQ(ChangeExtension("C:\\x.y\\name", ".log"), "C:\\x.y\\name.log");
  EXPECT_EQ(ChangeExtension("C:\\x.y\\name.exe", ".log"), "C:\\x.y\\name.log");
  EXPECT_EQ(ChangeExtension("name.exe", ""), "name");
  EXPECT_EQ(ChangeExtension("", ".x"), ".x");
}

TEST(Text, BaseNameKeepsEarlierDots) {
  EXPECT_EQ(BaseNameOf("C:\\p\\Prog.AutoUpdate.exe"), "Prog.AutoUpdate");
  EXPECT_EQ(BaseNameOf("C:\\p.q\\noext"), "noext");
  EXPECT_EQ(BaseNameOf("a.b.c"), "a.b");
  EXPECT_EQ(BaseNameOf(""), "");
}

TEST(Text, JoinPathNeverDoublesSeparators) {
  const std::string s(1, NativePathSeparator());
  EXPECT_EQ(JoinPath("C:\\dir", "x.exe"), "C:\\dir" + s + "x.exe");
  EXPECT_EQ(JoinPath("C:\\dir\\", "x.exe"), "C:\\dir" + s + "x.exe");
  EXPECT_EQ(JoinPath("/tmp/", "/x"), "/tmp" + s + "x");
  EXPECT_EQ(JoinPath("/", "x"), s + "x");
  EXPECT_EQ(JoinPath("", "x"), "x");
  EXPECT_EQ(JoinPath("d", ""), "d" + s);
#ifdef _WIN32
  EXPECT_EQ(NativePathSeparator(), '\\');
#else
  EXPECT_EQ(NativePathSeparator(), '/');
#endif
}

struct WildcardCase {
  const char* pattern;
  const char* text;
  bool match;
};

TEST(Text, WildcardMatchTable) {
  const WildcardCase cases[] = {
      {"", "", true},
      {"", "a", false},
      {"*", "", true},
      {"*", "anything", true},
      {"?", "", false},
      {"?", "a", true},
      {"?", "ab", false},
      {"ENGLISH", "english", true},
      {"ENG*", "ENGLISH", true},
      {"*LISH", "english", true},
      {"E*L*H", "ENGLISH", true},
      {"E*L*X", "ENGLISH", false},
      {"*.exe", "setup.EXE", true},
      {"*.exe", "setup.exe.bak", false},
      {"s?tup.*", "SETUP.TXT", true},
      {"a*b*c", "abbbc", true},
      {"a*b*c", "acb", false},
      {"**a**", "xax", true},
      {"*?", "", false},
      {"*?", "x", true},
      {"a", "A", true},
      {"ab", "a", false},
      {"DUTCH(*)", "dutch(standard)", true},
  };
  for (const auto& c : cases)
    EXPECT_EQ(WildcardMatch(c.pattern, c.text), c.match) << c.pattern << " vs " << c.text;
}

TEST(Text, WildcardMatchIsNotExponential) {
  std::string text(20000, 'a');
  std::string pattern;
  for (int i = 0; i < 30; ++i)
    pattern += "*a";
  pattern += "*b";
  EXPECT_FALSE(WildcardMatch(pattern, text)); // must finish quickly
  EXPECT_TRUE(WildcardMatch(pattern, text + "b"));
}
