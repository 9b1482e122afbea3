#include <gtest/gtest.h>

#include <random>
#include <string>

#include "package/token.h"
#include "util/scramble.h"
#include "util/text.h"

using util::Scramble;

namespace {

bool IsNumberBelow99999(const std::string& s) {
  auto v = util::StrToInt64(s);
  return !s.empty() && s.find_first_not_of("0123456789") == std::string::npos && v && *v >= 0 &&
         *v < 99999;
}

std::string AllBytes() {
  std::string s;
  for (int i = 0; i < 256; ++i)
    s.push_back(static_cast<char>(i));
  return s;
}

} // namespace

// --- Scramble ---

TEST(Scramble, KnownVectorWithFixedKey) {
  // k = 40: i=1 mask 41, i=2 mask (2-40)&255 = 218, i=3 mask 43.
  std::string expected = "Scrambled=01(";
  expected.push_back(static_cast<char>('a' ^ 41));
  expected.push_back(static_cast<char>('b' ^ 218));
  expected.push_back(static_cast<char>('c' ^ 43));
  EXPECT_EQ(Scramble("abc", true, false, 40), expected);
  EXPECT_EQ(Scramble(expected, false, false), "abc");
}

TEST(Scramble, HexOutputIsUpperCasePairs) {
  const std::string s = Scramble("abc", true, true, 40);
  EXPECT_EQ(s.substr(0, 26), util::ToHexPairs("Scrambled=01("));
  EXPECT_EQ(s.substr(0, 4), "5363");
  EXPECT_EQ(s.size(), 32u);
  EXPECT_EQ(s.find_first_not_of("0123456789ABCDEF"), std::string::npos);
  EXPECT_EQ(Scramble(s, false, true), "abc");
  EXPECT_EQ(Scramble(util::ToLowerAscii(s), false, true), "abc"); // either case reads
}

TEST(Scramble, RoundTripRandomKeys) {
  const std::string texts[] = {"", "x", "C:\\Program Files\\App", AllBytes(),
                               std::string(1000, 'z')};
  for (const auto& t : texts) {
    for (bool hex : {false, true}) {
      for (int n = 0; n < 20; ++n) {
        const std::string s = Scramble(t, true, hex);
        const std::string plain = hex ? [&] {
          std::string d;
          EXPECT_TRUE(util::FromHexPairs(s, d));
          return d;
        }()
                                      : s;
        ASSERT_EQ(plain.substr(0, 12), "Scrambled=01");
        const int k = static_cast<unsigned char>(plain[12]);
        EXPECT_GE(k, 33);
        EXPECT_LE(k, 122);
        EXPECT_EQ(Scramble(s, false, hex), t);
      }
    }
  }
  for (int k = 0; k < 256; ++k)
    EXPECT_EQ(
        Scramble(Scramble(AllBytes(), true, false, static_cast<std::uint8_t>(k)), false, false),
        AllBytes());
}

TEST(Scramble, MarkerRules) {
  // Already protected: unchanged when scrambling.
  EXPECT_EQ(Scramble("Scrambled=01Xabc", true, false, 40), "Scrambled=01Xabc");
  EXPECT_EQ(Scramble("Scrambled=01Xabc", true, true, 40), "Scrambled=01Xabc");
  // Not protected: unchanged when unscrambling.
  EXPECT_EQ(Scramble("plain text", false, false), "plain text");
  EXPECT_EQ(Scramble("scrambled=01Xabc", false, false), "scrambled=01Xabc"); // case-sensitive
  // Marker only, or marker and key: nothing / empty body.
  EXPECT_EQ(Scramble("Scrambled=01", false, false), "Scrambled=01");
  EXPECT_EQ(Scramble("Scrambled=01K", false, false), "");
  EXPECT_EQ(Scramble("", false, false), "");
  EXPECT_EQ(Scramble("", false, true), "");
}

TEST(Scramble, InvalidHexIsReturnedUnchanged) {
  EXPECT_EQ(Scramble("plain text", false, true), "plain text");
  EXPECT_EQ(Scramble("ABC", false, true), "ABC");   // odd length
  EXPECT_EQ(Scramble("12G4", false, true), "12G4"); // not a digit
  EXPECT_EQ(Scramble("4142", false, true), "4142"); // valid hex, no marker: the input back
  std::string s = Scramble("abc", true, true, 40);
  s[20] = 'Z';
  EXPECT_EQ(Scramble(s, false, true), s);
}

// --- Tokens ---

TEST(Token, MakeTokenRoundTripAnyBytes) {
  std::mt19937 rng(7);
  for (std::size_t len = 0; len <= 200; ++len) {
    std::string plain;
    for (std::size_t i = 0; i < len; ++i)
      plain.push_back(static_cast<char>(rng() & 0xFF));
    for (std::uint32_t seed : {0u, 1u, 12345u, static_cast<std::uint32_t>(len * 977)}) {
      const std::string token = package::MakeToken(plain, seed);
      ASSERT_EQ(package::UnscrambleToken(token), plain) << "len " << len << " seed " << seed;
    }
  }
  EXPECT_EQ(package::UnscrambleToken(package::MakeToken(AllBytes(), 3)), AllBytes());
}

