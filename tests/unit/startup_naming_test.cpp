// Run-mode naming: class names, agent log, relaunch arguments; and the
// trace device that carries every trace line.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "startup/run_mode.h"
#include "util/switches.h"
#include "util/text.h"
#include "util/trace.h"

namespace {

TEST(RunModeNaming, ClassNamesCutOnlyTheLastExtension) {
  using startup::StubClassNameFor;
  EXPECT_EQ(StubClassNameFor(true, "C:\\P\\Prog.AutoUpdate.exe"), ".AutoUpdate.Prog.AutoUpdate");
  EXPECT_EQ(startup::XCopyClassName("Prog.AutoUpdate.exe"), ".AutoUpdate.X_Prog.AutoUpdate");
  EXPECT_EQ(StubClassNameFor(false, "C:\\a b\\setup.exe"), "C:\\a b\\setup.exe");
}

TEST(RunModeNaming, LongPathsGetAClassNameThatFitsAndStaysUnique) {
  using startup::StubClassNameFor;
  const std::string folder = "C:\\" + std::string(240, 'd') + "\\";
  // Up to the limit a path is its own class name, as other programs expect.
  const std::string fits = folder + std::string(255 - folder.size(), 's');
  EXPECT_EQ(StubClassNameFor(false, fits), fits);

  const std::string a = folder + "setup-one.exe", b = folder + "setup-two.exe";
  const std::string nameA = StubClassNameFor(false, a), nameB = StubClassNameFor(false, b);
  for (const std::string& name : {nameA, nameB}) {
    EXPECT_LE(name.size(), startup::kMaxClassNameLength);
    EXPECT_EQ(name.substr(0, 200), a.substr(0, 200));
  }
  EXPECT_NE(nameA, nameB);  // the paths differ only past the kept prefix
  EXPECT_EQ(StubClassNameFor(false, a), nameA);
  // Class names ignore case; so does the hash.
  EXPECT_EQ(startup::FitClassName(util::ToUpperAscii(a)).substr(nameA.size() - 16),
            nameA.substr(nameA.size() - 16));
  // An agent with a very long file name.
  const std::string agent = std::string(250, 'p') + ".exe";
  EXPECT_LE(StubClassNameFor(true, "C:\\P\\" + agent).size(), startup::kMaxClassNameLength);
  EXPECT_NE(startup::XCopyClassName(agent), StubClassNameFor(true, "C:\\P\\" + agent));
}

TEST(RunModeNaming, AgentFileRoles) {
  EXPECT_TRUE(startup::IsPlainAgentFile("C:\\P\\prog.autoupdate.EXE", " Prog.AutoUpdate.exe "));
  EXPECT_FALSE(startup::IsPlainAgentFile("C:\\P\\X_Prog.AutoUpdate.exe", "Prog.AutoUpdate.exe"));
  EXPECT_TRUE(startup::IsXAgentFile("C:\\P\\x_Prog.AutoUpdate.exe", "Prog.AutoUpdate.exe"));
  EXPECT_FALSE(startup::IsXAgentFile("C:\\P\\Other.exe", "Prog.AutoUpdate.exe"));
}

TEST(RunModeNaming, AgentLogFileIsSharedByAgentAndCopy) {
#ifdef _WIN32
  const char* dir = "C:\\P\\";
#else
  const char* dir = "C:\\P/";
#endif
  EXPECT_EQ(startup::AgentLogFilePath("C:\\P\\Prog.AutoUpdate.exe"),
            std::string(dir) + "X_Prog.AutoUpdate.log");
  EXPECT_EQ(startup::AgentLogFilePath("C:\\P\\X_Prog.AutoUpdate.exe"),
            std::string(dir) + "X_Prog.AutoUpdate.log");
  // "x_" is not the prefix: the check is case-sensitive.
  EXPECT_EQ(startup::AgentLogFilePath("C:\\P\\x_a.exe"), std::string(dir) + "X_x_a.log");
}

TEST(RunModeNaming, AgentLogLineAlignsTheThreadId) {
  EXPECT_EQ(startup::AgentLogLine("07/12/26 10:11:12", 987, "   ", "Hello"),
            "07/12/26 10:11:12   987   Hello");
  EXPECT_EQ(startup::AgentLogLine("07/12/26 10:11:12", 123456, " X ", ""),
            "07/12/26 10:11:12 123456 X ");
}

TEST(RunModeNaming, SpanRelaunchArgumentsNameTheFirstVolumeAndTheOrigin) {
  EXPECT_EQ(startup::SpanRelaunchArguments("/a=1", "D:\\cd setup\\s.exe"),
            "/a=1 /SpanCdLvl=2 /SpanDiskFName1=\"D:\\cd setup\\s.exe.001\" "
            "/OriginExe=\"D:\\cd setup\\s.exe\"");
  EXPECT_EQ(startup::SpanRelaunchArguments("", "D:\\s.exe"),
            "/SpanCdLvl=2 /SpanDiskFName1=\"D:\\s.exe.001\" /OriginExe=\"D:\\s.exe\"");
}

// Whatever span switches the user gave, the copy reads ours: the first
// occurrence of a switch wins, and a "/SpanCdLvl=1" ahead of ours made
// every copy relaunch the next one.
TEST(RunModeNaming, SpanRelaunchDropsTheUsersSpanSwitches) {
  const std::string own = "D:\\cd\\s.exe";
  struct Case {
    const char* tail;
    const char* kept;  // what is left of the user's tail
  } cases[] = {
      {"/SpanCdLvl=1", ""},
      {"/spancdlvl=x /lang=de", "/lang=de"},
      {"/lang=de /SpanCdLvl = 1 /hide", "/lang=de /hide"},
      {"\"/SpanCdLvl=1\" /a=\"b c\"", "/a=\"b c\""},
      {"/SpanCdLvl=1 /SpanCdLvl=1 /SpanDiskFName1=\"E:\\x.001\"", ""},
      {"/a=\"x /SpanCdLvl=1\"", "/a=\"x\""},
      {"/MySpanCdLvl=1 a/SpanCdLvl=1", "/MySpanCdLvl=1 a/SpanCdLvl=1"},
  };
  for (const Case& c : cases) {
    const std::string args = startup::SpanRelaunchArguments(c.tail, own);
    const util::CommandLine cl{"\"C:\\t\\Y_s.exe\" " + args, "C:\\t\\Y_s.exe"};
    EXPECT_EQ(util::SwitchNumber(cl, "/SpanCdLvl=", 1), 2) << c.tail;
    EXPECT_EQ(util::SwitchValue(cl, "/SpanDiskFName1=", ""), own + ".001") << c.tail;
    EXPECT_EQ(args.substr(0, args.find("/SpanCdLvl=2")), std::string(c.kept) + (*c.kept ? " " : ""))
        << c.tail;
  }
}

std::vector<std::string> g_pieces;
void Collect(std::string_view piece) { g_pieces.emplace_back(piece); }

TEST(TraceDevice, LongLinesTravelIn128CharacterPieces) {
  g_pieces.clear();
  util::SetTraceSink(&Collect);
  const std::string line(300, 'x');
  util::WriteTraceLine(line);
  util::WriteTracePair("a", "b");
  util::SetTraceSink(nullptr);
  ASSERT_EQ(g_pieces.size(), 4u);
  EXPECT_EQ(g_pieces[0].size(), 128u);
  EXPECT_EQ(g_pieces[1].size(), 128u);
  EXPECT_EQ(g_pieces[2], std::string(44, 'x') + "\r\n");
  EXPECT_EQ(g_pieces[3], "[a]  [b]\r\n");
}

// A sink that traces again while it delivers, as the viewer's synchronous
// message lets a window procedure of the same thread do.
void Reenter(std::string_view piece) {
  g_pieces.emplace_back(piece);
  util::WriteTraceLine("nested " + std::to_string(g_pieces.size()));
}

TEST(TraceDevice, TextWrittenDuringADeliveryIsDeliveredWithoutOverflow) {
  g_pieces.clear();
  util::SetTraceSink(&Reenter);
  util::WriteTraceLine(std::string(300, 'x'));
  util::SetTraceSink(&Collect);
  util::WriteTraceLine("after");
  util::SetTraceSink(nullptr);
  // Every piece fits the buffer; the outer line arrives whole and in order;
  // the nesting stops after a few levels instead of recursing forever.
  std::string outer;
  for (const std::string& p : g_pieces) {
    ASSERT_LE(p.size(), util::kTraceBufferSize);
    if (p.rfind("nested", 0) != 0) outer += p;
  }
  EXPECT_EQ(outer, std::string(300, 'x') + "\r\n" + "after\r\n");
  EXPECT_NE(std::find(g_pieces.begin(), g_pieces.end(), "nested 1\r\n"), g_pieces.end());
  EXPECT_LT(g_pieces.size(), 40u);
}

TEST(TraceDevice, ExceptionReportLeavesEmptyItemsOut) {
  EXPECT_EQ(util::FormatExceptionReport("YieldX", "", "Boom"),
            " ---  [ Method = YieldX ]  [ ErrMsg = Boom ] ");
  EXPECT_EQ(util::FormatExceptionReport("M", "R", ""), " ---  [ Method = M ]  [ Remark = R ] ");
  EXPECT_EQ(util::FormatExceptionReport("", "", ""), " --- ");
}

TEST(TraceDevice, DebugFileLineEnds) {
  EXPECT_EQ(util::NormalizeLineEnds("a\rb\nc\r\nd"), "a\r\nb\r\nc\r\nd");
  EXPECT_EQ(util::NormalizeLineEnds("\r\r\n\n"), "\r\n\r\n\r\n");
}

}  // namespace
