#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "agent/eligibility.h"
#include "agent/services.h"
#include "agent_fakes.h"
#include "util/text.h"

namespace {

namespace fs = std::filesystem;
using agent::Descriptors;
using agent::Eligibility;
using agent_test::FakeClock;
using agent_test::FakeRegistry;
using agent_test::FakeSizeProbe;
using agent_test::MemorySettings;
using agent_test::RecordingLog;
using util::IntToStr;

class EligibilityTest : public ::testing::Test {
public: // the case table's arrange functions set the pair up
  EligibilityTest() {
    clock.Set(2026, 12, 10, 9, 30, 0);
    e.SetSpreadDraw(agent_test::LowestDraw);
  }
  std::int64_t Now() { return agent::AgentSeconds(clock.now); }
  void Original(const char* key, const std::string& value) {
    store.values[{"O", "OriginalSetup", key}] = value;
  }
  void Original(const char* key, std::int64_t value) { Original(key, IntToStr(value)); }
  void Info(const char* section, const char* key, const std::string& value) {
    store.values[{"I", section, key}] = value;
  }
  void Info(const char* key, const std::string& value) { Info("NewSetup", key, value); }
  void TestModeRegistry(const std::string& mode, const std::string& date, const std::string& url) {
    const std::string key = agent::kTestModeKey;
    registry.values[key + "|TestMode"] = mode;
    registry.values[key + "|TestModeDate"] = date;
    registry.values[key + "|TestModeURL"] = url;
  }
  // A pair that passes every test: installed 3, offered 4, update file of
  // 1000 bytes on the server.
  void EligiblePair() {
    Original("VersionOriginal", 3);
    Original("Stamp", 1);
    Info("VersionNew", "4");
    Info("Stamp", "2");
    Info("DownloadURL_UPDATE", "http://upd.invalid/app");
    Info("NameOfUpdateFile", "AppSetup.exe");
    Info("SizeOfUpdateFile", "1000");
    sizes.urls["http://upd.invalid/app/AppSetup.exe"] = 1000;
  }

