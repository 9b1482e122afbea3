// The engine's command line and the temporary-space question.
#include <gtest/gtest.h>

#include "package/setup_command.h"

namespace package {
namespace {

EngineLaunch Launch(std::string launchText, std::string extraArgs) {
  EngineLaunch l;
  l.workFolder = "C:\\Temp\\SETUP_123\\";
  l.launchText = std::move(launchText);
  l.extraArgs = std::move(extraArgs);
  l.launchToken = "_42";
  l.ownPath = "D:\\My Setup.exe";
  return l;
}

TEST(EngineCommandLine, OrderOfTheParts) {
  EXPECT_EQ(EngineCommandLine(Launch("Engine.exe*/a /b", "/lang=de")),
            "C:\\Temp\\SETUP_123\\Engine.exe /lang=de /a /b /TH_ID=_42 "
            "/OriginExe=\"D:\\My Setup.exe\"");
  EXPECT_EQ(EngineCommandLine(Launch("Engine.exe", "")),
            "C:\\Temp\\SETUP_123\\Engine.exe /TH_ID=_42 /OriginExe=\"D:\\My Setup.exe\"");
  EngineLaunch agent = Launch("Engine.exe*", "");
  agent.workFolder = "C:\\Temp\\SETUP_123";  // the trailing backslash is added
  agent.isAutoUpdateProg = true;
  EXPECT_EQ(EngineCommandLine(agent),
            "C:\\Temp\\SETUP_123\\Engine.exe /TH_ID=_42 /OriginExe=\"D:\\My Setup.exe\" "
            "/AutoUpdateProg");
}

TEST(EngineCommandLine, ARelaunchPassesTheFirstStubAndNoSpanSwitches) {
  const std::string tail =
      "/x=1 /SpanCdLvl=2 /SpanDiskFName1=\"D:\\s.exe.001\" /OriginExe=\"D:\\s.exe\"";
  EXPECT_EQ(EngineCommandLine(Launch("Engine.exe", tail)),
            "C:\\Temp\\SETUP_123\\Engine.exe /x=1 /OriginExe=\"D:\\s.exe\" /TH_ID=_42");
}

TEST(EngineCommandLine, AnEnginePathWithABlankIsQuoted) {
  EngineLaunch l = Launch("Engine.exe", "");
  l.workFolder = "C:\\Documents and Settings\\Temp\\SETUP_1\\";
  EXPECT_EQ(EngineCommandLine(l),
            "\"C:\\Documents and Settings\\Temp\\SETUP_1\\Engine.exe\" /TH_ID=_42 "
            "/OriginExe=\"D:\\My Setup.exe\"");
}

TEST(RemoveSwitch, DeletesUpToTheNextSlash) {
  EXPECT_EQ(RemoveSwitch("a /X=1 2 /Y=3", "/X="), "a /Y=3");
  EXPECT_EQ(RemoveSwitch("a /Y=3 /X=1", "/X="), "a /Y=3 ");
  EXPECT_EQ(RemoveSwitch("a /Y=3", "/X="), "a /Y=3");
}

std::string Defaults(const void*, std::string_view, std::string_view def) {
  return std::string(def);
}

TEST(TempSpaceQuestion, AsksOnlyWhenShortOrAlwaysReporting) {
  SpaceFacts f;
  f.folder = "c:\\temp";
  f.required = 5 * 1048576.0;
  f.available = 20 * 1048576.0;
  EXPECT_EQ(TempSpaceQuestion(f, &Defaults, nullptr), "");

  f.alwaysReportTempDrive = true;
  EXPECT_EQ(TempSpaceQuestion(f, &Defaults, nullptr),
            "Vantor will extract files to your Temp Drive (C:)<P>"
            "<P>Estimated space required on your Temp drive is: <T>  5.00 MB<P>"
            "Free space available on your Temp drive is: <T>  20.0 MB<P>"
            "<P>Continue with Setup?<P>");

  f.available = f.required;  // not less than: short
  EXPECT_EQ(TempSpaceQuestion(f, &Defaults, nullptr).substr(0, 50),
            "Limited Free Space on your Temp Drive! (C:)<P><P>E");
}

TEST(ElevatedStart, OnlyElevationRequiredRetriesThroughTheShell) {
  EXPECT_TRUE(NeedsElevatedStart(740));
  for (unsigned long other : {0ul, 2ul, 5ul, 193ul, 1223ul}) EXPECT_FALSE(NeedsElevatedStart(other));
}

TEST(ElevatedStart, TheEngineCommandSplitsIntoProgramAndParameters) {
  struct Case {
    const char* command;
    const char* file;
    const char* parameters;
  };
  for (const Case& c : {
           Case{"\"C:\\Documents and Settings\\T\\Engine.exe\" /TH_ID=_4 /OriginExe=\"D:\\a b.exe\"",
                "C:\\Documents and Settings\\T\\Engine.exe", "/TH_ID=_4 /OriginExe=\"D:\\a b.exe\""},
           Case{"C:\\T\\Engine.exe /S  /TH_ID=_4", "C:\\T\\Engine.exe", "/S  /TH_ID=_4"},
           Case{"C:\\T\\Engine.exe", "C:\\T\\Engine.exe", ""},
           Case{"\"C:\\T\\Engine.exe\"", "C:\\T\\Engine.exe", ""},
           Case{"\"C:\\T\\Engine.exe", "C:\\T\\Engine.exe", ""},
       }) {
    SCOPED_TRACE(c.command);
    const ShellCommand shell = SplitCommandLine(c.command);
    EXPECT_EQ(shell.file, c.file);
    EXPECT_EQ(shell.parameters, c.parameters);
  }
  // What the setup road builds splits back into the engine and its switches.
  EngineLaunch l = Launch("Engine.exe*/S", "/x");
  l.workFolder = "C:\\Documents and Settings\\Temp\\SETUP_1\\";
  const ShellCommand shell = SplitCommandLine(EngineCommandLine(l));
  EXPECT_EQ(shell.file, "C:\\Documents and Settings\\Temp\\SETUP_1\\Engine.exe");
  EXPECT_EQ(shell.parameters, "/x /S /TH_ID=_42 /OriginExe=\"D:\\My Setup.exe\"");
}

}  // namespace
}  // namespace package
