#include "util/field_list.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

using util::SUB;

// --- Edge cases ---

TEST(FieldList, EmptyMiddleFieldYieldsDefault) {
  EXPECT_EQ(SUB::FieldCount("|a||c|"), 3);
  EXPECT_EQ(SUB::GetField("|a||c|", 1, "def"), "def");
  EXPECT_EQ(SUB::GetField("|a||c|", 2, "def"), "c");
}

TEST(FieldList, LastCharacterMustBeTheSeparator) {
  EXPECT_EQ(SUB::FieldCount("|a|b"), 0);
  EXPECT_EQ(SUB::GetField("|a|b", 0, "d"), "d");
}

TEST(FieldList, MinusOneIsTheLastField) {
  EXPECT_EQ(SUB::GetField("|a|b|c|", -1), "c");
  EXPECT_EQ(SUB::GetField("|a|b|c|", -2, "d"), "d");
  EXPECT_EQ(SUB::GetFieldInt("|1|2|30|", -1, 0), 30);
}

TEST(FieldList, GetValueCase) {
  EXPECT_EQ(SUB::GetValue("|Name=x|LANG=de|", "Lang", true, false, "", "NF"), "de");
  EXPECT_EQ(SUB::GetValue("|Name=x|LANG=de|", "Lang", false, false, "", "NF"), "NF");
}

TEST(FieldList, ChooseSeparatorPicksAsteriskWhenBarIsInAField) {
  // Fields of a "#" list that contain "|": the asterisk is chosen.
  EXPECT_EQ(SUB::ChooseSeparator("#a|b#c#"), "*a|b*c*");
  // Bar and asterisk taken: tilde.
  EXPECT_EQ(SUB::ChooseSeparator("#a|*#c#"), "~a|*~c~");
}

// --- Counting and reading ---

TEST(FieldList, CountAndRead) {
  const char* kButtons = "|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|";
  EXPECT_EQ(SUB::FieldCount(kButtons), 7);
  EXPECT_EQ(SUB::GetField(kButtons, 0), "&OK");
  EXPECT_EQ(SUB::GetField(kButtons, 6), "&Ignore");
  EXPECT_EQ(SUB::GetField(kButtons, 7, "x"), "x");
  EXPECT_EQ(SUB::FieldCount("||"), 1);
  EXPECT_EQ(SUB::FieldCount("|"), 0);
  EXPECT_EQ(SUB::FieldCount(""), 0);
  EXPECT_EQ(SUB::FieldCount("#a#b#"), 2); // separator is the first character
  EXPECT_EQ(SUB::GetField("#a|b#c#", 0), "a|b");
}

TEST(FieldList, GetFieldInt) {
  EXPECT_EQ(SUB::GetFieldInt("|12| 7 |x||", 0, -1), 12);
  EXPECT_EQ(SUB::GetFieldInt("|12| 7 |x||", 1, -1), 7);
  EXPECT_EQ(SUB::GetFieldInt("|12| 7 |x||", 2, -1), -1);
  EXPECT_EQ(SUB::GetFieldInt("|12| 7 |x||", 3, -1), -1);
  EXPECT_EQ(SUB::GetFieldInt("|12| 7 |x||", 9, -1), -1);
}

TEST(FieldList, FindField) {
  EXPECT_EQ(SUB::FindField("|Alpha| beta |Gamma|", "BETA"), 1);
  EXPECT_EQ(SUB::FindField("|Alpha| beta |Gamma|", " gamma "), 2);
  EXPECT_EQ(SUB::FindField("|Alpha| beta |Gamma|", "delta", -7), -7);
  EXPECT_EQ(SUB::FindField("|Alpha| beta |Gamma|", "gam", -1, false), -1);
  EXPECT_EQ(SUB::FindField("|Alpha| beta |Gamma|", "gam", -1, true), 2);
  EXPECT_EQ(SUB::FindField("|a||", "", -1), 1);
  EXPECT_EQ(SUB::FindField("", "a", -3), -3);
}

