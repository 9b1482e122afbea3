// What a new vendor gets wrong with vpack, and what vpack says about it.
#include <gtest/gtest.h>

#include <sstream>

#include <nlohmann/json.hpp>

#include "pack/builder.h"
#include "pack/error.h"
#include "pack/progress_printer.h"
#include "vpack_test_util.h"

namespace pack {
namespace {

using namespace vpack_test;

class VpackVendorMistakes : public ScratchTest {
protected:
  void SetUp() override {
    ScratchTest::SetUp();
    WriteFile(dir_ / "src/Setup.exe", FakeStub());
    WriteFile(dir_ / "src/bin/tool.exe", FakeStub());
    WriteFile(dir_ / "src/readme.txt", std::string(40000, 'r'));
  }
  std::vector<std::string> BuildArgs(const std::string& engine) {
    return {"build", Path("src"),     "--stub",   Path("stub.exe"),
            "-o",    Path("out.exe"), "--engine", engine, "--force"};
  }
};

// The engine is named relative to the source folder, as a shell completes it.
TEST_F(VpackVendorMistakes, EngineNamesRelativeToTheSourceFolder) {
  const struct {
    const char* given;
    const char* entry; // empty: refused
  } cases[] = {
      {"Setup.exe", "Setup.exe*"},
      {"./Setup.exe", "Setup.exe*"},
      {".\\Setup.exe", "Setup.exe*"},
      {"././bin/tool.exe", "bin\\tool.exe*"},
      {".//Setup.exe", ""},
      {"../src/Setup.exe", ""},
      {"./nope.exe", ""},
      {"./", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.given);
    std::string out, err;
    const int code = RunVpack(BuildArgs(c.given), out, err);
    if (*c.entry == '\0') {
      EXPECT_NE(code, 0);
      EXPECT_NE(err.find("not a file of the source folder"), std::string::npos) << err;
      continue;
    }
    ASSERT_EQ(code, 0) << err;
    EXPECT_NE(out.find(std::string("engine entry: ") + c.entry), std::string::npos) << out;
  }
}

// An update URL or download source the stub cannot fetch from fails on the
// user's machine; vpack refuses it at build time.
TEST_F(VpackVendorMistakes, LocationsAreCheckedForSchemeAndSyntax) {
  const struct {
    const char* option;
    const char* value;
    const char* problem; // empty: accepted
  } cases[] = {
      {"--update-url", "https://updates.example.com/app", ""},
      {"--update-url", "HTTP://updates.example.com:8080/app?x=1", ""},
      {"--update-url", "C:\\Updates\\My App", ""},
      {"--update-url", "\\\\server\\share\\app", ""},
      {"--update-url", "", "is empty"},
      {"--update-url", "updates.example.com/app", "has no scheme"},
      {"--update-url", "http://updates.example.com/my app", "contains a blank"},
      {"--update-url", "http://updates.example.com/\tapp", "control character"},
      {"--update-url", "ftp://updates.example.com/app", "scheme ftp://"},
      {"--update-url", "http:///app", "no host"},
      {"--download-source", "https://dl.example.com/files", ""},
      {"--download-source", "dl.example.com/files", "has no scheme"},
      {"--download-source", " http://dl.example.com", "contains a blank"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.option) + " '" + c.value + "'");
    std::vector<std::string> args = BuildArgs("Setup.exe");
    args.insert(args.end(), {c.option, c.value, "-q"});
    std::string out, err;
    const int code = RunVpack(args, out, err);
    if (*c.problem == '\0') {
      EXPECT_EQ(code, 0) << err;
    } else {
      EXPECT_NE(code, 0);
      EXPECT_NE(err.find(c.problem), std::string::npos) << err;
      EXPECT_FALSE(fs::exists(Path("out.exe")));
    }
    fs::remove(Path("out.exe"));
  }
  // The agent needs a location to look at.
  std::string out, err;
  EXPECT_NE(RunVpack({"agent", "--stub", Path("stub.exe"), "-o", Path("ship"), "--update-url",
                      "updates.example.com", "--update-info", "App.info", "--agent-name",
                      "App.AutoUpdate.exe"},
                     out, err),
            0);
  EXPECT_NE(err.find("has no scheme"), std::string::npos) << err;
}

TEST_F(VpackVendorMistakes, VersionIsPrinted) {
  std::string out, err;
  EXPECT_EQ(RunVpack({"--version"}, out, err), 0);
  EXPECT_EQ(out.rfind("vpack ", 0), 0u) << out;
  EXPECT_NE(out.find('.'), std::string::npos) << out;
}

// A large stub around a small, well compressed payload: the ratio is that of
// the payload, not of the whole file.
TEST_F(VpackVendorMistakes, SummaryRatioCountsThePayloadOnly) {
  WriteFile(dir_ / "stub.exe", FakeStub(400000));
  std::string out, err;
  ASSERT_EQ(RunVpack(BuildArgs("Setup.exe"), out, err), 0) << err;
  const auto at = out.find("(payload ");
  ASSERT_NE(at, std::string::npos) << out;
  const double percent = std::stod(out.substr(at + 9));
  EXPECT_GT(percent, 0.1) << out;
  EXPECT_LT(percent, 20.0) << out;
}

// On a terminal the counter is rewritten in place; whatever follows (a
// warning, the summary) must start on a line of its own.
TEST(VpackProgressPrinter, TheCounterLineIsEnded) {
  for (bool terminal : {true, false}) {
    SCOPED_TRACE(terminal ? "terminal" : "log");
    std::ostringstream err;
    ProgressPrinter printer(err, false, terminal);
    BuildProgress p;
    p.bytesTotal = 64u << 20;
    p.blocksTotal = 64;
    for (; p.blocksDone < 64; ++p.blocksDone, p.bytesDone += 1u << 20)
      printer(p);
    printer(p);
    printer.End();
    const std::string text = err.str();
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '\n') << text;
    EXPECT_NE(text.find("packing 100%"), std::string::npos) << text;
    printer.End(); // a second end adds nothing
    EXPECT_EQ(err.str(), text);
  }
}