TEST(Token, MakeTokenForm) {
  const std::string t = package::MakeToken("SECRET", 42);
  EXPECT_EQ(t, package::MakeToken("SECRET", 42)); // deterministic per seed
  EXPECT_NE(t, package::MakeToken("SECRET", 43));
  EXPECT_EQ(t.size() % 2, 0u);
  for (char c : t) {
    const char d = static_cast<char>(c - 50);
    EXPECT_TRUE((d >= '0' && d <= '9') || (d >= 'A' && d <= 'F')) << c; // upper-case pairs
  }
  // The payload does not appear in clear.
  EXPECT_EQ(t.find("SECRET"), std::string::npos);
}

TEST(Token, LayoutByHand) {
  // D = r0, a, b, pad(a=1), payload "Hi", pad(b-1=0), check, r1 with k = 0.
  std::string d;
  d.push_back(0x10); // r0
  d.push_back(1);    // a
  d.push_back(1);    // b
  d.push_back(0x77); // padding
  d += "Hi";
  unsigned sum = 0x10 + 1 + 1 + 0x77 + 'H' + 'i' + 0x10;
  d.push_back(static_cast<char>(sum & 0xFF)); // check byte
  d.push_back(0x10);                          // r1: k = 0
  std::string hex = util::ToHexPairs(d);
  for (char& c : hex)
    c = static_cast<char>(c + 50);
  EXPECT_EQ(package::UnscrambleToken(hex), "Hi");
  // Lower-case digits read too.
  std::string lower = util::ToLowerAscii(util::ToHexPairs(d));
  for (char& c : lower)
    c = static_cast<char>(c + 50);
  EXPECT_EQ(package::UnscrambleToken(lower), "Hi");
}

TEST(Token, BadTokensGiveARandomNumber) {
  const std::string good = package::MakeToken("payload-text", 9);
  std::string wrongCheck = good;
  // Change one digit of the payload area (keeps it a hex digit: '0'+50 <-> '1'+50).
  wrongCheck[10] = wrongCheck[10] == 'b' ? 'c' : 'b';
  const std::string cases[] = {"",
                               "b",
                               "bbbbbbbb",
                               "bbbbbbbbbb" /* 5 zero bytes: sum ok, a=b=0 */,
                               "not a token at all",
                               wrongCheck,
                               good.substr(0, good.size() - 2)};
  for (const auto& c : cases) {
    const std::string r = package::UnscrambleToken(c);
    EXPECT_NE(r, "payload-text");
    if (c != "bbbbbbbbbb") {
      EXPECT_TRUE(IsNumberBelow99999(r)) << c << " -> " << r;
    }
  }
  // Five zero bytes: check byte 0 equals the sum 0; a = b = 0 -> len-a-b-4 = 1 byte at index 3.
  EXPECT_EQ(package::UnscrambleToken("bbbbbbbbbb"), std::string(1, '\0'));
}

TEST(Token, CountsThatDoNotFitGiveARandomNumber) {
  // r0 = 0, a = 200, b = 1, one padding byte, check, r1 = 0 (k = 0).
  std::string d = {0, static_cast<char>(200), 1, 5};
  d.push_back(static_cast<char>((200 + 1 + 5) & 0xFF));
  d.push_back(0);
  std::string hex = util::ToHexPairs(d);
  for (char& c : hex)
    c = static_cast<char>(c + 50);
  EXPECT_TRUE(IsNumberBelow99999(package::UnscrambleToken(hex)));
}

TEST(Token, InvalidPairEndsTheReading) {
  const std::string good = package::MakeToken("abc", 5);
  // Trailing garbage after a valid token: reading stops there, the token stands.
  EXPECT_EQ(package::UnscrambleToken(good + "??xyz"), "abc");
  // An odd last character is ignored.
  EXPECT_EQ(package::UnscrambleToken(good + "b"), "abc");
}

TEST(Token, SplitScrambledList) {
  const std::string token = package::MakeToken("TOKEN-1", 11);
  const std::string list = "head|" + token + "|second|third|the rest|x|";
  // Plain protection.
  const std::string prot = Scramble(list, true, false, 77);
  auto [t, rest] = package::SplitScrambledList(prot);
  EXPECT_EQ(t, "TOKEN-1");
  EXPECT_EQ(rest, "the rest|x|");
  // Hex-written protection.
  auto [t2, rest2] = package::SplitScrambledList(Scramble(list, true, true, 77));
  EXPECT_EQ(t2, "TOKEN-1");
  EXPECT_EQ(rest2, "the rest|x|");
  // Unprotected text is read as it is.
  auto [t3, rest3] = package::SplitScrambledList(list);
  EXPECT_EQ(t3, "TOKEN-1");
  EXPECT_EQ(rest3, "the rest|x|");
  // Missing parts.
  auto [t4, rest4] = package::SplitScrambledList("|" + token);
  EXPECT_EQ(t4, "TOKEN-1");
  EXPECT_EQ(rest4, "");
  auto [t5, rest5] = package::SplitScrambledList("");
  EXPECT_TRUE(IsNumberBelow99999(t5));
  EXPECT_EQ(rest5, "");
}
