#include "vars/run_time_dir.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <utility>

#include "util/field_list.h"
#include "vars_fake_system.h"

namespace {

using namespace vars;
using util::RegistryView;
using vars_test::FakeSystem;

const std::string kAppPaths =
    "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";

// A 22-field definition with the given fields set.
std::string Definition(std::initializer_list<std::pair<int, const char*>> fields) {
  std::string def = "|";
  for (int i = 0; i < 22; ++i) {
    for (const auto& [index, value] : fields)
      if (index == i) def += value;
    def += "|";
  }
  return def;
}

// Every method, each able to find its own folder.
const std::string kAllMethods = Definition({{0, "1"},
                                            {1, "tool.exe"},
                                            {2, "1"},
                                            {3, "HKLM\\Software\\T\\Dir"},
                                            {4, "1"},
                                            {5, "tool.dll"},
                                            {6, "1"},
                                            {8, "1"},
                                            {9, "ToolData"},
                                            {10, "1"},
                                            {12, "1"},
                                            {13, "C:\\Fixed\\"}});

TEST(RunTimeDir, MethodsAreTriedInOrderUntilOneFinds) {
  // Which methods can find something, and what the search gives.
  const struct {
    bool appPaths, registry, file, folder;
    const char* expected;
  } cases[] = {
      {true, true, true, true, "C:\\Apps\\Tool"},
      {false, true, true, true, "C:\\Reg\\Tool"},
      {false, false, true, true, "C:\\Lib"},
      {false, false, false, true, "C:\\Data\\ToolData"}, // a folder search gives the folder
      {false, false, false, false, "C:\\Fixed"},
  };
  for (const auto& c : cases) {
    FakeSystem sys;
    sys.drives = "C";
    sys.driveTypes['C'] = kDriveFixed;
    if (c.appPaths)
      sys.SetRegistry(RegistryView::k64, kAppPaths + "tool.exe", "",
                      "\"C:\\Apps\\Tool\\tool.exe\"");
    if (c.registry) sys.SetRegistry(RegistryView::k64, "HKLM\\Software\\T", "Dir", "C:\\Reg\\Tool");
    if (c.file) sys.AddFile("C:\\Lib\\tool.dll");
    if (c.folder) sys.AddFolder("C:\\Data\\ToolData");
    EXPECT_EQ(ResolveRunTimeDir(kAllMethods), c.expected);
    EXPECT_TRUE(sys.messages.empty());
  }
}

TEST(RunTimeDir, RegistryViewsByCode) {
  const struct {
    int code;
    bool is64;
    const char* reads; // the views asked, in order
  } cases[] = {
      {0, true, "64"},  {0, false, "own"},  {1, true, "32"},     {2, true, "64"},
      {-1, true, "32"}, {3, true, "32 64"}, {7, false, "32 64"}, // the explicit views read the one
                                                                 // view of 32-bit Windows
  };
  for (const auto& c : cases) {
    FakeSystem sys;
    sys.is64 = c.is64;
    EXPECT_EQ(AppPathsDir("none.exe", c.code), "");
    std::string reads;
    for (const std::string& r : sys.registryReads)
      reads += (reads.empty() ? "" : " ") + r.substr(0, r.find(' '));
    EXPECT_EQ(reads, c.reads) << c.code << " " << c.is64;
  }
  // With a value in the 64-bit view only, code 3 finds it on its second read.
  FakeSystem sys;
  sys.SetRegistry(RegistryView::k64, kAppPaths + "x.exe", "", "C:\\P64\\x.exe");
  EXPECT_EQ(AppPathsDir("x.exe", 1), "");
  EXPECT_EQ(AppPathsDir("x.exe", 3), "C:\\P64");
  EXPECT_EQ(AppPathsDir("", 3), ""); // never the App Paths key's own value
}

TEST(RunTimeDir, RegistryValueAsKeyThenAsKeyAndName) {
  FakeSystem sys;
  sys.SetRegistry(RegistryView::k32, "HKLM\\Software\\A", "", "C:\\AsKey");
  sys.SetRegistry(RegistryView::k32, "HKLM\\Software\\B", "Exe", "C:\\B\\b.exe");
  sys.AddFile("C:\\B\\b.exe");
  sys.SetRegistry(RegistryView::k32, "HKLM\\Software\\C", "Gone", "C:\\Gone\\c.exe");
  EXPECT_EQ(RegistryPathDir("HKLM\\Software\\A", 1), "C:\\AsKey");
  EXPECT_EQ(RegistryPathDir("HKLM\\Software\\B\\Exe", 1), "C:\\B"); // a file gives its folder
  EXPECT_EQ(RegistryPathDir("HKLM\\Software\\C\\Gone", 1), "C:\\Gone\\c.exe");
  EXPECT_EQ(RegistryPathDir("HKLM\\Software\\None\\X", 1), "");
}

TEST(RunTimeDir, DriveSearchOrder) {
  FakeSystem sys;
  sys.drives = "ACDEZ";
  sys.driveTypes = {
      {'A', 2}, {'C', kDriveFixed}, {'D', 5}, {'E', kDriveFixed}, {'Z', kDriveRemote}};
  sys.AddFile("D:\\x.dat");          // a CD: never searched
  sys.AddFile("C:\\a\\deep\\x.dat"); // depth first: a's subtree comes first
  sys.AddFile("C:\\b\\x.dat");       // listed after "a"
  sys.AddFile("E:\\x.dat");
  sys.AddFile("Z:\\x.dat");
  EXPECT_EQ(SearchDrives("X.DAT", false, kDriveFixed), "C:\\a\\deep\\x.dat");
  sys.AddFile("C:\\a\\x.dat"); // a folder's own entries before its subfolders
  EXPECT_EQ(SearchDrives("x.dat", false, kDriveFixed), "C:\\a\\x.dat");
  EXPECT_EQ(SearchDrives("x.dat", false, kDriveRemote), "Z:\\x.dat");
  EXPECT_EQ(SearchDrives("x.dat", true, kDriveFixed), ""); // files are not folders
  EXPECT_EQ(SearchDrives("deep", true, kDriveFixed), "C:\\a\\deep");

  // Network drives come only after the fixed ones failed, and only when asked.
  const std::string onlyNet = Definition({{4, "1"}, {5, "y.dat"}, {6, "1"}, {7, "1"}});
  const std::string fixedOnly = Definition({{4, "1"}, {5, "y.dat"}, {6, "1"}});
  sys.AddFile("Z:\\share\\y.dat");
  EXPECT_EQ(ResolveRunTimeDir(onlyNet), "Z:\\share");
  EXPECT_EQ(ResolveRunTimeDir(fixedOnly), "");
  for (const std::string& folder : sys.listed)
    EXPECT_NE(folder.substr(0, 2), "D:") << "a CD drive was searched";
}

TEST(RunTimeDir, LinksAreNotFollowedAndCancelStops) {
  FakeSystem sys;
  sys.drives = "C";
  sys.driveTypes['C'] = kDriveFixed;
  sys.AddFile("C:\\Link\\x.dat");
  sys.AddFile("C:\\Real\\x.dat");
  sys.MarkLink("C:\\Link");
  EXPECT_EQ(SearchTree("C:\\", "x.dat", false), "C:\\Real\\x.dat");
  EXPECT_EQ(SearchTree("C:\\", "link", true), "C:\\Link"); // found by its name all the same
  SetDriveSearchCancelled(true);
  EXPECT_EQ(SearchDrives("x.dat", false, kDriveFixed), "");
  EXPECT_EQ(SearchTree("C:\\", "x.dat", false), "");
  SetDriveSearchCancelled(false);
  EXPECT_EQ(SearchDrives("x.dat", false, kDriveFixed), "C:\\Real\\x.dat");
}

TEST(RunTimeDir, NotFoundShowsTheNameAndSetsTheFlag) {
  const struct {
    std::string definition;
    const char* shown;
    bool message, flag;
  } cases[] = {
      {Definition({{0, "1"}, {1, "tool.exe"}, {4, "1"}, {5, "t.dll"}, {16, "1"}}), "tool.exe", true,
       false},
      {Definition({{2, "1"}, {3, "HKLM\\S\\V"}, {8, "1"}, {9, "Data"}, {16, "1"}, {17, "1"}}),
       "HKLM\\S\\V", true, true},
      {Definition({{8, "1"}, {9, "Data"}, {16, "1"}}), "Data", true, false},
      // Field 1 names the program, but App Paths is not asked: the file shows.
      {Definition({{1, "tool.exe"}, {4, "1"}, {5, "t.dll"}, {17, "1"}}), "", false, true},
      {Definition({{0, "0"}, {1, "tool.exe"}, {4, "1"}, {5, "t.dll"}, {16, "1"}}), "t.dll", true,
       false},
      {"", "", false, false}, // the stub's: nothing, silently
  };
  for (const auto& c : cases) {
    FakeSystem sys;
    EXPECT_EQ(ResolveRunTimeDir(c.definition), "");
    ASSERT_EQ(sys.messages.size(), c.message ? 1u : 0u) << c.definition;
    if (c.message) {
      EXPECT_EQ(sys.messages[0], std::string("RunTimeDir (") + c.shown + ")<P><P>Not Found!");
    }
    EXPECT_EQ(RunTimeDirMissing(), c.flag) << c.definition;
  }
}

TEST(RunTimeDir, HooksHearOfSearchesAndResults) {
  FakeSystem sys;
  sys.drives = "CZ";
  sys.driveTypes = {{'C', kDriveFixed}, {'Z', kDriveRemote}};
  std::vector<std::string> heard;
  RunTimeDirHooks hooks;
  hooks.context = &heard;
  hooks.searchStarts = [](void* ctx, std::string_view name, bool folder, int type) {
    static_cast<std::vector<std::string>*>(ctx)->push_back(
        std::string(name) + (folder ? " folder " : " file ") + std::to_string(type));
  };
  hooks.resolved = [](void* ctx, std::string_view, const std::string& result) {
    static_cast<std::vector<std::string>*>(ctx)->push_back("= " + result);
  };
  SetRunTimeDirHooks(hooks);
  sys.AddFolder("Z:\\Data");
  ResolveRunTimeDir(Definition({{4, "1"},
                                {5, "f"},
                                {6, "1"},
                                {7, "1"},
                                {18, "1"},
                                {8, "1"},
                                {9, "Data"},
                                {10, "1"},
                                {11, "1"}}));
  ResolveRunTimeDir(Definition({{12, "1"}, {13, "C:\\X"}}));
  EXPECT_EQ(heard, (std::vector<std::string>{"f file 3", "f file 4", "= Z:\\Data", "= C:\\X"}));
}

TEST(RunTimeDir, ComputedOnceAlsoWhenEmpty) {
  FakeSystem sys;
  sys.drives = "C";
  sys.driveTypes['C'] = kDriveFixed;
  sys.AddFolder("C:\\a");
  SetRunTimeDirDefinition(1, Definition({{4, "1"}, {5, "none.dat"}, {6, "1"}, {16, "1"}}));
  SetRunTimeDirDefinition(2, Definition({{12, "1"}, {13, "C:\\Two"}}));
  EXPECT_EQ(RunTimeDir(1), "");
  const std::size_t listings = sys.listed.size();
  EXPECT_GT(listings, 0u);
  EXPECT_EQ(RunTimeDir(1), "");
  EXPECT_EQ(sys.listed.size(), listings);
  EXPECT_EQ(sys.messages.size(), 1u);
  EXPECT_EQ(RunTimeDir(2, true), "C:\\Two\\");
  sys.AddFile("C:\\a\\none.dat"); // there now, but the empty result stands
  EXPECT_EQ(RunTimeDir(1), "");
  SetRunTimeDirDefinition(1, Definition({{4, "1"}, {5, "none.dat"}, {6, "1"}}));
  EXPECT_EQ(RunTimeDir(1), "C:\\a"); // a new definition is searched again
  EXPECT_EQ(RunTimeDir(0), "");
  EXPECT_EQ(RunTimeDir(9), "");
  EXPECT_EQ(RunTimeDir(3), ""); // no definition, as in the stub
}

} // namespace
