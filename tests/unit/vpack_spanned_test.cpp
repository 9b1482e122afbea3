// Spanned output of vpack: volume names, the trailer of every volume, the
// checksum per volume, blocks kept whole, the CD-style launcher, and the
// round trip through vpack's extractor and through the stub's unpacker.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "pack/builder.h"
#include "pack/cli.h"
#include "pack/error.h"
#include "pack/extractor.h"
#include "pack/inspector.h"
#include "pack/reader.h"
#include "package/file_info.h"
#include "package/trailer.h"
#include "package/unpack.h"
#include "package/volume_set.h"
#include "util/text.h"
#include "vpack_test_util.h"

namespace pack {
namespace {

using namespace vpack_test;

// The stub's unpacker with the target folder in memory; the volumes it
// reads are real files.
class MemoryHost : public package::UnpackHost {
public:
  std::map<std::string, std::string> files;
  std::vector<std::string> questions, errors;
  std::string open;

  void Pump() override {}
  void Wait(int) override {}
  bool FileExists(const std::string& p) override { return files.count(p) || fs::exists(p); }
  bool CreateFolder(const std::string&) override { return true; }
  bool AbortRequested() override { return false; }
  bool BeginFile(const std::string& p) override {
    open = p;
    files[p];
    return true;
  }
  bool WriteFileData(std::string_view d) override {
    files[open].append(d);
    return true;
  }
  void EndFile(std::uint32_t, bool) override { open.clear(); }
  bool WriteNewFile(const std::string& p, std::string_view d, const std::string&) override {
    files[p] = std::string(d);
    return true;
  }
  std::string LastErrorText() override { return {}; }
  double FreeBytes(const std::string&) override { return 1e12; }
  std::int64_t FileSize(const std::string& p) override { return std::int64_t(files[p].size()); }
  void ShowError(const std::string& m) override { errors.push_back(m); }
  bool AskOkCancel(const std::string& m, const std::string&, const std::string&, int) override {
    questions.push_back(m);
    return false;
  }
  void EjectMedia(const std::string&) override {}
  void SuppressAutoPlay() override {}
  void Trace(const std::string&) override {}
  std::uint64_t Milliseconds() override { return 0; }
  std::uint32_t ProcessId() override { return 1; }
};

package::Trailer TrailerOf(const std::string& bytes) {
  return package::DecodeTrailer(
      reinterpret_cast<const unsigned char*>(bytes.data() + bytes.size() - package::kTrailerSize),
      package::kTrailerSize);
}

class VpackSpanned : public ScratchTest {
protected:
  void SetUp() override {
    ScratchTest::SetUp();
    std::string text;
    for (int i = 0; text.size() < 30000; ++i)
      text += "line " + std::to_string(i) + " of the manual\n";
    // Random data is stored, so its blocks have a known size (about 4 KiB
    // at the 4 KiB block size used here).
    files_ = {{"Engine.exe", FakeProgram(RandomBytes(3000, 1))},
              {"data/random.bin", RandomBytes(40000, 2)},
              {"manual.txt", text},
              {"empty.txt", ""}};
    for (const auto& [name, data] : files_)
      WriteFile(dir_ / "src" / name, data);
  }

  BuildOptions Options(const std::string& out, std::uint64_t volumeSize, bool cd = false) {
    BuildOptions o;
    o.force = true; // tests build one output again and again
    o.sourceDir = Path("src");
    o.stubPath = Path("stub.exe");
    o.outputPath = Path(out);
    o.engine = "Engine.exe";
    o.blockSize = 4096;
    o.volumeSize = volumeSize;
    o.cdLayout = cd;
    o.warn = [this](const std::string& w) { warnings_.push_back(w); };
    return o;
  }

  // Everything in the scratch folder but the source and the stub.
  std::set<std::string> Outputs() const {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dir_)) {
      const std::string n = e.path().filename().string();
      if (n != "src" && n != "stub.exe") names.insert(n);
    }
    return names;
  }

  // The source files as the stub's unpacker writes them ("T/" + name).
  std::map<std::string, std::string> Expected() const {
    std::map<std::string, std::string> m;
    for (const auto& [name, data] : files_)
      m["T/" + util::ReplaceAll(name, "/", "\\")] = data;
    return m;
  }

