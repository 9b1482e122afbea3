#include <gtest/gtest.h>

#include <map>
#include <string>

#include "system/process_viewer.h"
#include "util/field_list.h"

namespace {

using sys::ProcessMethod;

util::WindowsVersion Version(int platform, int major, int minor, bool is64 = false) {
  util::VersionRecord r;
  r.platformId = platform;
  r.major = major;
  r.minor = minor;
  r.is64 = is64;
  return util::ClassifyWindowsVersion(r);
}

TEST(ProcessMethodChoice, TaskListFromWindows8ModulesOnOtherNTSnapshotOn9x) {
  const struct {
    int platform, major, minor;
    bool is64;
    ProcessMethod method;
  } cases[] = {
      {util::kPlatformNT, 10, 0, true, ProcessMethod::kTaskList},
      {util::kPlatformNT, 10, 0, false, ProcessMethod::kTaskList},
      {util::kPlatformNT, 6, 3, false, ProcessMethod::kTaskList},
      {util::kPlatformNT, 6, 2, true, ProcessMethod::kTaskList},
      {util::kPlatformNT, 6, 1, true, ProcessMethod::kModules},
      {util::kPlatformNT, 6, 0, false, ProcessMethod::kModules},
      {util::kPlatformNT, 5, 1, false, ProcessMethod::kModules},
      {util::kPlatformNT, 4, 0, false, ProcessMethod::kModules},
      {util::kPlatformWin9x, 4, 10, false, ProcessMethod::kSnapshot},
      {util::kPlatformWin9x, 4, 90, false, ProcessMethod::kSnapshot},
      {util::kPlatformWin9x, 4, 0, false, ProcessMethod::kSnapshot},
      // A 9x record with a high number is still 9x.
      {util::kPlatformWin9x, 6, 2, false, ProcessMethod::kSnapshot},
  };
  for (const auto& c : cases)
    EXPECT_EQ(sys::ChooseProcessMethod(Version(c.platform, c.major, c.minor, c.is64)), c.method)
        << c.platform << " " << c.major << "." << c.minor;
}

TEST(ProcessNameMatch, FullPathBareNameOrShortPath) {
  const sys::ProcessCandidate app{"C:\\Program Files\\Acme\\App.exe", "App.exe",
                                  "C:\\PROGRA~1\\Acme\\App.exe"};
  const sys::ProcessCandidate appFullOnly{app.fullPath, sys::kNoBareName, app.shortPath};
  const sys::ProcessCandidate noShort{app.fullPath, "App.exe", ""};
  // On NT the snapshot names a program by its file name only.
  const sys::ProcessCandidate bareOnly{"App.exe", "App.exe", ""};
  const struct {
    const char* wanted;
    const char* wantedShort;
    const sys::ProcessCandidate& candidate;
    bool match;
  } cases[] = {
      {"C:\\Program Files\\Acme\\App.exe", "C:\\PROGRA~1\\Acme\\App.exe", app, true},
      {"  c:\\program files\\acme\\APP.EXE ", sys::kNoShortPath, app, true},
      {"app.exe", sys::kNoShortPath, app, true},
      {"app.exe", sys::kNoShortPath, appFullOnly, false},
      {"C:\\Program Files\\Acme\\App.exe", sys::kNoShortPath, appFullOnly, true},
      // The same file through its short name.
      {"C:\\PROGRA~1\\Acme\\App.exe", "C:\\PROGRA~1\\Acme\\App.exe", appFullOnly, true},
      {"C:\\PROGRA~1\\Acme\\App.exe", "C:\\PROGRA~1\\Acme\\App.exe", noShort, false},
      // Another folder's program of the same name.
      {"D:\\Other\\App.exe", "D:\\Other\\App.exe", appFullOnly, false},
      {"D:\\Other\\App.exe", "D:\\Other\\App.exe", app, false},
      {"D:\\Other\\App.exe", sys::kNoShortPath, bareOnly, false},
      {"App", sys::kNoShortPath, app, false},
      {"", "", noShort, false},
      {"  ", sys::kNoShortPath, bareOnly, false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(sys::ProcessNameMatches(c.wanted, c.wantedShort, c.candidate), c.match)
        << "[" << c.wanted << "] vs " << c.candidate.fullPath << " / " << c.candidate.bareName;
}

TEST(ProcessNameMatch, CleanNameLosesBlanksAndSurroundingQuotes) {
  const std::map<std::string, std::string> cases = {
      {"  \"C:\\Program Files\\A.exe\"  ", "C:\\Program Files\\A.exe"},
      {"\" a.exe \"", "a.exe"},
      {"a.exe\"", "a.exe"},
      {"\"", ""},
      {"", ""},
      {"C:\\x\"y\\a.exe", "C:\\x\"y\\a.exe"},
  };
  for (const auto& [in, out] : cases)
    EXPECT_EQ(sys::CleanProcessName(in), out) << in;
}

// What "tasklist.exe /FO csv" prints.
const char kTaskList[] = "\"Image Name\",\"PID\",\"Session Name\",\"Session#\",\"Mem Usage\"\r\n"
                         "\"System Idle Process\",\"0\",\"Services\",\"0\",\"8 K\"\r\n"
                         "\"System\",\"4\",\"Services\",\"0\",\"9,876 K\"\r\n"
                         "\"notepad.exe\",\"1234\",\"Console\",\"1\",\"12,345 K\"\r\n"
                         "\"a,b.exe\",\"77\",\"Console\",\"1\",\"1,000 K\"\r\n"
                         "\"broken.exe\",\"x1\",\"Console\",\"1\",\"1 K\"\r\n"
                         "\"Broken.exe\",\"88\",\"Console\",\"1\",\"1 K\"\r\n"
                         "\"NOTEPAD.EXE\",\"5678\",\"Console\",\"1\",\"2,000 K\"\r\n";

TEST(TaskList, ParsesEveryLineWithCommasInsideQuotes) {
  const auto entries = sys::ParseTaskList(kTaskList);
  ASSERT_EQ(entries.size(), 8u);
  EXPECT_EQ(entries[0].imageName, "Image Name");
  EXPECT_EQ(entries[0].processId, 0u);
  EXPECT_EQ(entries[3].imageName, "notepad.exe");
  EXPECT_EQ(entries[3].processId, 1234u);
  EXPECT_EQ(entries[4].imageName, "a,b.exe");
  EXPECT_EQ(entries[4].processId, 77u);
  EXPECT_EQ(entries[5].processId, 0u);
}

TEST(TaskList, FindsTheFirstLineOfTheWantedFileName) {
  const struct {
    const char* wanted;
    std::uint32_t id;
  } cases[] = {
      {"notepad.exe", 1234},
      // Only the file name counts: another folder's program of the same name
      // is not told apart, the first line wins.
      {"C:\\Windows\\NOTEPAD.exe", 1234},
      {"D:\\Other\\notepad.exe", 1234},
      {"  Notepad.Exe  ", 1234},
      {"a,b.exe", 77},
      // A line whose id is not a number is passed over.
      {"broken.exe", 88},
      {"System Idle Process", 0},
      {"System", 4},
      {"Image Name", 0},
      {"notepad", 0},
      {"", 0},
      {"C:\\Windows\\", 0},
  };
  for (const auto& c : cases)
    EXPECT_EQ(sys::FindInTaskList(kTaskList, c.wanted), c.id) << c.wanted;
}

TEST(TaskList, OutputWithoutProcessesOrWithBareLineFeeds) {
  EXPECT_EQ(sys::FindInTaskList("", "a.exe"), 0u);
  EXPECT_EQ(sys::FindInTaskList("INFO: No tasks are running.\r\n", "a.exe"), 0u);
  EXPECT_EQ(sys::FindInTaskList("\"Image Name\",\"PID\"\n\"a.exe\",\"9\"\n", "a.exe"), 9u);
  EXPECT_EQ(sys::FindInTaskList("\r\n\r\n\"a.exe\",\"9\",\"C\"\r\n\r\n", "A.EXE"), 9u);
  EXPECT_EQ(sys::FindInTaskList("\"a.exe\"", "a.exe"), 0u);
  EXPECT_EQ(sys::FindInTaskList("\"a.exe\",\"99999999999\"", "a.exe"), 0u);
  // A doubled quote inside a quoted field is one quote.
  EXPECT_EQ(sys::ParseTaskList("\"x\"\"y.exe\",\"5\"")[0].imageName, "x\"y.exe");
}

sys::WindowFacts Window(std::uintptr_t handle, std::uintptr_t root, bool title, bool visible) {
  return {handle, root, title, visible};
}

struct RankCase {
  const char* what;
  std::vector<sys::WindowFacts> windows;
  std::vector<int> scores;
  std::uintptr_t best;
};

TEST(WindowRanking, ScoresAndTheMainWindow) {
  const RankCase cases[] = {
      {"a hidden untitled tool window before the visible captioned main window",
       {Window(20, 20, false, false), Window(10, 10, true, true)},
       {4, 7},
       10},
      {"two equal windows: the first enumerated",
       {Window(30, 30, true, true), Window(40, 40, true, true)},
       {7, 7},
       30},
      {"owned windows count for the end of their owner chain (52 -> 51 -> 50)",
       {Window(51, 50, true, true), Window(52, 50, true, true), Window(50, 50, false, false),
        Window(60, 60, true, true)},
       {2 + 1, 2 + 1, 3 * 4, 7},
       50},
      {"an unowned root of 0 stands for the window itself",
       {Window(70, 0, false, true), Window(71, 70, false, false)},
       {2 * 4 + 1, 0},
       70},
      {"windows rooted outside the process score by their looks only",
       {Window(80, 99, false, false), Window(81, 99, false, true)},
       {0, 1},
       81},
      {"nothing but zeros: no window",
       {Window(90, 99, false, false), Window(91, 99, false, false)},
       {0, 0},
       0},
      {"no window at all", {}, {}, 0},
  };
  for (const auto& c : cases) {
    sys::TAnalizer analizer(7);
    for (const auto& w : c.windows)
      ASSERT_TRUE(analizer.Add(w));
    analizer.Rank();
    std::vector<int> scores;
    for (int i = 0; i < analizer.Count(); ++i)
      scores.push_back(analizer.Score(i));
    EXPECT_EQ(scores, c.scores) << c.what;
    EXPECT_EQ(analizer.Best(), c.best) << c.what;
  }
}

TEST(WindowRanking, WindowsBeyondTheTableAreIgnored) {
  sys::TAnalizer analizer(1);
  // 2001 windows owned by a window outside the process...
  for (int i = 0; i < sys::TAnalizer::kMaxWindows; ++i)
    ASSERT_TRUE(analizer.Add(Window(1000 + i, 5, false, false)));
  // ...and a captioned main window too late to be kept.
  EXPECT_FALSE(analizer.Add(Window(5, 5, true, true)));
  analizer.Rank();
  EXPECT_EQ(analizer.Count(), sys::TAnalizer::kMaxWindows);
  EXPECT_EQ(analizer.Best(), 0u);

  // One root of every kept window: the highest score the table can hold.
  sys::TAnalizer full(1);
  full.Add(Window(1, 1, true, true));
  for (int i = 1; i < sys::TAnalizer::kMaxWindows; ++i)
    full.Add(Window(1000 + i, 1, false, false));
  full.Rank();
  EXPECT_EQ(full.Score(0), sys::TAnalizer::kMaxWindows * 4 + 3);
  EXPECT_EQ(full.Best(), 1u);
}

sys::WindowRecord Record(std::uint32_t pid, const char* exe, std::uintptr_t handle,
                         const char* title = "", bool visible = false) {
  sys::WindowRecord r;
  r.processId = pid;
  r.executable = exe;
  r.windowClass = "Class" + std::to_string(handle);
  r.handle = handle;
  r.threadId = pid + 1;
  r.title = title;
  r.visible = visible;
  return r;
}

TEST(WindowWalk, OneEntryPerWindowOrPerExecutableAndTheEarlyStop) {
  const sys::WindowRecord walk[] = {
      Record(10, "a.exe", 100, "A main", true),
      Record(10, "a.exe", 101),
      Record(20, "B.EXE", 200, "B", true),
      Record(21, " b.exe ", 210),
      Record(30, "c.exe", 300),
      Record(40, "d.exe", 400),
  };
  const auto run = [&](bool all, const char* exe, std::int64_t pid) {
    sys::TProcessData d;
    d.collectAll = all;
    d.wantedExecutable = exe;
    d.wantedProcessId = pid;
    int visited = 0;
    for (const auto& r : walk) {
      ++visited;
      if (!sys::AddWindowRecord(d, r)) break;
    }
    return std::make_pair(d, visited);
  };

  auto [all, n] = run(true, "c.exe", 20);
  EXPECT_EQ(n, 6); // collecting all never stops early
  EXPECT_EQ(all.processIds, "|10|10|20|21|30|40|");
  EXPECT_EQ(all.windowHandles, "|100|101|200|210|300|400|");
  EXPECT_EQ(all.threadIds, "|11|11|21|22|31|41|");
  EXPECT_EQ(all.windowTitles, "|A main||B||||");
  EXPECT_EQ(all.visibleFlags, "|1|0|1|0|0|0|");
  EXPECT_EQ(all.windowClasses, "|Class100|Class101|Class200|Class210|Class300|Class400|");

  auto [distinct, m] = run(false, "*", -1);
  EXPECT_EQ(m, 6);
  EXPECT_EQ(distinct.executables, "|a.exe|B.EXE|c.exe|d.exe|");
  EXPECT_EQ(distinct.processIds, "|10|20|30|40|");

  auto [byExe, k] = run(false, "C.exe", -1);
  EXPECT_EQ(k, 5);
  EXPECT_EQ(byExe.executables, "|a.exe|B.EXE|c.exe|");
  auto [byPid, p] = run(false, "*", 21);
  EXPECT_EQ(p, 4);
  EXPECT_EQ(byPid.processIds, "|10|20|");
}

TEST(WindowWalk, ABarInATitleKeepsTheListsAligned) {
  sys::TProcessData d;
  d.collectAll = true;
  sys::AddWindowRecord(d, Record(1, "a.exe", 1, "x|y"));
  sys::AddWindowRecord(d, Record(2, "b.exe", 2, "z"));
  EXPECT_EQ(util::SUB::FieldCount(d.windowTitles), 2);
  EXPECT_EQ(util::SUB::GetField(d.windowTitles, 0), "x|y");
  EXPECT_EQ(util::SUB::GetField(d.windowTitles, 1), "z");
  EXPECT_EQ(d.processIds, "|1|2|");
}

TEST(ProcessList, PairsNamesAndIdsByPosition) {
  EXPECT_EQ(sys::PairProcessList("|a.exe|b.exe|", "|1|2|", true), "|a.exe=1|b.exe=2|");
  EXPECT_EQ(sys::PairProcessList("|a.exe|b.exe|", "|1|", true), "|a.exe=1|");
  EXPECT_EQ(sys::PairProcessList("|a.exe|", "|1|2|", true), "|a.exe=1|");
  EXPECT_EQ(sys::PairProcessList("|a.exe|b.exe|", "|1|2|", false), "|a.exe|b.exe|");
  EXPECT_EQ(sys::PairProcessList("|", "|", true), "|");
}

TEST(ProcessList, NamesOfTheSystemsOwnIds) {
  const struct {
    std::uint32_t id;
    const char* version;
    const char* name;
  } cases[] = {
      {0, "5.1", "System Idle Process"},
      {0, "4.0", "System Idle Process"},
      {2, "4.0", "System Process"},
      {8, "5.0", "System Process"},
      {2, "5.0", ""},
      {8, "5.1", ""},
      {4, "5.1", ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(sys::SystemProcessName(c.id, c.version), c.name) << c.id << " " << c.version;
}

TEST(ProcessList, LookupFromTheLastEntryByNameOrShortPath) {
  const std::map<std::string, std::string> shortNames = {
      {"Long Name App.exe", "LONGNA~1.EXE"},
      {"longna~1.exe", "LONGNA~1.EXE"},
  };
  const sys::ShortPathFunction shortOf = [&](const std::string& name) {
    const auto it = shortNames.find(name);
    return it == shortNames.end() ? std::string() : it->second;
  };
  const char list[] = "|System Idle Process=0|a.exe=10|b=c.exe=20|A.EXE=30|Long Name App.exe=40|";
  const struct {
    const char* wanted;
    std::uint32_t id;
  } cases[] = {
      {"a.exe", 30}, // the later of two
      {" a.EXE ", 30},
      {"b=c.exe", 20},
      {"longna~1.exe", 40},
      {"Long Name App.exe", 40},
      {"System Idle Process", 0},
      {"c.exe", 0},
      {"", 0},
  };
  for (const auto& c : cases)
    EXPECT_EQ(sys::FindInProcessList(list, c.wanted, shortOf), c.id) << c.wanted;
  EXPECT_EQ(sys::FindInProcessList("|a.exe=10|", "a.exe", nullptr), 10u);
  EXPECT_EQ(sys::FindInProcessList("|a.exe|", "a.exe", nullptr), 0u);
}

} // namespace