TEST(FieldList, HasField) {
  EXPECT_TRUE(SUB::HasField("|a|Bc|d|", "Bc"));
  EXPECT_FALSE(SUB::HasField("|a|Bc|d|", "bc"));
  EXPECT_TRUE(SUB::HasField("|a|Bc|d|", "bc", false, true));
  EXPECT_FALSE(SUB::HasField("|a|Bc|d|", " Bc "));
  EXPECT_TRUE(SUB::HasField("|a|Bc|d|", " Bc ", true));
  EXPECT_FALSE(SUB::HasField("|a|Bc|d|", "B"));
  EXPECT_FALSE(SUB::HasField("|a|b", "a"));
  EXPECT_FALSE(SUB::HasField("", ""));
}

TEST(FieldList, GetValueDetails) {
  const char* rec = "|ENGLISH|s1=Hello|s2=|FontSize=10|";
  EXPECT_EQ(SUB::GetValue(rec, "s1"), "Hello");
  EXPECT_EQ(SUB::GetValue(rec, "s1="), "Hello"); // key may end with "="
  EXPECT_EQ(SUB::GetValue(rec, "s2", true, true, "DEF", "NF"), "DEF");
  EXPECT_EQ(SUB::GetValue(rec, "s3", true, true, "DEF", "NF"), "NF");
  EXPECT_EQ(SUB::GetValue(rec, "Size", true, true, "DEF", "NF"), "NF"); // key starts at a separator
  EXPECT_EQ(SUB::GetValue("|a=1|", "a", true, true, "D", "NF"), "1");
  EXPECT_EQ(SUB::GetValue("|=|", "=", true, true, "D", "NF"), "NF"); // "=" gets "=" added
  EXPECT_EQ(SUB::GetValue("|==x|", "=", true, true, "D", "NF"), "x");
  EXPECT_EQ(SUB::GetValue("||", "a", true, true, "D", "NF"), "NF"); // fewer than 3 chars
  EXPECT_EQ(SUB::GetValue("|a=1", "a", true, true, "D", "NF"), "NF");
}

TEST(FieldList, GetValueBlanks) {
  const char* list = "|Key  =v1|Other =v2|";
  // Blank-tolerant: every run before "=" goes.
  EXPECT_EQ(SUB::GetValue(list, "Key", true, true, "", "NF"), "v1");
  EXPECT_EQ(SUB::GetValue(list, "Other", true, true, "", "NF"), "v2");
  // Without it only the first run goes.
  EXPECT_EQ(SUB::GetValue(list, "Key", true, false, "", "NF"), "v1");
  EXPECT_EQ(SUB::GetValue(list, "Other", true, false, "", "NF"), "NF");
  // Blanks after "=" are part of the value.
  EXPECT_EQ(SUB::GetValue("|AFRIKAANS    = 54|", "afrikaans"), " 54");
}

TEST(FieldList, KeysValuesAndPairs) {
  const char* list = "|a=1|b=2=3|c|d= x |";
  EXPECT_EQ(SUB::KeysOf(list), "|a|b|c|d|");
  EXPECT_EQ(SUB::ValuesOf(list), "|1|2=3|| x |");
  EXPECT_EQ(SUB::ValuesOf(list, true), "|1|2=3||x|");
  auto [k, v] = SUB::SplitPairs(list);
  EXPECT_EQ(k, "|a|b|c|d|");
  EXPECT_EQ(v, "|1|2=3|| x |");
  EXPECT_EQ(SUB::KeysOf("|a|b"), "");
  // Re-chosen separator: values holding "|".
  EXPECT_EQ(SUB::ValuesOf("#k=a|b#"), "*a|b*");
}

TEST(FieldList, JoinPairs) {
  EXPECT_EQ(SUB::JoinPairs("|a|b|c|", "|1|2|"), "|a=1|b=2|c=|");
  EXPECT_EQ(SUB::JoinPairs("|a|", "|1|2|"), "|a=1|=2|");
  EXPECT_EQ(SUB::JoinPairs("|a|b|||", "|1||||", false), "|a=1|b=|=|=|");
  EXPECT_EQ(SUB::JoinPairs("|a|b|||", "|1||||", true), "|a=1|b=|");
  EXPECT_EQ(SUB::JoinPairs("", ""), "");
  EXPECT_EQ(SUB::JoinPairs("|k|", "|a|b|"), "|k=a|=b|");
  EXPECT_EQ(SUB::JoinPairs("|k|", "#a|b#"), "*k=a|b*");
  // Round trip.
  const char* rec = "|x=1|y=2|";
  auto [k, v] = SUB::SplitPairs(rec);
  EXPECT_EQ(SUB::JoinPairs(k, v), rec);
}

