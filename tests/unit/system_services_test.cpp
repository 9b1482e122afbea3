#include <gtest/gtest.h>

#include <string>

#include "system/exec_pipe.h"
#include "system/self_removal.h"

namespace {

TEST(SelfRemovalBatch, FourLinesWithoutTheFolder) {
  EXPECT_EQ(sys::SelfRemovalBatchText("C:\\App Dir\\X_a.exe", "C:\\App Dir",
                                      "C:\\Temp\\_DEL_ME_.BAT", false),
            ":START\r\n"
            "DEL \"C:\\App Dir\\X_a.exe\"\r\n"
            "IF exist \"C:\\App Dir\\X_a.exe\" GOTO START\r\n"
            "DEL \"C:\\Temp\\_DEL_ME_.BAT\"\r\n");
}

TEST(SelfRemovalBatch, FolderRemovalIsTheFourthOfFiveLines) {
  EXPECT_EQ(sys::SelfRemovalBatchText("C:\\W\\Y_s.exe", "C:\\W", "C:\\T\\B.BAT", true),
            ":START\r\n"
            "DEL \"C:\\W\\Y_s.exe\"\r\n"
            "IF exist \"C:\\W\\Y_s.exe\" GOTO START\r\n"
            "RD \"C:\\W\"\r\n"
            "DEL \"C:\\T\\B.BAT\"\r\n");
}

TEST(PipedCommandLine, QuotesAProgramWithABlankUnlessItHasAQuote) {
  const struct {
    const char* program;
    const char* arguments;
    const char* command;
  } cases[] = {
      {"cmd", "/c exit 3", "cmd /c exit 3"},
      {"cmd", "", "cmd"},
      {"C:\\Program Files\\t.exe", "", "\"C:\\Program Files\\t.exe\""},
      {"C:\\Program Files\\t.exe", "-a \"b c\"", "\"C:\\Program Files\\t.exe\" -a \"b c\""},
      {"\"C:\\Program Files\\t.exe\"", "x", "\"C:\\Program Files\\t.exe\" x"},
      // A quote anywhere means the caller did the quoting.
      {"C:\\Program Files\\t.exe\" -q", "x", "C:\\Program Files\\t.exe\" -q x"},
      {"C:\\a\tb.exe", "", "C:\\a\tb.exe"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(sys::PipedCommandLine(c.program, c.arguments), c.command) << c.program;
}

TEST(PipedStartError, TooLongLineOrCutLineWithTheSystemText) {
  EXPECT_EQ(sys::PipedStartErrorText(std::string(40000, 'a'), "whatever"),
            "Command line is too long");
  EXPECT_EQ(sys::PipedStartErrorText(std::string(32767, 'a'), "x"), "Command line is too long");
  const std::string longest(sys::kMaxCommandLine, 'b');
  EXPECT_EQ(sys::PipedStartErrorText(longest, "Not found."),
            std::string(256, 'b') + " --- Not found.");
  EXPECT_EQ(sys::PipedStartErrorText("nosuch.exe /q", "File not found."),
            "nosuch.exe /q --- File not found.");
}

} // namespace