  MemorySettings store;
  FakeClock clock;
  FakeRegistry registry;
  FakeSizeProbe sizes;
  RecordingLog log;
  Descriptors d{store, "O", "I"};
  Eligibility e{d, clock, registry, sizes, log};
};

TEST_F(EligibilityTest, DueTime) {
  const std::int64_t now = Now();
  const struct {
    const char* what;
    std::int64_t interval;
    std::int64_t last;
    bool forced;
    int status;
  } cases[] = {
      {"interval reached", 3600, now - 3600, false, 1},
      {"interval not reached", 3600, now - 3599, false, 0},
      {"never checked", 3600, 0, false, 1},
      {"interval 0: the one check of the run", 0, 0, false, 2},
      {"interval 0, last check in the future", 0, now + 10, false, 0},
      {"interval -1: never", -1, 0, false, 0},
      {"interval -1, forced", -1, 0, true, 1},
      {"clock set back: last check in the future", 60, now + 3600, false, 0},
      {"clock set back, forced", 60, now + 3600, true, 1},
      {"interval 0, forced: a plain check", 0, 0, true, 1},
      {"huge interval does not wrap into the past", INT64_MAX, now - 10, false, 0},
      {"huge last check does not wrap into the past", 3600, INT64_MAX - 100, false, 0},
  };
  for (const auto& c : cases) {
    Original("ProbeSecondsInterval", c.interval);
    Original("ProbeSecondsLast", c.last);
    if (c.forced) e.RequestForcedCheck();
    EXPECT_EQ(e.ShotTimeStatus(), c.status) << c.what;
    EXPECT_FALSE(e.ForcedCheck()) << c.what;
  }
}

TEST_F(EligibilityTest, DueTimeAfterTheOneCheckOnlyWhenForced) {
  Original("ProbeSecondsInterval", 0);
  ASSERT_EQ(e.ShotTimeStatus(), agent::kShotOnce);
  d.SetShotsEnabled(false); // what the timer does on 2
  EXPECT_EQ(e.ShotTimeStatus(), agent::kShotNone);
  e.RequestForcedCheck();
  EXPECT_EQ(e.ShotTimeStatus(), agent::kShotNow);
  EXPECT_EQ(e.ShotTimeStatus(), agent::kShotNone);
}

TEST_F(EligibilityTest, DueTimeInTestModeEveryFiveSeconds) {
  TestModeRegistry("1", "10-DEC-2026", "C:\\test");
  ASSERT_TRUE(e.RefreshTestMode(true));
  Original("ProbeSecondsInterval", 3600);
  Original("ProbeSecondsLast", Now() - 5);
  EXPECT_EQ(e.ShotTimeStatus(), 1);
  Original("ProbeSecondsLast", Now() - 4);
  EXPECT_EQ(e.ShotTimeStatus(), 0);
  // -1 still means never.
  Original("ProbeSecondsInterval", -1);
  Original("ProbeSecondsLast", 0);
  EXPECT_EQ(e.ShotTimeStatus(), 0);
}

TEST_F(EligibilityTest, ReAsk) {
  const std::int64_t now = Now();
  const struct {
    std::int64_t interval;
    std::int64_t last;
    bool due;
  } cases[] = {
      {0, 0, false},           // 0 = not again
      {-5, 0, false},          // nor a negative interval
      {100, now - 101, true},  // past
      {100, now - 100, false}, // exactly now is not yet
      {100, now + 50, false},  // clock set back
      {INT64_MAX, now - 10, false},
      {100, INT64_MAX, false},
  };
  for (const auto& c : cases) {
    Original("ReAskSecondsInterval", c.interval);
    Original("ReAskSecondsLast", c.last);
    EXPECT_EQ(e.IsReAskDue(), c.due) << c.interval << " " << c.last;
  }
}

TEST_F(EligibilityTest, VersionList) {
  const struct {
    std::int64_t installed;
    const char* list;
    bool valid;
  } cases[] = {
      {1, "", true},       {1, "10,11", false}, {10, "10,11", true},
      {11, "10,11", true}, {1, "1", true},      {1, "11,1", true},
      {0, "10", false},    {-1, "-1,2", true},  {2, "1, 2", false}, // no blanks around the commas
  };
  for (const auto& c : cases) {
    Original("VersionOriginal", c.installed);
    Info("ValidVersions", c.list);
    EXPECT_EQ(e.IsValidForVersion(), c.valid) << c.installed << " in " << c.list;
  }
}

TEST_F(EligibilityTest, DownloadSizeWithinLessThanAHundredBytes) {
  Info("SizeOfUpdateFile", "1000");
  const struct {
    std::int64_t actual;
    bool ok;
  } cases[] = {{1000, true}, {1099, true}, {901, true}, {1100, false}, {900, false}, {-1, false}};
  for (const auto& c : cases) {
    log.log.clear();
    sizes.urls["http://upd.invalid/app/AppSetup.exe"] = c.actual;
    EXPECT_EQ(e.CheckDownloadSize("http://upd.invalid/app", "AppSetup.exe", "News.rtf"), c.ok)
        << c.actual;
    if (c.ok) {
      EXPECT_TRUE(log.log.empty()) << c.actual;
    } else {
      EXPECT_EQ(log.log,
                (std::vector<std::string>{"  InfoSize=1000", "  HttpSize=" + IntToStr(c.actual),
                                          "  URL=http://upd.invalid/app/AppSetup.exe"}));
    }
  }
}

TEST_F(EligibilityTest, DownloadSizeLooksInTheFolderFirst) {
  Info("SizeOfUpdateFile", "1000");
  sizes.files["\\\\srv\\share\\AppSetup.exe"] = 1050;
  // Only the file-name part of the name counts.
  EXPECT_TRUE(e.CheckDownloadSize("\\\\srv\\share", "..\\..\\AppSetup.exe", ""));
  EXPECT_EQ(sizes.asked, (std::vector<std::string>{"\\\\srv\\share\\AppSetup.exe"}));

  // Not in the folder, offline: unknown, and the path is what was tried.
  sizes.asked.clear();
  sizes.online = false;
  EXPECT_FALSE(e.CheckDownloadSize("C:\\upd\\", "Other.exe", ""));
  EXPECT_EQ(sizes.asked, (std::vector<std::string>{"C:\\upd\\Other.exe"}));
  EXPECT_EQ(log.log.back(), "  URL=C:\\upd\\Other.exe");
}

TEST_F(EligibilityTest, DownloadSizeOfTheInformFileForAnAnnouncement) {
  Info("General", "AutoInform", "1");
  Info("AutoInform", "SizeOfInformFile", "300");
  Info("SizeOfUpdateFile", "99999");
  sizes.urls["http://upd.invalid/News.rtf"] = 310;
  EXPECT_TRUE(e.CheckDownloadSize("http://upd.invalid/", "AppSetup.exe", "News.rtf"));
  // An empty name has nothing to size.
  EXPECT_FALSE(e.CheckDownloadSize("http://upd.invalid/", "AppSetup.exe", ""));
}

TEST_F(EligibilityTest, DownloadSizeInTestModeOnlyInTheTestFolder) {
  TestModeRegistry("1", "10-DEC-2026", "C:\\testupd");
  ASSERT_TRUE(e.RefreshTestMode(true));
  EligiblePair(); // the server has it, but test mode does not ask the server
  int code = -1;
  std::string reason;
  EXPECT_FALSE(e.GetOkToPerformAU(true, code, reason));
  EXPECT_EQ(code, agent::kDownloadSizeError);
  EXPECT_EQ(sizes.asked, (std::vector<std::string>{"C:\\testupd\\AppSetup.exe"}));
  EXPECT_EQ(log.log[1], "  HttpSize=-1");

  sizes.files["C:\\testupd\\AppSetup.exe"] = 1000;
  EXPECT_TRUE(e.GetOkToPerformAU(true, code, reason));
}

TEST_F(EligibilityTest, DownloadSizeNegativeAnnouncementNeverMatches) {
  Info("SizeOfUpdateFile", "-1");
  sizes.online = false; // actual -1 too
  EXPECT_FALSE(e.CheckDownloadSize("C:\\upd", "AppSetup.exe", ""));
}

TEST_F(EligibilityTest, TestMode) {
  const struct {
    const char* mode;
    const char* date;
    bool on;
  } cases[] = {
      {"1", "10-DEC-2026", true},  {"1", "09-DEC-2026", false}, // yesterday
      {"1", "11-DEC-2026", false}, {"1", "", false},
      {"0", "10-DEC-2026", false}, {"yes", "10-DEC-2026", false},
      {"1", "10-Dec-2026", false}, {" 1", "10-DEC-2026", false},
  };
  for (const auto& c : cases) {
    TestModeRegistry(c.mode, c.date, "C:\\t");
    EXPECT_EQ(e.RefreshTestMode(true), c.on) << c.mode << " " << c.date;
    EXPECT_EQ(e.TestMode(), c.on);
    EXPECT_EQ(e.TestModeURL(), "C:\\t"); // whether on or not
  }
}

TEST_F(EligibilityTest, TestModeIsReadAgainAfterThirtySeconds) {
  clock.ticks = 0xFFFF0000u; // near the wrap of the tick count
  TestModeRegistry("1", "10-DEC-2026", "u1");
  EXPECT_TRUE(e.RefreshTestMode(false)); // the first read is never skipped
  EXPECT_EQ(registry.reads, 4);
  TestModeRegistry("0", "10-DEC-2026", "u2");
  clock.ticks += 30000;
  EXPECT_TRUE(e.RefreshTestMode(false));
  EXPECT_EQ(registry.reads, 4);
  EXPECT_FALSE(e.RefreshTestMode(true)); // force reads at once
  EXPECT_EQ(e.TestModeURL(), "u2");
  TestModeRegistry("1", "10-DEC-2026", "u3");
  clock.ticks += 30001; // past the wrap
  EXPECT_TRUE(e.RefreshTestMode(false));
  EXPECT_EQ(e.TestModeURL(), "u3");
}

TEST_F(EligibilityTest, EachCodeWithItsReasonAndLogLine) {
  const struct {
    const char* what;
    void (*arrange)(EligibilityTest&);
    bool downloaded;
    int code;
    const char* reason;
  } cases[] = {
      {"not downloaded", [](EligibilityTest&) {}, false, 0, "Error downloading .INFO file"},
      {"installed version 0", [](EligibilityTest& t) { t.Original("VersionOriginal", 0); }, true, 1,
       "Error reading .ORIGINAL file"},
      {"same stamp, no re-ask", [](EligibilityTest& t) { t.Info("Stamp", "1"); }, true, 2,
       "Too early for retesting"},
      {"same version", [](EligibilityTest& t) { t.Info("VersionNew", "3"); }, true, 3,
       "New version is not higher then old version"},
      {"older version", [](EligibilityTest& t) { t.Info("VersionNew", "2"); }, true, 3,
       "New version is not higher then old version"},
      {"not in the list", [](EligibilityTest& t) { t.Info("ValidVersions", "30,31"); }, true, 4,
       "\"Valid for version\" mismatch"},
      {"wrong size",
       [](EligibilityTest& t) { t.sizes.urls["http://upd.invalid/app/AppSetup.exe"] = 2000; }, true,
       5, "Download file size error"},
      {"eligible", [](EligibilityTest&) {}, true, 6, "OK"},
      {"rollout at 0 %", [](EligibilityTest& t) { t.Info("RolloutPercent", "0"); }, true, 7,
       "Not in the staged rollout yet"},
  };
  for (const auto& c : cases) {
    store.values.clear();
    log.log.clear();
    log.trace.clear();
    EligiblePair();
    c.arrange(*this);
    int code = -1;
    std::string reason;
    EXPECT_EQ(e.GetOkToPerformAU(c.downloaded, code, reason), c.code == 6) << c.what;
    EXPECT_EQ(code, c.code) << c.what;
    EXPECT_EQ(reason, c.reason) << c.what;
    EXPECT_EQ(e.LastEligibilityCode(), c.code);
    EXPECT_EQ(agent::EligibilityReason(c.code), c.reason);
    ASSERT_FALSE(log.log.empty()) << c.what;
    EXPECT_EQ(log.log.back(), "GetOkToPerformAU = " + IntToStr(c.code) + " - " + c.reason);
    EXPECT_EQ(log.trace, (std::vector<std::string>{"4242 GetOkToPerformAU=" + IntToStr(c.code)}));
  }
  EXPECT_EQ(agent::EligibilityReason(8), "");
  EXPECT_EQ(agent::EligibilityReason(-1), "");
}

TEST_F(EligibilityTest, AStampAlreadyActedOnComesBackByReAskOrUserRequest) {
  EligiblePair();
  Info("Stamp", "1");
  int code = -1;
  std::string reason;
  EXPECT_FALSE(e.GetOkToPerformAU(true, code, reason));
  EXPECT_EQ(code, agent::kTooEarly);
  EXPECT_TRUE(e.GetOkToPerformAU(true, code, reason, true));

  Original("ReAskSecondsInterval", 86400);
  Original("ReAskSecondsLast", Now() - 86400);
  EXPECT_FALSE(e.GetOkToPerformAU(true, code, reason));
  Original("ReAskSecondsLast", Now() - 86401);
  EXPECT_TRUE(e.GetOkToPerformAU(true, code, reason));
}

TEST_F(EligibilityTest, RolloutLetsInTheBucketsBelowTheShareOfTheDay) {
  // 2026-12-10 00:00 UTC; a ramp from 10 % over 4 days starts that day.
  constexpr std::int64_t kDay0 = 1796860800;
  const struct {
    const char* what;
    const char* percent;
    const char* start;
    const char* days;
    std::int64_t utc;
    const char* bucket;
    bool userRequested;
    int code;
  } cases[] = {
      {"no keys: everyone", "", "", "", kDay0, "99", false, 6},
      {"50 %: bucket 49 in", "50", "", "", kDay0, "49", false, 6},
      {"50 %: bucket 50 out", "50", "", "", kDay0, "50", false, 7},
      {"0 %: the user asked", "0", "", "", kDay0, "0", true, 6},
      {"above 100 counts as 100", "250", "", "", kDay0, "99", false, 6},
      {"not a number counts as absent", "half", "", "", kDay0, "99", false, 6},
      {"ramp before its start: 10 %", "10", "2026-12-10", "4", kDay0 - 1, "10", false, 7},
      {"ramp, day 2 of 4: 55 %", "10", "2026-12-10", "4", kDay0 + 2 * 86400, "54", false, 6},
      {"ramp, day 2 of 4: 55 %, bucket 55 out", "10", "2026-12-10", "4", kDay0 + 2 * 86400, "55",
       false, 7},
      {"ramp without a percentage starts at 0", "", "2026-12-10", "4", kDay0 + 86400, "25", false,
       7},
      {"ramp ended: everyone", "10", "2026-12-10", "4", kDay0 + 4 * 86400, "99", false, 6},
      {"bad start date: the percentage alone", "30", "2026-13-10", "4", kDay0 + 9 * 86400, "40",
       false, 7},
  };
  for (const auto& c : cases) {
    store.values.clear();
    EligiblePair();
    Info("RolloutPercent", c.percent);
    Info("RolloutStart", c.start);
    Info("RolloutDays", c.days);
    Original("RolloutBucket", c.bucket);
    clock.utc = c.utc;
    int code = -1;
    std::string reason;
    EXPECT_EQ(e.GetOkToPerformAU(true, code, reason, c.userRequested), c.code == 6) << c.what;
    EXPECT_EQ(code, c.code) << c.what;
  }
}

TEST_F(EligibilityTest, RolloutBucketIsDrawnOnceAndKept) {
  auto StoredBucket = [this] { return store.values[{"O", "OriginalSetup", "RolloutBucket"}]; };
  EligiblePair();
  Info("RolloutPercent", "40");
  e.SetSpreadDraw([](std::uint32_t, std::uint32_t high) { return high; });
  int code = -1;
  std::string reason;
  EXPECT_FALSE(e.GetOkToPerformAU(true, code, reason));
  EXPECT_EQ(StoredBucket(), "99");
  EXPECT_NE(std::find(log.log.begin(), log.log.end(), "Rollout at 40 %, this install's bucket 99"),
            log.log.end());
  // The kept bucket counts, not a new draw.
  Original("RolloutBucket", 3);
  EXPECT_TRUE(e.GetOkToPerformAU(true, code, reason));
  EXPECT_EQ(StoredBucket(), "3");
  // A bucket out of range is drawn again.
  Original("RolloutBucket", "100");
  EXPECT_FALSE(e.GetOkToPerformAU(true, code, reason));
  EXPECT_EQ(StoredBucket(), "99");
}

TEST_F(EligibilityTest, ScheduledChecksWaitForTheirSpread) {
  e.SetSpreadDraw([](std::uint32_t, std::uint32_t high) { return high; });
  const std::int64_t start = Now();
  auto at = [&](std::int64_t seconds) {
    clock.now = (start + seconds) / 86400.0;
    return e.ShotTimeStatus();
  };
  Original("ProbeSecondsInterval", 36000);
  Original("ProbeSecondsLast", start - 40000); // overdue at the start
  EXPECT_EQ(at(0), agent::kShotNone);
  EXPECT_EQ(at(agent::kStartSpreadSeconds - 1), agent::kShotNone);
  EXPECT_EQ(at(agent::kStartSpreadSeconds), agent::kShotNow);
  // After a check the next one waits its interval and a tenth of it more.
  Original("ProbeSecondsLast", start + 300);
  EXPECT_EQ(at(300 + 36000 + 3599), agent::kShotNone);
  EXPECT_EQ(at(300 + 36000 + 3600), agent::kShotNow);
  EXPECT_NE(std::find(log.log.begin(), log.log.end(), "Check spread by 3600 s past its due time"),
            log.log.end());
  // Interval 0: the run's one check waits for the start spread only.
  Original("ProbeSecondsInterval", 0);
  EXPECT_EQ(at(400), agent::kShotOnce);
  // A forced check, test mode and the lab switch do not wait.
  Original("ProbeSecondsInterval", 36000);
  Original("ProbeSecondsLast", start + 500);
  EXPECT_EQ(at(500 + 36000), agent::kShotNone);
  e.RequestForcedCheck();
  EXPECT_EQ(at(500 + 36000), agent::kShotNow);
  registry.values[std::string(agent::kTestModeKey) + "|CheckSpread"] = "0";
  e.RefreshTestMode(true);
  EXPECT_EQ(at(500 + 36000), agent::kShotNow);
}

TEST(CheckSpread, ATenthOfTheIntervalAtMostSixHours) {
  EXPECT_EQ(agent::MaxCheckSpread(-1), 0);
  EXPECT_EQ(agent::MaxCheckSpread(0), 0);
  EXPECT_EQ(agent::MaxCheckSpread(3600), 360);
  EXPECT_EQ(agent::MaxCheckSpread(86400), 8640);
  EXPECT_EQ(agent::MaxCheckSpread(7 * 86400), 6 * 3600);
}

// Broken descriptors on disk, read through the agent's INI layer: every one
// ends as "not eligible" with its reason, and the .original is not touched.
class BrokenDescriptors : public ::testing::Test {
protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("agent_broken_" +
            std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    clock_.Set(2026, 12, 10, 9, 30, 0);
    sizes_.urls["http://upd.invalid/AppSetup.exe"] = 1000;
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  std::string Path(const char* name) { return (dir_ / name).string(); }
  void Write(const char* name, const std::string& bytes) {
    std::ofstream(Path(name), std::ios::binary) << bytes;
  }

  fs::path dir_;
  agent::IniFileSettings store_;
  FakeClock clock_;
  FakeRegistry registry_;
  FakeSizeProbe sizes_;
  RecordingLog log_;
};

TEST_F(BrokenDescriptors, NotEligibleWithTheReasonAndNoCrash) {
  const std::string goodOriginal = "[OriginalSetup]\r\nVersionOriginal=3\r\nStamp=1\r\n";
  const std::string goodInfo =
      "[NewSetup]\r\nDownloadURL_UPDATE=http://upd.invalid\r\nNameOfUpdateFile=AppSetup.exe\r\n"
      "SizeOfUpdateFile=1000\r\nVersionNew=4\r\nStamp=2\r\n";
  std::string binary(4096, '\0');
  for (std::size_t i = 0; i < binary.size(); ++i)
    binary[i] = static_cast<char>(i * 7919 % 251);
  const struct {
    const char* what;
    const char* original; // nullptr: no file
    std::string originalText;
    std::string infoText;
    int code;
  } cases[] = {
      {"both good", "Product.original", goodOriginal, goodInfo, 6},
      {"missing .original", nullptr, "", goodInfo, 1},
      {"empty .original", "Product.original", "", goodInfo, 1},
      {"truncated .original", "Product.original", "[OriginalSetup]\r\nVersionOrig", goodInfo, 1},
      {"truncated value", "Product.original", "[OriginalSetup]\r\nVersionOriginal=", goodInfo, 1},
      {"binary .original", "Product.original", binary, goodInfo, 1},
      {"HTML .original", "Product.original",
       "<html><head><title>404</title></head><body>VersionOriginal=3</body></html>", goodInfo, 1},
      {"version no number", "Product.original", "[OriginalSetup]\r\nVersionOriginal=three\r\n",
       goodInfo, 1},
      {"version beyond 64 bits", "Product.original",
       "[OriginalSetup]\r\nVersionOriginal=99999999999999999999\r\n", goodInfo, 1},
      {"negative installed version", "Product.original",
       "[OriginalSetup]\r\nVersionOriginal=-3\r\n", goodInfo, 1},
      {"empty .info", "Product.original", goodOriginal, "", 3},
      {"binary .info", "Product.original", goodOriginal, binary, 3},
      {"truncated .info", "Product.original", goodOriginal, goodInfo.substr(0, 40), 3},
      {"negative new version", "Product.original", goodOriginal,
       "[NewSetup]\r\nVersionNew=-4\r\nStamp=2\r\n", 3},
      {"huge new version, huge size", "Product.original", goodOriginal,
       "[NewSetup]\r\nDownloadURL_UPDATE=http://upd.invalid\r\nNameOfUpdateFile=AppSetup.exe\r\n"
       "SizeOfUpdateFile=9223372036854775807\r\nVersionNew=9223372036854775807\r\nStamp=2\r\n",
       5},
      {"size no number", "Product.original", goodOriginal,
       "[NewSetup]\r\nDownloadURL_UPDATE=http://upd.invalid\r\nNameOfUpdateFile=AppSetup.exe\r\n"
       "SizeOfUpdateFile=1k\r\nVersionNew=4\r\nStamp=2\r\n",
       5},
      {"huge intervals", "Product.original",
       goodOriginal + "ReAskSecondsInterval=9223372036854775807\r\n"
                      "ReAskSecondsLast=9223372036854775807\r\n",
       "[NewSetup]\r\nVersionNew=4\r\nStamp=1\r\n", 2},
  };
  for (const auto& c : cases) {
    fs::remove(Path("Product.original"));
    if (c.original) Write(c.original, c.originalText);
    Write("Product.info", c.infoText);
    Descriptors d(store_, agent::OriginalFilePathFor(dir_.string(), "Product.info"),
                  agent::InfoFilePathFor(dir_.string(), "Product.info"));
    Eligibility e(d, clock_, registry_, sizes_, log_);
    int code = -1;
    std::string reason;
    EXPECT_EQ(e.GetOkToPerformAU(true, code, reason), c.code == 6) << c.what;
    EXPECT_EQ(code, c.code) << c.what;
    EXPECT_EQ(reason, agent::EligibilityReason(c.code)) << c.what;
    EXPECT_EQ(log_.log.back(), "GetOkToPerformAU = " + IntToStr(c.code) + " - " + reason) << c.what;
    // Deciding never writes: a missing .original stays missing.
    EXPECT_EQ(fs::exists(Path("Product.original")), c.original != nullptr) << c.what;
  }
}

TEST(InfoDownload, OnlyADescriptorReplacesTheLastGoodOne) {
  const std::string info = "[NewSetup]\r\nVersionNew=4\r\n";
  const struct {
    const char* what;
    std::string error;
    std::string content;
    int status;
    bool usable;
  } cases[] = {
      {"descriptor", "", info, 0, true},
      {"descriptor with 200", "", info, 200, true},
      {"lower-case section with blanks", "", "; c\n[ newsetup ]\nStamp=1\n", 0, true},
      {"download error", "Error downloading file", info, 0, false},
      {"error status", "", info, 404, false},
      {"server error status", "", info, 500, false},
      {"empty", "", "", 0, false},
      {"HTML error page", "",
       "<HTML><HEAD><TITLE>Not Found</TITLE></HEAD><BODY>[NewSetup]</BODY></HTML>", 200, false},
      {"404 title", "", "<title>404 Not Found</title>\n[NewSetup]\n", 0, false},
      {"no NewSetup section", "", "[General]\r\nAutoInform=1\r\n", 0, false},
      {"plain text", "", "Service unavailable", 0, false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(agent::IsUsableInfoDownload(c.error, c.content, c.status), c.usable) << c.what;
}

} // namespace