// An earlier release under the output's name is kept unless --force; a
// refused build writes nothing, not even the files whose names were free.
TEST_F(VpackVendorMistakes, ExistingOutputsNeedForce) {
  const struct {
    const char* name;
    const char* existing;
    std::vector<std::string> extra;
    const char* written; // by a refused build: must not appear
  } cases[] = {
      {"the package", "out.exe", {}, ""},
      {"the web stub", "web.exe", {"--web-stub", Path("web.exe"), "--download-source", "http://d.example.com"}, "out.exe"},
      {"a CD set's first volume", "out.exe.001", {"--cd-layout"}, "out.exe"},
      {"a later volume", "out.exe.002", {"--volume-size", "20K", "--block-size", "4K"}, "out.exe"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    for (const char* f : {"out.exe", "out.exe.001", "out.exe.002", "web.exe"})
      fs::remove(Path(f));
    WriteFile(dir_ / c.existing, "an earlier release");
    WriteFile(dir_ / "src/big.bin", RandomBytes(60000, 5));
    std::vector<std::string> args = BuildArgs("Setup.exe");
    args.pop_back(); // --force
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    args.push_back("-q");
    std::string out, err;
    EXPECT_EQ(RunVpack(args, out, err), 1);
    EXPECT_NE(err.find(c.existing + std::string(" exists; give --force")), std::string::npos)
        << err;
    EXPECT_TRUE(ReadFile(dir_ / c.existing) == "an earlier release");
    if (*c.written) {
      EXPECT_FALSE(fs::exists(dir_ / c.written));
    }
    args.push_back("--force");
    EXPECT_EQ(RunVpack(args, out, err), 0) << err;
    EXPECT_FALSE(ReadFile(dir_ / c.existing) == "an earlier release");
    fs::remove(dir_ / "src/big.bin");
  }
}

// A stub or an engine that Windows cannot start is refused at build time,
// not found out on the user's machine.
TEST_F(VpackVendorMistakes, StubAndEngineMustBePrograms) {
  WriteFile(dir_ / "src/run.cmd", "@echo off\r\n");
  WriteFile(dir_ / "src/dos.exe", "MZ" + std::string(200, '\0'));
  const struct {
    const char* stub;
    const char* engine;
    const char* problem; // "" builds
  } cases[] = {
      {"stub.exe", "Setup.exe", ""},
      {"stub.exe", "run.cmd", ""},
      {"src/readme.txt", "Setup.exe", "is not a stub"},
      {"stub.exe", "readme.txt", "the engine readme.txt is not a Windows program"},
      {"stub.exe", "dos.exe", "the engine dos.exe is not a Windows program"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.stub) + " " + c.engine);
    std::vector<std::string> args = BuildArgs(c.engine);
    args[3] = Path(c.stub);
    fs::remove(Path("out.exe"));
    std::string out, err;
    const int code = RunVpack(args, out, err);
    if (*c.problem == '\0') {
      EXPECT_EQ(code, 0) << err;
      continue;
    }
    EXPECT_EQ(code, 1);
    EXPECT_NE(err.find(c.problem), std::string::npos) << err;
    EXPECT_FALSE(fs::exists(Path("out.exe")));
  }
}