  std::map<std::string, std::string> files_;
  std::vector<std::string> warnings_;
};

TEST_F(VpackSpanned, VolumeNamesTrailersAndChecksums) {
  struct Case {
    const char* what;
    const char* out;
    bool cd;
    const char* first; // volume 1
    const char* second;
  };
  const Case cases[] = {
      {"setup is volume 1", "setup.exe", false, "setup.exe", "setup.exe.002"},
      {"volume 1 named .001", "cd.exe.001", false, "cd.exe.001", "cd.exe.002"},
      {"CD-style set", "setup.exe", true, "setup.exe.001", "setup.exe.002"},
  };
  const std::uint64_t kVolume = 12000;
  const std::string stub = ReadFile(Path("stub.exe"));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(dir_ / "out");
    for (const std::string& n : Outputs())
      fs::remove(dir_ / n);
    const BuildResult r = Build(Options(c.out, kVolume, c.cd));
    const std::size_t n = r.volumes.size();
    ASSERT_GE(n, 5u);
    EXPECT_EQ(fs::path(r.volumes[0].path).filename(), c.first);
    EXPECT_EQ(fs::path(r.volumes[1].path).filename(), c.second);
    std::set<std::string> want;
    if (c.cd) want.insert(c.out);
    for (std::size_t j = 0; j < n; ++j) {
      EXPECT_EQ(r.volumes[j].path, package::VolumeFileName(r.volumes[0].path, int(j) + 1));
      want.insert(fs::path(r.volumes[j].path).filename().string());
    }
    EXPECT_EQ(Outputs(), want); // no temporary file, nothing else

    std::uint32_t blocks = 0;
    for (std::size_t j = 0; j < n; ++j) {
      SCOPED_TRACE("volume " + std::to_string(j + 1));
      const std::string path = r.volumes[j].path;
      const std::string bytes = ReadFile(path);
      EXPECT_LE(bytes.size(), kVolume);
      EXPECT_EQ(bytes.size(), r.volumes[j].bytes);
      const package::Trailer t = TrailerOf(bytes);
      EXPECT_EQ(t.magic, package::kMagic);
      EXPECT_EQ(t.version, 2);
      EXPECT_EQ(t.reserved0, 1);
      EXPECT_EQ(t.trailerLength, package::kTrailerSize);
      EXPECT_EQ(t.filesCount, r.fileBlocks); // the whole package, on every volume
      // The set's identity (volume 1's, not zero) and the volume's number.
      const package::Trailer first = TrailerOf(ReadFile(r.volumes[0].path));
      EXPECT_NE(first.reserved20, package::Trailer{}.reserved20);
      EXPECT_EQ(t.reserved20, package::SetMark(first.reserved20.data(), int(j) + 1));
      EXPECT_EQ((t.flags & package::kFlagSpanned) != 0, j + 1 < n);
      EXPECT_EQ(t.flags & package::kFlagSpanCdLevel, 0);
      // Summed per volume (all of them are small enough).
      EXPECT_NE(t.checksum, package::kChecksumOff);
      EXPECT_EQ(t.checksum, package::PackageChecksum(path, package::kTrailerSize));
      EXPECT_EQ(t.checksum, r.volumes[j].checksum);
      if (j == 0) {
        EXPECT_EQ(t.headerStart, stub.size());
        EXPECT_EQ(bytes.compare(0, 248, stub, 0, 248), 0);
      } else {
        EXPECT_EQ(t.headerStart, 0u);
        EXPECT_FALSE(package::IsPeFile(path)); // no stub image
      }
      blocks += r.volumes[j].blocks;
      if (j > 0) {
        EXPECT_GE(r.volumes[j].blocks, 1u);
      }
    }
    EXPECT_EQ(blocks, r.fileBlocks);

    // Every block lies whole inside one volume: the reader checks each
    // frame against its volume's trailer.
    std::vector<std::uint32_t> perVolume(n);
    PackageReader(r.volumes[0].path).Walk({}, [&](const PayloadBlock& b) {
      ++perVolume[b.volume->number - 1];
      return true;
    });
    for (std::size_t j = 0; j < n; ++j)
      EXPECT_EQ(perVolume[j], r.volumes[j].blocks);

    if (c.cd) {
      const std::string launcher = ReadFile(Path(c.out));
      const package::Trailer t = TrailerOf(launcher);
      EXPECT_EQ(t.flags & (package::kFlagSpanCdLevel | package::kFlagSpanned),
                package::kFlagSpanCdLevel);
      EXPECT_EQ(t.filesCount, r.fileBlocks);
      EXPECT_EQ(t.checksum, package::PackageChecksum(Path(c.out), package::kTrailerSize));
      // The stub image and the header blocks of volume 1, and no payload.
      const PackageReader first(r.volumes[0].path);
      EXPECT_EQ(launcher.size(), first.PayloadStart() + package::kTrailerSize);
      EXPECT_EQ(launcher.compare(0, first.PayloadStart(), ReadFile(r.volumes[0].path), 0,
                                 first.PayloadStart()),
                0);
    }
  }
}