TEST(FieldList, DeleteField) {
  EXPECT_EQ(SUB::DeleteField("|a|b|c|", 1), "|a|c|");
  EXPECT_EQ(SUB::DeleteField("|a|b|c|", 0), "|b|c|");
  EXPECT_EQ(SUB::DeleteField("|a|b|c|", -1), "|a|b|");
  EXPECT_EQ(SUB::DeleteField("|a|b|c|", 3), "|a|b|c|");
  EXPECT_EQ(SUB::DeleteField("|a|b|c|", -2), "|a|b|c|");
  EXPECT_EQ(SUB::DeleteField("|a|", 0), "");
  EXPECT_EQ(SUB::DeleteField("|a|b", 0), "|a|b");
}

TEST(FieldList, ReverseAndChangeSeparator) {
  EXPECT_EQ(SUB::ReverseFields("|a||c|"), "|c||a|");
  EXPECT_EQ(SUB::ReverseFields("#x#"), "#x#");
  EXPECT_EQ(SUB::ReverseFields("|a|b"), "|a|b");
  EXPECT_EQ(SUB::ChangeSeparator("|a|b|", '\x01'), "\x01"
                                                   "a\x01"
                                                   "b\x01");
  EXPECT_EQ(SUB::ChangeSeparator("", '#'), "");
}

TEST(FieldList, ChooseSeparator) {
  EXPECT_EQ(SUB::ChooseSeparator("|a|b|"), "|a|b|"); // already the best
  EXPECT_EQ(SUB::ChooseSeparator("*a*b*"), "|a|b|");
  EXPECT_EQ(SUB::ChooseSeparator("|"), ""); // single character -> empty
  EXPECT_EQ(SUB::ChooseSeparator(""), "");
  // Every candidate in a field: code 255 is the last candidate.
  EXPECT_EQ(SUB::ChooseSeparator("X|*~^!@#$&X"), "\xFF|*~^!@#$&\xFF");
  // The old separator is itself a candidate when it occurs in no field.
  EXPECT_EQ(SUB::ChooseSeparator("#|*~^!@#$&#"), "#|*~^!@#$&#");
  // The provisional NUL separator.
  EXPECT_EQ(SUB::ChooseSeparator(std::string("\0a\0b\0", 5)), "|a|b|");
  // A NUL inside a field is kept as data.
  EXPECT_EQ(SUB::ChooseSeparator(std::string("#a\0b#", 5)), std::string("|a\0b|", 5));
}

TEST(FieldList, BuildList) {
  EXPECT_EQ(SUB::BuildList({"a", "b", ""}), "|a|b||");
  EXPECT_EQ(SUB::BuildList({}), "");
  EXPECT_EQ(SUB::BuildList({""}), "||");
  EXPECT_EQ(SUB::BuildList({"a|b", "c"}), "*a|b*c*");
  EXPECT_EQ(SUB::BuildList({"a", "B", "b", "", "a"}, true), "|a|B|");
}

TEST(FieldList, SetField) {
  EXPECT_EQ(SUB::SetField("|a|b|c|", 1, "X"), "|a|X|c|");
  EXPECT_EQ(SUB::SetField("|a|", 3, "X"), "|a|||X|");
  EXPECT_EQ(SUB::SetField("", 0, "X"), "|X|");
  EXPECT_EQ(SUB::SetField("", 2, "X"), "|||X|");
  EXPECT_EQ(SUB::SetField("#a#", 0, "b"), "#b#");     // own separator kept
  EXPECT_EQ(SUB::SetField("#a#", 0, "b#c"), "|b#c|"); // re-chosen
  EXPECT_EQ(SUB::SetField("|a|", 0, "b|c"), "*b|c*");
  EXPECT_EQ(SUB::SetField("|a|", -1, "X"), "|a|");
  EXPECT_EQ(SUB::SetField("|a|", INT_MAX, "X"), "|a|"); // no huge allocation
  EXPECT_EQ(SUB::FieldCount(SUB::SetField("", SUB::kMaxExtendPosition, "X")),
            SUB::kMaxExtendPosition + 1);
}

