#include "package/work_folder.h"
#include "util/random.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace {

using package::TempDriveFacts;

TEST(FormatMegabytes, DecimalsFollowTheSize) {
  constexpr double kMB = 1048576;
  const struct {
    double bytes;
    const char* text;
  } cases[] = {
      {-5 * kMB, "0.000"},   {0, "0.000"},           {512, "0.000"},
      {kMB / 2, "0.500"},    {kMB - 1, "1.000"},     {kMB, "1.00"},
      {1.5 * kMB, "1.50"},   {5 * kMB, "5.00"},      {10 * kMB - 1, "10.00"},
      {10 * kMB, "10.00"},   {10 * kMB + 1, "10.0"}, {20 * kMB, "20.0"},
      {12.34 * kMB, "12.3"}, {12.36 * kMB, "12.4"},  {5120.0 * 1024 * kMB, "5242880.0"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(package::FormatMegabytes(c.bytes), c.text) << c.bytes;
}

TEST(WorkFolderName, TakesTheLowSixteenBitsOfTheStampAndThePath) {
  const std::string setup = "C:\\Downloads\\setup.exe";
  EXPECT_EQ(package::WorkFolderName("C:\\Temp\\", 0x5A21'9C4Du, setup),
            "C:\\Temp\\SETUP_40013_69417FA2");
  EXPECT_EQ(package::WorkFolderName("C:\\Temp", 0xFFFF'FFFFu, setup),
            "C:\\Temp\\SETUP_65535_69417FA2");
  EXPECT_EQ(package::WorkFolderName("C:\\Temp\\", 0x1234'0000u, setup),
            "C:\\Temp\\SETUP_0_69417FA2");
}

TEST(WorkFolderName, DifferentSetupsOfTheSameTimeNeverShareAFolder) {
  // Same low 16 bits of the stamp (even the whole stamp), different files.
  const std::string paths[] = {"C:\\Downloads\\setup.exe", "C:\\Downloads\\setup2.exe",
                               "D:\\setup.exe", "C:\\Downloads\\other\\setup.exe",
                               "C:\\setup.exe.d\\setup.exe"};
  std::set<std::string> names;
  for (const std::string& path : paths)
    names.insert(package::WorkFolderName("C:\\Temp\\", 0x5A21'9C4Du, path));
  EXPECT_EQ(names.size(), std::size(paths));
  // One file is one path whatever its case, as on Windows: its own runs
  // (a crashed one's leftover included) keep one name.
  EXPECT_EQ(package::WorkFolderName("C:\\Temp\\", 7, "c:\\downloads\\SETUP.EXE"),
            package::WorkFolderName("C:\\Temp\\", 7, "C:\\Downloads\\setup.exe"));
}

TEST(WorkFolderCandidate, LeftoverNamesFirstThenOnesNobodyCouldGuess) {
  using package::WorkFolderCandidate;
  const std::string name = "C:\\T\\SETUP_1_ABCDEF01";
  EXPECT_EQ(WorkFolderCandidate(name, 0, "R"), name);
  EXPECT_EQ(WorkFolderCandidate(name, 1, "R"), name + "_2");
  EXPECT_EQ(WorkFolderCandidate(name, 8, "R"), name + "_9");
  // Past the plain names (all planted, or in use) the random part comes in.
  EXPECT_EQ(WorkFolderCandidate(name, package::kPlainWorkFolderAttempts, "0123456789ABCDEF"),
            name + "_0123456789ABCDEF");
}

TEST(TempProbeFolder, GoesInsideAnExistingRootTemp) {
  EXPECT_EQ(package::TempProbeFolder('D', false, 12345), "D:\\TEMP");
  EXPECT_EQ(package::TempProbeFolder('D', true, 12345), "D:\\TEMP\\TEMP12345");
}

TempDriveFacts Fixed(char letter, double freeBytes) {
  return {letter, true, true, freeBytes};
}

TEST(BetterTempDrive, DecisionTable) {
  const TempDriveFacts noDrive{'D', false, false, 0};
  const struct {
    const char* name;
    std::vector<TempDriveFacts> drives;
    const char* systemTemp;
    std::set<std::string> existing;
    const char* root;
  } cases[] = {
      {"only C, temp on C", {Fixed('C', 5e9), noDrive}, "C:\\Users\\me\\Temp\\", {}, ""},
      {"only C, temp elsewhere", {Fixed('C', 5e9)}, "Z:\\tmp\\", {}, "C:\\TEMP"},
      {"lower-case temp drive is the same drive",
       {Fixed('C', 1e9), Fixed('D', 9e9)},
       "d:\\temp\\",
       {},
       ""},
      {"D larger, temp on C",
       {Fixed('C', 1e9), Fixed('D', 9e9), Fixed('E', 2e9)},
       "C:\\T\\",
       {},
       "D:\\TEMP"},
      {"D larger, D:\\TEMP exists",
       {Fixed('C', 1e9), Fixed('D', 9e9)},
       "C:\\T\\",
       {"D:\\TEMP"},
       "D:\\TEMP\\TEMP"},
      {"an existing TEMP on another drive plays no part",
       {Fixed('C', 1e9), Fixed('D', 9e9)},
       "C:\\T\\",
       {"C:\\TEMP", "E:\\TEMP"},
       "D:\\TEMP"},
      {"tie keeps the earlier letter",
       {Fixed('C', 4e9), Fixed('D', 4e9), Fixed('E', 4e9)},
       "Z:\\T\\",
       {},
       "C:\\TEMP"},
      {"tie with the temp drive keeps it", {Fixed('C', 4e9), Fixed('D', 4e9)}, "C:\\T\\", {}, ""},
      {"later larger drive wins over a tie",
       {Fixed('C', 4e9), Fixed('D', 4e9), Fixed('E', 5e9)},
       "C:\\T\\",
       {},
       "E:\\TEMP"},
      {"failed probe counts as no space",
       {Fixed('C', 1e9), {'D', true, false, 9e9}},
       "C:\\T\\",
       {},
       ""},
      {"removable drive is never taken",
       {Fixed('C', 1e9), {'D', false, true, 9e9}},
       "C:\\T\\",
       {},
       ""},
      {"nothing recorded keeps a network temp", {{'C', true, false, 0}}, "\\\\srv\\t\\", {}, ""},
      {"any recorded space beats a network temp", {Fixed('C', 1)}, "\\\\srv\\t\\", {}, "C:\\TEMP"},
      {"no temp folder at all", {Fixed('E', 1e9)}, "", {}, "E:\\TEMP"},
  };
  for (const auto& c : cases) {
    const auto exists = [&](const std::string& path) { return c.existing.count(path) != 0; };
    EXPECT_EQ(package::DecideBetterTempRoot(c.drives, c.systemTemp, exists), c.root) << c.name;
  }
}

TEST(RandomFolderNumber, CoversBothBoundsAndStaysInRange) {
  bool low = false, high = false;
  for (int i = 0; i < 20000 && !(low && high); ++i) {
    const std::uint32_t n = util::RandomInRange(0, 3);
    ASSERT_LE(n, 3u);
    low |= n == 0;
    high |= n == 3;
  }
  EXPECT_TRUE(low && high);
  for (int i = 0; i < 200; ++i) {
    const int n = package::RandomFolderNumber();
    ASSERT_GE(n, 10000);
    ASSERT_LE(n, 100000);
  }
}

} // namespace
