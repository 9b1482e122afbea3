#include "http/download_plan.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using http::LoopEnd;

TEST(DownloadPlan, DisplayNameIsTheLastPathComponent) {
  EXPECT_EQ(http::DownloadDisplayName("http://host/dir/setup.exe"), "setup.exe");
  EXPECT_EQ(http::DownloadDisplayName("host\\share\\app.info"), "app.info");
  EXPECT_EQ(http::DownloadDisplayName("http://host/"), "");
  EXPECT_EQ(http::DownloadDisplayName("setup.exe"), "setup.exe");
}

TEST(DownloadPlan, HttpIsAddedOnlyWithoutScheme) {
  const struct {
    const char *url, *opened;
  } cases[] = {
      {"host/setup.exe", "http://host/setup.exe"},
      {"host:8080/a", "http://host:8080/a"},
      {"http://host/a", "http://host/a"},
      {"HTTP://host/a", "HTTP://host/a"},
      {"https://host/a", "https://host/a"},
      {"Https://host/a", "Https://host/a"},
      {"ftp://host/a", "ftp://host/a"},
      {"svn+ssh://host/a", "svn+ssh://host/a"},
      {"host/redirect?to=http://other/a", "http://host/redirect?to=http://other/a"},
      {"://host/a", "http://://host/a"},
      {"1x://host/a", "http://1x://host/a"},
      {"", "http://"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(http::NormalizeUrl(c.url), c.opened) << c.url;
}

TEST(DownloadPlan, OnlyAUrlWithAHostCanBeOpened) {
  for (const char* url : {"http://host/a", "https://h", "http://h:8080/a", "http://u@h/a"})
    EXPECT_TRUE(http::HasUrlHost(url)) << url;
  for (const char* url : {"http:///Prog.info", "http://", "http://?a", "http://:80/a",
                          "http://\\a", "host/a", ""})
    EXPECT_FALSE(http::HasUrlHost(url)) << url;
}

TEST(DownloadPlan, TemporaryPathTakesTheUnsignedSum) {
  EXPECT_EQ(http::TemporaryPath("C:\\T\\setup.exe", 45, 1000), "C:\\T\\setup.exe.1045");
  EXPECT_EQ(http::TemporaryPath("C:\\T\\a", http::kUnknownLength, 0), "C:\\T\\a.4294967295");
  EXPECT_EQ(http::TemporaryPath("C:\\T\\a", http::kUnknownLength, 5), "C:\\T\\a.4");
  EXPECT_EQ(http::TemporaryPath("a", 0x80000000u, 0x80000000u), "a.0");
}

TEST(DownloadPlan, DosDateTimeOfTheStamp) {
  const struct {
    int year, month, day, hour, minute, second;
    std::uint32_t dos;
  } cases[] = {
      {1980, 1, 1, 0, 0, 0, 0x00210000u},
      {2024, 2, 29, 13, 45, 59,
       (44u << 25) | (2u << 21) | (29u << 16) | (13u << 11) | (45u << 5) | 29u},
      {2107, 12, 31, 23, 59, 58, 0xFF9FBF7Du},
      {0, 0, 0, 0, 0, 0, 0}, // zeroed record: no header
      {1979, 12, 31, 23, 59, 59, 0},
      {2108, 1, 1, 0, 0, 0, 0},
      {2023, 2, 29, 0, 0, 0, 0},
      {2100, 2, 29, 0, 0, 0, 0},
      {2024, 4, 31, 0, 0, 0, 0},
      {2024, 13, 1, 0, 0, 0, 0},
      {2024, 1, 1, 24, 0, 0, 0},
  };
  for (const auto& c : cases)
    EXPECT_EQ(http::DosDateTime(c.year, c.month, c.day, c.hour, c.minute, c.second), c.dos)
        << c.year << "-" << c.month << "-" << c.day;
}

TEST(DownloadPlan, ChunkAndProgressRange) {
  const struct {
    std::uint32_t size, chunk;
    int maximum;
  } cases[] = {
      {45, 4, 13}, // 12 rounds of 4 bytes, the last one short
      {0, 1, 1},
      {9, 1, 10},
      {40, 4, 11},
      {81920, 8192, 11},
      {81930, 8192, 12},
      {10000000, 8192, 1222},
      {http::kUnknownLength, 8192, 524289},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(http::ChunkSize(c.size), c.chunk) << c.size;
    EXPECT_EQ(http::ProgressMaximum(c.size, http::ChunkSize(c.size)), c.maximum) << c.size;
  }
}

TEST(DownloadPlan, RateModeThresholds) {
  EXPECT_FALSE(http::KiloMode(100000));
  EXPECT_FALSE(http::KiloMode(102400));
  EXPECT_TRUE(http::KiloMode(102401));
  EXPECT_FALSE(http::MegaMode(10485760));
  EXPECT_TRUE(http::MegaMode(10485761));
  // A missing length is the largest size, compared unsigned.
  EXPECT_TRUE(http::MegaMode(http::kUnknownLength));
}

TEST(DownloadPlan, CompletionRule) {
  const struct {
    LoopEnd end;
    std::uint32_t announced, received;
    bool complete;
    const char* error; // nullptr: the text is left as it was
  } cases[] = {
      {LoopEnd::kBodyEnded, 45, 45, true, nullptr},
      {LoopEnd::kBodyEnded, 1000, 500, false,
       "setup.exe --- Download incomplete (received 500 of 1000 bytes)"},
      {LoopEnd::kBodyEnded, 1000, 0, false,
       "setup.exe --- Download incomplete (received 0 of 1000 bytes)"},
      {LoopEnd::kBodyEnded, 10, 11, false,
       "setup.exe --- Download size mismatch (received 11 of 10 bytes)"},
      {LoopEnd::kBodyEnded, http::kUnknownLength, 123456, true, nullptr},
      {LoopEnd::kBodyEnded, http::kUnknownLength, 0, true, nullptr},
      {LoopEnd::kFailed, http::kUnknownLength, 8192, false, nullptr},
      {LoopEnd::kFailed, 1000, 500, false, nullptr},
      {LoopEnd::kAborted, 1000, 1000, false, "Download Aborted"},
      {LoopEnd::kAborted, http::kUnknownLength, 8192, false, "Download Aborted"},
  };
  for (const auto& c : cases) {
    std::string error = "before";
    EXPECT_EQ(http::IsDownloadComplete(c.end, c.announced, c.received, "setup.exe", error),
              c.complete)
        << static_cast<int>(c.end) << " " << c.announced << " " << c.received;
    EXPECT_EQ(error, c.error ? c.error : "before");
  }
}

TEST(DownloadPlan, OnlyTheClientsOwnTemporaryFilesAreCleanedUp) {
  const struct {
    const char* file;
    bool temporary;
  } cases[] = {
      {"Setup.exe.12345", true},  {"SETUP.EXE.4294967295", true}, {"Setup.exe.0", true},
      {"Setup.exe", false},       {"Setup.exe.", false},          {"Setup.exe.log", false},
      {"Setup.exe.12a", false},   {"Setup.exe.1.2", false},       {"Setup.exe1", false},
      {"Setup.exe.bak.1", false}, {"Other.exe.1", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(http::IsTemporaryFileOf("Setup.exe", c.file), c.temporary) << c.file;
  // What TemporaryPath makes is always one of them.
  EXPECT_TRUE(http::IsTemporaryFileOf("Setup", http::TemporaryPath("Setup", 100, 0xFFFFFFF0u)));
}

TEST(DownloadPlan, StatusFrom400IsAnError) {
  EXPECT_EQ(http::HttpStatusError("http://h/s.exe", 404), "http://h/s.exe --- HTTP status 404");
  EXPECT_EQ(http::HttpStatusError("http://h/s.exe", 500), "http://h/s.exe --- HTTP status 500");
  EXPECT_EQ(http::HttpStatusError("http://h/s.exe", 400), "http://h/s.exe --- HTTP status 400");
  for (std::uint32_t ok : {0u, 200u, 206u, 304u, 399u})
    EXPECT_EQ(http::HttpStatusError("http://h/s.exe", ok), "") << ok;
}

} // namespace
