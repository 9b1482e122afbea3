#include "vars/install_vars.h"

#include <gtest/gtest.h>

#include "util/switches.h"
#include "util/system_info.h"
#include "vars/shell_folders.h"
#include "vars_fake_system.h"

namespace {

using namespace vars;
using util::RegistryView;
using vars_test::FakeSystem;

class Expand : public ::testing::Test {
protected:
  void SetUp() override {
    SetInstallFolders("C:\\App\\", "C:\\Common", "C:\\Aux");
    util::SetProcessCommandLine({"prog.exe", "C:\\Run\\prog.exe"});
  }
  void TearDown() override { util::ClearProcessCommandLine(); }

  // The update cycle's way: suffix "\", folders on.
  std::string X(std::string_view text, bool resolveDots = false, bool folders = true,
                bool custom = true) {
    std::string result = "untouched";
    ExpandVariables(text, "\\", resolveDots, result, folders, custom);
    return result;
  }

  FakeSystem sys;
};

TEST(ReplaceVariable, SuffixRule) {
  const struct {
    const char* text;
    const char* expected;
  } cases[] = {
      {"<InstallDir>prog.exe", "C:\\App\\prog.exe"},
      {"<installdir>prog.exe", "C:\\App\\prog.exe"},
      {"<InstallDir>", "C:\\App"},             // ends the text
      {"<InstallDir> /S", "C:\\App /S"},       // a space follows
      {"\"<InstallDir>\"", "\"C:\\App\""},     // the closing quote
      {"'<InstallDir>'x'", "'C:\\App'x'"},     // any enclosing mark
      {"\"<InstallDir>\"x", "\"C:\\App\\\"x"}, // not enclosed: the last character differs
      {"x<InstallDir>x", "xC:\\App\\x"},       // a letter never ends a name
      {"<<InstallDir><", "<C:\\App\\<"},       // nor does "<"
      {"<InstallDir>a <InstallDir>", "C:\\App\\a C:\\App\\"}, // the first occurrence decides
      {"<InstallDir> <InstallDir>a", "C:\\App C:\\Appa"},
      {"no variable", "no variable"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ReplaceVariable(c.text, "<InstallDir>", "C:\\App", "\\"), c.expected) << c.text;
  EXPECT_EQ(ReplaceVariable("<InstallDir>x", "<InstallDir>", "", "\\"), "x"); // removals
  EXPECT_EQ(ReplaceVariable("<InstallDir>x", "<InstallDir>", "C:\\A", ""), "C:\\Ax");
}

TEST(DateVariable, Codes) {
  const double when = util::EncodeDateTime({2026, 12, 10, 9, 5, 7, 0});
  const struct {
    char code;
    double now;
    const char* expected;
  } cases[] = {
      {'#', when, "10.December.2026"},
      {'0', when, "9840"},
      {'0', util::EncodeDateTime({1999, 12, 30, 0, 0, 0, 0}), "2"}, // before 2000: the distance
      {'0', util::EncodeDateTime({1999, 12, 31, 12, 0, 0, 0}), "0"},
      {'1', when, "10-12-26"},
      {'1', util::EncodeDateTime({2005, 3, 4, 0, 0, 0, 0}), "04-03-05"},
      {'2', when, "12-10-26"},
      {'3', when, "26-12-10"},
      {'4', when, "10-12-2026"},
      {'5', when, "12-10-2026"},
      {'6', when, "2026-12-10"},
      {'7', when, "2026-12-10 09h05h07"},
      {'8', when, ""},
      {'9', when, ""},
      {'d', when, ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(FormatDateVariable(c.code, c.now, ".", "h", "December"), c.expected) << c.code;
}

TEST_F(Expand, NamesInAnyLetterCase) {
  const struct {
    const char* text;
    const char* expected;
  } cases[] = {
      {"<installdir>a.exe", "C:\\App\\a.exe"},
      {"<INSTALLDIR>a.exe", "C:\\App\\a.exe"},
      {"<WinDir>", "C:\\WINDOWS"},
      {"<winsysdir>x.dll", "C:\\WINDOWS\\system32\\x.dll"},
      {"<WINSYS32DIR>", "C:\\WINDOWS\\system32"},
      {"<loggedUserName>/<username>/<COMPANYNAME>/<computername>/<CurrentDomainName>",
       "user/Owner/Org/PC/DOM"},
      {"<date=6>", "2026-12-10"},
      {"<TEMPDIR>t", "C:\\TEMP\\t"},
      {"<srcdir>|<servicedir>", "C:\\Run\\|C:\\Run"},
      {"plain text", "plain text"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(X(c.text), c.expected) << c.text;
}

TEST_F(Expand, DateVariables) {
  EXPECT_EQ(X("a<Date=6>b<Date=6>"), "a2026-12-10b<Date=6>"); // the first only
  EXPECT_EQ(X("<Date=9>"), "<Date=9>");
  EXPECT_EQ(X("<Date=#>"), "10.Month12.2026");
  EXPECT_EQ(X("<Date=12>"), "<Date=12>"); // not a date variable: left alone
  EXPECT_EQ(X("<Date=6"), "<Date=6");
}

TEST_F(Expand, WhatIsRemovedAndWhatStays) {
  const struct {
    const char* text;
    const char* expected;
  } cases[] = {
      // The engine's name for the folder was used: the stub's own goes.
      {"<Application Folder>bin;<InstallDir>bin", "C:\\App\\bin;bin"},
      {"<Windows Directory>x;<InstallDir>;<InstallCommonDir>;<InstallAuxDir>", "C:\\WINDOWS\\x;;;"},
      {"<Common Folder>|<Auxiliary Folder>", "C:\\Common\\|C:\\Aux"},
      {"<InstallDir>bin;<InstallAuxDir>", "C:\\App\\bin;C:\\Aux"},
      {"<AbsoluteDir><InstallDir>", "C:\\App"},
      {"<InstallDir><AbsoluteDir>", "C:\\App"},
      // Unknown names, and names in a broken form, stay as they are.
      {"<Foo>x<InstallDir", "<Foo>x<InstallDir"},
      {"<UnknownDir>\\\\x", "<UnknownDir>\\\\x"}, // nothing replaced: pairs stay too
      // Provider values without a provider are empty.
      {"<ProjectName>x<ProgramVersion>", "x"},
      {"<UnInstallExePath>", ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(X(c.text), c.expected) << c.text;
  EXPECT_EQ(X("<InstallDir>x<UserName>", false, false), "<InstallDir>xOwner"); // no folders
}

TEST_F(Expand, HostValues) {
  SetLastExitCode(-3);
  const struct {
    double bytes;
    const char* mb;
  } sizes[] = {
      {0, "0"}, {1048575, "1"}, {1.5 * 1048576, "2"}, {1.4 * 1048576, "1"}, {5e12, "4768372"}};
  for (const auto& s : sizes) {
    SetRequiredFreeSpace(s.bytes);
    EXPECT_EQ(X("<ReqFreeDiskSpaceMB> MB, <LastExecutableExitCode>"),
              std::string(s.mb) + " MB, -3");
  }
  struct Asked {
    int calls = 0;
  } asked;
  SetValueProvider(
      [](void* ctx, std::string_view key) {
        ++static_cast<Asked*>(ctx)->calls;
        return "[" + std::string(key) + "]";
      },
      &asked);
  EXPECT_EQ(X("<EnteredUserName>,<EnteredCompanyName>,<EnteredStartProgramMenu>,"
              "<VendorCompanyName>,<ProjectName>,<ProgramDescriptiveName>,<ProgramVersion>,"
              "<SelectedLanguage>,<UnInstallExePath>"),
            "[UserName],[CompanyName],[EnteredStartProgramMenu],[VendorCompanyName],"
            "[ProjectName],[ProgramDescriptiveName],[ProgramVersion],[SelectedLanguage],"
            "[UnInstallExePath]");
  asked.calls = 0;
  EXPECT_EQ(X("<ProjectName>"), "[ProjectName]");
  EXPECT_EQ(asked.calls, 1); // only what the text uses is asked
  SetValueProvider(nullptr, nullptr, false);
}

TEST_F(Expand, CustomTable) {
  SetCustomVariables("|<Product>=Vantor <Version>|<Version>=2|<Empty>=|<Odd>=o|");
  // An inserted value is not expanded again; unknown spans stay.
  EXPECT_EQ(X("<product> v<Version> <Empty>! <Nope> <<Odd>", false, false),
            "Vantor <Version> v2 ! <Nope> o");
  EXPECT_EQ(X("<Product>", false, false, false), "<Product>");
}

TEST_F(Expand, DotStepsInTextsAndFieldLists) {
  const struct {
    const char* text;
    const char* expected;
  } cases[] = {
      {"C:\\a\\..\\b", "FULL(C:\\a\\..\\b)"},
      {"..\\b", "FULL(..\\b)"},
      {"C:\\a..b\\c", "C:\\a..b\\c"},
      {"|C:\\a\\..\\b|C:\\c|..\\d|", "|FULL(C:\\a\\..\\b)|C:\\c|FULL(..\\d)|"},
      {",x,y\\..", ",x,FULL(y\\..)"},
      {"<InstallDir>..\\x", "FULL(C:\\App\\..\\x)"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(X(c.text, true), c.expected) << c.text;
    if (std::string(c.text).find('<') == std::string::npos) {
      EXPECT_EQ(X(c.text), c.text); // without resolveDots
    }
  }
}

TEST(BackslashPairs, ALeadingPairStays) {
  const struct {
    const char* text;
    const char* expected;
  } cases[] = {
      {"C:\\a\\\\b", "C:\\a\\b"},
      {"C:\\a\\\\\\b", "C:\\a\\b"},
      {"\\\\srv\\share\\\\x", "\\\\srv\\share\\x"},
      {"\"\\\\srv\\x\" C:\\\\y \\\\srv2\\z", "\"\\\\srv\\x\" C:\\y \\\\srv2\\z"},
      {"|\\\\srv\\a|C:\\\\b|", "|\\\\srv\\a|C:\\b|"},
      {"a\\b", "a\\b"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ReduceBackslashPairs(c.text), c.expected) << c.text;
}

TEST_F(Expand, BackslashPairsAfterFolders) {
  EXPECT_EQ(X("<WinDir>\\x"), "C:\\WINDOWS\\x");
  EXPECT_EQ(X("\\\\srv\\<UserName>\\\\x"), "\\\\srv\\Owner\\\\x"); // no folder: left as written
  EXPECT_EQ(X("\\\\srv\\<WinDir>"), "\\\\srv\\C:\\WINDOWS");
}

TEST_F(Expand, OriginAndDrives) {
  util::SetProcessCommandLine(
      {"prog.exe /OriginExe=\"D:\\Media\\setup.exe\"", "C:\\Run\\prog.exe"});
  SetInstallFolders("E:\\Apps", "", "");
  EXPECT_EQ(OriginExe(), "D:\\Media\\setup.exe");
  EXPECT_EQ(X("<OriginDir>x|<OriginDrive>|<OriginDisk>|<InstallDrive>x|<InstallDisk>x|"
              "<WinDrive>|<WinDisk>|<WinSysDrive>|<WinSysDisk>"),
            "D:\\Media\\x|D:\\|D:|E:\\x|E:x|C:\\|C:|C:\\|C:");
  // Cached: a later command line changes nothing.
  util::SetProcessCommandLine({"prog.exe", "C:\\Run\\prog.exe"});
  EXPECT_EQ(OriginDir(), "D:\\Media");

  const struct {
    const char* commandLine;
    const char* exe;
    const char* dir;
  } cases[] = {
      {"prog.exe", "C:\\Run\\prog.exe", "C:\\Run"},
      {"prog.exe /OriginExe=setup.exe", "setup.exe", "C:\\Run"}, // no folder: the program's
      {"prog.exe /OriginExe=", "C:\\Run\\prog.exe", "C:\\Run"},
  };
  for (const auto& c : cases) {
    ResetInstallVariables();
    util::SetProcessCommandLine({c.commandLine, "C:\\Run\\prog.exe"});
    EXPECT_EQ(OriginExe(), c.exe) << c.commandLine;
    EXPECT_EQ(OriginDir(), c.dir) << c.commandLine;
  }
}

TEST_F(Expand, System16Folder) {
  const struct {
    const char* windows;
    const char* system;
    const char* existing;
    const char* expected;
  } cases[] = {
      {"C:\\WINDOWS", "C:\\WINDOWS\\system32", "C:\\WINDOWS\\system", "C:\\WINDOWS\\system"},
      // "32" is removed where it first occurs; that folder is missing.
      {"C:\\W32", "C:\\W32\\system32", "C:\\W32\\System", "C:\\W32\\System"},
      {"C:\\WINNT", "C:\\WINNT\\system32", "", "C:\\WINNT\\system32"},
  };
  for (const auto& c : cases) {
    FakeSystem local;
    local.windows = c.windows;
    local.system = c.system;
    if (*c.existing) local.AddFolder(c.existing);
    EXPECT_EQ(System16Dir(), c.expected);
    EXPECT_EQ(X("<WinSys16Dir>x|<System16 Directory>"),
              std::string(c.expected) + "\\x|" + c.expected);
  }
}

TEST_F(Expand, RegistryFolders) {
  const std::string shell =
      "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
  const std::string current = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
  sys.SetRegistry(RegistryView::kOwn, shell, "Start Menu", "C:\\SM\\");
  sys.SetRegistry(RegistryView::kOwn, current, "ProgramFilesDir", "C:\\PF");
  sys.SetRegistry(RegistryView::k64, current, "ProgramFilesDir", "C:\\PF64");
  sys.SetRegistry(RegistryView::kOwn, current, "CommonFilesDir", "C:\\CF");
  sys.SetRegistry(RegistryView::kOwn, shell, "Fonts", "C:\\F");
  EXPECT_EQ(X("<StartMenuDir>x|<ProgramFilesDir>x|<CommonFilesDir>|<FontDir>"),
            "C:\\SM\\x|C:\\PF\\x|C:\\CF\\|C:\\WINDOWS\\Fonts"); // C:\F does not exist
  sys.AddFolder("C:\\F");
  EXPECT_EQ(X("<FontDir>"), "C:\\F");
}

TEST_F(Expand, ShellAndRunTimeFolders) {
  sys.folderPaths[kCsidlPersonal] = "C:\\Users\\u\\Documents";
  sys.AddFolder("C:\\Users\\u\\Documents");
  EXPECT_EQ(X("<MyDocumentsDir>a.txt|<UserDir>|<DocumentsAndSettingsDir>"),
            "C:\\Users\\u\\Documents\\a.txt|C:\\Users\\u\\|C:\\Users");
  EXPECT_EQ(X("<AllUsersDesktopDir>"), "C:\\WINDOWS\\Desktop");

  // Only the runtime directories a text names are searched for.
  SetRunTimeDirDefinition(1, "|0|x|0|x|0|x|0|0|0|x|0|0|0||||1|1|");
  SetRunTimeDirDefinition(2, "|0||0||0||0|0|0||0|0|1|C:\\RT\\|");
  EXPECT_EQ(X("<RunTimeDir_2>tool.exe"), "C:\\RT\\tool.exe");
  EXPECT_TRUE(sys.messages.empty());
  EXPECT_FALSE(RunTimeDirMissing());
  EXPECT_EQ(X("<runtimedir_1>tool.exe <RunTimeDir_9>"), "tool.exe <RunTimeDir_9>");
  EXPECT_EQ(sys.messages.size(), 1u);
  EXPECT_TRUE(RunTimeDirMissing());
}

} // namespace
