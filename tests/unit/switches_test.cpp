#include "util/switches.h"

#include <gtest/gtest.h>

using util::CommandLine;

namespace {
const std::string kExe = "C:\\Program Files\\Vantor\\setup.exe";
CommandLine Cl(std::string text) {
  return CommandLine{std::move(text), kExe};
}
} // namespace

TEST(Switches, ArgumentTailRemovesTheProgramName) {
  EXPECT_EQ(util::ArgumentTail(Cl("\"C:\\Program Files\\Vantor\\setup.exe\" /A=1  ")), "/A=1");
  EXPECT_EQ(util::ArgumentTail(Cl("\"C:\\Program Files\\Vantor\\SETUP.EXE\"/A=1")), "/A=1");
  EXPECT_EQ(util::ArgumentTail(Cl("setup.exe /A=1")), "/A=1");
  EXPECT_EQ(util::ArgumentTail(Cl("C:\\PROGRA~1\\Vantor\\setup.exe /A=1 /B")), "/A=1 /B");
  EXPECT_EQ(util::ArgumentTail(Cl("other.exe /A=1")), "other.exe /A=1");
  EXPECT_EQ(util::ArgumentTail(Cl("")), "");
  EXPECT_EQ(util::ArgumentTail(CommandLine{" x /A=1 ", ""}), "x /A=1"); // no path: nothing removed
}

TEST(Switches, OnlyTheProgramNameGivesAnEmptyTail) {
  for (const char* text :
       {"\"C:\\Program Files\\Vantor\\setup.exe\"", "C:\\Program Files\\Vantor\\setup.exe",
        "setup.exe", "  setup.exe  ", "\"setup.exe\"", "setup.exe \""}) {
    const CommandLine cl = Cl(text);
    EXPECT_EQ(util::ArgumentTail(cl), "") << text;
    EXPECT_EQ(util::SwitchValue(cl, "/WAIT=", "d"), "d") << text;
    EXPECT_EQ(util::SwitchNumber(cl, "/WAIT=", -1), -1) << text;
    EXPECT_FALSE(util::SwitchPresent(cl, "/hide")) << text;
  }
}

TEST(Switches, QuotedPathsAndValues) {
  const CommandLine cl{"\"C:\\dir\\setup.exe\" /WAIT=10 /TRANSIENT=\"C:\\t\\x.exe\"",
                       "C:\\dir\\setup.exe"};
  EXPECT_EQ(util::SwitchValue(cl, "/WAIT=", ""), "10");
  EXPECT_EQ(util::SwitchNumber(cl, "/WAIT=", -1), 10);
  EXPECT_EQ(util::SwitchValue(cl, "/TRANSIENT=", ""), "C:\\t\\x.exe");
}

TEST(Switches, NamesMatchWithoutRegardToCase) {
  EXPECT_EQ(util::SwitchNumber(Cl("setup.exe /wait=5"), "/WAIT=", -1), 5);
  EXPECT_EQ(util::SwitchValue(Cl("setup.exe /WaIt=x"), "wait", ""), "x"); // sign and "=" optional
  EXPECT_EQ(util::SwitchValue(Cl("setup.exe /WAIT=x"), " /WAIT= ", ""), "x");
}

TEST(Switches, LongerNameDoesNotMatchAShorterOne) {
  const CommandLine cl = Cl("setup.exe /SleepX=3 /Sleep=4");
  EXPECT_EQ(util::SwitchNumber(cl, "/Sleep=", -1), 4);
  EXPECT_EQ(util::SwitchNumber(cl, "/SleepX=", -1), 3);
}

TEST(Switches, QuotedValueWithBlanksComesBackWhole) {
  const CommandLine cl =
      Cl("\"C:\\Program Files\\Vantor\\setup.exe\" /SpanDiskFName1=\"C:\\My Files\\a b.exe.001\" "
         "/OriginExe=\"C:\\x y\\z.exe\"");
  EXPECT_EQ(util::SwitchValue(cl, "/SpanDiskFName1=", ""), "C:\\My Files\\a b.exe.001");
  EXPECT_EQ(util::SwitchValue(cl, "/OriginExe=", ""), "C:\\x y\\z.exe");
}

TEST(Switches, MinusSignIsASeparateNamespace) {
  const CommandLine cl = Cl("setup.exe /WAIT=2 -STOP=1");
  EXPECT_EQ(util::SwitchValue(cl, "-STOP=", "d"), "1");
  EXPECT_EQ(util::SwitchValue(cl, "/STOP=", "d"), "d");
  EXPECT_EQ(util::SwitchValue(cl, "STOP=", "d"), "d");
  EXPECT_EQ(util::SwitchValue(cl, "-WAIT=", "d"), "d");
  EXPECT_EQ(util::SwitchValue(cl, "/WAIT=", "d"), "2 -STOP=1"); // a value ends only at " /"
  // ...and a "-" value only at " -" (the list is built for one sign).
  EXPECT_EQ(util::SwitchValue(Cl("setup.exe -STOP=1 /WAIT=2"), "-STOP=", "d"), "1 /WAIT=2");
}

