// Build -> read back: every field through TGFileInfo and `info --json`, and
// extract reproducing the source folder byte for byte with its time stamps.
#include <gtest/gtest.h>

#include <map>
#include <optional>

#include "pack/block_compressor.h"
#include "pack/builder.h"
#include "pack/error.h"
#include "pack/extractor.h"
#include "pack/inspector.h"
#include "pack/language_table.h"
#include "pack/reader.h"
#include "package/file_info.h"
#include "package/token.h"
#include "package/trailer.h"
#include "util/field_list.h"
#include "vpack_test_util.h"

namespace pack {
namespace {

using namespace vpack_test;

class VpackRoundTrip : public ScratchTest {
protected:
  void SetUp() override {
    ScratchTest::SetUp();
    std::string text;
    for (int i = 0; text.size() < 50000; ++i)
      text += "log line " + std::to_string(i) + "\n";
    files_ = {
        {"readme.txt", text.substr(0, 20000)},
        {"bin/setup.exe", FakeProgram(RandomBytes(5000, 7))},             // incompressible: a stored block
        {"docs/deep/nested/big.log", text.substr(0, 50000)}, // 7 blocks of 8 KiB
        {"docs/empty.txt", ""},
        {"data/zeros.bin", std::string(30000, '\0')},
    };
    for (const auto& [name, data] : files_)
      WriteFile(dir_ / "src" / name, data);
    // An odd second: the package keeps 2-second resolution.
    fs::last_write_time(dir_ / "src/readme.txt", LocalFileTime(2021, 6, 15, 13, 45, 17));
    fs::last_write_time(dir_ / "src/bin/setup.exe", LocalFileTime(2017, 3, 4, 9, 22, 58));
  }

  BuildOptions Options(const std::string& out = "out.exe") {
    BuildOptions o;
    o.force = true; // tests build one output again and again
    o.sourceDir = Path("src");
    o.stubPath = Path("stub.exe");
    o.outputPath = Path(out);
    o.engine = "bin/setup.exe";
    o.blockSize = 8192;
    return o;
  }

