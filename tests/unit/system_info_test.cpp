#include "util/system_info.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

using util::CivilDateTime;
using util::RegistryRoot;
using util::VersionRecord;

struct VersionCase {
  int platform;
  int major;
  int minor;
  int build;
  bool is64;
  bool server;
  const char* name;
  int code;
  const char* text;
};

TEST(WindowsVersionTable, EveryRowClass) {
  constexpr int k9x = util::kPlatformWin9x, kNT = util::kPlatformNT;
  const VersionCase cases[] = {
      {util::kPlatformWin32s, 3, 11, 0, false, false, "32S", 0, "3.11"},
      // 9x: the 64-bit and server flags play no part.
      {k9x, 4, 0, 950, true, true, "95", 1, "4.0"},
      {k9x, 4, 10, 1998, false, false, "98", 2, "4.10"},
      {k9x, 4, 10, 3000, false, false, "ME", 4, "4.90"},
      {k9x, 4, 90, 3000, false, false, "ME", 4, "4.90"},
      {k9x, 4, 3, 0, false, false, "9x", 1, "4.3"},
      // NT, 32-bit workstation.
      {kNT, 4, 0, 1381, false, false, "NT", 8, "4.0"},
      {kNT, 5, 0, 2195, false, false, "2000", 16, "5.0"},
      {kNT, 5, 1, 2600, false, false, "XP", 32, "5.1"},
      {kNT, 5, 2, 3790, false, false, "2003", 64, "5.2"},
      {kNT, 6, 0, 6002, false, false, "Vista", 128, "6.0"},
      {kNT, 6, 1, 7601, false, false, "7", 1024, "6.1"},
      {kNT, 6, 2, 9200, false, false, "8", 32768, "6.2"},
      {kNT, 6, 3, 9600, false, false, "8.1", 262144, "6.3"},
      {kNT, 10, 0, 19045, false, false, "10", 2097152, "10.0"},
      {kNT, 3, 51, 1057, false, false, "NTx", 8, "3.51"},
      {kNT, 11, 0, 0, true, true, "NTx", 8, "11.0"},
      // NT, 64-bit overrides; no 64-bit row for 2000 / XP (5.1).
      {kNT, 5, 1, 2600, true, false, "XP", 32, "5.1"},
      {kNT, 5, 2, 3790, true, false, "XP.64", 256, "5.2"},
      {kNT, 6, 0, 6002, true, false, "Vista.64", 512, "6.0"},
      {kNT, 6, 1, 7601, true, false, "7.64", 2048, "6.1"},
      {kNT, 6, 2, 9200, true, false, "8.64", 65536, "6.2"},
      {kNT, 6, 3, 9600, true, false, "8.1.64", 524288, "6.3"},
      {kNT, 10, 0, 19045, true, false, "10.64", 4194304, "10.0"},
      // Servers: the server rows override the 64-bit ones.
      {kNT, 6, 0, 6002, true, true, "2008.64", 8192, "6.0"},
      {kNT, 6, 1, 7601, true, true, "2008R2.64", 16384, "6.1"},
      {kNT, 6, 2, 9200, true, true, "2012.64", 131072, "6.2"},
      {kNT, 6, 3, 9600, true, true, "2012R2.64", 1048576, "6.3"},
      {kNT, 10, 0, 17763, true, true, "10.64", 4194304, "10.0"},
      {kNT, 5, 2, 3790, true, true, "XP.64", 256, "5.2"},
      {kNT, 6, 0, 6002, false, true, "2008", 4096, "6.0"},
      {kNT, 6, 1, 7601, false, true, "7", 1024, "6.1"},
      {kNT, 5, 2, 3790, false, true, "2003", 64, "5.2"},
  };
  for (const VersionCase& c : cases) {
    VersionRecord r;
    r.platformId = c.platform;
    r.major = c.major;
    r.minor = c.minor;
    r.build = c.build;
    r.is64 = c.is64;
    r.isServer = c.server;
    const util::WindowsVersion v = util::ClassifyWindowsVersion(r);
    SCOPED_TRACE(std::to_string(c.platform) + " " + c.text + " build " + std::to_string(c.build) +
                 (c.is64 ? " 64" : "") + (c.server ? " server" : ""));
    EXPECT_EQ(v.shortName, c.name);
    EXPECT_EQ(v.code, c.code);
    EXPECT_EQ(v.versionText, c.text);
    EXPECT_EQ(v.build, c.build);
    EXPECT_EQ(v.platformId, c.platform);
  }
}

TEST(WindowsVersionTable, ServicePackIsTrimmedAndUnknownPlatformHasNoName) {
  VersionRecord r;
  r.major = 5;
  r.minor = 1;
  r.csd = "  Service Pack 3 \t";
  EXPECT_EQ(util::ClassifyWindowsVersion(r).servicePack, "Service Pack 3");
  r.platformId = 3;
  const util::WindowsVersion v = util::ClassifyWindowsVersion(r);
  EXPECT_EQ(v.shortName, "");
  EXPECT_EQ(v.code, 0);
}

