#include "package/payload.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "package/format.h"

namespace package {
namespace {

std::string Deflate(std::string_view data) {
  uLongf size = compressBound(static_cast<uLong>(data.size()));
  std::string out(size, '\0');
  EXPECT_EQ(compress2(reinterpret_cast<Bytef*>(out.data()), &size,
                      reinterpret_cast<const Bytef*>(data.data()), data.size(), 9),
            Z_OK);
  out.resize(size);
  return out;
}

std::string Le32(std::int32_t v) {
  std::string s;
  AppendLe32(s, static_cast<std::uint32_t>(v));
  return s;
}

TEST(PayloadFraming, LengthSignSelectsZlibOrStored) {
  struct Case {
    std::int32_t length;
    std::uint32_t size;
    bool compressed;
  };
  for (const Case& c : std::vector<Case>{{1, 1, true},
                                         {70000, 70000, true},
                                         {0, 0, false},
                                         {-5, 5, false},
                                         {INT32_MIN, 0x80000000u, false}}) {
    const BlockFrame f = DecodeBlockLength(100, c.length);
    EXPECT_EQ(f.size, c.size) << c.length;
    EXPECT_EQ(f.compressed, c.compressed) << c.length;
    EXPECT_EQ(f.End(), 104 + std::int64_t(c.size)) << c.length;
  }
}

class PayloadFile : public ::testing::Test {
protected:
  void SetUp() override {
    path_ = (std::filesystem::temp_directory_path() /
             ("payload_test_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
              "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name()))
                .string();
  }
  void TearDown() override { std::filesystem::remove(path_); }
  void Write(const std::string& bytes) {
    std::ofstream(path_, std::ios::binary) << bytes;
    ASSERT_TRUE(file_.Open(path_));
  }
  std::string path_;
  platform::InputFile file_;
};

TEST_F(PayloadFile, ReadsBlocksAndRefusesLengthsPastTheLimit) {
  // Two blocks, then 10 bytes standing in for the trailer.
  Write(Le32(-3) + "abc" + Le32(4) + "wxyz" + std::string(10, 'T'));
  const std::int64_t limit = 15;
  BlockFrame f;
  std::string error, body;
  ASSERT_TRUE(ReadBlockFrame(file_, 0, limit, f, error)) << error;
  EXPECT_FALSE(f.compressed);
  ASSERT_TRUE(ReadBlockBody(file_, f, body, error));
  EXPECT_EQ(body, "abc");
  ASSERT_TRUE(ReadBlockFrame(file_, f.End(), limit, f, error)) << error;
  ASSERT_TRUE(ReadBlockBody(file_, f, body, error));
  EXPECT_EQ(body, "wxyz");

  // The same second block, one byte short of room: damage at its offset.
  EXPECT_FALSE(ReadBlockFrame(file_, 7, limit - 1, f, error));
  EXPECT_NE(error.find("offset 7"), std::string::npos) << error;
  // A length word that itself does not fit.
  EXPECT_FALSE(ReadBlockFrame(file_, 13, limit, f, error));
  EXPECT_NE(error.find("offset 13"), std::string::npos) << error;
}

TEST_F(PayloadFile, HugeLengthIsDamageNotAnAllocation) {
  Write(Le32(0x7FFFFFF0) + "x" + Le32(INT32_MIN) + "y");
  BlockFrame f;
  std::string error;
  EXPECT_FALSE(ReadBlockFrame(file_, 0, 10, f, error));
  EXPECT_NE(error.find("2147483632"), std::string::npos) << error;
  EXPECT_FALSE(ReadBlockFrame(file_, 5, 10, f, error));
}

TEST(PayloadWalk, EndsWhenOnlyTheTrailerRemains) {
  EXPECT_TRUE(PayloadEndsAt(1000, 1000 - 74));
  EXPECT_FALSE(PayloadEndsAt(1000, 1000 - 75));
}

TEST(PayloadContent, SplitsAtTheFirstZeroByte) {
  using namespace std::string_literals;
  const std::string full = "|a|1|\0da\0ta"s, empty = "|a|1|\0"s, none = "|no separator|";
  BlockContent c = SplitBlockContent(full);
  EXPECT_EQ(c.header, "|a|1|");
  EXPECT_EQ(c.data, "da\0ta"s);
  EXPECT_TRUE(c.hasSeparator);

  c = SplitBlockContent(empty);
  EXPECT_EQ(c.header, "|a|1|");
  EXPECT_TRUE(c.data.empty());

  c = SplitBlockContent(none);
  EXPECT_EQ(c.header, "|no separator|");
  EXPECT_TRUE(c.data.empty());
  EXPECT_FALSE(c.hasSeparator);
}

TEST(PayloadContent, ParsesNameDateAndEngineEntry) {
  struct Case {
    std::string header, name, entry;
    std::uint32_t date;
  };
  for (const Case& c : std::vector<Case>{
           {"|docs\\a.txt|1248086749|", "docs\\a.txt", "", 1248086749u},
           {"|Engine.exe*|5|", "Engine.exe", "Engine.exe*", 5},
           {"|Engine.exe*/S /x=1|12|", "Engine.exe", "Engine.exe*/S /x=1", 12},
           {"|b.txt|not a number|", "b.txt", "", 0},
           {"|c.txt||", "c.txt", "", 0},
           {"|d.txt|-1|", "d.txt", "", 0xFFFFFFFFu},
           {"*e|f.txt*4*", "e|f.txt", "", 4}, // another separator
       }) {
    const FileHeader h = ParseFileHeader(c.header);
    EXPECT_EQ(h.name, c.name) << c.header;
    EXPECT_EQ(h.engineEntry, c.entry) << c.header;
    EXPECT_EQ(h.dosDateTime, c.date) << c.header;
  }
}

TEST(PayloadContent, MadeHeadersParseBack) {
  for (const std::string name : {"a.txt", "sub\\b c.txt", "odd|name"}) {
    const FileHeader h = ParseFileHeader(MakeFileHeader(name, 1248086749u));
    EXPECT_EQ(h.name, name);
    EXPECT_EQ(h.dosDateTime, 1248086749u);
  }
  EXPECT_EQ(MakeFileHeader("a.txt", 7), "|a.txt|7|");
  EXPECT_EQ(MakeEngineEntry("setup.exe", ""), "setup.exe*");
  const FileHeader e = ParseFileHeader(MakeFileHeader(MakeEngineEntry("bin\\s.exe", "/q"), 1));
  EXPECT_EQ(e.name, "bin\\s.exe");
  EXPECT_EQ(e.engineEntry, "bin\\s.exe*/q");
}

TEST(PayloadNames, OnlyPlainRelativeNamesAreSafe) {
  for (const char* ok : {"a.txt", "sub\\b.txt", "sub/b.txt", "a..b", "..a\\b", ".x", "CONSOLE.txt",
                         "com10", "lpt", "nul_x.txt", "a\\com\\b", " lead", "caf\xE9.txt"})
    EXPECT_TRUE(IsSafeRelativeName(ok)) << ok;
  const std::string longest(255, 'n');
  EXPECT_TRUE(IsSafeRelativeName(longest));
  const std::vector<std::string> unsafe = {
      // Outside the target folder.
      "", "..", "..\\x", "../x", "a\\..\\..\\x", "a/../b", "x\\..", "C:x.txt", "c:\\x.txt",
      "a\\b:stream", "\\x.txt", "/x.txt", "\\\\server\\share\\x", "dir\\", "dir/",
      // Names Windows would write as another name ("d\\a.txt").
      "d\\\\a.txt", "d//a.txt", ".\\x", "a\\.\\b", "...", "a.txt.", "a.txt ", "dir.\\a", "..a\\b..",
      // Characters Windows file names cannot hold.
      "a<b", "a>b", "q\"uote", "pipe|", "what?", "star*x", "new\nline", std::string("nul\0x", 5),
      "bell\x07", "esc\x1B[2J",
      // Devices, any case, any extension, any folder.
      "CON", "prn", "Aux", "nul", "COM1", "com9", "LPT1", "lpt9", "aux.txt", "COM1.tar.gz",
      "NUL .txt", "dir\\con", "con\\file.txt", "a/b/Lpt3.log", "CONIN$", "conout$", "COM\xB9",
      "LPT\xB2.txt", longest + "n"};
  for (const std::string& bad : unsafe)
    EXPECT_FALSE(IsSafeRelativeName(bad)) << bad;
}

TEST(PayloadNames, PathsMustFitWhatWindowsCreates) {
  const std::string folder(200, 'd');
  // Folder path 247 and file path 259 fit; one more does not.
  EXPECT_TRUE(PathFitsWindows("C:\\" + std::string(244, 'd') + "\\" + std::string(11, 'f')));
  EXPECT_FALSE(PathFitsWindows("C:\\" + std::string(244, 'd') + "\\" + std::string(12, 'f')));
  EXPECT_TRUE(PathFitsWindows("C:\\" + std::string(244, 'd') + "\\x"));
  EXPECT_FALSE(PathFitsWindows("C:\\" + std::string(245, 'd') + "\\x"));
  EXPECT_TRUE(PathFitsWindows("C:\\" + std::string(256, 'f')));
  EXPECT_FALSE(PathFitsWindows("C:\\" + std::string(257, 'f')));
  // A package name must leave 99 bytes to the work folder.
  EXPECT_TRUE(NameFitsAnyWorkFolder(std::string(159, 'f')));
  EXPECT_FALSE(NameFitsAnyWorkFolder(std::string(160, 'f')));
  EXPECT_TRUE(NameFitsAnyWorkFolder(std::string(147, 'd') + "\\f"));
  EXPECT_FALSE(NameFitsAnyWorkFolder(std::string(148, 'd') + "\\f"));
  std::string deep;
  for (int i = 0; i < 200; ++i)
    deep += "d\\";
  EXPECT_EQ(PackageNameReason("ok\\name.txt"), nullptr);
  EXPECT_NE(PackageNameReason(deep + "f.txt"), nullptr);
  EXPECT_NE(PackageNameReason("COM1"), nullptr);
}

TEST(PayloadNames, OneKeyForNamesWindowsTakesAsOneFile) {
  EXPECT_EQ(FileNameKey("Dir/Sub\\a.Txt"), FileNameKey("DIR\\sub/A.TXT"));
  EXPECT_NE(FileNameKey("dir\\a.txt"), FileNameKey("dir\\b.txt"));
}

TEST(PayloadDates, DosDateTimeBothWays) {
  const DosDateTime t = DecodeDosDateTime(1248086749u);
  EXPECT_EQ(t.year, 2017);
  EXPECT_EQ(t.month, 3);
  EXPECT_EQ(t.day, 4);
  EXPECT_EQ(t.hour, 9);
  EXPECT_EQ(t.minute, 22);
  EXPECT_EQ(t.second, 58);
  EXPECT_EQ(EncodeDosDateTime(t), 1248086749u);
  EXPECT_TRUE(IsValidDosDateTime(1248086749u));

  DosDateTime odd = t;
  odd.second = 59; // two-second resolution: rounds down
  EXPECT_EQ(EncodeDosDateTime(odd), 1248086749u);

  EXPECT_FALSE(IsValidDosDateTime(0)); // month 0, day 0
  const DosDateTime last{2107, 12, 31, 23, 59, 58};
  EXPECT_EQ(EncodeDosDateTime(DecodeDosDateTime(EncodeDosDateTime(last))), EncodeDosDateTime(last));
  EXPECT_EQ(DecodeDosDateTime(EncodeDosDateTime(last)).year, 2107);
}

TEST(PayloadVolumes, NamesFollowTheBaseName) {
  EXPECT_EQ(VolumeBaseName("D:\\setup.exe.001"), "D:\\setup.exe");
  EXPECT_EQ(VolumeBaseName("setup.EXE.001"), "setup.EXE");
  EXPECT_EQ(VolumeBaseName("setup.exe"), "setup.exe");
  EXPECT_EQ(VolumeFileName("setup.exe.001", 1), "setup.exe.001");
  EXPECT_EQ(VolumeFileName("setup.exe.001", 2), "setup.exe.002");
  EXPECT_EQ(VolumeFileName("setup.exe.001", 3), "setup.exe.003");
  EXPECT_EQ(VolumeFileName("setup.exe", 12), "setup.exe.012");
}

TEST(PayloadInflate, RoundTripsAndIgnoresTrailingBytes) {
  std::string text;
  for (int i = 0; i < 5000; ++i)
    text += "line " + std::to_string(i) + "\n";
  std::string out, error;
  ASSERT_TRUE(InflateString(Deflate(text) + "trailing junk", out, error)) << error;
  EXPECT_EQ(out, text);

  ASSERT_TRUE(InflateString(Deflate(""), out, error)) << error;
  EXPECT_EQ(out, "");

  std::string pieces;
  std::size_t calls = 0;
  ASSERT_TRUE(InflateChunks(
      Deflate(text),
      [&](std::string_view p) {
        ++calls;
        EXPECT_LE(p.size(), 1000u);
        pieces.append(p);
        return true;
      },
      error, 1000));
  EXPECT_EQ(pieces, text);
  EXPECT_GT(calls, 1u);

  EXPECT_FALSE(InflateChunks(
      Deflate(text), [](std::string_view) { return false; }, error));
  EXPECT_EQ(error, "");
}

TEST(PayloadInflate, ReportsZlibsOwnMessage) {
  std::string out, error;
  EXPECT_FALSE(InflateString("not zlib at all", out, error));
  EXPECT_EQ(error, "incorrect header check");
  EXPECT_TRUE(out.empty());

  const std::string z = Deflate(std::string(100000, 'a') + "tail");
  EXPECT_FALSE(InflateString(z.substr(0, z.size() / 2), out, error)); // ends early
  EXPECT_EQ(error, zError(Z_BUF_ERROR));

  std::string bad = z;
  bad[2] = '\xFF'; // an invalid block type
  EXPECT_FALSE(InflateString(bad, out, error));
  EXPECT_FALSE(error.empty());
}

TEST(PayloadInflate, EachCallGetsOneStepOfFreshRoom) {
  // 8 MiB of zeros deflate to ~8 KiB. Every inflate call gets at most one
  // step (the input size rounded up to 256 bytes) of fresh output room, so
  // the caller's callback runs between steps; the buffer itself grows by
  // doubling, so the copying stays linear however many steps there are.
  const std::string z = Deflate(std::string(8u << 20, '\0'));
  const std::size_t step = (z.size() + 255) / 256 * 256;
  std::size_t calls = 0, last = 0;
  bool bounded = true;
  std::string out, error;
  ASSERT_TRUE(InflateString(z, out, error, [&](std::size_t produced) {
    bounded = bounded && produced - last <= step;
    last = produced;
    ++calls;
  })) << error;
  EXPECT_EQ(out, std::string(8u << 20, '\0'));
  EXPECT_TRUE(bounded);
  EXPECT_GE(calls + 1, (8u << 20) / step);
}

} // namespace
} // namespace package
