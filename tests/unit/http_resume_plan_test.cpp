#include "http/resume_plan.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "http/download_plan.h"

namespace {

using http::ResumeAnswer;
using http::ResumeNote;

TEST(ResumePlan, NoteRoundTripsAndRejectsWhatItDoesNotWrite) {
  const ResumeNote note{"http://host/dir/setup.exe", 300000, "\"5f1-a0\""};
  ResumeNote back;
  ASSERT_TRUE(http::ParseResumeNote(http::FormatResumeNote(note), back));
  EXPECT_EQ(back.url, note.url);
  EXPECT_EQ(back.total, note.total);
  EXPECT_EQ(back.validator, note.validator);

  for (const char* text : {
           "",
           "http://h/a\n300000\n\"v\"",         // cut before the last line break
           "http://h/a\n300000\n\"v\"\nmore\n", // a fourth line
           "http://h/a\n-1\n\"v\"\n",           // not a count
           "http://h/a\n4294967296\n\"v\"\n",   // beyond 32 bits
           "http://h/a\n 300\n\"v\"\n",         // padding
           "http://h/a\n\n\"v\"\n",             // no count
       }) {
    ResumeNote kept{"u", 7, "v"};
    EXPECT_FALSE(http::ParseResumeNote(text, kept)) << text;
    EXPECT_EQ(kept.total, 7u) << "a rejected note leaves the result alone: " << text;
  }
}

TEST(ResumePlan, NotesAreRecognisedBesideTheTemporaryFilesOnly) {
  EXPECT_EQ(http::ResumeNotePath("C:\\T\\setup.exe.1045"), "C:\\T\\setup.exe.1045.resume");
  const struct {
    const char* file;
    bool note;
  } cases[] = {
      {"setup.exe.1045.resume", true},  {"SETUP.EXE.1045.RESUME", true},
      {"setup.exe.1045", false},        {"setup.exe.resume", false},
      {"setup.exe.1x.resume", false},   {"setup.exe.1045.resume.bak", false},
      {"other.exe.1045.resume", false}, {"setup.exe.1045.log", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(http::IsResumeNoteOf("setup.exe", c.file), c.note) << c.file;
}

TEST(ResumePlan, ValidatorIsAStrongEtagElseTheDate) {
  const char* date = "Thu, 29 Feb 2024 13:45:58 GMT";
  const struct {
    const char *etag, *lastModified, *chosen;
  } cases[] = {
      {"\"abc-12\"", date, "\"abc-12\""},
      {" \"abc-12\" ", "", "\"abc-12\""},
      {"W/\"abc-12\"", date, date}, // weak tags may not go into If-Range
      {"abc", date, date},          // unquoted: no entity tag
      {"", date, date},
      {"", "", ""},
      {"W/\"x\"", "", ""},
      {"", "Thu, 29 Feb\r\nX-Evil: 1", ""}, // never a header of our own
  };
  for (const auto& c : cases)
    EXPECT_EQ(http::ChooseValidator(c.etag, c.lastModified), c.chosen) << c.etag << c.lastModified;
}

TEST(ResumePlan, OnlyASomewhatFilledPartialOfTheSameUrlContinues) {
  const ResumeNote note{"http://h/setup.exe", 1000, "\"v\""};
  const struct {
    ResumeNote note;
    const char* url;
    std::uint64_t have;
    bool resume;
  } cases[] = {
      {note, "http://h/setup.exe", 600, true},
      {note, "http://h/setup.exe", 1, true},
      {note, "http://h/setup.exe", 999, true},
      {note, "http://h/setup.exe", 0, false},    // nothing to keep
      {note, "http://h/setup.exe", 1000, false}, // already whole, yet not moved: suspect
      {note, "http://h/setup.exe", 5000, false},
      {note, "http://other/setup.exe", 600, false},
      {{"http://h/setup.exe", 1000, ""}, "http://h/setup.exe", 600, false},
      {{"http://h/setup.exe", http::kUnknownLength, "\"v\""}, "http://h/setup.exe", 600, false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(http::CanContinue(c.note, c.url, c.have), c.resume) << c.url << " " << c.have;
  EXPECT_TRUE(http::IsResumable(1000, "\"v\""));
  EXPECT_FALSE(http::IsResumable(0, "\"v\""));
  EXPECT_FALSE(http::IsResumable(http::kUnknownLength, "\"v\""));
  EXPECT_FALSE(http::IsResumable(1000, ""));
}

TEST(ResumePlan, HeadersAskForTheRestOnCondition) {
  EXPECT_EQ(http::ResumeHeaders(180000, "\"5f1-a0\""),
            "Range: bytes=180000-\r\nIf-Range: \"5f1-a0\"\r\n");
  EXPECT_EQ(http::ResumeHeaders(4294967294u, "Thu, 29 Feb 2024 13:45:58 GMT"),
            "Range: bytes=4294967294-\r\nIf-Range: Thu, 29 Feb 2024 13:45:58 GMT\r\n");
}

TEST(ResumePlan, ContentRangeValues) {
  const struct {
    const char* text;
    bool ok;
    std::uint32_t first, last, total;
  } cases[] = {
      {"bytes 180000-299999/300000", true, 180000, 299999, 300000},
      {"Bytes 0-0/1", true, 0, 0, 1},
      {" bytes 5 - 9 / 10 ", true, 5, 9, 10},
      {"bytes 0-4294967294/4294967295", true, 0, 4294967294u, 4294967295u},
      {"bytes */300000", false, 0, 0, 0},
      {"bytes 10-5/300", false, 0, 0, 0},  // backwards
      {"bytes 0-300/300", false, 0, 0, 0}, // past the end
      {"bytes 0-9/*", false, 0, 0, 0},     // length unknown
      {"items 0-9/10", false, 0, 0, 0},
      {"bytes=0-9/10", false, 0, 0, 0},
      {"bytes 0-9", false, 0, 0, 0},
      {"bytes 0/9-10", false, 0, 0, 0},
      {"bytes -1-9/10", false, 0, 0, 0},
      {"bytes 0-9/4294967296", false, 0, 0, 0},
      {"", false, 0, 0, 0},
  };
  for (const auto& c : cases) {
    std::uint32_t first = 0, last = 0, total = 0;
    EXPECT_EQ(http::ParseContentRange(c.text, first, last, total), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ((std::tuple{first, last, total}), (std::tuple{c.first, c.last, c.total}));
    }
  }
}

TEST(ResumePlan, AnswerToARequestForTheRest) {
  // Asked for the bytes from 600 of a 1000-byte resource.
  const struct {
    std::uint32_t status;
    const char* contentRange;
    ResumeAnswer answer;
  } cases[] = {
      {206, "bytes 600-999/1000", ResumeAnswer::kContinue},
      {200, "", ResumeAnswer::kStartOver}, // ignored the range, or the resource changed
      {200, "bytes 600-999/1000", ResumeAnswer::kStartOver},
      {206, "bytes 0-999/1000", ResumeAnswer::kDiscard},    // would join wrongly
      {206, "bytes 600-899/1000", ResumeAnswer::kDiscard},  // only part of the rest
      {206, "bytes 600-1099/1100", ResumeAnswer::kDiscard}, // another length
      {206, "", ResumeAnswer::kDiscard},
      {416, "bytes */1000", ResumeAnswer::kDiscard},
      {304, "", ResumeAnswer::kDiscard},
      {0, "", ResumeAnswer::kDiscard},
      {404, "", ResumeAnswer::kError}, // may pass: keep what we have
      {503, "", ResumeAnswer::kError},
  };
  for (const auto& c : cases)
    EXPECT_EQ(http::InterpretResumeAnswer(c.status, c.contentRange, 600, 1000), c.answer)
        << c.status << " " << c.contentRange;
  EXPECT_EQ(http::DiscardError("setup.exe"), "setup.exe --- Unable to continue the download");
}

TEST(ResumePlan, ProgressStartsAtTheBytesAlreadyThere) {
  // After the resumed reads the bar stands where a whole download would,
  // never past its maximum.
  for (std::uint32_t total : {45u, 8192u, 100000u, 300000u, 1234567u}) {
    const std::uint32_t chunk = http::ChunkSize(total);
    const int maximum = http::ProgressMaximum(total, chunk);
    EXPECT_EQ(http::ProgressStart(0, chunk), 1);
    for (std::uint32_t done : {1u, chunk - 1, chunk, total / 2, total * 3 / 5 + 7, total - 1}) {
      const std::uint32_t rest = total - done;
      const int reads = static_cast<int>(rest / chunk + (rest % chunk != 0));
      const int start = http::ProgressStart(done, chunk);
      EXPECT_LE(start + reads, maximum) << total << " " << done;
      EXPECT_GE(start + reads, maximum - 1) << total << " " << done;
    }
  }
}

} // namespace
