#include "ui/markup.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "util/text.h"

using namespace ui;

namespace ui {
void PrintTo(const BoldRun& run, std::ostream* os) {
  *os << "[" << run.start << "," << run.end << ")";
}
} // namespace ui

namespace {

// The tag rules done the slow, obvious way, to check the fast scan against.
MarkupText ParseLiterally(std::string_view markup) {
  std::string s = ExpandMarkup(markup);
  if (s.starts_with("<<b>")) s.erase(0, 1);
  MarkupText out;
  for (;;) {
    const std::size_t open = util::FindNoCase(s, "<B>");
    if (open == std::string::npos) break;
    s.erase(open, 3);
    const std::size_t close = util::FindNoCase(s, "</B>");
    if (close != std::string::npos && close >= open) {
      s.erase(close, 4);
      out.bold.push_back({open, close});
    }
  }
  out.text = util::ReplaceAllNoCase(s, "</B>", "");
  std::vector<BoldRun> kept;
  for (BoldRun run : out.bold) {
    run.end = std::min(run.end, out.text.size());
    if (run.start < run.end) kept.push_back(run);
  }
  out.bold = kept;
  return out;
}

} // namespace

TEST(Markup, ExpandMarkupEscapesAndLineTags) {
  struct Case {
    std::string in, out;
  } cases[] = {
      {"A<p>B\\\\tC", "A\r\nB\tC"},
      {"x\\\\ny", "x\r\ny"},
      {"<P><t><T>", "\r\n\t\t"},
      {"\\n \\t", "\\n \\t"},         // one backslash is no escape
      {"\\\\N \\\\T", "\\\\N \\\\T"}, // the escapes are case-sensitive
      {"<B>b</B> <x> < P>", "<B>b</B> <x> < P>"},
      {"", ""},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ExpandMarkup(c.in), c.out) << c.in;
}

TEST(Markup, BoldRunsAndUnmatchedTags) {
  struct Case {
    std::string in, text;
    std::vector<BoldRun> bold;
  } cases[] = {
      {"<b>x</B>y<B>z", "xyz", {{0, 1}}},
      {"a<B>bc</b>d<B>e</B>", "abcde", {{1, 3}, {4, 5}}},
      {"<B>a<P>b</B>", "a\r\nb", {{0, 4}}},
      // A closing tag before the next opening one ends all bold.
      {"</B>a<B>b</B>", "ab", {}},
      {"<B>a</B></B>b<B>c</B>", "abc", {{0, 1}}},
      // Nested: the inner opening tag pairs with the first closing one.
      {"<B>a<B>b</B>c</B>", "abc", {{0, 3}, {1, 3}}},
      {"<B></B>x", "x", {}},
      {"<B>", "", {}},
      {"", "", {}},
      {"<<b>T</b><P><P>t", "T\r\n\r\nt", {{0, 1}}},
      {"<<B>T</B>", "<T", {{1, 2}}}, // only the lower-case heading form
      // Tags joined out of the pieces of removed ones.
      {"</<B>B>x", "x", {}},
      {"<<B>B>x</B>", "x", {}},
      {"a < b > c <Bx>", "a < b > c <Bx>", {}},
  };
  for (const Case& c : cases) {
    const MarkupText m = ParseMarkup(c.in);
    EXPECT_EQ(m.text, c.text) << c.in;
    EXPECT_EQ(m.bold, c.bold) << c.in;
  }
}

TEST(Markup, FastScanMatchesTheLiteralRules) {
  std::mt19937 random(20240611);
  const std::string_view pieces[] = {"<", "/", "B", "b", ">", "x", "<B>", "</B>", "<P>", "<<b>"};
  for (int round = 0; round < 20000; ++round) {
    std::string in;
    const int count = static_cast<int>(random() % 16);
    for (int i = 0; i < count; ++i)
      in += pieces[random() % std::size(pieces)];
    const MarkupText fast = ParseMarkup(in);
    const MarkupText literal = ParseLiterally(in);
    ASSERT_EQ(fast.text, literal.text) << in;
    ASSERT_EQ(fast.bold, literal.bold) << in;
  }
}

TEST(Markup, ManyTagsStayFast) {
  std::string in;
  for (int i = 0; i < 100000; ++i)
    in += "<b>x</b>";
  const MarkupText m = ParseMarkup(in);
  ASSERT_EQ(m.text, std::string(100000, 'x'));
  ASSERT_EQ(m.bold.size(), 100000u);
  for (std::size_t i = 0; i < m.bold.size(); ++i)
    ASSERT_EQ(m.bold[i], (BoldRun{i, i + 1}));
}

TEST(Markup, HeadingFromTheCaption) {
  const MarkupText attention = ParseMarkup(HeadingText("Go<B>!</B>", "Attention"));
  EXPECT_EQ(attention.text, "ATTENTION\r\n\r\nGo!\r\n");
  EXPECT_EQ(attention.bold, (std::vector<BoldRun>{{0, 9}, {15, 16}}));

  EXPECT_EQ(HeadingText("t", "My App"), "<<b>My App</b><P><P>t<P>");
  // The caption list test is a case-sensitive substring test.
  EXPECT_EQ(HeadingText("t", "tent"), "<<b>TENT</b><P><P>t<P>");
  EXPECT_EQ(HeadingText("t", "error"), "<<b>error</b><P><P>t<P>");
  EXPECT_EQ(ParseMarkup(HeadingText("", "")).text, "\r\n\r\n\r\n");
}
