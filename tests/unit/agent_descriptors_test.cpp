#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "agent/descriptors.h"
#include "agent/services.h"
#include "agent_fakes.h"
#include "util/text.h"

namespace {

namespace fs = std::filesystem;
using agent::Descriptors;
using agent_test::FakeClock;
using agent_test::MemorySettings;

TEST(DescriptorNames, InfoKeepsTheNameOriginalDropsEveryExtension) {
  const struct {
    const char* field;
    const char* info;
    const char* original;
  } cases[] = {
      {"Product.info", "Product.info", "Product.original"},
      {"Product.v2.info", "Product.v2.info", "Product.original"},
      {"http://example.invalid/upd/Product.v2.info", "Product.v2.info", "Product.original"},
      {"sub\\Product.info", "Product.info", "Product.original"},
      {"Product", "Product", "Product.original"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(agent::InfoFilePathFor("dir", c.field), util::JoinPath("dir", c.info)) << c.field;
    EXPECT_EQ(agent::OriginalFilePathFor("dir", c.field), util::JoinPath("dir", c.original))
        << c.field;
  }
  // No file name, no file: the folder itself must never be read or written.
  EXPECT_EQ(agent::InfoFilePathFor("dir", ""), "");
  EXPECT_EQ(agent::OriginalFilePathFor("dir", "upd/"), "");
}

TEST(AgentTime, SecondsAreRoundedLocalTimeAndReadBackAsText) {
  FakeClock clock;
  clock.Set(2026, 12, 7, 12, 0, 0);
  const std::int64_t seconds = agent::AgentSeconds(clock.now);
  EXPECT_EQ(seconds, 46363 * std::int64_t(86400) + 12 * 3600);
  EXPECT_EQ(agent::AgentTimeText(seconds), "07-DEC-2026 12:00:00");
  // Half a second rounds up; the text follows the stored seconds.
  EXPECT_EQ(agent::AgentSeconds(clock.now + 0.5 / 86400), seconds + 1);
  EXPECT_EQ(agent::AgentTimeText(seconds + 1), "07-DEC-2026 12:00:01");
  EXPECT_EQ(agent::AgentTimeText(-5), "30-DEC-1899 00:00:00");
}

class DescriptorsInMemory : public ::testing::Test {
protected:
  void SetOriginal(const char* section, const char* key, const std::string& value) {
    store.values[{"O", section, key}] = value;
  }
  void SetInfo(const char* section, const char* key, const std::string& value) {
    store.values[{"I", section, key}] = value;
  }
  std::string Original(const char* section, const char* key) {
    return store.values[{"O", section, key}];
  }
  MemorySettings store;
  Descriptors d{store, "O", "I"};
};

TEST_F(DescriptorsInMemory, DefaultsOfAnEmptyPair) {
  EXPECT_EQ(d.ProbeSecondsInterval(), 0);
  EXPECT_EQ(d.VersionOriginal(), 0);
  EXPECT_EQ(d.BtnText(), "|&OK|&Cancel|&Yes|&No|&Abort|&Retry|&Ignore|");
  EXPECT_EQ(d.Error(), "Error");
  EXPECT_EQ(d.Confirm(), "Confirm");
  EXPECT_EQ(d.Attention(), "Attention");
  EXPECT_EQ(d.FontName(), "Tahoma");
  EXPECT_EQ(d.FontSize(), 8);
  EXPECT_EQ(d.AutoInformW(), 360);
  EXPECT_EQ(d.AutoInformH(), 360);
  EXPECT_EQ(d.AutoUpdateText("s3"), "File Download Aborted!");
  EXPECT_EQ(d.AutoUpdateText("s4"), "File not Found!");
  EXPECT_EQ(d.AutoUpdateText("s5"), "Unable to Download File!");
  EXPECT_EQ(d.AutoUpdateText("s31"), "Downloading INFO File...");
  EXPECT_EQ(d.AutoUpdateText("s34"), "New Version");
  EXPECT_EQ(d.AutoUpdateText("s35"), "Download");
  EXPECT_EQ(d.AutoUpdateText("s11"), "");
  EXPECT_FALSE(d.RestartProcess());
  EXPECT_TRUE(d.ShotsEnabled());
  EXPECT_EQ(d.AgentState(), agent::kAgentIdle);
}

TEST_F(DescriptorsInMemory, SharedKeyNamesReadFromTheirOwnFile) {
  SetOriginal("OriginalSetup", "ProgramName", "Installed");
  SetOriginal("OriginalSetup", "Stamp", "5");
  SetInfo("NewSetup", "ProgramName", "Offered");
  SetInfo("NewSetup", "Stamp", "6");
  EXPECT_EQ(d.ProgramName(), "Installed");
  EXPECT_EQ(d.Stamp(), 5);
  EXPECT_EQ(d.NewSetupProgramName(), "Offered");
  EXPECT_EQ(d.NewSetupStamp(), 6);
}

TEST_F(DescriptorsInMemory, UserTextsTakeTheProductName) {
  store.values[{"O", "AutoUpdate", "s16"}] = "PROG_NAME is up to date. Start PROG_NAME?";
  EXPECT_EQ(agent::WithProgName(d.AutoUpdateText("s16"), "Vantor Demo"),
            "Vantor Demo is up to date. Start Vantor Demo?");
  EXPECT_EQ(d.GetAutoUpdateText("s21", "none"), "none");
}

TEST_F(DescriptorsInMemory, OnlyTheExactTextOneSwitchesOn) {
  const struct {
    const char* value;
    bool on;
  } cases[] = {{"1", true},   {"0", false},  {"yes", false}, {" 1", false},
               {"01", false}, {"1 ", false}, {"", false},    {"true", false}};
  for (const auto& c : cases) {
    SetInfo("NewSetup", "BackgroundUpdate", c.value);
    SetInfo("NewSetup", "RemoveStartUpShortcut", c.value);
    EXPECT_EQ(d.BackgroundUpdate(), c.on) << '"' << c.value << '"';
    EXPECT_EQ(d.RemoveStartUpShortcut(), c.on) << '"' << c.value << '"';
  }
}

TEST_F(DescriptorsInMemory, NumbersThatAreNoNumbersReadAsTheDefault) {
  const struct {
    const char* value;
    std::int64_t number;
  } cases[] = {
      {"42", 42},
      {"-7", -7},
      {"12abc", 0},
      {"abc", 0},
      {"1.5", 0},
      {"0x10", 0},
      {"9223372036854775807", INT64_MAX},
      {"9223372036854775808", 0}, // beyond 64 bits
      {"99999999999999999999999999", 0},
  };
  for (const auto& c : cases) {
    SetInfo("NewSetup", "VersionNew", c.value);
    SetInfo("AutoInform", "AutoInformW", c.value);
    EXPECT_EQ(d.VersionNew(), c.number) << c.value;
    EXPECT_EQ(d.AutoInformW(), c.number == 0 ? 360 : c.number) << c.value;
  }
}

TEST_F(DescriptorsInMemory, OnlyAutoInformOneAnnouncesANewsPage) {
  for (const char* v : {"0", "2", "-1", "1x", ""}) {
    SetInfo("General", "AutoInform", v);
    EXPECT_FALSE(d.IsAutoInform()) << v;
  }
  SetInfo("General", "AutoInform", "1");
  EXPECT_TRUE(d.IsAutoInform());
}

TEST_F(DescriptorsInMemory, TimeWritesCarryTheReadableText) {
  FakeClock clock;
  clock.Set(2026, 12, 7, 12, 0, 0);
  const std::int64_t now = agent::AgentSeconds(clock.now);
  ASSERT_TRUE(d.SetProbeSecondsLast(now));
  EXPECT_EQ(Original("OriginalSetup", "ProbeSecondsLast"), util::IntToStr(now));
  EXPECT_EQ(Original("OriginalSetup", "__ProbeSecondsLast"), "07-DEC-2026 12:00:00");
  ASSERT_TRUE(d.SetReAskSecondsLast(now + 86400 + 61));
  EXPECT_EQ(Original("OriginalSetup", "__ReAskSecondsLast"), "08-DEC-2026 12:01:01");
  ASSERT_TRUE(d.SetVersionOriginal(12));
  ASSERT_TRUE(d.SetStamp(-3));
  ASSERT_TRUE(d.SetProbeSecondsInterval(-1));
  EXPECT_EQ(d.VersionOriginal(), 12);
  EXPECT_EQ(d.Stamp(), -3);
  EXPECT_EQ(d.ProbeSecondsInterval(), -1);
  store.failWrites = true;
  EXPECT_FALSE(d.SetVersionOriginal(13));
  EXPECT_EQ(d.VersionOriginal(), 12);
}

TEST_F(DescriptorsInMemory, OverridesTakePrecedenceOverTheInfoSwitches) {
  SetInfo("NewSetup", "RequestConfirmationBeforeDownload", "1");
  SetInfo("NewSetup", "RestartProcess", "0");
  EXPECT_TRUE(d.RequestConfirmationBeforeDownload());
  EXPECT_FALSE(d.RestartProcess());
  EXPECT_TRUE(d.SetOverride(agent::kOverrideRequestConfirmationBeforeDownload, 0));
  EXPECT_TRUE(d.SetOverride(agent::kOverrideRestartProcess, 1));
  EXPECT_FALSE(d.RequestConfirmationBeforeDownload());
  EXPECT_TRUE(d.RestartProcess());
  // Any value other than 1 (and 255) is off.
  EXPECT_TRUE(d.SetOverride(agent::kOverrideRestartProcess, 7));
  EXPECT_FALSE(d.RestartProcess());
  EXPECT_TRUE(d.SetOverride(agent::kOverrideRestartProcess, 255));
  SetInfo("NewSetup", "RestartProcess", "1");
  EXPECT_TRUE(d.RestartProcess());
  // AskBeforeCheck has no key: on only by its override.
  EXPECT_FALSE(d.AskBeforeCheck());
  EXPECT_TRUE(d.SetOverride(agent::kOverrideAskBeforeCheck, 1));
  EXPECT_TRUE(d.AskBeforeCheck());
}

TEST_F(DescriptorsInMemory, SetOverrideTakesPositionsZeroToFiveAndByteValues) {
  EXPECT_FALSE(d.SetOverride(6, 1));
  EXPECT_FALSE(d.SetOverride(7, 1));
  EXPECT_FALSE(d.SetOverride(-1, 1));
  EXPECT_FALSE(d.SetOverride(0, 256));
  EXPECT_FALSE(d.SetOverride(0, -1));
  EXPECT_EQ(d.OverridesToText(), "|255|255|255|255|255|255|255|255|");
}

TEST_F(DescriptorsInMemory, OverridesTextRoundTrip) {
  EXPECT_EQ(d.OverridesToText(), "|255|255|255|255|255|255|255|255|");
  d.OverridesFromText("|1|0|");
  EXPECT_EQ(d.OverridesToText(), "|1|0|255|255|255|255|255|255|");

  MemorySettings otherStore;
  Descriptors relaunched(otherStore, "O", "I");
  d.OverridesFromText("|1|0|1|0|1|0|1|0|");
  relaunched.OverridesFromText(d.OverridesToText());
  EXPECT_EQ(relaunched.OverridesToText(), "|1|0|1|0|1|0|1|0|");
  EXPECT_TRUE(relaunched.RequestConfirmationBeforeDownloadForce());
  EXPECT_FALSE(relaunched.RequestConfirmationBeforeInstallForce());

  // Missing, empty, non-number and out-of-range fields keep the old value.
  relaunched.OverridesFromText("|0|x||256|-1|1");
  EXPECT_EQ(relaunched.OverridesToText(), "|0|0|1|0|1|1|1|0|");
  relaunched.OverridesFromText("");
  relaunched.OverridesFromText("garbage");
  EXPECT_EQ(relaunched.OverridesToText(), "|0|0|1|0|1|1|1|0|");
}

// The descriptors on disk, through the INI layer the agent uses.
class DescriptorFiles : public ::testing::Test {
protected:
  void SetUp() override {
    dir_ =
        fs::temp_directory_path() /
        ("agent_descriptors_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
         "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    original_ = agent::OriginalFilePathFor(dir_.string(), "Product.info");
    info_ = agent::InfoFilePathFor(dir_.string(), "Product.info");
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  void Write(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
  }
  std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  }
  fs::path dir_;
  std::string original_, info_;
  agent::IniFileSettings store_;
};

TEST_F(DescriptorFiles, AQuotedBlankBeforeOneIsOff) {
  Write(info_, "[NewSetup]\r\nRestartProcess=\" 1\"\r\nInformFinish=1\r\nBackgroundUpdate=yes\r\n");
  Descriptors d(store_, original_, info_);
  EXPECT_FALSE(d.RestartProcess());
  EXPECT_TRUE(d.InformFinish());
  EXPECT_FALSE(d.BackgroundUpdate());
}

TEST_F(DescriptorFiles, WritesKeepEverythingElseAndMakeWhatIsMissing) {
  Write(original_, "; installed by setup\r\n[OriginalSetup]\r\nVersionOriginal=3\r\n"
                   "ProbeSecondsLast=1\r\n\r\n[MsgBox]\r\nFontName=Arial\r\n");
  Descriptors d(store_, original_, info_);
  ASSERT_TRUE(d.SetProbeSecondsLast(86400LL * 46363 + 43200));
  ASSERT_TRUE(d.SetStamp(9));
  EXPECT_EQ(Read(original_), "; installed by setup\r\n[OriginalSetup]\r\nVersionOriginal=3\r\n"
                             "ProbeSecondsLast=4005806400\r\n__ProbeSecondsLast=07-DEC-2026 "
                             "12:00:00\r\nStamp=9\r\n\r\n[MsgBox]\r\nFontName=Arial\r\n");
  EXPECT_EQ(d.FontName(), "Arial");
  EXPECT_EQ(d.VersionOriginal(), 3);

  // A file that does not exist yet gets the section.
  fs::remove(original_);
  ASSERT_TRUE(d.SetVersionOriginal(4));
  EXPECT_EQ(Read(original_), "[OriginalSetup]\r\nVersionOriginal=4\r\n");
}

TEST_F(DescriptorFiles, AFailedWriteLeavesTheOldFileWhole) {
  const std::string before = "[OriginalSetup]\r\nVersionOriginal=3\r\nStamp=2\r\n";
  Write(original_, before);
  Descriptors d(store_, original_, info_);
  // The new content cannot be put down beside the file (its temporary name
  // is taken by a folder): the write fails before the old file is touched.
  fs::create_directory(original_ + ".ini-tmp");
  EXPECT_FALSE(d.SetVersionOriginal(4));
  EXPECT_FALSE(d.SetProbeSecondsLast(100));
  EXPECT_EQ(Read(original_), before);
  EXPECT_EQ(d.VersionOriginal(), 3);
  fs::remove(original_ + ".ini-tmp");
  EXPECT_TRUE(d.SetVersionOriginal(4));
  EXPECT_EQ(d.VersionOriginal(), 4);
}

TEST_F(DescriptorFiles, TextsThatWouldBreakTheFileAreRefused) {
  const std::string before = "[OriginalSetup]\r\nVersionOriginal=3\r\n";
  Write(original_, before);
  EXPECT_FALSE(store_.Write(original_, "OriginalSetup", "Stamp", "1\r\nVersionOriginal=99"));
  EXPECT_FALSE(store_.Write(original_, "OriginalSetup", "A=B", "1"));
  EXPECT_FALSE(store_.Write(original_, "X]\r\n[OriginalSetup", "Stamp", "1"));
  EXPECT_FALSE(store_.Write(original_, "", "Stamp", "1"));
  EXPECT_FALSE(store_.Write("", "OriginalSetup", "Stamp", "1"));
  EXPECT_EQ(Read(original_), before);
  EXPECT_EQ(store_.Read("", "OriginalSetup", "VersionOriginal", "d"), "d");
}

} // namespace
