#include "vars/shell_folders.h"

#include <gtest/gtest.h>

#include "vars_fake_system.h"

namespace {

using namespace vars;
using vars_test::FakeSystem;

struct FolderCase {
  const char* name;
  std::string (*folder)(bool);
  const char* expected;
};

void ExpectFolders(const std::vector<FolderCase>& cases) {
  for (const FolderCase& c : cases) {
    EXPECT_EQ(c.folder(false), c.expected) << c.name;
    EXPECT_EQ(c.folder(true), std::string(c.expected) + "\\") << c.name;
  }
}

TEST(ShellFolders, TheShellsFoldersAndTheirParents) {
  FakeSystem sys;
  const std::string home = "C:\\Users\\u";
  sys.folderPaths = {{kCsidlPersonal, home + "\\Documents\\"}, // a trailing "\" is dropped
                     {kCsidlAppData, home + "\\AppData\\Roaming"},
                     {kCsidlLocalAppData, home + "\\AppData\\Local"},
                     {kCsidlCommonAppData, "C:\\ProgramData\\All"},
                     {kCsidlCommonDocuments, "C:\\Users\\Public\\Documents"}};
  sys.specialPaths = {{kCsidlStartMenu, home + "\\Start"},
                      {kCsidlCommonStartMenu, "C:\\PD\\Start"},
                      {kCsidlPrograms, home + "\\Start\\Programs"},
                      {kCsidlCommonPrograms, "C:\\PD\\Start\\Programs"},
                      {kCsidlDesktopDirectory, home + "\\Desktop"},
                      {kCsidlCommonDesktopDirectory, "C:\\Users\\Public\\Desktop"}};
  for (const auto& [id, path] : sys.folderPaths)
    sys.AddFolder(WithTrailing(path, false));
  for (const auto& [id, path] : sys.specialPaths)
    sys.AddFolder(path);
  ExpectFolders({
      {"UserDir", UserDir, "C:\\Users\\u"},
      {"DocumentsAndSettingsDir", DocumentsAndSettingsDir, "C:\\Users"},
      {"AllUsersDir", AllUsersDir, "C:\\ProgramData"},
      {"UserAppDataDir", UserAppDataDir, "C:\\Users\\u\\AppData\\Roaming"},
      {"UserLocalAppDataDir", UserLocalAppDataDir, "C:\\Users\\u\\AppData\\Local"},
      {"AllUsersAppDataDir", AllUsersAppDataDir, "C:\\ProgramData\\All"},
      {"MyDocumentsDir", MyDocumentsDir, "C:\\Users\\u\\Documents"},
      {"AllUsersDocumentsDir", AllUsersDocumentsDir, "C:\\Users\\Public\\Documents"},
      {"UserStartMenuDir", UserStartMenuDir, "C:\\Users\\u\\Start"},
      {"AllUsersStartMenuDir", AllUsersStartMenuDir, "C:\\PD\\Start"},
      {"UserStartProgramMenuDir", UserStartProgramMenuDir, "C:\\Users\\u\\Start\\Programs"},
      {"AllUsersStartProgramMenuDir", AllUsersStartProgramMenuDir, "C:\\PD\\Start\\Programs"},
      {"UserDesktopDir", UserDesktopDir, "C:\\Users\\u\\Desktop"},
      {"AllUsersDesktopDir", AllUsersDesktopDir, "C:\\Users\\Public\\Desktop"},
  });
}

// An old system: no "SHFolder.dll" and a shell that knows none of the
// folders. The profile folder exists, so does its desktop, not its menu.
TEST(ShellFolders, WithoutTheShellTheFallbacksApplyInOrder) {
  FakeSystem sys;
  sys.windows = "C:\\WIN";
  sys.owner = "Ann";
  sys.AddFolder("C:\\WIN\\Profiles\\Ann\\Desktop");
  ExpectFolders({
      {"ProfileDir", ProfileDir, "C:\\WIN\\Profiles\\Ann"},
      {"UserDir", UserDir, "C:\\WIN\\Profiles\\Ann"},
      {"DocumentsAndSettingsDir", DocumentsAndSettingsDir, "C:\\WIN\\Profiles\\Ann"},
      {"AllUsersDir", AllUsersDir, "C:\\WIN"},
      {"UserAppDataDir", UserAppDataDir, "C:\\WIN\\Profiles\\Ann\\Application Data"},
      {"UserLocalAppDataDir", UserLocalAppDataDir, "C:\\WIN\\Profiles\\Ann\\Application Data"},
      {"AllUsersAppDataDir", AllUsersAppDataDir, "C:\\WIN\\Application Data"},
      {"MyDocumentsDir", MyDocumentsDir, "C:\\WIN\\Profiles\\Ann\\My Documents"},
      {"AllUsersDocumentsDir", AllUsersDocumentsDir, "C:\\WIN\\Documents"},
      // The user's menu does not exist: all users' one is next.
      {"UserStartMenuDir", UserStartMenuDir, "C:\\WIN\\Start Menu"},
      {"AllUsersStartMenuDir", AllUsersStartMenuDir, "C:\\WIN\\Start Menu"},
      {"UserStartProgramMenuDir", UserStartProgramMenuDir, "C:\\WIN\\Start Menu\\Programs"},
      {"AllUsersStartProgramMenuDir", AllUsersStartProgramMenuDir, "C:\\WIN\\Start Menu\\Programs"},
      {"UserDesktopDir", UserDesktopDir, "C:\\WIN\\Profiles\\Ann\\Desktop"},
      {"AllUsersDesktopDir", AllUsersDesktopDir, "C:\\WIN\\Desktop"},
  });
}

TEST(ShellFolders, WithoutAProfileFolderTheWindowsFolderStandsIn) {
  FakeSystem sys;
  sys.windows = "C:\\WIN\\"; // as some systems give it
  sys.AddFolder("C:\\WIN");
  EXPECT_EQ(ProfileDir(false), "C:\\WIN");
  EXPECT_EQ(MyDocumentsDir(false), "C:\\WIN\\My Documents");
  EXPECT_EQ(UserDir(true), "C:\\WIN\\");
}

TEST(ShellFolders, AFolderTheShellNamesButThatIsGoneIsReplaced) {
  FakeSystem sys;
  sys.windows = "C:\\W";
  sys.owner = "Bo";
  sys.AddFolder("C:\\W\\Profiles\\Bo");
  // The shell names a documents folder on a drive that is gone, and a
  // start menu that exists: parents are only taken of existing folders.
  sys.folderPaths = {{kCsidlPersonal, "X:\\Bo\\Docs"}};
  sys.specialPaths = {{kCsidlStartMenu, "X:\\Bo\\Menu"}};
  sys.AddFolder("C:\\W\\Profiles\\Bo\\Start Menu");
  EXPECT_EQ(MyDocumentsDir(false), "C:\\W\\Profiles\\Bo\\My Documents");
  EXPECT_EQ(UserDir(false), "C:\\W\\Profiles\\Bo");
  EXPECT_EQ(DocumentsAndSettingsDir(false), "C:\\W\\Profiles\\Bo");
  EXPECT_EQ(UserStartMenuDir(false), "C:\\W\\Profiles\\Bo\\Start Menu");
}

TEST(ShellFolders, TrailingSeparator) {
  EXPECT_EQ(WithTrailing("C:\\a\\\\", false), "C:\\a");
  EXPECT_EQ(WithTrailing("C:\\a", true), "C:\\a\\");
  EXPECT_EQ(WithTrailing("C:\\", false), "C:");
  EXPECT_EQ(WithTrailing("", true), "");
}

} // namespace
