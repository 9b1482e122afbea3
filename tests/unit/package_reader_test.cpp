// Reading packages: trailer location, header blocks, checksum, space table,
// language records, and damaged files.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <numeric>

#include "package/file_info.h"
#include "package/payload_presence.h"
#include "package/trailer.h"

namespace package {
namespace {

namespace fs = std::filesystem;

std::string Le32(std::uint32_t v) {
  std::string s;
  AppendLe32(s, v);
  return s;
}

// A fake stub image: "MZ" at 0, "PE" at 256, `size` bytes in all.
std::string FakeStub(std::size_t size = 600) {
  std::string image(size, '\0');
  image[0] = 'M';
  image[1] = 'Z';
  image[256] = 'P';
  image[257] = 'E';
  return image;
}

struct PackageFixture {
  std::string stub = FakeStub();
  std::vector<std::string> headers = {"*", "|http://x/|p.info|P.AutoUpdate.exe|TOKEN|1|"};
  std::string payload = Le32(3) + "abc";
  Trailer trailer = [] {
    Trailer t;
    t.reserved0 = 1;
    t.version = 2;
    t.filesCount = 1;
    t.magic = kMagic;
    t.checksum = kChecksumOff;
    t.flags = kFlagSpanned | kFlagAgentLog;
    t.carryAgent = 1;
    t.isUpdateAgent = 1;
    t.reserved20 = {1, 2, 3, 4, 5, 6, 7, 8};
    for (int i = 0; i < kSpaceEntries; ++i) t.spaceRequired[i] = 1000u * (i + 1);
    t.trailerLength = kTrailerSize;
    return t;
  }();

