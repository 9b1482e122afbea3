// libFuzzer target for the stub's unpacker (package::ExtractPackage) with an
// in-memory host: the input is volume 1, a fixed small volume 2 lies beside
// it (reached when the input sets Spanned), volume 3 is never there and the
// disk prompt is cancelled. Checked on every input: each file written lies
// under the target folder by a name the name rule allows, files are begun
// and ended in pairs, the data handed over comes in bounded pieces and no
// block gives more than the most a block may hold.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "package/format.h"
#include "package/payload.h"
#include "package/unpack.h"

namespace {

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "unpack_fuzz: %s\n", what);
    std::abort();
  }
}

const std::string kTarget = "/T";

class Host : public package::UnpackHost {
public:
  void Pump() override {}
  void Wait(int) override {}
  bool AbortRequested() override { return false; }
  bool FileExists(const std::string& p) override { return access(p.c_str(), F_OK) == 0; }
  bool CreateFolder(const std::string& p) override {
    Check(p == kTarget, "a folder other than the target");
    return true;
  }
  bool BeginFile(const std::string& p) override {
    Check(!open_, "a file begun while another is open");
    Check(p.compare(0, kTarget.size() + 1, kTarget + "/") == 0, "a file outside the target");
    const std::string name = p.substr(kTarget.size() + 1);
    Check(package::IsSafeRelativeName(name), "a name the rule refuses");
    Check(package::PathFitsWindows(p), "a path Windows cannot create");
    open_ = true;
    blockBytes_ = 0;
    return true;
  }
  bool WriteFileData(std::string_view d) override {
    Check(open_, "data without an open file");
    Check(d.size() <= package::kDecodeChunk, "a piece larger than the decode chunk");
    blockBytes_ += d.size();
    Check(blockBytes_ <= package::kMaxBlockContent, "a block larger than the format allows");
    return true;
  }
  void EndFile(std::uint32_t, bool) override {
    Check(open_, "EndFile without BeginFile");
    open_ = false;
  }
  bool WriteNewFile(const std::string& p, std::string_view, const std::string&) override {
    Check(p.compare(0, kTarget.size() + 1, kTarget + "/") == 0, "an agent copy outside the target");
    Check(package::IsSafeRelativeName(p.substr(kTarget.size() + 1)), "an unsafe agent name");
    return true;
  }
  std::string LastErrorText() override { return {}; }
  double FreeBytes(const std::string&) override { return 1e9; }
  std::int64_t FileSize(const std::string&) override { return 0; }
  void ShowError(const std::string&) override {}
  bool AskOkCancel(const std::string&, const std::string&, const std::string&, int) override {
    return false;
  }
  void EjectMedia(const std::string&) override {}
  void SuppressAutoPlay() override {}
  void Trace(const std::string&) override {}
  std::uint64_t Milliseconds() override { return 0; }
  std::uint32_t ProcessId() override { return 1; }
  bool Open() const { return open_; }

private:
  bool open_ = false;
  std::uint64_t blockBytes_ = 0;
};

void WriteFile(const std::string& path, const void* data, std::size_t size) {
  if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fwrite(data, 1, size, f);
    std::fclose(f);
  }
}

// Volume 2: one stored block "|v2.txt|0|" 0 "two", then its trailer.
std::string SecondVolume() {
  const std::string content = std::string("|v2.txt|0|") + '\0' + "two";
  std::string v;
  package::AppendLe32(v, static_cast<std::uint32_t>(-static_cast<std::int32_t>(content.size())));
  v += content;
  package::Trailer t;
  t.version = 2;
  t.magic = package::kMagic;
  t.checksum = package::kChecksumOff;
  t.trailerLength = package::kTrailerSize;
  const auto e = package::EncodeTrailer(t);
  v.append(reinterpret_cast<const char*>(e.data()), e.size());
  return v;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string base = "/tmp/unpack_fuzz_" + std::to_string(getpid()) + ".exe";
  static const bool once = [] {
    const std::string v2 = SecondVolume();
    WriteFile(base + ".002", v2.data(), v2.size());
    return true;
  }();
  (void)once;
  WriteFile(base, data, size);
  Host host;
  package::UnpackRequest req;
  req.packageFile = base;
  req.targetFolder = kTarget;
  req.agentName = "Agent.exe";
  const package::UnpackResult r = package::ExtractPackage(req, host);
  Check(!host.Open(), "a file left open");
  Check(!(r.damaged || r.cancelled) || r.engineEntry.empty(), "an engine named after damage");
  return 0;
}