TEST_F(VpackSpanned, RoundTripThroughExtractAndTheStubsUnpacker) {
  for (const bool cd : {false, true}) {
    SCOPED_TRACE(cd ? "CD-style set" : "setup is volume 1");
    fs::remove_all(dir_ / "out");
    BuildOptions o = Options("setup.exe", 12000, cd);
    o.carryAgent = true;
    o.agentName = "Agent.exe";
    const BuildResult r = Build(o);
    const std::size_t n = r.volumes.size();
    ASSERT_GE(n, 5u);

    // vpack, given the file the user starts.
    const ExtractResult x = Extract({Path("setup.exe"), Path("out"), true, {}});
    EXPECT_TRUE(x.refused.empty());
    EXPECT_EQ(x.engineEntry, "Engine.exe*");
    EXPECT_EQ(x.blocks, r.fileBlocks);
    for (const auto& [name, data] : files_)
      EXPECT_EQ(ReadFile(dir_ / "out" / name), data) << name;
    // The agent copy comes from volume 1 (a name ending in .exe or .exe.001).
    EXPECT_EQ(ReadFile(x.agentCopy).size(),
              PackageReader(r.volumes[0].path).PayloadStart() + package::kTrailerSize);

    const VerifyReport v = Verify(Path("setup.exe"));
    EXPECT_TRUE(v.Ok()) << (v.Ok() ? "" : v.problems[0].where + ": " + v.problems[0].what);
    EXPECT_EQ(v.volumes, int(n));
    EXPECT_EQ(v.package, r.volumes[0].path);
    std::map<std::string, int> volumeOf;
    for (const ListedFile& f : ListFiles(PackageReader(UnpackedPackageFile(Path("setup.exe")))))
      volumeOf[f.name] = f.volume;
    EXPECT_EQ(volumeOf["data\\random.bin"], 1);
    EXPECT_GT(volumeOf["Engine.exe"], 2);

    // The stub's unpacker, on the file it is given: the setup itself, or
    // the .001 file that the launcher's copy is started with.
    MemoryHost host;
    std::vector<std::string> progress;
    package::UnpackRequest req;
    req.packageFile = cd ? Path("setup.exe") + ".001" : Path("setup.exe");
    req.targetFolder = "T";
    req.agentName = "Agent.exe";
    req.progress = [&](int kind, int, int high, int, int, int) {
      progress.push_back(kind == 0 ? "setup " + std::to_string(high) : "step");
    };
    const package::UnpackResult u = package::ExtractPackage(req, host);
    EXPECT_TRUE(u.intact);
    EXPECT_FALSE(u.cancelled || u.damaged);
    EXPECT_EQ(u.engineEntry, "Engine.exe*");
    EXPECT_TRUE(host.questions.empty());
    EXPECT_TRUE(host.errors.empty());
    const std::string agent = host.files["T/Agent.exe"];
    host.files.erase("T/Agent.exe");
    EXPECT_EQ(agent, ReadFile(x.agentCopy));
    EXPECT_EQ(host.files, Expected());
    // One step per file and one per change of volume.
    std::vector<std::string> want = {"setup 0", "setup " + std::to_string(r.fileBlocks)};
    want.resize(2 + files_.size() + (n - 1), "step");
    EXPECT_EQ(progress, want);
  }
}