TEST(WindowsVersionTable, Win8OrLaterReadsMajorMinorAsANumber) {
  struct {
    int platform, major, minor;
    bool expected;
  } cases[] = {
      {util::kPlatformNT, 6, 1, false},    {util::kPlatformNT, 6, 2, true},
      {util::kPlatformNT, 6, 3, true},     {util::kPlatformNT, 10, 0, true},
      {util::kPlatformNT, 5, 2, false},    {util::kPlatformNT, 6, 10, false}, // 6.10 = 6.1
      {util::kPlatformNT, 6, 19, false},   {util::kPlatformNT, 6, 20, true},
      {util::kPlatformWin9x, 6, 2, false},
  };
  for (const auto& c : cases) {
    VersionRecord r;
    r.platformId = c.platform;
    r.major = c.major;
    r.minor = c.minor;
    EXPECT_EQ(util::IsWin8OrLater(util::ClassifyWindowsVersion(r)), c.expected)
        << c.major << "." << c.minor;
  }
}

TEST(Versions, ShortenVersionKeepsTheFirstParts) {
  EXPECT_EQ(util::ShortenVersion("1.2.3.4", 1), "1");
  EXPECT_EQ(util::ShortenVersion("1.2.3.4", 2), "1.2");
  EXPECT_EQ(util::ShortenVersion("10.20.30.40", 3), "10.20.30");
  EXPECT_EQ(util::ShortenVersion("1.2.3.4", 4), "1.2.3.4");
  EXPECT_EQ(util::ShortenVersion("1.2.3.4", 0), "1.2.3.4");
  EXPECT_EQ(util::ShortenVersion("1.2", 3), "1.2");
  EXPECT_EQ(util::ShortenVersion("", 2), "");
}

TEST(RegistryPaths, SplitIntoRootAndSubKey) {
  const struct {
    const char* path;
    RegistryRoot root;
    const char* subKey;
  } cases[] = {
      {"hklm\\Software\\X", RegistryRoot::kLocalMachine, "Software\\X"},
      {"Software\\X", RegistryRoot::kCurrentUser, "Software\\X"},
      {"  HKEY_CLASSES_ROOT\\.txt\\Shell  ", RegistryRoot::kClassesRoot, ".txt\\Shell"},
      {"HKCR", RegistryRoot::kClassesRoot, ""},
      {"hkey_users\\S-1-5-18", RegistryRoot::kUsers, "S-1-5-18"},
      {"HKU\\.DEFAULT", RegistryRoot::kUsers, ".DEFAULT"},
      {"HKEY_CURRENT_CONFIG\\System", RegistryRoot::kCurrentConfig, "System"},
      {"HKCC", RegistryRoot::kCurrentConfig, ""},
      {"HKEY_DYN_DATA\\PerfStats", RegistryRoot::kDynData, "PerfStats"},
      {"HKDD\\x", RegistryRoot::kDynData, "x"},
      {"HKEY_LOCAL_MACHINE", RegistryRoot::kLocalMachine, ""},
      {"HKCU\\", RegistryRoot::kCurrentUser, ""},
      // An unknown root name still splits; the root falls back to the user.
      {"HKXX\\Software\\Y", RegistryRoot::kCurrentUser, "Software\\Y"},
      {"HKLMX\\a", RegistryRoot::kCurrentUser, "a"},
      {"", RegistryRoot::kCurrentUser, ""},
  };
  for (const auto& c : cases) {
    const util::RegistryPath p = util::SplitRegistryPath(c.path);
    EXPECT_EQ(p.root, c.root) << c.path;
    EXPECT_EQ(p.subKey, c.subKey) << c.path;
  }
}

TEST(DiskRoots, RootThenThePathAsFolder) {
  const struct {
    const char* path;
    const char* root;
    const char* alternative;
  } cases[] = {
      {"C:\\Temp\\x", "C:\\", "C:\\Temp\\x\\"},
      {"d:", "d:\\", "d:\\"},
      {"E:\\", "E:\\", "E:\\"},
      {"\\\\srv\\share\\dir\\", "\\\\srv\\share\\", "\\\\srv\\share\\dir\\"},
      {"\\\\srv\\share", "\\\\srv\\share\\", "\\\\srv\\share\\"},
      {"\\\\srv", "", "\\\\srv\\"},
      {"relative\\dir", "", "relative\\dir\\"},
      {"1:\\x", "", "1:\\x\\"},
      {"", "", ""},
  };
  for (const auto& c : cases) {
    const util::DiskRootForms f = util::DiskRootFormsOf(c.path);
    EXPECT_EQ(f.root, c.root) << c.path;
    EXPECT_EQ(f.alternative, c.alternative) << c.path;
  }
}