// A package's language texts with a key the stub does not read.
TEST_F(VpackVendorMistakes, InfoWarnsOnUnknownLanguageKeys) {
  WriteFile(dir_ / "texts.ini", "[*]\ns0=My Brand\ns11x=Download?\n");
  std::vector<std::string> args = BuildArgs("Setup.exe");
  args.insert(args.end(), {"--languages", Path("texts.ini"), "-q"});
  std::string out, err;
  ASSERT_EQ(RunVpack(args, out, err), 0) << err;
  EXPECT_EQ(RunVpack({"info", Path("out.exe")}, out, err), 0);
  EXPECT_NE(err.find("warning: unknown language key s11x in [*] (did you mean s11?)"),
            std::string::npos)
      << err;
  EXPECT_EQ(err.find("key s0 "), std::string::npos) << err;
}

// What a build script reads: the same verdict as the exit code, and each
// problem with its place.
TEST_F(VpackVendorMistakes, VerifyJson) {
  std::string out, err;
  ASSERT_EQ(RunVpack(BuildArgs("Setup.exe"), out, err), 0) << err;
  ASSERT_EQ(RunVpack({"verify", Path("out.exe"), "--json"}, out, err), 0) << out;
  nlohmann::json j = nlohmann::json::parse(out);
  EXPECT_EQ(j["file"], Path("out.exe"));
  EXPECT_EQ(j["package"], Path("out.exe"));
  EXPECT_EQ(j["ok"], true);
  EXPECT_EQ(j["volumes"], 1);
  EXPECT_EQ(j["blocks"], 3);
  EXPECT_EQ(j["problems"], nlohmann::json::array());

  ASSERT_EQ(RunVpack({"info", Path("out.exe"), "--json"}, out, err), 0);
  std::string bytes = ReadFile(dir_ / "out.exe");
  bytes[nlohmann::json::parse(out)["payloadStart"].get<std::size_t>() + 30] ^= 0x55;
  WriteFile(dir_ / "out.exe", bytes);
  EXPECT_EQ(RunVpack({"verify", Path("out.exe"), "--json"}, out, err), 1);
  j = nlohmann::json::parse(out);
  EXPECT_EQ(j["ok"], false);
  bool blockNamed = false; // the damaged block, with its file offset
  for (const auto& p : j["problems"])
    blockNamed = blockNamed || (p["what"].get<std::string>().find("file block 1") == 0 &&
                                p["where"].get<std::string>().find("offset") != std::string::npos);
  EXPECT_TRUE(blockNamed) << out;
}

} // namespace
} // namespace pack
