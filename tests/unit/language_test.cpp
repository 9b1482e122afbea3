#include "vars/language.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "util/switches.h"
#include "util/system_info.h"

namespace fs = std::filesystem;

namespace {

TEST(UserLanguage, PrimaryLanguageOfTheThreadLocale) {
  const struct {
    std::uint32_t locale;
    int number;
    const char* name;
  } cases[] = {
      {0x0409, 9, "ENGLISH"},     {0x0C09, 9, "ENGLISH"},   // English (Australia): same primary
      {0x0407, 7, "GERMAN"},      {0x0000, 9, "ENGLISH"},   // no locale reads English
      {0x041A, 26, "CROATIAN"},   {0x081A, 26, "CROATIAN"}, // Serbian (Latin) shares 26
      {0x0413, 19, "DUTCH"},      {0x0804, 4, "CHINESE"},   // only the primary language counts
      {0x0816, 22, "PORTUGUESE"}, {0x10407, 7, "GERMAN"},   // sort-order bits above ignored
  };
  for (const auto& c : cases) {
    EXPECT_EQ(vars::LanguageNumberOfLocale(c.locale), c.number) << c.locale;
    vars::SetThreadLocaleOverride(c.locale);
    EXPECT_EQ(vars::UserLanguageName(), c.name) << c.locale;
  }
  vars::SetThreadLocaleOverride(std::nullopt);
  EXPECT_EQ(vars::ThreadLocale(), vars::detail::ReadThreadLocale());
}

class LanguageFile : public ::testing::Test {
protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("vantor_lang_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
            "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
    util::SetProcessCommandLine({"prog.exe", (dir_ / "prog.exe").string()});
  }
  void TearDown() override {
    util::ClearProcessCommandLine();
    fs::remove_all(dir_);
  }
  void WriteLanguageFile(const std::string& text) {
    fs::create_directories(dir_ / "HELP" / "English");
    std::ofstream(dir_ / "HELP" / "English" / "Vantor.language.ini", std::ios::binary) << text;
  }
  fs::path dir_;
};

TEST_F(LanguageFile, PathIsBesideTheProgram) {
  EXPECT_EQ(vars::LanguageFilePath(), (dir_ / "HELP" / "English" / "Vantor.language.ini").string());
}

TEST_F(LanguageFile, WithoutTheFileEveryTextIsItsDefault) {
  EXPECT_EQ(vars::LanguageString("s1", "Extracting Files..."), "Extracting Files...");
  EXPECT_EQ(vars::LanguageStringWith("RunTimeDir_01", "RunTimeDir (<?>)<P><P>Not Found!", "C:\\R"),
            "RunTimeDir (C:\\R)<P><P>Not Found!");
}

TEST_F(LanguageFile, ValuesAndTheirEnclosingBars) {
  WriteLanguageFile("[OTHER]\r\nTitle=Wrong section\r\n"
                    "[Strings]\r\n"
                    "Title=Installing\r\n"
                    "Padded=|  two blanks  |\r\n"
                    "Bar=|\r\n"
                    "Bars=||\r\n"
                    "LeadOnly=|abc\r\n"
                    "Inner=a|b|c\r\n"
                    "Empty=\r\n"
                    "Missing=<?> is missing; <?> again\r\n");
  const struct {
    const char* key;
    const char* expected;
  } cases[] = {
      {"Title", "Installing"},      {"title", "Installing"},
      {"Padded", "  two blanks  "}, {"Bar", "|"}, // a single bar is the value itself
      {"Bars", "default"},                        // nothing between the bars
      {"LeadOnly", "|abc"},         {"Inner", "a|b|c"},
      {"Empty", "default"},         {"Absent", "default"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(vars::LanguageString(c.key, "default"), c.expected) << c.key;
  EXPECT_EQ(vars::LanguageStringWith("Missing", "x", "Tool"), "Tool is missing; Tool again");
  EXPECT_EQ(vars::LanguageStringWith("Absent", "<?>!", "D"), "D!");
}

TEST_F(LanguageFile, EmptySectionOrKeyGivesTheDefault) {
  WriteLanguageFile("[STRINGS]\r\n=empty key\r\n");
  const std::string file = vars::LanguageFilePath();
  EXPECT_EQ(util::ReadIniString(file, "STRINGS", "", "def"), "def");
  EXPECT_EQ(util::ReadIniString(file, "", "x", "def"), "def");
  EXPECT_EQ(vars::LanguageString("", "def"), "def");
}

} // namespace