TEST(FieldList, AppendFields) {
  EXPECT_EQ(SUB::AppendFields("|a|", {"b", "c"}), "|a|b|c|");
  EXPECT_EQ(SUB::AppendFields("#a#", {"b"}), "#a#b#");
  EXPECT_EQ(SUB::AppendFields("#a#", {"b#"}), "|a|b#|");
  EXPECT_EQ(SUB::AppendFields("", {"x", "y"}), "|x|y|");
  EXPECT_EQ(SUB::AppendFields("|a|", {}), "|a|");
  EXPECT_EQ(SUB::AppendFields("|a|b|", {"A", "c"}, true), "|a|b|c|");
}

TEST(FieldList, Distinct) {
  EXPECT_EQ(SUB::Distinct("|a| A |b||a|c|"), "|a|b|c|");
  EXPECT_EQ(SUB::Distinct("|-|a|-|a|-|", "|-|"), "|-|a|-|-|");
  EXPECT_EQ(SUB::Distinct("|||"), "");
  EXPECT_EQ(SUB::Distinct("#x#X#"), "#x#");
  EXPECT_EQ(SUB::Distinct(""), "");
}

TEST(FieldList, TrimEmptyFields) {
  EXPECT_EQ(SUB::TrimEmptyFields("|||a||b|||"), "|||a||b|");
  EXPECT_EQ(SUB::TrimEmptyFields("|||a||b|||", false, true), "|a||b|||");
  EXPECT_EQ(SUB::TrimEmptyFields("|||a||b|||", true, true), "|a||b|");
  EXPECT_EQ(SUB::TrimEmptyFields("||||", true, true), "");
  EXPECT_EQ(SUB::TrimEmptyFields("|a|", false, false), "|a|");
}

// Every operation on awkward inputs: no crash, no sanitizer report.
TEST(FieldList, SafeOnAnyInput) {
  const std::string inputs[] = {"",
                                "|",
                                "||",
                                "|||",
                                "a",
                                "=",
                                "|=|",
                                std::string(1, '\0'),
                                std::string(2, '\0'),
                                std::string("|\0|\0|", 5),
                                std::string("\0a=\0", 4),
                                "|a|b",
                                "|k = v|",
                                std::string(3000, '|')};
  const int positions[] = {INT_MIN, -2, -1, 0, 1, 2, 1000, INT_MAX};
  for (const auto& s : inputs) {
    (void)SUB::FieldCount(s);
    for (int p : positions) {
      (void)SUB::GetField(s, p, "d");
      (void)SUB::GetFieldInt(s, p, 5);
      (void)SUB::DeleteField(s, p);
      if (p <= 1000) (void)SUB::SetField(s, p, s);
    }
    for (const auto& t : inputs) {
      (void)SUB::FindField(s, t, -1, false);
      (void)SUB::FindField(s, t, -1, true);
      (void)SUB::HasField(s, t, true, true);
      (void)SUB::GetValue(s, t, true, true, "d", "n");
      (void)SUB::GetValue(s, t, false, false, "d", "n");
      (void)SUB::JoinPairs(s, t, true);
      (void)SUB::Distinct(s, t);
      (void)SUB::AppendFields(s, {t, s}, true);
    }
    (void)SUB::KeysOf(s, true);
    (void)SUB::ValuesOf(s);
    (void)SUB::ReverseFields(s);
    (void)SUB::ChangeSeparator(s, '#');
    (void)SUB::ChooseSeparator(s);
    (void)SUB::TrimEmptyFields(s, true, true);
    (void)SUB::BuildList({s, s}, true);
  }
  EXPECT_EQ(SUB::FieldCount(std::string(3000, '|')), 2999);
}

TEST(FieldList, OneNulCountsAsEmpty) {
  EXPECT_EQ(SUB::FieldCount(std::string(1, '\0')), 0);
  EXPECT_EQ(SUB::AppendFields(std::string(1, '\0'), {"a"}), "|a|");
}