TEST(Switches, NotANumberGivesTheDefault) {
  const CommandLine cl = Cl("setup.exe /TEST=abc /N=-12 /E= /B=99999999999999999999");
  EXPECT_EQ(util::SwitchNumber(cl, "/TEST=", 7), 7);
  EXPECT_EQ(util::SwitchNumber(cl, "/N=", 7), -12);
  EXPECT_EQ(util::SwitchNumber(cl, "/E=", 7), 7);
  EXPECT_EQ(util::SwitchNumber(cl, "/B=", 7), 7);
  EXPECT_EQ(util::SwitchNumber(cl, "/Missing=", 7), 7);
}

TEST(Switches, ValueDetails) {
  const CommandLine cl = Cl("setup.exe /E= /WAIT =10 /V=a b  /V=second /P=x/y");
  EXPECT_EQ(util::SwitchValue(cl, "/E=", "d"), "");      // present but empty: not the default
  EXPECT_EQ(util::SwitchValue(cl, "/WAIT=", "d"), "10"); // blank before "=" ignored
  EXPECT_EQ(util::SwitchValue(cl, "/V=", "d"), "a b");   // first wins, value holds a blank
  EXPECT_EQ(util::SwitchValue(cl, "/P=", "d"), "x/y");   // "/" without a blank before it stays
  EXPECT_EQ(util::SwitchValue(cl, "", "d"), "d");
  EXPECT_EQ(util::SwitchValue(cl, "/", "d"), "d");
  EXPECT_EQ(util::SwitchValue(cl, "-", "d"), "d");
  EXPECT_EQ(util::SwitchValue(cl, "  ", "d"), "d");
}

TEST(Switches, PresentMeansTheWordIsInTheTail) {
  const CommandLine cl = Cl("\"C:\\Program Files\\Vantor\\setup.exe\" /hide /AutoUpdateProg");
  EXPECT_TRUE(util::SwitchPresent(cl, "/hide"));
  EXPECT_TRUE(util::SwitchPresent(cl, "/HIDE"));
  EXPECT_TRUE(util::SwitchPresent(cl, " /autoupdateprog "));
  EXPECT_FALSE(util::SwitchPresent(cl, "/hid")); // must be blank-terminated
  EXPECT_FALSE(util::SwitchPresent(cl, "/Verbose"));
  EXPECT_FALSE(util::SwitchPresent(cl, ""));
  // An empty tail holds no flag.
  EXPECT_FALSE(util::SwitchPresent(Cl("setup.exe"), "/hide"));
  EXPECT_FALSE(util::SwitchPresent(Cl(""), "/AutoUpdateProg"));
}

TEST(Switches, QuoteIfBlank) {
  EXPECT_EQ(util::QuoteIfBlank("C:\\a\\b.exe"), "C:\\a\\b.exe");
  EXPECT_EQ(util::QuoteIfBlank("C:\\a b\\c.exe"), "\"C:\\a b\\c.exe\"");
  EXPECT_EQ(util::QuoteIfBlank("\"C:\\a b\\c.exe\""), "\"C:\\a b\\c.exe\"");
  EXPECT_EQ(util::QuoteIfBlank(""), "");
  EXPECT_EQ(util::QuoteIfBlank("\""), "\"");
  EXPECT_EQ(util::QuoteIfBlank("\" x"), "\"\" x\"");
}

TEST(Switches, ProcessCommandLineCanBeSet) {
  util::SetProcessCommandLine(Cl("\"C:\\Program Files\\Vantor\\setup.exe\" /SpanCdLvl=2 /hide"));
  EXPECT_EQ(util::ArgumentTail(), "/SpanCdLvl=2 /hide");
  EXPECT_EQ(util::SwitchNumber("/SpanCdLvl=", 1), 2);
  EXPECT_EQ(util::SwitchValue("/SpanCdLvl=", ""), "2");
  EXPECT_TRUE(util::SwitchPresent("/hide"));
  util::ClearProcessCommandLine();
  // The real command line of the test runner holds none of these.
  EXPECT_EQ(util::SwitchNumber("/SpanCdLvl=", 1), 1);
  EXPECT_FALSE(util::ProcessCommandLine().programPath.empty());
}