TEST_F(VpackSpanned, LargeVolumesAreNotSummedAndADamagedSmallOneStopsEveryReader) {
  WriteFile(dir_ / "src/more.bin", RandomBytes(70000, 3));
  files_["more.bin"] = ReadFile(dir_ / "src/more.bin");
  const BuildResult r = Build(Options("setup.exe", 60000));
  ASSERT_EQ(r.volumes.size(), 3u);
  for (const WrittenFile& v : r.volumes) {
    SCOPED_TRACE(v.path);
    if (v.bytes > package::kChecksumMaxFile) {
      EXPECT_EQ(v.checksum, package::kChecksumOff);
    } else {
      EXPECT_EQ(v.checksum, package::PackageChecksum(v.path, package::kTrailerSize));
    }
  }
  const WrittenFile& last = r.volumes.back();
  ASSERT_LE(last.bytes, package::kChecksumMaxFile);
  ASSERT_NE(last.checksum, package::kChecksumOff);

  std::string bytes = ReadFile(last.path);
  bytes[100] ^= 0x01; // inside a stored block: the framing stays intact
  WriteFile(last.path, bytes);
  MemoryHost host;
  package::UnpackRequest req;
  req.packageFile = Path("setup.exe");
  req.targetFolder = "T";
  const package::UnpackResult u = package::ExtractPackage(req, host);
  EXPECT_FALSE(u.intact);
  // more.bin starts before the damaged volume and ends in it.
  EXPECT_GT(host.files["T/more.bin"].size(), 0u);
  EXPECT_LT(host.files["T/more.bin"].size(), files_["more.bin"].size());

  const VerifyReport v = Verify(Path("setup.exe"));
  ASSERT_EQ(v.problems.size(), 1u);
  EXPECT_EQ(v.problems[0].where, last.path);
  EXPECT_NE(v.problems[0].what.find("checksum mismatch"), std::string::npos);
  EXPECT_THROW(Extract({Path("setup.exe"), Path("out"), true, {}}), Error);
}

// A volume of another build (other content, or the same content cut at
// other places) is refused by verify as by the stub; a package of one file
// carries no mark, so its bytes are what they were before marks.
TEST_F(VpackSpanned, AVolumeOfAnotherBuildIsRefusedAndOneFileCarriesNoMark) {
  const BuildResult single = Build(Options("one.exe", 0));
  EXPECT_EQ(TrailerOf(ReadFile(single.volumes[0].path)).reserved20, package::Trailer{}.reserved20);

  Build(Options("setup.exe", 12000));
  fs::create_directories(dir_ / "other");
  const std::string otherSize = (dir_ / "other/setup.exe").string();
  BuildOptions o = Options("setup.exe", 14000);
  o.outputPath = otherSize;
  Build(o);
  WriteFile(dir_ / "src/manual.txt", files_["manual.txt"] + "!");
  const std::string otherContent = (dir_ / "other/content.exe").string();
  o = Options("setup.exe", 12000);
  o.outputPath = otherContent;
  Build(o);
  const std::string own = ReadFile(Path("setup.exe.002"));
  for (const std::string& from : {otherSize, otherContent}) {
    SCOPED_TRACE(from);
    WriteFile(dir_ / "setup.exe.002", ReadFile(from + ".002"));
    const VerifyReport v = Verify(Path("setup.exe"));
    ASSERT_FALSE(v.problems.empty());
    EXPECT_NE(v.problems[0].what.find("of another package"), std::string::npos)
        << v.problems[0].what;
  }
  // The set's own volumes, swapped.
  WriteFile(dir_ / "setup.exe.002", ReadFile(Path("setup.exe.003")));
  WriteFile(dir_ / "setup.exe.003", own);
  const VerifyReport v = Verify(Path("setup.exe"));
  ASSERT_FALSE(v.problems.empty());
  EXPECT_NE(v.problems[0].what.find("out of order"), std::string::npos) << v.problems[0].what;
}