  std::string Bytes() const {
    Trailer t = trailer;
    t.headerStart = static_cast<std::uint32_t>(stub.size());
    std::string out = stub;
    for (const auto& h : headers) out += Le32(static_cast<std::uint32_t>(h.size())) + h;
    out += payload;
    auto enc = EncodeTrailer(t);
    out.append(reinterpret_cast<const char*>(enc.data()), enc.size());
    return out;
  }
};

class PackageFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("vantor_reader_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
            "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
    ResetLanguageSelection();
  }
  void TearDown() override {
    fs::remove_all(dir_);
    ResetLanguageSelection();
  }
  std::string Write(const std::string& bytes, const std::string& name = "p.exe") {
    std::string path = (dir_ / name).string();
    std::ofstream(path, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
    return path;
  }
  fs::path dir_;
};

TEST_F(PackageFileTest, ReadsTrailerAndHeaderBlocks) {
  PackageFixture pkg;
  TGFileInfo info(Write(pkg.Bytes()));
  const Trailer& t = info.trailer();
  EXPECT_TRUE(t.HasMagic());
  EXPECT_EQ(t.version, 2);
  EXPECT_EQ(t.filesCount, 1u);
  EXPECT_EQ(t.reserved20, pkg.trailer.reserved20);
  EXPECT_EQ(t.spaceRequired, pkg.trailer.spaceRequired);
  EXPECT_EQ(t.trailerLength, kTrailerSize);
  EXPECT_EQ(info.LanguageTable(), "*");
  EXPECT_EQ(info.UpdateUrl(), "http://x/");
  EXPECT_EQ(info.UpdateInfoName(), "p.info");
  EXPECT_EQ(info.UpdateOriginalName(), "p.original");
  EXPECT_EQ(info.AgentFileName(), "P.AutoUpdate.exe");
  EXPECT_EQ(info.UpdateToken(false), "TOKEN");
  EXPECT_TRUE(info.RunHidden());
  EXPECT_TRUE(info.IsSpanned());
  EXPECT_TRUE(info.AgentLog());
  EXPECT_FALSE(info.ShowSecondBar());
  EXPECT_TRUE(info.CarryAgent());
  EXPECT_TRUE(info.IsUpdateAgent());
  EXPECT_FALSE(info.UseDownloadRoad());
  EXPECT_EQ(info.DownloadInfo(), "");
  // HeaderStart has moved past the two header blocks, to the first payload block.
  EXPECT_EQ(info.PayloadStart(), pkg.stub.size() + 4 + 1 + 4 + pkg.headers[1].size());
}

TEST_F(PackageFileTest, VersionSelectsTheNumberOfHeaderBlocks) {
  PackageFixture pkg;
  pkg.trailer.version = 0;  // read as 2: a third block is payload, not header
  pkg.headers.push_back("|http://dl/|setup.exe|1|TOK|12345|");
  TGFileInfo two(Write(pkg.Bytes(), "two.exe"));
  EXPECT_EQ(two.trailer().version, 2);
  EXPECT_EQ(two.DownloadInfo(), "");

  pkg.trailer.version = 3;
  TGFileInfo three(Write(pkg.Bytes(), "three.exe"));
  EXPECT_EQ(three.DownloadSource(), "http://dl/");
  EXPECT_EQ(three.DownloadFileName(), "setup.exe");
  EXPECT_TRUE(three.UseSourceAsIs());
  EXPECT_EQ(three.DownloadToken(false), "TOK");
  EXPECT_EQ(three.DownloadSize(), "12345");
}

// Any other version would read payload blocks as header blocks (or the
// reverse) and silently drop files: such a package is damaged.
TEST_F(PackageFileTest, UnknownVersionsAreDamage) {
  {
    // Version 3 on a package with two header blocks: its third "header
    // block" is the first payload block, not field text.
    PackageFixture pkg;
    pkg.trailer.version = 3;
    pkg.payload = Le32(6) + std::string("x\x9c\0ab\x01");
    EXPECT_TRUE(TGFileInfo(Write(pkg.Bytes(), "v3.exe")).IsDamaged());
  }
  for (const std::uint8_t version : {1, 4, 255}) {
    SCOPED_TRACE(int(version));
    PackageFixture pkg;
    pkg.trailer.version = version;
    const TGFileInfo info(Write(pkg.Bytes(), "v.exe"));
    EXPECT_TRUE(info.IsDamaged());
    EXPECT_FALSE(info.trailer().HasMagic());
    EXPECT_FALSE(info.IsUpdateAgent());
  }
}

TEST_F(PackageFileTest, PayloadIsWhatLiesBetweenTheHeaderAndTheTrailer) {
  PackageFixture pkg;
  EXPECT_TRUE(HasPayload(Write(pkg.Bytes(), "with.exe")));
  pkg.payload.clear();
  const std::string bare = pkg.Bytes();
  EXPECT_FALSE(HasPayload(Write(bare, "agent.exe")));
  // Data after the end marker (a signature) is no payload.
  std::string signed_ = bare + std::string(500, 'S');
  WriteLe32(reinterpret_cast<unsigned char*>(signed_.data()) + kEndMarkerLow,
            static_cast<std::uint32_t>(bare.size()));
  EXPECT_FALSE(HasPayload(Write(signed_, "signed.exe")));
}

TEST_F(PackageFileTest, EndMarkerLocatesThePackageBeforeTrailingData) {
  PackageFixture pkg;
  const std::string package = pkg.Bytes();
  auto withMarker = [&](std::uint64_t marker, const std::string& tail) {
    std::string bytes = package + tail;
    WriteLe32(reinterpret_cast<unsigned char*>(&bytes[kEndMarkerHigh]), marker >> 32);
    WriteLe32(reinterpret_cast<unsigned char*>(&bytes[kEndMarkerLow]), marker & 0xFFFFFFFF);
    return bytes;
  };
  // A signature or other data after the package is skipped through the marker.
  TGFileInfo signed_(Write(withMarker(package.size(), std::string(1000, 'S')), "signed.exe"));
  EXPECT_TRUE(signed_.trailer().HasMagic());
  EXPECT_EQ(signed_.AgentFileName(), "P.AutoUpdate.exe");
  // A marker equal to the file size finds the same trailer as none.
  TGFileInfo exact(Write(withMarker(package.size(), ""), "exact.exe"));
  EXPECT_EQ(exact.trailer().spaceRequired, pkg.trailer.spaceRequired);
  // Without a marker, trailing data hides the trailer.
  TGFileInfo hidden(Write(package + std::string(1000, 'S'), "hidden.exe"));
  EXPECT_FALSE(hidden.trailer().HasMagic());
  // A file without "PE" at 256 (a later volume) is read from its last bytes
  // only, whatever stands at 248..255.
  PackageFixture volume;
  volume.stub = std::string(300, 'v');
  TGFileInfo vol(Write(volume.Bytes(), "p.exe.002"));
  EXPECT_TRUE(vol.trailer().HasMagic());
}

TEST_F(PackageFileTest, DamagedFilesGiveZeroedOrPartialState) {
  PackageFixture pkg;
  const std::string good = pkg.Bytes();
  const std::size_t firstHeader = pkg.stub.size();

  EXPECT_FALSE(TGFileInfo((dir_ / "missing.exe").string()).trailer().HasMagic());
  EXPECT_EQ(TGFileInfo((dir_ / "missing.exe").string()).trailer().version, 0);

  struct Case {
    const char* what;
    std::string bytes;
    bool magic;
    std::string languageTable, updateInfo;
  };
  std::string lengthZero = good, lengthHuge = good, negative = good, pastEnd = good,
              secondPastEnd = good, foreign = good;
  WriteLe32(reinterpret_cast<unsigned char*>(&lengthZero[good.size() - 4]), 0);
  WriteLe32(reinterpret_cast<unsigned char*>(&lengthHuge[good.size() - 4]), 0x7FFFFFF0);
  WriteLe32(reinterpret_cast<unsigned char*>(&negative[firstHeader]), 0xFFFFFFF0);
  WriteLe32(reinterpret_cast<unsigned char*>(&pastEnd[firstHeader]), 0x7FFFFFF0);
  WriteLe32(reinterpret_cast<unsigned char*>(&secondPastEnd[firstHeader + 5]), 0x10000);
  foreign[good.size() - kTrailerSize + 12] ^= 0xFF;
  const Case cases[] = {
      {"empty file", "", false, "", ""},
      {"three bytes", "abc", false, "", ""},
      {"truncated trailer", good.substr(0, good.size() - 10), false, "", ""},
      {"trailer length 0", lengthZero, false, "", ""},
      {"trailer length past the start", lengthHuge, false, "", ""},
      {"negative header length", negative, true, "", ""},
      {"header length past the end", pastEnd, true, "", ""},
      {"second header past the end", secondPastEnd, true, "*", ""},
      {"foreign magic", foreign, false, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TGFileInfo info(Write(c.bytes, "damaged.exe"));
    EXPECT_EQ(info.trailer().HasMagic(), c.magic);
    EXPECT_EQ(info.LanguageTable(), c.languageTable);
    EXPECT_EQ(info.UpdateInfo(), c.updateInfo);
    EXPECT_EQ(info.DownloadInfo(), "");
  }
}

// Without the magic the trailer's bytes mean nothing: a package cut short
// (its last bytes now somewhere in the payload) or with a broken magic must
// not become an agent, write a log, take the download road or relaunch as a
// spanned set, whatever those bytes hold.
TEST_F(PackageFileTest, ATrailerWithoutMagicIsObeyedInNothing) {
  PackageFixture pkg;
  pkg.trailer.flags = 0xFF;
  pkg.trailer.useDownloadRoad = pkg.trailer.askBeforeDownload = 1;
  pkg.trailer.carryAgent = pkg.trailer.isUpdateAgent = 1;
  std::string wrongMagic = pkg.Bytes();
  wrongMagic[wrongMagic.size() - kTrailerSize + 12] ^= 0x01;
  // Cut so that the last four bytes point back at a copy of the trailer
  // bytes whose magic is gone.
  PackageFixture cut = pkg;
  cut.payload = Le32(1) + "x" + std::string(40, '\xFF');
  std::string cutBytes = cut.Bytes();
  cutBytes.resize(cutBytes.size() - 30);
  cutBytes += Le32(kTrailerSize);
  const std::pair<const char*, std::string> cases[] = {{"wrong magic", wrongMagic},
                                                       {"cut short", cutBytes}};
  for (const auto& [what, bytes] : cases) {
    SCOPED_TRACE(what);
    const TGFileInfo info(Write(bytes, "damaged.exe"));
    EXPECT_TRUE(info.IsDamaged());
    EXPECT_FALSE(info.IsUpdateAgent());
    EXPECT_FALSE(info.AgentLog());
    EXPECT_FALSE(info.UseDownloadRoad());
    EXPECT_FALSE(info.AskBeforeDownload());
    EXPECT_FALSE(info.CarryAgent());
    EXPECT_FALSE(info.IsSpanned());
    EXPECT_FALSE(info.SpanCdLevel());
    EXPECT_FALSE(info.ShowSecondBar());
    EXPECT_EQ(info.SpaceRequired(dir_.string()), 0.0);
    EXPECT_EQ(info.AgentFileName(), "");
  }
  const TGFileInfo good(Write(pkg.Bytes(), "good.exe"));
  EXPECT_FALSE(good.IsDamaged());
  EXPECT_TRUE(good.IsUpdateAgent());
  EXPECT_TRUE(good.UseDownloadRoad());
  EXPECT_FALSE(TGFileInfo((dir_ / "missing.exe").string()).IsDamaged());
}

TEST_F(PackageFileTest, TrailerLongerThanTheRecordFillsOnlyTheRecord) {
  PackageFixture pkg;
  pkg.trailer.trailerLength = 80;
  std::string bytes = pkg.Bytes();
  // Six extra bytes between the record and the closing length word.
  bytes.insert(bytes.size() - 4, std::string(6, 'x'));
  TGFileInfo info(Write(bytes));
  EXPECT_TRUE(info.trailer().HasMagic());
  EXPECT_EQ(info.trailer().trailerLength, 80u);
  EXPECT_EQ(info.AgentFileName(), "P.AutoUpdate.exe");
}

std::uint32_t WordAt(const std::string& s, std::size_t i) {
  return ReadLe32(reinterpret_cast<const unsigned char*>(s.data() + i));
}

TEST_F(PackageFileTest, ChecksumRules) {
  // 16 bytes, nothing excluded: the last two words fall in the final 8 bytes
  // that are never summed.
  const std::string small("\x01\x00\x00\x00\x02\x00\x00\x00\x04\x00\x00\x00\x08\x00\x00\x00", 16);
  EXPECT_EQ(PackageChecksum(Write(small, "small.bin"), 0), 1u + 2u);

  // Two full 4096-byte reads: 1234 is added after the first (more than 4
  // bytes remain) but not after the second.
  std::string twoBlocks(8192, '\0');
  for (std::size_t i = 0; i < twoBlocks.size(); ++i) twoBlocks[i] = char(i * 7 + 3);
  std::uint32_t expected = kChecksumOff;
  for (std::size_t i = 0; i + 8 < twoBlocks.size(); i += 4) expected += WordAt(twoBlocks, i);
  EXPECT_EQ(PackageChecksum(Write(twoBlocks, "two.bin"), 0), expected);

  // A PE file with a marker skips its first 512 bytes and stops at the marker.
  std::string pe = FakeStub(2048) + std::string(100, 'z');
  WriteLe32(reinterpret_cast<unsigned char*>(&pe[kEndMarkerLow]), 2048);
  for (std::size_t i = 512; i < 2048; ++i) pe[i] = char(i);
  std::uint32_t peExpected = 0;
  for (std::size_t i = 512; i + 8 + 74 < 2048; i += 4) peExpected += WordAt(pe, i);
  EXPECT_EQ(PackageChecksum(Write(pe, "pe.exe"), 74), peExpected);

  EXPECT_EQ(PackageChecksum(Write(std::string(kChecksumMaxFile + 1, 'x'), "big.bin"), 74),
            kChecksumOff);
  EXPECT_TRUE(ChecksumMatches(kChecksumOff, 99));
  EXPECT_TRUE(ChecksumMatches(99, kChecksumOff));
  EXPECT_FALSE(ChecksumMatches(98, 99));
}

TEST(SpaceRequired, PicksTheEntryForTheClusterSize) {
  Trailer t;
  for (int i = 0; i < kSpaceEntries; ++i) t.spaceRequired[i] = 100u + i;
  const std::pair<std::uint32_t, double> cases[] = {
      {0, 100},   {511, 100},  {512, 101},  {1024, 102},    {3000, 103},
      {4096, 104}, {8192, 105}, {65535, 107}, {65536, 108}, {1u << 20, 108},
  };
  for (auto [cluster, entry] : cases) EXPECT_EQ(SpaceRequired(t, cluster), entry) << cluster;
}

TEST(LanguageRecord, SelectionOrder) {
  const std::string table = "~|GERMAN|s1=Entpacke|~|ENG*|s1=Unpacking|~";
  EXPECT_EQ(SelectLanguageRecord(table, "ENGLISH"), "|ENG*|s1=Unpacking|");
  EXPECT_EQ(SelectLanguageRecord(table, "german"), "|GERMAN|s1=Entpacke|");
  // No match: English.
  EXPECT_EQ(SelectLanguageRecord(table, "FRENCH"), "|ENG*|s1=Unpacking|");
  // The only record serves every language.
  EXPECT_EQ(SelectLanguageRecord("*|DUTCH|s1=x|*", "FRENCH"), "|DUTCH|s1=x|");
  // Nothing fits.
  EXPECT_EQ(SelectLanguageRecord("*|GERMAN|s1=a|*|DUTCH|s1=b|*", "FRENCH"), "*");
  EXPECT_EQ(SelectLanguageRecord("*", "ENGLISH"), "*");
}

TEST_F(PackageFileTest, LangStringFallsBackToDefaults) {
  PackageFixture pkg;
  TGFileInfo none(Write(pkg.Bytes(), "none.exe"));
  EXPECT_EQ(none.LangString("s1", "Extracting Files..."), "Extracting Files...");
  EXPECT_EQ(none.FontSize(), 8);
  EXPECT_EQ(none.FontName(), "Tahoma");
  EXPECT_EQ(none.Charset(), 0);

  ResetLanguageSelection();
  pkg.headers[0] = "*|ENGLISH|s1=Unpacking|FontSize=big|Charset=177|FontName=Arial|*";
  TGFileInfo texts(Write(pkg.Bytes(), "texts.exe"));
  EXPECT_EQ(texts.LangString("S1", "x"), "Unpacking");
  EXPECT_EQ(texts.LangString("s2", "default"), "default");
  EXPECT_EQ(texts.FontSize(), 8);  // not a number
  EXPECT_EQ(texts.Charset(), 177);
  EXPECT_EQ(texts.FontName(), "Arial");
}

TEST_F(PackageFileTest, FontSizeStaysWithinASaneRange) {
  const std::pair<const char*, int> cases[] = {{"400", 24}, {"24", 24}, {"12", 12},
                                               {"6", 6},    {"1", 6},   {"-5", 6}};
  for (const auto& [given, expected] : cases) {
    SCOPED_TRACE(given);
    ResetLanguageSelection();
    PackageFixture pkg;
    pkg.headers[0] = std::string("*|ENGLISH|FontSize=") + given + "|*";
    EXPECT_EQ(TGFileInfo(Write(pkg.Bytes(), "font.exe")).FontSize(), expected);
  }
}

}  // namespace
}  // namespace package
