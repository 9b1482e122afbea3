// The unpacker's walk over blocks and volumes, with an in-memory host.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>

#include "package/format.h"
#include "package/payload.h"
#include "package/trailer.h"
#include "package/unpack.h"
#include "package/volume_set.h"

namespace package {
namespace {

namespace fs = std::filesystem;

class FakeHost : public UnpackHost {
public:
  std::map<std::string, std::string> files; // written by the unpacker
  std::map<std::string, std::uint32_t> dates;
  std::vector<std::string> errors, questions, traces;
  std::vector<bool> answers; // disk prompt answers, in order; then Cancel
  std::function<void()> onQuestion;

  int pumps = 0;
  std::function<void()> onPump;
  bool abort = false;
  std::string open;             // the file begun, while it is open
  std::size_t largestPiece = 0; // of the data handed over
  void Pump() override {
    ++pumps;
    if (onPump) onPump();
  }
  void Wait(int) override {}
  bool AbortRequested() override { return abort; }
  bool FileExists(const std::string& p) override { return files.count(p) || fs::exists(p); }
  bool CreateFolder(const std::string&) override { return true; }
  bool BeginFile(const std::string& p) override {
    EXPECT_EQ(open, "") << "a file begun while another is open";
    open = p;
    files[p];
    return true;
  }
  bool WriteFileData(std::string_view d) override {
    EXPECT_NE(open, "");
    largestPiece = std::max(largestPiece, d.size());
    files[open].append(d);
    return true;
  }
  void EndFile(std::uint32_t date, bool complete) override {
    if (complete) dates[open] = date;
    open.clear();
  }
  bool WriteNewFile(const std::string& p, std::string_view d, const std::string&) override {
    files[p] = std::string(d);
    return true;
  }
  std::string LastErrorText() override { return "error text"; }
  double FreeBytes(const std::string&) override { return 1e9; }
  std::int64_t FileSize(const std::string& p) override { return std::int64_t(files[p].size()); }
  void ShowError(const std::string& m) override { errors.push_back(m); }
  bool AskOkCancel(const std::string& m, const std::string&, const std::string&, int) override {
    questions.push_back(m);
    if (onQuestion) onQuestion();
    if (answers.empty()) return false;
    bool a = answers.front();
    answers.erase(answers.begin());
    return a;
  }
  void EjectMedia(const std::string&) override {}
  void SuppressAutoPlay() override {}
  void Trace(const std::string& l) override { traces.push_back(l); }
  std::uint64_t Milliseconds() override { return 0; }
  std::uint32_t ProcessId() override { return 7; }
};

std::string Le32(std::int32_t v) {
  std::string s;
  AppendLe32(s, static_cast<std::uint32_t>(v));
  return s;
}

std::string Deflate(const std::string& in) {
  uLongf n = compressBound(in.size());
  std::string out(n, '\0');
  compress2(reinterpret_cast<Bytef*>(out.data()), &n, reinterpret_cast<const Bytef*>(in.data()),
            in.size(), 9);
  out.resize(n);
  return out;
}

std::string FileBlock(const std::string& nameField, const std::string& data, bool compress = true,
                      std::uint32_t date = 0x4A6B2D3Cu) {
  const std::string content = MakeFileHeader(nameField, date) + std::string(1, '\0') + data;
  if (!compress) return Le32(-std::int32_t(content.size())) + content;
  const std::string z = Deflate(content);
  return Le32(std::int32_t(z.size())) + z;
}

constexpr std::uint8_t kSetId[kSetIdentityBytes] = {9, 8, 7, 6, 5, 4};

// A volume: optional fake stub with header blocks, the blocks, a trailer;
// `number` (from 1) marks it as that volume of the set kSetId.
std::string Volume(const std::vector<std::string>& blocks, bool first, bool spanned,
                   std::uint32_t filesCount = 0, std::uint32_t checksum = kChecksumOff,
                   int number = 0, std::uint8_t version = 2) {
  std::string out;
  Trailer t;
  if (number > 0) t.reserved20 = SetMark(kSetId, number);
  t.reserved0 = 1;
  t.version = version;
  t.magic = kMagic;
  t.checksum = checksum;
  t.filesCount = filesCount;
  t.flags = spanned ? kFlagSpanned : 0;
  t.trailerLength = kTrailerSize;
  if (first) {
    out.assign(600, '\0');
    out[0] = 'M', out[1] = 'Z', out[256] = 'P', out[257] = 'E';
    t.headerStart = static_cast<std::uint32_t>(out.size());
    out += Le32(1) + "*" + Le32(11) + "|u|i|A.exe|";
  }
  for (const auto& b : blocks)
    out += b;
  const auto enc = EncodeTrailer(t);
  out.append(reinterpret_cast<const char*>(enc.data()), enc.size());
  return out;
}

class UnpackTest : public ::testing::Test {
protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("vantor_unpack_" +
            std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string Write(const std::string& name, const std::string& bytes) {
    const std::string p = (dir_ / name).string();
    std::ofstream(p, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
    return p;
  }
  UnpackRequest Request(const std::string& package) {
    UnpackRequest r;
    r.packageFile = package;
    r.targetFolder = "T";
    r.progress = [this](int kind, int, int high, int, int, int) {
      progress_.push_back(kind == 0 ? "setup " + std::to_string(high) : "step");
    };
    return r;
  }
  fs::path dir_;
  std::vector<std::string> progress_;
};

TEST_F(UnpackTest, FilesEngineEntryAndSplitBlocks) {
  const std::string pkg =
      Write("setup.exe",
            Volume({FileBlock("Engine.exe*/a /b", "MZengine"), FileBlock("dir\\big.bin", "part1-"),
                    FileBlock("dir\\big.bin", "part2", false), FileBlock("empty.txt", "")},
                   true, false, 4));
  FakeHost host;
  const UnpackResult r = ExtractPackage(Request(pkg), host);
  EXPECT_TRUE(r.intact);
  EXPECT_FALSE(r.damaged);
  EXPECT_EQ(r.engineEntry, "Engine.exe*/a /b");
  EXPECT_EQ(host.files["T/Engine.exe"], "MZengine");
  EXPECT_EQ(host.files["T/dir\\big.bin"], "part1-part2");
  EXPECT_EQ(host.files["T/empty.txt"], "");
  EXPECT_EQ(host.dates["T/Engine.exe"], 0x4A6B2D3Cu);
  // One step per new file, not per block.
  EXPECT_EQ(progress_, (std::vector<std::string>{"setup 0", "setup 4", "step", "step", "step"}));
  EXPECT_TRUE(host.errors.empty());
  EXPECT_EQ(host.traces.front(), "FileInfo.FilesCount=4");
}

TEST_F(UnpackTest, AgentCopyIsTheStubWithoutPayload) {
  const std::string bytes = Volume({FileBlock("a.txt", "a")}, true, false, 1);
  const std::string pkg = Write("setup.exe", bytes);
  FakeHost host;
  UnpackRequest req = Request(pkg);
  req.agentName = "C:\\x\\Prog.AutoUpdate.exe";
  ExtractPackage(req, host);
  const std::string& agent = host.files["T/Prog.AutoUpdate.exe"];
  const std::size_t headerEnd = 600 + 4 + 1 + 4 + 11;
  ASSERT_EQ(agent.size(), headerEnd + kTrailerSize);
  EXPECT_EQ(agent.substr(0, headerEnd), bytes.substr(0, headerEnd));
  const Trailer t =
      DecodeTrailer(reinterpret_cast<const unsigned char*>(agent.data() + headerEnd), kTrailerSize);
  EXPECT_EQ(t.isUpdateAgent, 1);
  EXPECT_EQ(t.trailerLength, kTrailerSize);
  EXPECT_EQ(t.headerStart, 600u);
  EXPECT_NE(
      std::find(host.traces.begin(), host.traces.end(), "7 New AU-Agent: T/Prog.AutoUpdate.exe"),
      host.traces.end());
}

TEST_F(UnpackTest, DamageStopsWithAMessageAndNoEngine) {
  std::string corrupt = FileBlock("b.txt", std::string(1000, 'b'));
  corrupt[10] ^= 0x55; // inside the deflate data
  std::string tooLong = Le32(1 << 30) + "xx";
  const std::pair<const char*, std::string> cases[] = {{"zlib", corrupt}, {"length", tooLong}};
  for (const auto& [what, block] : cases) {
    SCOPED_TRACE(what);
    const std::string pkg =
        Write("setup.exe", Volume({FileBlock("Engine.exe*", "e"), block}, true, false));
    FakeHost host;
    const UnpackResult r = ExtractPackage(Request(pkg), host);
    EXPECT_TRUE(r.damaged);
    EXPECT_EQ(r.engineEntry, "");
    ASSERT_EQ(host.errors.size(), 1u);
    EXPECT_NE(host.errors[0].find("damaged at offset"), std::string::npos) << host.errors[0];
    EXPECT_NE(host.errors[0].find("Engine.exe"), std::string::npos);
  }
}

TEST_F(UnpackTest, UnsafeNamesAreRefusedAndReportedOnce) {
  const int before = SaveErrorCount();
  const std::string pkg =
      Write("setup.exe", Volume({FileBlock("..\\evil.txt", "x"), FileBlock("C:\\abs.txt", "y"),
                                 FileBlock("\\root.txt", "z"), FileBlock("ok.txt", "fine")},
                                true, false));
  FakeHost host;
  ExtractPackage(Request(pkg), host);
  EXPECT_EQ(host.files.size(), 1u);
  EXPECT_EQ(host.files["T/ok.txt"], "fine");
  EXPECT_EQ(SaveErrorCount() - before, 3);
  // Only the process's first failed write is shown: one box here unless an
  // earlier case in this process already showed it.
  EXPECT_EQ(host.errors.size(), before == 0 ? 1u : 0u);
}

TEST_F(UnpackTest, VolumesFollowAndPromptForAMissingOne) {
  const std::string v1 = Volume({FileBlock("Engine.exe*", "e"), FileBlock("big", "1")}, true, true,
                                4, kChecksumOff, 1);
  const std::string v2 = Volume({FileBlock("big", "2")}, false, true, 4, kChecksumOff, 2);
  const std::string v3 = Volume({FileBlock("last", "3")}, false, false, 4, kChecksumOff, 3);
  const std::string pkg = Write("cd.exe.001", v1);
  Write("cd.exe.002", v2);

  { // Volume 3 missing: the prompt names disk 3, Cancel ends without an engine.
    FakeHost host;
    const UnpackResult r = ExtractPackage(Request(pkg), host);
    EXPECT_TRUE(r.cancelled);
    EXPECT_FALSE(r.damaged); // a set left unread is no damage
    EXPECT_TRUE(host.errors.empty());
    EXPECT_EQ(r.engineEntry, "");
    ASSERT_EQ(host.questions.size(), 1u);
    EXPECT_EQ(host.questions[0], "Please insert <B>DISK #3</B> and press OK to continue");
    EXPECT_EQ(host.files["T/big"], "12");
  }
  { // The user inserts it and presses OK.
    FakeHost host;
    host.answers = {true};
    host.onQuestion = [&] { Write("cd.exe.003", v3); };
    fs::remove(dir_ / "cd.exe.003");
    progress_.clear();
    const UnpackResult r = ExtractPackage(Request(pkg), host);
    EXPECT_TRUE(r.intact);
    EXPECT_EQ(r.engineEntry, "Engine.exe*");
    EXPECT_EQ(host.files["T/last"], "3");
    EXPECT_EQ(progress_, (std::vector<std::string>{"setup 0", "setup 4", "step", "step", "step",
                                                   "step", "step"}));
  }
}

TEST_F(UnpackTest, ABadChecksumStopsAtThatVolume) {
  const std::string v1 = Volume({FileBlock("Engine.exe*", "e")}, true, true, 2, kChecksumOff, 1);
  std::string v2 = Volume({FileBlock("x", "2")}, false, false, 2, 0, 2);
  // Store the real checksum, then damage a byte the checksum covers.
  const std::string p2 = Write("s.exe.002", v2);
  Trailer t;
  ReadTrailer(p2, t);
  t.checksum = PackageChecksum(p2, kTrailerSize);
  const auto enc = EncodeTrailer(t);
  v2.replace(v2.size() - kTrailerSize, kTrailerSize, reinterpret_cast<const char*>(enc.data()),
             kTrailerSize);
  Write("s.exe.002", v2);
  {
    FakeHost host;
    EXPECT_TRUE(ExtractPackage(Request(Write("s.exe", v1)), host).intact);
  }
  v2[3] ^= 1;
  Write("s.exe.002", v2);
  FakeHost host;
  const UnpackResult r = ExtractPackage(Request(dir_.string() + "/s.exe"), host);
  EXPECT_FALSE(r.intact);
  EXPECT_EQ(host.files.count("T/x"), 0u);
}

// Every later volume proves that it is the next whole volume of this set;
// one that does not is damage, and nothing after it is unpacked.
TEST_F(UnpackTest, AVolumeThatIsNotTheSetsNextOneIsDamage) {
  const std::string v1 = Volume({FileBlock("Engine.exe*", "e")}, true, true, 3, kChecksumOff, 1);
  const std::string v2 = Volume({FileBlock("two", "2")}, false, true, 3, kChecksumOff, 2);
  const std::string v3 = Volume({FileBlock("three", "3")}, false, false, 3, kChecksumOff, 3);
  std::string foreign = v2;
  foreign[foreign.size() - kTrailerSize + kTrailerSetMarkOffset] ^= 1;
  const std::string cut = v2.substr(0, v2.size() - 10);
  // Small enough to be summed: the cut hides the trailer, both sums were 0.
  ASSERT_LT(cut.size(), kChecksumMaxFile);
  struct Case {
    const char* what;
    std::string first, second, third, why;
  };
  const Case cases[] = {
      {"whole", v1, v2, v3, ""},
      {"another package's", v1, foreign, v3, "of another package"},
      {"swapped", v1, v3, v2, "out of order"},
      {"cut by 10 bytes", v1, cut, v3, "no package trailer"},
      {"junk", v1, std::string(5000, 'j'), v3, "no package trailer"},
      {"version 255", v1, Volume({FileBlock("two", "2")}, false, true, 3, kChecksumOff, 2, 255), v3,
       "of another package"},
      {"another FilesCount", v1, Volume({FileBlock("two", "2")}, false, true, 9, kChecksumOff, 2),
       v3, "of another package"},
      {"a last volume short of blocks",
       Volume({FileBlock("Engine.exe*", "e")}, true, true, 4, kChecksumOff, 1),
       Volume({FileBlock("two", "2")}, false, true, 4, kChecksumOff, 2),
       Volume({FileBlock("three", "3")}, false, false, 4, kChecksumOff, 3),
       "another number of files"},
      {"a set without marks", Volume({FileBlock("Engine.exe*", "e")}, true, true, 3),
       Volume({FileBlock("two", "2")}, false, true, 3),
       Volume({FileBlock("three", "3")}, false, false, 3), "of another package"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string pkg = Write("set.exe", c.first);
    Write("set.exe.002", c.second);
    Write("set.exe.003", c.third);
    FakeHost host;
    const UnpackResult r = ExtractPackage(Request(pkg), host);
    EXPECT_EQ(r.damaged, !c.why.empty());
    if (c.why.empty()) {
      EXPECT_EQ(r.engineEntry, "Engine.exe*");
      EXPECT_EQ(host.files["T/three"], "3");
      continue;
    }
    EXPECT_EQ(r.engineEntry, "");
    ASSERT_EQ(host.errors.size(), 1u);
    EXPECT_NE(host.errors[0].find(c.why), std::string::npos) << host.errors[0];
  }
  // A first volume without the magic has no flags to follow: the .002 is
  // never joined to it.
  std::string noMagic = v1;
  noMagic[noMagic.size() - kTrailerSize + 12] ^= 1;
  FakeHost host;
  ExtractPackage(Request(Write("set.exe", noMagic)), host);
  EXPECT_TRUE(host.files.empty());
}

} // namespace
} // namespace package

namespace package {
namespace {

// A block that compresses very well reports output often while it
// inflates; pumping the window for every report (a round trip to the window
// system each) made such blocks unpack several times slower. The window is
// still kept alive while the block inflates.
TEST_F(UnpackTest, InflatingAHighlyCompressedBlockPumpsByOutputNotByReport) {
  const std::string pkg = Write(
      "zeros.exe", Volume({FileBlock("zeros.bin", std::string(4 << 20, '\0'))}, true, false, 1));
  FakeHost host;
  ASSERT_TRUE(ExtractPackage(Request(pkg), host).intact);
  EXPECT_EQ(host.files["T/zeros.bin"].size(), std::size_t(4 << 20));
  EXPECT_GE(host.pumps, 8);  // about every 256 KB of output while inflating
  EXPECT_LE(host.pumps, 40); // not ~4,000 times (once per report)
}

} // namespace
} // namespace package

namespace package {
namespace {

// A zlib stream of `header`, a 0 byte and `zeros` zero bytes, made piece by
// piece so the test never holds the content.
std::string DeflatedZeros(const std::string& header, std::uint64_t zeros) {
  z_stream s{};
  deflateInit(&s, 9);
  std::string out, piece(1 << 20, '\0');
  const std::string head = header + '\0';
  std::string chunk(1 << 20, '\0');
  auto run = [&](const char* data, std::size_t n, int flush) {
    s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
    s.avail_in = static_cast<uInt>(n);
    do {
      s.next_out = reinterpret_cast<Bytef*>(piece.data());
      s.avail_out = static_cast<uInt>(piece.size());
      deflate(&s, flush);
      out.append(piece.data(), piece.size() - s.avail_out);
    } while (s.avail_out == 0);
  };
  run(head.data(), head.size(), Z_NO_FLUSH);
  for (std::uint64_t left = zeros; left > 0;) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left, chunk.size()));
    run(chunk.data(), n, Z_NO_FLUSH);
    left -= n;
  }
  run(nullptr, 0, Z_FINISH);
  deflateEnd(&s);
  return Le32(std::int32_t(out.size())) + out;
}

// The stub's side of the one name rule: devices, names Windows would write
// as another name or cannot hold, and paths too long to create are refused
// before anything (a folder included) is written; the rest unpacks.
TEST_F(UnpackTest, NamesWindowsCannotWriteAsGivenAreRefusedBeforeAnyWrite) {
  std::string deep;
  for (int i = 0; i < 200; ++i)
    deep += "d\\";
  const std::vector<std::string> refused = {"COM1",
                                            "nul",
                                            "AUX.txt",
                                            "sub\\lpt3.log",
                                            "COM1.tar.gz",
                                            "con\\x.txt",
                                            "a<b",
                                            "what?",
                                            "q\"",
                                            "new\nline",
                                            "...",
                                            "a.txt.",
                                            "a.txt ",
                                            "d\\\\a.txt",
                                            "d\\.\\a.txt",
                                            deep + "f.txt",
                                            std::string(300, 'n')};
  std::vector<std::string> blocks = {FileBlock("Engine.exe*", "e")};
  for (const std::string& name : refused)
    blocks.push_back(FileBlock(name, "bad"));
  blocks.push_back(FileBlock("ok.txt", "fine"));
  const int before = SaveErrorCount();
  FakeHost host;
  UnpackRequest req = Request(Write("setup.exe", Volume(blocks, true, false)));
  // Too long for the work folder it is unpacked into, fine elsewhere.
  const std::string fits = std::string(200, 'f');
  req.targetFolder = std::string(58, 'T');
  const std::string pkg2 = Write("fit.exe", Volume({FileBlock(fits, "x")}, true, false));
  const UnpackResult r = ExtractPackage(req, host);
  EXPECT_EQ(SaveErrorCount() - before, int(refused.size()));
  EXPECT_EQ(host.files.size(), 2u);
  EXPECT_EQ(host.files[req.targetFolder + "/ok.txt"], "fine");
  EXPECT_FALSE(r.damaged);

  FakeHost fitting;
  UnpackRequest fitReq = Request(pkg2);
  fitReq.targetFolder = std::string(57, 'T'); // 57 + 1 + 200 = 258
  ExtractPackage(fitReq, fitting);
  EXPECT_EQ(fitting.files.size(), 1u);
  FakeHost tooLong;
  fitReq.targetFolder = std::string(59, 'T'); // 260
  const int beforeLong = SaveErrorCount();
  ExtractPackage(fitReq, tooLong);
  EXPECT_TRUE(tooLong.files.empty());
  EXPECT_EQ(SaveErrorCount() - beforeLong, 1);

  // The agent copy goes by the same rule.
  FakeHost agent;
  UnpackRequest agentReq = Request(Write("agent.exe", Volume({FileBlock("a", "a")}, true, false)));
  agentReq.agentName = "C:\\x\\COM1";
  const int beforeAgent = SaveErrorCount();
  ExtractPackage(agentReq, agent);
  EXPECT_EQ(agent.files.count("T/COM1"), 0u);
  EXPECT_EQ(SaveErrorCount() - beforeAgent, 1);
}

// Data reaches the host in bounded pieces, and a block that inflates past
// the most a block may hold is damage, found without holding it.
TEST_F(UnpackTest, BlocksStreamInBoundedPiecesAndOversizedOnesAreDamage) {
  const std::string pkg = Write(
      "big.exe",
      Volume({FileBlock("Engine.exe*", "e"), FileBlock("zeros.bin", std::string(3 << 20, 'z'))},
             true, false));
  FakeHost host;
  const UnpackResult r = ExtractPackage(Request(pkg), host);
  EXPECT_FALSE(r.damaged);
  EXPECT_EQ(host.files["T/zeros.bin"], std::string(3 << 20, 'z'));
  EXPECT_LE(host.largestPiece, kDecodeChunk);

  const std::string bomb = DeflatedZeros("|bomb.bin|0|", kMaxBlockData + kMaxFileHeader);
  const std::string longHeader = FileBlock(std::string(kMaxFileHeader + 10, 'h'), "x", false);
  const std::pair<const char*, std::string> cases[] = {{"inflates too far", bomb},
                                                       {"header too long", longHeader}};
  for (const auto& [what, block] : cases) {
    SCOPED_TRACE(what);
    FakeHost h;
    const UnpackResult d = ExtractPackage(
        Request(Write("bomb.exe", Volume({FileBlock("Engine.exe*", "e"), block}, true, false))), h);
    EXPECT_TRUE(d.damaged);
    EXPECT_EQ(d.engineEntry, "");
    EXPECT_LE(h.largestPiece, kDecodeChunk);
    ASSERT_EQ(h.errors.size(), 1u);
    EXPECT_NE(h.errors[0].find("damaged at offset"), std::string::npos) << h.errors[0];
  }
}

// Newer builders may write a longer trailer; the blocks end where it starts.
TEST_F(UnpackTest, ATrailerLongerThan74BytesIsAccepted) {
  std::string bytes =
      Volume({FileBlock("Engine.exe*", "e"), FileBlock("a.txt", "aa")}, true, false, 2);
  Trailer t = DecodeTrailer(
      reinterpret_cast<const unsigned char*>(bytes.data() + bytes.size() - kTrailerSize),
      kTrailerSize);
  t.trailerLength = kTrailerSize + 26;
  const auto enc = EncodeTrailer(t);
  bytes.replace(bytes.size() - kTrailerSize, kTrailerSize,
                std::string(reinterpret_cast<const char*>(enc.data()), kTrailerSize - 4) +
                    std::string(26, 'x') + Le32(std::int32_t(kTrailerSize + 26)));
  FakeHost host;
  const UnpackResult r = ExtractPackage(Request(Write("long.exe", bytes)), host);
  EXPECT_TRUE(r.intact);
  EXPECT_FALSE(r.damaged);
  EXPECT_TRUE(host.errors.empty()) << host.errors[0];
  EXPECT_EQ(r.engineEntry, "Engine.exe*");
  EXPECT_EQ(host.files["T/a.txt"], "aa");
}

// A close request stops the unpacking between two pieces of data: no more
// files, no next volume, no agent copy, no engine, and the file being
// written keeps no date.
TEST_F(UnpackTest, ACloseRequestStopsTheUnpackingAndNamesNoEngine) {
  const std::string v1 =
      Volume({FileBlock("Engine.exe*", "e"), FileBlock("zeros.bin", std::string(4 << 20, '\0')),
              FileBlock("later.txt", "l")},
             true, true, 3);
  Write("s.exe.002", Volume({FileBlock("v2.txt", "2")}, false, false));
  FakeHost host;
  host.onPump = [&] {
    if (host.files.count("T/zeros.bin") && host.files["T/zeros.bin"].size() >= (1u << 20))
      host.abort = true;
  };
  UnpackRequest req = Request(Write("s.exe", v1));
  req.agentName = "Agent.exe";
  const UnpackResult r = ExtractPackage(req, host);
  EXPECT_TRUE(r.aborted);
  EXPECT_EQ(r.engineEntry, "");
  EXPECT_LT(host.files["T/zeros.bin"].size(), std::size_t(4 << 20));
  EXPECT_EQ(host.dates.count("T/zeros.bin"), 0u);
  EXPECT_EQ(host.files.count("T/later.txt"), 0u);
  EXPECT_EQ(host.files.count("T/v2.txt"), 0u);
  EXPECT_EQ(host.files.count("T/Agent.exe"), 0u);
  EXPECT_TRUE(host.questions.empty());
  EXPECT_EQ(host.open, "");
}

} // namespace
} // namespace package