  std::map<std::string, std::string> files_;
};

TEST_F(VpackRoundTrip, EveryFieldReadsBackThroughTGFileInfoAndInfoJson) {
  WriteFile(dir_ / "lang.ini",
            "; package texts\n[ENGLISH]\ns1=Extracting...\nBtnText=|&OK|&Cancel|\n"
            "[GERMAN*]\ns1=\"  Entpacken \"\nFontName=Arial\n");
  struct Case {
    const char* what;
    std::function<void(BuildOptions&)> set;
  };
  const std::vector<Case> cases = {
      {"defaults", [](BuildOptions&) {}},
      {"everything",
       [&](BuildOptions& o) {
         o.languageFile = Path("lang.ini");
         o.updateUrl = "http://updates.example.invalid/app";
         o.updateInfoName = "sub\\app.info";
         o.agentName = "AppAgent.exe";
         o.updateTokenPlain = "update-secret";
         o.tokenSeed = 42;
         o.runHidden = true;
         o.downloadSource = "http://dl.example.invalid/files";
         o.downloadName = "full-setup.exe";
         o.downloadAsIs = true;
         o.downloadToken = "RAWTOKEN";
         o.downloadSize = 123456789;
         o.engineArgs = "/S /lang=de";
         o.flagAlwaysReportTempDrive = true;
         o.flagShowSecondBar = true;
         o.flagAgentLog = true;
         o.useDownloadRoad = true;
         o.askBeforeDownload = true;
         o.carryAgent = true;
         o.isUpdateAgent = true;
         o.endMarker = true;
       }},
      {"raw flags, version byte 0",
       [](BuildOptions& o) {
         o.flags = 0x1D; // every bit but Spanned
         o.versionByte = 0;
         o.updateToken = "as-written";
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    BuildOptions o = Options();
    c.set(o);
    const BuildResult r = Build(o);
    const std::string pkg = o.outputPath;
    const std::string image = ReadFile(pkg);

    const std::uint8_t version = o.versionByte ? *o.versionByte : (o.downloadSource ? 3 : 2);
    const std::uint64_t end = o.endMarker ? image.size() : 0;
    const auto* p = reinterpret_cast<const unsigned char*>(image.data());
    EXPECT_EQ(std::uint64_t(package::ReadLe32(p + 248)) << 32 | package::ReadLe32(p + 252), end);
    EXPECT_EQ(image.compare(0, 248, ReadFile(Path("stub.exe")), 0, 248), 0);

    package::ResetLanguageSelection();
    const package::TGFileInfo fi(pkg);
    const package::Trailer& t = fi.trailer();
    EXPECT_EQ(t.reserved0, 1);
    EXPECT_EQ(t.version, version == 0 ? 2 : version);
    EXPECT_EQ(t.filesCount, r.fileBlocks);
    EXPECT_EQ(r.fileBlocks, 3u + 1u + 7u + 1u + 4u); // 8 KiB blocks
    EXPECT_EQ(t.magic, package::kMagic);
    EXPECT_EQ(t.trailerLength, package::kTrailerSize);
    // A package this small is really summed (not the 1234 "off" value).
    EXPECT_NE(t.checksum, package::kChecksumOff);
    EXPECT_EQ(t.checksum, package::PackageChecksum(pkg, package::kTrailerSize));
    std::uint64_t sum = 0, in4k = 0;
    for (const auto& [name, data] : files_) {
      sum += data.size();
      in4k += (data.size() + 4095) / 4096 * 4096;
    }
    EXPECT_EQ(t.spaceRequired[0], sum);
    EXPECT_EQ(t.spaceRequired[4], in4k);
    const std::uint8_t flags = o.flags
                                   ? *o.flags
                                   : (o.flagAlwaysReportTempDrive ? 1 : 0) |
                                         (o.flagShowSecondBar ? 8 : 0) | (o.flagAgentLog ? 16 : 0);
    EXPECT_EQ(t.flags, flags);
    EXPECT_EQ(fi.UseDownloadRoad(), o.useDownloadRoad);
    EXPECT_EQ(fi.AskBeforeDownload(), o.askBeforeDownload);
    EXPECT_EQ(fi.CarryAgent(), o.carryAgent);
    EXPECT_EQ(fi.IsUpdateAgent(), o.isUpdateAgent);

    EXPECT_EQ(fi.UpdateUrl(), o.updateUrl);
    EXPECT_EQ(fi.UpdateInfoName(), o.updateInfoName.empty() ? "" : "app.info");
    EXPECT_EQ(fi.AgentFileName(), o.agentName);
    if (o.updateTokenPlain) {
      EXPECT_EQ(fi.UpdateToken(true), *o.updateTokenPlain);
    } else {
      EXPECT_EQ(fi.UpdateToken(false), o.updateToken);
    }
    EXPECT_EQ(fi.RunHidden(), o.runHidden);
    EXPECT_EQ(fi.DownloadSource(), o.downloadSource.value_or(""));
    EXPECT_EQ(fi.DownloadFileName(), o.downloadName.value_or(""));
    EXPECT_EQ(fi.UseSourceAsIs(), o.downloadAsIs);
    EXPECT_EQ(fi.DownloadToken(false), o.downloadToken.value_or(""));
    if (version == 3) {
      EXPECT_EQ(fi.DownloadSize(), "123456789");
    }
    if (o.languageFile.empty()) {
      EXPECT_EQ(fi.LanguageTable(), "*");
    } else {
      const std::string german = package::SelectLanguageRecord(fi.LanguageTable(), "GERMAN");
      EXPECT_EQ(util::SUB::GetValue(german, "s1"), "  Entpacken ");
      EXPECT_EQ(util::SUB::GetValue(german, "FontName"), "Arial");
      const std::string english = package::SelectLanguageRecord(fi.LanguageTable(), "ENGLISH");
      EXPECT_EQ(util::SUB::GetValue(english, "BtnText"), "|&OK|&Cancel|");
    }

    // The same through `info --json`.
    const PackageReader reader(pkg);
    const auto j = InfoJson(reader);
    EXPECT_EQ(j["trailer"]["version"], version);
    EXPECT_EQ(j["trailer"]["headerStart"], ReadFile(Path("stub.exe")).size());
    EXPECT_EQ(j["trailer"]["filesCount"], t.filesCount);
    EXPECT_EQ(j["trailer"]["checksum"], t.checksum);
    EXPECT_EQ(j["trailer"]["checksumOk"], true);
    EXPECT_EQ(j["trailer"]["flags"], t.flags);
    EXPECT_EQ(j["trailer"]["flagBits"]["showSecondBar"], (t.flags & 8) != 0);
    EXPECT_EQ(j["trailer"]["carryAgent"], t.carryAgent);
    EXPECT_EQ(j["isUpdateAgent"], o.isUpdateAgent);
    EXPECT_EQ(j["endMarker"], end);
    for (int i = 0; i < package::kSpaceEntries; ++i)
      EXPECT_EQ(j["trailer"]["spaceRequired"][i], t.spaceRequired[i]);
    EXPECT_EQ(j["header"]["languageTable"], fi.LanguageTable());
    EXPECT_EQ(j["header"]["updateInfo"]["raw"], fi.UpdateInfo());
    EXPECT_EQ(j["header"]["updateInfo"]["url"], o.updateUrl);
    EXPECT_EQ(j["header"]["updateInfo"]["agentName"], o.agentName);
    EXPECT_EQ(j["header"]["updateInfo"]["token"], fi.UpdateToken(false));
    EXPECT_EQ(j["header"]["updateInfo"]["runHidden"], o.runHidden ? "1" : "0");
    if (version == 3) {
      EXPECT_EQ(j["header"]["downloadInfo"]["raw"], fi.DownloadInfo());
      EXPECT_EQ(j["header"]["downloadInfo"]["size"], "123456789");
    } else {
      EXPECT_TRUE(j["header"]["downloadInfo"].is_null());
    }
    if (!o.languageFile.empty()) {
      EXPECT_EQ(j["header"]["languages"][1]["name"], "GERMAN*");
      EXPECT_EQ(j["header"]["languages"][1]["strings"]["s1"], "  Entpacken ");
    }
    EXPECT_TRUE(Verify(pkg).Ok());
    const auto list = ListFiles(reader);
    const auto engine = std::find_if(list.begin(), list.end(),
                                     [](const ListedFile& f) { return !f.engineEntry.empty(); });
    ASSERT_NE(engine, list.end());
    EXPECT_EQ(engine->engineEntry, "bin\\setup.exe*" + o.engineArgs);
  }
}

TEST_F(VpackRoundTrip, ExtractReproducesTheFolderWithTimeStamps) {
  const BuildResult r = Build(Options());
  EXPECT_EQ(r.files, files_.size());
  EXPECT_GE(r.storedBlocks, 1u);

  const PackageReader reader(Path("out.exe"));
  std::map<std::string, ListedFile> listed;
  for (const ListedFile& f : ListFiles(reader))
    listed[f.name] = f;
  ASSERT_EQ(listed.size(), files_.size());
  EXPECT_EQ(listed["docs\\deep\\nested\\big.log"].blocks, 7u);
  EXPECT_EQ(listed["docs\\deep\\nested\\big.log"].size, 50000u);
  EXPECT_EQ(listed["docs\\empty.txt"].size, 0u);
  EXPECT_EQ(listed["bin\\setup.exe"].dosDateTime, 1248086749u);
  // Stored: length word + header + 0 byte + the data, not a byte more.
  EXPECT_EQ(listed["bin\\setup.exe"].packedSize,
            4 + package::MakeFileHeader("bin\\setup.exe*", 1248086749u).size() + 1 + 5000);
  bool sawStored = false, sawZlib = false;
  reader.Walk({}, [&](const PayloadBlock& b) {
    (b.frame.compressed ? sawZlib : sawStored) = true;
    return true;
  });
  EXPECT_TRUE(sawStored && sawZlib);

  const ExtractResult x = Extract({Path("out.exe"), Path("unpacked"), true, {}});
  EXPECT_TRUE(x.refused.empty());
  EXPECT_EQ(x.engineEntry, "bin\\setup.exe*");
  EXPECT_EQ(x.blocks, r.fileBlocks);
  std::size_t seen = 0;
  for (const auto& e : fs::recursive_directory_iterator(dir_ / "unpacked")) {
    if (!e.is_regular_file()) continue;
    ++seen;
    const fs::path rel = e.path().lexically_relative(dir_ / "unpacked");
    ASSERT_TRUE(files_.count(rel.generic_string())) << rel;
    EXPECT_EQ(ReadFile(e.path()), files_[rel.generic_string()]) << rel;
    // Down to the even second, as DOS stamps hold it.
    const auto src = fs::last_write_time(dir_ / "src" / rel);
    const auto srcSeconds =
        std::chrono::floor<std::chrono::seconds>(src).time_since_epoch().count();
    const auto want = srcSeconds - (((srcSeconds % 2) + 2) % 2);
    EXPECT_EQ(
        std::chrono::floor<std::chrono::seconds>(e.last_write_time()).time_since_epoch().count(),
        want)
        << rel;
  }
  EXPECT_EQ(seen, files_.size());
  EXPECT_EQ(fs::last_write_time(dir_ / "unpacked/readme.txt"),
            LocalFileTime(2021, 6, 15, 13, 45, 16));
}

TEST_F(VpackRoundTrip, BlocksThatDoNotShrinkAreStoredOthersCompressed) {
  // Random data is stored; a block that is random only in part still
  // compresses (the quick incompressibility probe must not store it).
  WriteFile(dir_ / "big/random.bin", RandomBytes(1 << 20, 3));
  WriteFile(dir_ / "big/half.bin", RandomBytes(600000, 4) + std::string(448576, 'z'));
  BuildOptions o = Options();
  o.sourceDir = Path("big");
  o.engine.clear();
  o.blockSize = 1 << 20;
  Build(o);
  std::map<std::string, ListedFile> listed;
  for (const ListedFile& f : ListFiles(PackageReader(o.outputPath)))
    listed[f.name] = f;
  EXPECT_EQ(listed["random.bin"].packedSize,
            4 + package::MakeFileHeader("random.bin", listed["random.bin"].dosDateTime).size() + 1 +
                (1 << 20));
  EXPECT_LT(listed["half.bin"].packedSize, 610000u);
  EXPECT_EQ(listed["half.bin"].size, 1u << 20);
}

TEST_F(VpackRoundTrip, OutputDoesNotDependOnTheThreadCount) {
  BuildOptions one = Options("one.exe"), many = Options("many.exe");
  one.threads = 1;
  many.threads = 4;
  many.blockSize = one.blockSize = 1024; // many blocks in flight at once
  Build(one);
  Build(many);
  EXPECT_EQ(ReadFile(Path("one.exe")), ReadFile(Path("many.exe")));
}

TEST_F(VpackRoundTrip, EveryLevelVerifiesAndExtractsByteForByteAtFullBlockSize) {
  // Blocks as large as in real packages, of every kind the compressor meets:
  // text spanning blocks, random data (the probe stores it), zeros, a tail
  // block, small files.
  std::string text;
  for (int i = 0; text.size() < 2'600'000; ++i)
    text += "entry " + std::to_string(i * 2654435761u % 1000003) + " of the log, level " +
            std::to_string(i % 7) + "\n";
  std::map<std::string, std::string> files = {
      {"text.log", text},
      {"media.bin", RandomBytes((1 << 20) + 70000, 21)},
      {"disk.img", std::string((1 << 20) + 5000, '\0')},
  };
  for (int i = 0; i < 20; ++i)
    files["small/f" + std::to_string(i) + ".txt"] = text.substr(i * 1000, 300 + i * 97);
  for (const auto& [name, data] : files)
    WriteFile(dir_ / "mixed" / name, data);

  const CompressorKind& kind = BuildCompressor();
  for (int level : {1, kind.defaultLevel, kind.maxLevel}) {
    SCOPED_TRACE("level " + std::to_string(level));
    BuildOptions o = Options("level" + std::to_string(level) + ".exe");
    o.sourceDir = Path("mixed");
    o.engine.clear();
    o.blockSize = 1 << 20;
    o.level = level;
    const BuildResult r = Build(o);
    EXPECT_EQ(r.storedBlocks, 2u); // the random blocks
    EXPECT_LT(r.outputBytes, r.inputBytes / 2);
    const VerifyReport v = Verify(o.outputPath);
    EXPECT_TRUE(v.Ok()) << (v.problems.empty() ? "" : v.problems[0].what);
    const std::string target = Path("unpacked" + std::to_string(level));
    const ExtractResult x = Extract({o.outputPath, target, true, {}});
    EXPECT_EQ(x.files.size(), files.size());
    for (const auto& [name, data] : files)
      EXPECT_TRUE(ReadFile(fs::path(target) / name) == data) << name;
  }
}

TEST_F(VpackRoundTrip, DefaultGivesBlocksUnder64KiBTheSmallBlockLevel) {
  std::string text;
  for (int i = 0; text.size() < 300000; ++i)
    text += "row " + std::to_string(i * 40503u % 65537) + ";" + std::to_string(i % 13) + "\n";
  WriteFile(dir_ / "two/small.csv", text.substr(0, 40000));
  WriteFile(dir_ / "two/large.csv", text);
  const CompressorKind& kind = BuildCompressor();
  ASSERT_NE(kind.defaultLevel, kind.smallBlockLevel);
  auto packed = [&](std::optional<int> level) {
    BuildOptions o = Options("two.exe");
    o.sourceDir = Path("two");
    o.engine.clear();
    o.blockSize = 1 << 20;
    o.level = level;
    Build(o);
    std::map<std::string, std::uint64_t> sizes;
    for (const ListedFile& f : ListFiles(PackageReader(o.outputPath)))
      sizes[f.name] = f.packedSize;
    return sizes;
  };
  const auto byDefault = packed({});
  const auto large = packed(kind.defaultLevel);
  const auto small = packed(kind.smallBlockLevel);
  EXPECT_EQ(byDefault.at("large.csv"), large.at("large.csv"));
  EXPECT_EQ(byDefault.at("small.csv"), small.at("small.csv"));
  EXPECT_LT(small.at("small.csv"), large.at("small.csv"));
}

TEST_F(VpackRoundTrip, AgentCopyIsTheStubAndHeaderWithAgentTrailer) {
  BuildOptions o = Options();
  o.carryAgent = true;
  o.agentName = "tools\\Agent.exe"; // only the file name part is used
  o.endMarker = true;
  Build(o);
  const ExtractResult x = Extract({Path("out.exe"), Path("unpacked"), true, {}});
  ASSERT_EQ(fs::path(x.agentCopy), dir_ / "unpacked" / "Agent.exe");
  const package::TGFileInfo agent(x.agentCopy);
  const package::TGFileInfo setup(Path("out.exe"));
  EXPECT_TRUE(agent.IsUpdateAgent());
  EXPECT_EQ(agent.UpdateInfo(), setup.UpdateInfo());
  EXPECT_EQ(agent.trailer().filesCount, setup.trailer().filesCount);
  const std::string image = ReadFile(x.agentCopy);
  EXPECT_EQ(image.size(), setup.PayloadStart() + package::kTrailerSize);
  EXPECT_EQ(image.substr(252, 4), std::string(4, '\0')); // no end marker
  PackageReader reader(x.agentCopy);
  std::size_t blocks = 0;
  reader.Walk({}, [&](const PayloadBlock&) { return ++blocks, true; });
  EXPECT_EQ(blocks, 0u);
}

TEST_F(VpackRoundTrip, SameNameBlocksAppendAnyCase) {
  // Windows sees one file: the second block appends, in order.
  WriteFile(dir_ / "raw.exe",
            RawPackage({{"Dir\\A.txt", "first,"}, {"other.txt", "x"}, {"dir/a.TXT", "second"}}));
  const PackageReader reader(Path("raw.exe"));
  const auto list = ListFiles(reader);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].blocks, 2u);
  EXPECT_EQ(list[0].size, 12u);
  const ExtractResult x = Extract({Path("raw.exe"), Path("out"), true, {}});
  EXPECT_EQ(x.files.size(), 2u);
  EXPECT_EQ(ReadFile(dir_ / "out/Dir/A.txt"), "first,second");
}

TEST_F(VpackRoundTrip, BuilderRefusesAndLeavesNothingBehind) {
  WriteFile(dir_ / "packaged.exe", RawPackage({{"a", "b"}}));
  struct Case {
    const char* what;
    std::function<void(BuildOptions&)> set;
    const char* message;
  };
  const std::vector<Case> cases = {
      {"unknown engine", [](BuildOptions& o) { o.engine = "nope.exe"; }, "nope.exe"},
      {"output inside the source",
       [&](BuildOptions& o) { o.outputPath = Path("src/docs/out.exe"); }, "inside"},
      {"stub already a package", [&](BuildOptions& o) { o.stubPath = Path("packaged.exe"); },
       "already carries"},
      {"download settings need version 3",
       [](BuildOptions& o) {
         o.downloadName = "x.exe";
         o.versionByte = 2;
       },
       "version 3"},
      {"bad language file",
       [&](BuildOptions& o) {
         WriteFile(dir_ / "bad.ini", "[ENGLISH]\ns1=x\nno equals sign\n");
         o.languageFile = Path("bad.ini");
       },
       "line 3"},
      {"level past the compressor's range",
       [](BuildOptions& o) { o.level = BuildCompressor().maxLevel + 1; }, "level must be 0.."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    BuildOptions o = Options();
    c.set(o);
    try {
      Build(o);
      ADD_FAILURE() << "no error";
    } catch (const Error& e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
    }
    EXPECT_FALSE(fs::exists(o.outputPath));
    EXPECT_FALSE(fs::exists(o.outputPath + ".vpack-tmp"));
  }
}

TEST(VpackLanguageTable, RecordsNestInsideTheTable) {
  const std::string table = LanguageTableFromIni(
      "\xEF\xBB\xBF[ENGLISH]\r\ns1 = Hello \r\nBtnText=|&OK|&Cancel|\r\n# comment\r\n"
      "[*]\r\ns1=Any\r\n");
  // Records use "|" unless a field holds it; the table picks a separator that
  // no record holds ("*" is taken by the record named "*").
  ASSERT_EQ(util::SUB::FieldCount(table), 2);
  const std::string english = util::SUB::GetField(table, 0);
  EXPECT_EQ(util::SUB::GetField(english, 0), "ENGLISH");
  EXPECT_EQ(util::SUB::GetValue(english, "s1"), "Hello");
  EXPECT_EQ(util::SUB::GetValue(english, "BtnText"), "|&OK|&Cancel|");
  EXPECT_EQ(util::SUB::GetValue(package::SelectLanguageRecord(table, "FRENCH"), "s1"), "Any");

  for (const auto& [text, line] :
       std::vector<std::pair<std::string, std::string>>{{"s1=x\n", "line 1"},
                                                        {"[A]\n\n[B\n", "line 3"},
                                                        {"[A]\n=x\n", "line 2"},
                                                        {"; only a comment\n", "no [SECTION]"}}) {
    try {
      LanguageTableFromIni(text);
      ADD_FAILURE() << text;
    } catch (const Error& e) {
      EXPECT_NE(std::string(e.what()).find(line), std::string::npos) << e.what();
    }
  }
}

} // namespace
} // namespace pack
