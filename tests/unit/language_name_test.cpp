#include "vars/language_name.h"

#include <gtest/gtest.h>

#include "util/field_list.h"

TEST(LanguageName, Examples) {
  EXPECT_EQ(vars::LanguageName(9), "ENGLISH");
  EXPECT_EQ(vars::LanguageName(7), "GERMAN");
  EXPECT_EQ(vars::LanguageName(26), "CROATIAN");        // CROATIAN and SERBIAN share 26
  EXPECT_EQ(vars::LanguageName(43), "DUTCH(STANDARD)"); // substring of 1043
  EXPECT_EQ(vars::LanguageName(1), "ARABIC");
  EXPECT_EQ(vars::LanguageName(2052), "CHINESE(SIMPLIFIED)");
  EXPECT_EQ(vars::LanguageName(3098), "SERBIAN(CYRILIC)");
  EXPECT_EQ(vars::LanguageName(5), "CZECH");
  EXPECT_EQ(vars::LanguageName(99), "");
  EXPECT_EQ(vars::LanguageName(0), "");
  EXPECT_EQ(vars::LanguageName(-1), "");
}

TEST(LanguageName, TableHas51Records) {
  EXPECT_EQ(util::SUB::FieldCount(vars::kLanguageTable), 51);
}