TEST_F(VpackSpanned, ABlockLargerThanAVolumeGetsOneOfItsOwn) {
  // Only huge.bin makes a block (of 20,000 stored bytes) over the volume size.
  fs::remove_all(dir_ / "src/data");
  files_.erase("data/random.bin");
  WriteFile(dir_ / "src/huge.bin", RandomBytes(20000, 4));
  files_["huge.bin"] = ReadFile(dir_ / "src/huge.bin");
  BuildOptions o = Options("setup.exe", 12000);
  o.blockSize = 20000;
  const BuildResult r = Build(o);
  ASSERT_EQ(warnings_.size(), 1u) << ::testing::PrintToString(warnings_);
  EXPECT_NE(warnings_[0].find("huge.bin"), std::string::npos) << warnings_[0];
  int oversized = 0;
  for (std::size_t j = 0; j < r.volumes.size(); ++j) {
    if (r.volumes[j].bytes <= 12000) continue;
    ++oversized;
    EXPECT_EQ(r.volumes[j].blocks, 1u);
    EXPECT_NE(warnings_[0].find("volume " + std::to_string(j + 1) + " of its own"),
              std::string::npos)
        << warnings_[0];
  }
  EXPECT_EQ(oversized, 1);
  EXPECT_TRUE(Verify(Path("setup.exe")).Ok());
  const ExtractResult x = Extract({Path("setup.exe"), Path("out"), true, {}});
  EXPECT_EQ(ReadFile(dir_ / "out/huge.bin"), files_["huge.bin"]);
}

TEST_F(VpackSpanned, FailuresLeaveNoVolumeAndKeepAnEarlierBuild) {
  WriteFile(dir_ / "setup.exe", "earlier build");
  WriteFile(dir_ / "setup.exe.002", "earlier volume 2");
  struct Case {
    const char* what;
    std::function<void(BuildOptions&)> set;
    const char* message;
  };
  const std::vector<Case> cases = {
      {"volume smaller than the stub", [](BuildOptions& o) { o.volumeSize = 2000; },
       "more than the volume size"},
      {"CD-style output named .001", [&](BuildOptions& o) { o.outputPath = Path("setup.exe.001"); },
       "launcher"},
      {"failure after some volumes were written",
       [](BuildOptions& o) {
         o.progress = [](const BuildProgress& p) {
           if (p.blocksDone == 12) throw Error("stopped on purpose");
         };
       },
       "on purpose"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    BuildOptions o = Options("setup.exe", 12000, true);
    c.set(o);
    try {
      Build(o);
      ADD_FAILURE() << "no error";
    } catch (const Error& e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
    }
    EXPECT_EQ(Outputs(), (std::set<std::string>{"setup.exe", "setup.exe.002"}));
    EXPECT_EQ(ReadFile(dir_ / "setup.exe"), "earlier build");
  }
}

TEST_F(VpackSpanned, CommandLineBuildsListsAndVerifiesASet) {
  const auto run = RunVpack;
  std::string out, err;
  const std::vector<std::string> build = {
      "build",           Path("src"),    "--stub",     Path("stub.exe"), "-o",
      Path("setup.exe"), "--engine",     "Engine.exe", "--block-size",   "4K",
      "--cd-layout",     "--volume-size"};
  auto with = [&](const char* size) {
    std::vector<std::string> a = build;
    a.push_back(size);
    return a;
  };
  ASSERT_EQ(run(with("12K"), out, err), 0) << err;
  EXPECT_NE(out.find("launcher " + Path("setup.exe")), std::string::npos) << out;
  EXPECT_NE(out.find("volume 2 " + Path("setup.exe.002")), std::string::npos) << out;
  for (const auto& e : fs::directory_iterator(dir_)) {
    if (e.path().filename() != "src") {
      EXPECT_LE(fs::file_size(e.path()), 12u * 1024) << e.path();
    }
  }

  ASSERT_EQ(run({"list", Path("setup.exe")}, out, err), 0) << err;
  EXPECT_NE(err.find("listing " + Path("setup.exe.001")), std::string::npos) << err;
  EXPECT_NE(out.find("4 files, "), std::string::npos) << out;
  ASSERT_EQ(run({"verify", Path("setup.exe")}, out, err), 0) << out;
  EXPECT_NE(out.find("launcher of " + Path("setup.exe.001")), std::string::npos) << out;

  // A rebuild into fewer volumes names the volume left over.
  std::vector<std::string> again = with("40K");
  again.push_back("--force");
  ASSERT_EQ(run(again, out, err), 0) << err;
  EXPECT_NE(err.find("setup.exe.003 is left from an earlier build"), std::string::npos) << err;
}

} // namespace
} // namespace pack