TEST(Pixels, MulDivRoundsToNearestAwayFromZero) {
  const struct {
    int a, b, c, expected;
  } cases[] = {
      {3, 1, 2, 2},        {-3, 1, 2, -2},
      {3, 1, -2, -2},      {-3, -1, -2, -2},
      {5, 1, 3, 2},        {4, 1, 3, 1},
      {0, 7, 3, 0},        {1, 1, 0, -1},
      {INT_MAX, 2, 1, -1}, {INT_MAX, 2, 2, INT_MAX}, // the 64-bit product does not overflow
      {INT_MIN, 1, 1, -1},                           // below -INT_MAX counts as overflow
  };
  for (const auto& c : cases)
    EXPECT_EQ(util::MulDivRounded(c.a, c.b, c.c), c.expected) << c.a << "*" << c.b << "/" << c.c;
}

TEST(Pixels, PointsToPixels) {
  EXPECT_EQ(util::PointsToPixels(8, 96), 11); // 10.67
  EXPECT_EQ(util::PointsToPixels(9, 96), 12);
  EXPECT_EQ(util::PointsToPixels(10, 120), 17);
  EXPECT_EQ(util::PointsToPixels(72, 144), 144);
  EXPECT_EQ(util::PointsToPixels(-8, 96), -11);
  EXPECT_EQ(util::PointsToPixels(8, 0), 0);
}

CivilDateTime Civil(int y, int m, int d, int hh = 0, int nn = 0, int ss = 0) {
  CivilDateTime t;
  t.year = y;
  t.month = m;
  t.day = d;
  t.hour = hh;
  t.minute = nn;
  t.second = ss;
  return t;
}

TEST(Dates, DayNumbersAndDateTexts) {
  const struct {
    double day;
    const char* text;
  } cases[] = {
      {0, "30-DEC-1899"},
      {1, "31-DEC-1899"},
      {2, "01-JAN-1900"},
      {60, "28-FEB-1900"},
      {61, "01-MAR-1900"}, // 1900 is no leap year
      {36585, "29-FEB-2000"},
      {36586, "01-MAR-2000"}, // 2000 is one
      {45658, "01-JAN-2025"},
      {46363, "07-DEC-2026"},
      {73110, "01-MAR-2100"},
      {73109.999, "28-FEB-2100"},
      // Limited to 0..10000000 before use.
      {-5, "30-DEC-1899"},
      {-0.5, "30-DEC-1899"},
      {1e7, "24-JAN-29279"},
      {5e9, "24-JAN-29279"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(util::DateText(c.day), c.text) << c.day;
  EXPECT_EQ(util::EncodeDateTime(Civil(2026, 12, 7)), 46363);
  EXPECT_EQ(util::EncodeDateTime(Civil(2024, 2, 29)) + 1, util::EncodeDateTime(Civil(2024, 3, 1)));
}

TEST(Dates, CalendarRoundTrip) {
  // Every decoded day is a valid date, consecutive days are one day apart,
  // and encoding gives the day back.
  CivilDateTime previous = util::DecodeDateTime(0);
  for (int day = 1; day <= 120000; ++day) {
    const CivilDateTime t = util::DecodeDateTime(day);
    ASSERT_EQ(util::EncodeDateTime(t), day);
    const bool nextDay = t.day == previous.day + 1 && t.month == previous.month;
    const bool nextMonth =
        t.day == 1 && (t.month == previous.month + 1 ||
                       (t.month == 1 && previous.month == 12 && t.year == previous.year + 1));
    ASSERT_TRUE(nextDay || nextMonth) << day;
    previous = t;
  }
}

TEST(Dates, TimeOfDayText) {
  const double day = util::EncodeDateTime(Civil(2026, 12, 7));
  EXPECT_EQ(util::FormatDateTimeText(Civil(2026, 12, 7, 13, 5, 9), " ", ":"),
            "07-DEC-2026 13:05:09");
  EXPECT_EQ(util::FormatDateTimeText(Civil(2026, 12, 7, 23, 59, 59), "_", "."),
            "07-DEC-2026_23.59.59");
  EXPECT_EQ(util::DateTimeText(" ", day + 0.5), "07-DEC-2026 12:00:00");
  EXPECT_EQ(util::DateTimeText("T", day + (3600.0 * 7 + 60 * 8 + 9) / 86400),
            "07-DEC-2026T07:08:09");
  // A fraction that rounds to a whole day carries into the next one.
  EXPECT_EQ(util::DateTimeText(" ", day + 0.9999999999), "08-DEC-2026 00:00:00");
  EXPECT_EQ(util::DateTimeText(" ", 1e12), "24-JAN-29279 00:00:00");
}

TEST(Dates, MinusOneIsNow) {
  const std::string before = util::DateTimeText(" ", util::Now());
  const std::string now = util::DateTimeText(" ");
  const std::string after = util::DateTimeText(" ", util::Now());
  EXPECT_TRUE(now == before || now == after) << before << " / " << now << " / " << after;
  EXPECT_GT(util::Now(), util::EncodeDateTime(Civil(2020, 1, 1)));
}

} // namespace
