#include "http/bytes_rate.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using http::TBytesRate;

std::uint32_t g_now = 0;
std::uint32_t FakeTicks() {
  return g_now;
}

TEST(FormatTenths, OneDecimalWithThousandsSeparators) {
  const struct {
    std::uint32_t bytes, divisor;
    const char* text;
  } cases[] = {
      {0, 1024, "0.0"},
      {1536, 1024, "1.5"},
      {1048576, 1024, "1,024.0"},
      {1023897, 1024, "999.9"},   // 999.899...
      {1023949, 1024, "1,000.0"}, // 999.950... rounds up across the separator
      {256, 1024, "0.3"},         // exactly 0.25: halves go up
      {4294967295u, 1024, "4,194,304.0"},
      {4294967295u, 1048576, "4,096.0"},
      {1234567890u, 1, "1,234,567,890.0"},
      {123456u, 1, "123,456.0"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(http::FormatTenths(c.bytes, c.divisor), c.text) << c.bytes << "/" << c.divisor;
}

TEST(BytesRate, SizesPartFollowsTheMode) {
  const struct {
    bool kilo, mega;
    std::uint32_t total, done;
    const char* text;
  } cases[] = {
      {true, false, 1048576, 1536, "1.5/1,024.0 KB"},
      {false, false, 100000, 45, "45/100000 Bytes"},
      {false, false, 45, 0, "0/45 Bytes"},
      {true, true, 10485761, 1048576, "1.0/10.0 MB"}, // megabytes win
      {false, true, 4294967295u, 8192, "0.0/4,096.0 MB"},
  };
  for (const auto& c : cases) {
    g_now = 1000;
    TBytesRate rate(c.kilo, c.mega, FakeTicks);
    std::string text;
    rate.MakeText(c.total, c.done, text, 100);
    EXPECT_EQ(text, c.text);
  }
}

// Five rounds of 1024 bytes, 100 ms apart, starting at tick 1000.
class BytesRateWindow : public ::testing::Test {
protected:
  std::string Round(std::uint32_t tick, std::uint32_t bytes) {
    g_now = tick;
    done_ += bytes;
    std::string text;
    rate_.MakeText(1048576, done_, text, bytes);
    return text;
  }
  void FillWindow() {
    for (int i = 0; i < 5; ++i)
      last_ = Round(1000 + 100 * i, 1024);
  }
  TBytesRate rate_{true, false, FakeTicks};
  std::uint32_t done_ = 0;
  std::string last_;
};

TEST_F(BytesRateWindow, NoRateBeforeTheFifthRound) {
  for (int i = 0; i < 4; ++i)
    EXPECT_EQ(Round(1000 + 100 * i, 1024).find("KB/Sec"), std::string::npos) << i;
  // 4 x 1024 bytes over 400 ms.
  EXPECT_EQ(Round(1400, 1024), "5.0/1,024.0 KB   -   10.00 KB/Sec");
}

TEST_F(BytesRateWindow, RateIsKeptForAtMost500Ms) {
  FillWindow();
  // The window now says 1024 * 3 + 10240 bytes over 400 ms, but the last
  // update was at 1400: the old rate stays up to 1900 inclusive.
  EXPECT_NE(Round(1500, 10240).find("   -   10.00 KB/Sec"), std::string::npos);
  EXPECT_NE(Round(1900, 1024).find("   -   10.00 KB/Sec"), std::string::npos);
  // The four newest rounds, 1024 + 10240 + 1024 + 1024 bytes, over the
  // 601 ms since 1300: 13312 / 0.601 / 1024 = 21.630...
  EXPECT_NE(Round(1901, 1024).find("   -   21.63 KB/Sec"), std::string::npos);
}

TEST_F(BytesRateWindow, RateHasTwoDecimalsAndNoGrouping) {
  for (int i = 0; i < 4; ++i)
    Round(1000 + i, 1000000);
  // 4,000,000 bytes in 4 ms: 976562.5 KB/Sec, rounded half up.
  EXPECT_NE(Round(1004, 1000000).find("   -   976562.50 KB/Sec"), std::string::npos);
}

TEST_F(BytesRateWindow, ResetForgetsWindowAndRate) {
  FillWindow();
  ASSERT_NE(last_.find("KB/Sec"), std::string::npos);
  rate_.Reset();
  for (int i = 0; i < 4; ++i)
    EXPECT_EQ(Round(5000 + 100 * i, 1024).find("KB/Sec"), std::string::npos) << i;
}

TEST_F(BytesRateWindow, NoRateWithoutElapsedTime) {
  for (int i = 0; i < 5; ++i)
    last_ = Round(3000, 1024);
  EXPECT_EQ(last_.find("KB/Sec"), std::string::npos);
}

} // namespace
