#include "pack/builder.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <memory>
#include <random>
#include <system_error>

#include "pack/block_compressor.h"
#include "pack/block_pipeline.h"
#include "pack/build_commit.h"
#include "pack/error.h"
#include "pack/file_system.h"
#include "pack/program_check.h"
#include "pack/language_table.h"
#include "pack/source_files.h"
#include "pack/url_check.h"
#include "pack/volume_writer.h"
#include "package/file_info.h"
#include "package/format.h"
#include "package/payload.h"
#include "package/token.h"
#include "package/trailer.h"
#include "platform/file.h"
#include "trust/update_signature.h"
#include "util/field_list.h"
#include "util/text.h"

namespace pack {

namespace fs = std::filesystem;
using util::IntToStr;

namespace {

// The most data a block may hold: readers call more damage.
constexpr std::size_t kMaxBlockSize = package::kMaxBlockData;

std::string ReadWholeFile(const std::string& path, const std::string& what) {
  platform::InputFile in;
  if (!platform::FileExists(path) || !in.Open(path))
    throw Error("cannot open " + what + " " + path);
  const std::int64_t size = in.Size();
  if (size < 0 || size > std::int64_t(std::numeric_limits<std::uint32_t>::max()))
    throw Error(what + " " + path + " is too large");
  std::string data(static_cast<std::size_t>(size), '\0');
  if (!in.ReadExact(data.data(), data.size())) throw Error("cannot read " + what + " " + path);
  return data;
}

bool AnyDownloadSetting(const BuildOptions& o) {
  return o.downloadSource || o.downloadName || o.downloadAsIs || o.downloadToken ||
         o.downloadTokenPlain || o.downloadSize || o.downloadSha256 || !o.downloadSetup.empty();
}

std::string MakeDownloadInfo(const BuildOptions& o) {
  std::string name = o.downloadName.value_or("");
  std::string token;
  if (o.downloadToken) token = *o.downloadToken;
  if (o.downloadTokenPlain) token = TokenFor(*o.downloadTokenPlain, o.tokenSeed);
  std::string size = o.downloadSize ? IntToStr(static_cast<std::int64_t>(*o.downloadSize)) : "0";
  std::string hash = o.downloadSha256.value_or("");
  if (!o.downloadSetup.empty()) {
    std::error_code ec;
    const auto setupSize = fs::file_size(o.downloadSetup, ec);
    if (ec) throw Error("cannot read the setup file " + o.downloadSetup + ": " + ec.message());
    if (!o.downloadName) name = util::FileNameOf(o.downloadSetup);
    if (!o.downloadSize) size = IntToStr(static_cast<std::int64_t>(setupSize));
    if (!o.downloadToken && !o.downloadTokenPlain)
      token = package::TGFileInfo(o.downloadSetup).DownloadToken(false);
    if (!o.downloadSha256) {
      hash = trust::FileSha256(o.downloadSetup);
      if (hash.empty()) throw Error("cannot read the setup file " + o.downloadSetup);
    }
  }
  std::vector<std::string> fields = {o.downloadSource.value_or(""), name,
                                     o.downloadAsIs ? "1" : "0", token, size};
  // The hash field only when there is one: older stubs read five fields.
  if (!hash.empty()) fields.push_back(hash);
  return util::SUB::BuildList(fields);
}

std::uint32_t Saturate32(std::uint64_t v) {
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(v, 0xFFFFFFFFu));
}

} // namespace

std::string TokenFor(const std::string& plain, std::optional<std::uint32_t> seed) {
  if (!seed) {
    // FNV-1a: the same text gives the same token in every build.
    std::uint32_t h = 2166136261u;
    for (unsigned char c : plain)
      h = (h ^ c) * 16777619u;
    seed = h;
  }
  return package::MakeToken(plain, *seed);
}

namespace {

bool LiesInside(const std::string& path, const std::string& folder) {
  std::error_code ec;
  const fs::path dir = fs::weakly_canonical(fs::absolute(folder), ec);
  const fs::path parent = fs::weakly_canonical(fs::absolute(path, ec).parent_path(), ec);
  const auto [d, p] = std::mismatch(dir.begin(), dir.end(), parent.begin(), parent.end());
  return d == dir.end();
}

void Warn(const BuildOptions& o, const std::string& text) {
  if (o.warn) o.warn(text);
}

void CheckLocation(const std::string& what, const std::string& location, bool given) {
  if (!given) return;
  const std::string problem = LocationProblem(location);
  if (!problem.empty()) throw Error("the " + what + " '" + location + "' " + problem);
}

// The options that stand on their own; returns the compression levels.
Levels CheckOptions(const BuildOptions& o) {
  if (o.stubPath.empty()) throw Error("no stub given (--stub)");
  if (o.outputPath.empty()) throw Error("no output given (-o)");
  if (o.sourceDir.empty() && !o.useDownloadRoad && !o.isUpdateAgent)
    throw Error("no source folder given (only a download-road package or an agent may have no "
                "payload)");
  const CompressorKind& compressor = BuildCompressor();
  // A level given is used for every block.
  const Levels levels{o.level.value_or(compressor.defaultLevel),
                      o.level.value_or(compressor.smallBlockLevel)};
  if (levels.large < 0 || levels.large > compressor.maxLevel)
    throw Error(std::string(compressor.name) + " compression level must be 0.." +
                IntToStr(compressor.maxLevel));
  if (o.blockSize == 0 || o.blockSize > kMaxBlockSize)
    throw Error("block size must be 1.." + IntToStr(kMaxBlockSize));
  if (o.versionByte && *o.versionByte > 3) throw Error("version byte must be 0..3");
  if (o.updateTokenPlain && !o.updateToken.empty())
    throw Error("give the update token raw or plain, not both");
  if (o.downloadTokenPlain && o.downloadToken)
    throw Error("give the download token raw or plain, not both");
  if (o.cdLayout && util::EndsWithNoCase(o.outputPath, ".001"))
    throw Error("with a CD-style set the output names the launcher (such as setup.exe); the "
                "package goes to its .001, .002, ... files");

  CheckLocation("update URL (--update-url)", o.updateUrl, o.updateUrlGiven || !o.updateUrl.empty());
  if (o.downloadSource)
    CheckLocation("download source (--download-source)", *o.downloadSource, true);

  std::error_code ec;
  if (!o.sourceDir.empty() && LiesInside(o.outputPath, o.sourceDir))
    throw Error("the output " + o.outputPath + " lies inside the source folder " + o.sourceDir);
  if (fs::exists(o.outputPath, ec) && fs::equivalent(o.outputPath, o.stubPath, ec))
    throw Error("the output must not be the stub itself");
  return levels;
}

std::uint8_t VersionByteOf(const BuildOptions& o) {
  const bool download = AnyDownloadSetting(o);
  const std::uint8_t versionByte = o.versionByte ? *o.versionByte : (download ? 3 : 2);
  const int headerBlocks = versionByte == 0 ? 2 : versionByte;
  if (download && headerBlocks < 3)
    throw Error("download settings need header block 3 (version 3), but the version is " +
                IntToStr(versionByte));
  return versionByte;
}

// The header blocks the version byte calls for: language texts, UpdateInfo,
// DownloadInfo.
std::vector<std::string> MakeHeaderBlocks(const BuildOptions& o, std::uint8_t versionByte) {
  std::vector<std::string> headers;
  headers.push_back(o.languageFile.empty() ? "*" : LoadLanguageTable(o.languageFile));
  const std::string updateToken =
      o.updateTokenPlain ? TokenFor(*o.updateTokenPlain, o.tokenSeed) : o.updateToken;
  std::vector<std::string> update = {o.updateUrl, o.updateInfoName, o.agentName, updateToken,
                                     o.runHidden ? "1" : "0"};
  const bool exitCodeRule = o.engineResult != package::EngineResult::kHandshake;
  if (!o.updateKey.empty() || exitCodeRule) update.push_back(o.updateKey);
  if (exitCodeRule) update.push_back(package::EngineResultName(o.engineResult));
  headers.push_back(util::SUB::BuildList(update));
  headers.push_back(MakeDownloadInfo(o));
  headers.resize(versionByte == 0 ? 2 : versionByte);

  if (o.useDownloadRoad && (!o.downloadSource || (!o.downloadName && o.downloadSetup.empty())))
    Warn(o, "the download road needs a download source and a setup file name");
  if (!o.agentName.empty()) {
    // The stub writes the agent copy under the file name part.
    if (const char* why = package::PackageNameReason(util::FileNameOf(o.agentName)))
      throw Error("agent name '" + o.agentName + "': " + why);
  }
  if (o.carryAgent && o.agentName.empty())
    Warn(o, "--carry-agent without --agent-name: the stub writes no agent copy");
  return headers;
}

// Marks the engine among the files; returns its file header name with the
// engine arguments (empty without an engine).
std::string MarkEngine(const BuildOptions& o, std::vector<SourceFile>& files) {
  if (o.engine.empty()) {
    if (!o.useDownloadRoad && !o.isUpdateAgent)
      Warn(o, "no --engine: the stub will unpack the files but start nothing");
    return {};
  }
  // Given relative to the source folder, perhaps as "./Setup.exe".
  std::string wanted = util::ReplaceAll(o.engine, "/", "\\");
  while (wanted.size() > 2 && wanted.compare(0, 2, ".\\") == 0)
    wanted.erase(0, 2);
  auto it = std::find_if(files.begin(), files.end(),
                         [&](const SourceFile& f) { return util::EqualsNoCase(f.name, wanted); });
  if (it == files.end()) throw Error("engine " + o.engine + " is not a file of the source folder");
  // Otherwise the setup fails on the user's machine with "Bad EXE format".
  if (!IsStartableEngine(it->path.string()))
    throw Error("the engine " + o.engine +
                " is not a Windows program (no PE header) nor a .bat or .cmd file: the stub "
                "could not start it");
  it->engine = true;
  return package::MakeEngineEntry(it->name, o.engineArgs);
}

// The stub's bytes with the end marker area cleared (0: the package ends at
// the end of the file).
std::string ReadStubImage(const BuildOptions& o, bool& hasMarkerArea) {
  package::Trailer existing;
  if (package::ReadTrailer(o.stubPath, existing) && existing.HasMagic())
    throw Error("the stub " + o.stubPath + " already carries a package; give the bare stub");
  std::string stub = ReadWholeFile(o.stubPath, "stub");
  if (!package::IsPeFile(o.stubPath))
    throw Error("the stub " + o.stubPath +
                " is not a stub: no Windows program with its PE signature at offset 256 (give "
                "the stub.exe of the win32 or win64 build)");
  hasMarkerArea = stub.size() >= package::kEndMarkerLow + 4;
  if (!hasMarkerArea && o.endMarker)
    throw Error("the stub is too small to hold a package end marker");
  if (hasMarkerArea) std::fill_n(stub.begin() + package::kEndMarkerHigh, 8, '\0');
  return stub;
}

struct PayloadTotals {
  std::uint64_t inputBytes = 0;
  std::uint32_t blocks = 0;
  std::array<std::uint64_t, package::kSpaceEntries> space{};
};

PayloadTotals SumPayload(const BuildOptions& o, const std::vector<SourceFile>& files) {
  PayloadTotals sum;
  for (const SourceFile& f : files) {
    sum.inputBytes += f.size;
    const std::uint64_t blocks = f.size == 0 ? 1 : (f.size + o.blockSize - 1) / o.blockSize;
    if (sum.blocks + blocks > std::numeric_limits<std::uint32_t>::max())
      throw Error("too many blocks for one package");
    sum.blocks += static_cast<std::uint32_t>(blocks);
    sum.space[0] += f.size;
    for (int i = 1; i < package::kSpaceEntries; ++i) {
      const std::uint64_t cluster = 256ull << i;
      sum.space[i] += (f.size + cluster - 1) / cluster * cluster;
    }
  }
  if (sum.space[package::kSpaceEntries - 1] > 0xFFFFFFFFu)
    Warn(o, "the unpacked size exceeds 4 GiB; the space table is capped at 4 GiB");
  return sum;
}

package::Trailer MakeTrailer(const BuildOptions& o, std::uint8_t versionByte, std::size_t stubSize,
                             const PayloadTotals& sum) {
  package::Trailer t;
  t.reserved0 = 1;
  t.version = versionByte;
  t.headerStart = static_cast<std::uint32_t>(stubSize);
  t.filesCount = sum.blocks; // of the whole package, on every volume
  t.magic = package::kMagic;
  for (int i = 0; i < package::kSpaceEntries; ++i)
    t.spaceRequired[i] = Saturate32(sum.space[i]);
  const bool volumes = o.volumeSize != 0 || o.cdLayout;
  if (o.flags) {
    t.flags = *o.flags;
    if ((t.flags & package::kFlagSpanned) && !volumes)
      Warn(o, "the flags set Spanned: readers will look for volume files of this package");
  } else {
    t.flags = (o.flagAlwaysReportTempDrive ? package::kFlagAlwaysReportTempDrive : 0) |
              (o.flagSpanCdLevel ? package::kFlagSpanCdLevel : 0) |
              (o.flagShowSecondBar ? package::kFlagShowSecondBar : 0) |
              (o.flagAgentLog ? package::kFlagAgentLog : 0);
  }
  if ((t.flags & package::kFlagSpanCdLevel) && !o.cdLayout)
    Warn(o, "the span-level bit makes the stub run a copy of itself on " + o.outputPath +
                ".001, which this build does not write (--cd-layout writes that set)");
  t.useDownloadRoad = o.useDownloadRoad;
  t.askBeforeDownload = o.askBeforeDownload;
  t.carryAgent = o.carryAgent;
  t.isUpdateAgent = o.isUpdateAgent;
  t.trailerLength = package::kTrailerSize;
  return t;
}

// Reads every file in blocks, compresses them and writes them to the set in
// package order.
void WriteBlocks(const BuildOptions& o, const std::vector<SourceFile>& files, Levels levels,
                 const PayloadTotals& sum, VolumeSet& set, BuildResult& result) {
  BuildProgress progress;
  progress.bytesTotal = sum.inputBytes;
  progress.blocksTotal = sum.blocks;
  // The one place blocks are written, in package order.
  Pipeline pipeline(levels, o.threads, [&](Job& job) {
    const bool compressed = !job.packed.empty();
    const std::string& body = compressed ? job.packed : job.raw;
    const std::string word = LengthWord(body.size(), compressed);
    set.AddBlock(word, body, job.name);
    result.payloadBytes += word.size() + body.size();
    ++result.fileBlocks;
    if (!compressed) ++result.storedBlocks;
    progress.bytesDone += job.inputBytes;
    ++progress.blocksDone;
    if (o.progress) o.progress(progress);
  });

  for (const SourceFile& f : files) {
    const std::string header =
        package::MakeFileHeader(f.engine ? result.engineEntry : f.name, f.dosDateTime);
    platform::InputFile in;
    if (!in.Open(f.path.string())) throw Error("cannot open " + f.path.string());
    std::uint64_t offset = 0;
    do {
      const std::size_t n =
          static_cast<std::size_t>(std::min<std::uint64_t>(o.blockSize, f.size - offset));
      auto job = std::make_unique<Job>();
      job->name = f.name;
      job->raw.reserve(header.size() + 1 + n);
      job->raw = header;
      job->raw.push_back('\0');
      job->raw.resize(header.size() + 1 + n);
      if (!in.ReadExact(job->raw.data() + header.size() + 1, n))
        throw Error(f.path.string() + " changed while being packed (shorter than " +
                    IntToStr(static_cast<std::int64_t>(f.size)) + " bytes)");
      job->inputBytes = n;
      offset += n;
      pipeline.Submit(std::move(job));
    } while (offset < f.size);
    char extra;
    if (in.Read(&extra, 1) != 0)
      throw Error(f.path.string() + " changed while being packed (longer than " +
                  IntToStr(static_cast<std::int64_t>(f.size)) + " bytes)");
    ++result.files;
  }
  pipeline.Finish();
  set.Finish();
}

// A CD-style set's launcher: the stub and the header blocks, no payload,
// with the span-level bit.
void WriteLauncher(const BuildOptions& o, const std::string& stubAndHeader, package::Trailer t,
                   bool endMarker, PendingBuild& pending) {
  pending.launcher = std::make_unique<OutputFile>(o.outputPath);
  OutputFile& launcher = *pending.launcher;
  launcher.Write(stubAndHeader);
  t.flags =
      static_cast<std::uint8_t>((t.flags & ~package::kFlagSpanned) | package::kFlagSpanCdLevel);
  pending.result.launcher.path = o.outputPath;
  pending.result.launcher.checksum = FinishPackageFile(launcher, t, endMarker);
  pending.result.launcher.bytes = launcher.Size();
}

// An output that exists may be a vendor's earlier release: kept unless
// --force.
void RefuseExisting(const BuildOptions& o, const fs::path& path) {
  std::error_code ec;
  if (!fs::exists(path, ec)) return;
  if (fs::equivalent(path, o.stubPath, ec))
    throw Error("the output " + path.string() + " is the stub itself");
  if (!o.force) throw Error(path.string() + " exists; give --force to replace it");
}

PendingBuild Prepare(const BuildOptions& o) {
  const Levels levels = CheckOptions(o);
  RefuseExisting(o, o.outputPath);
  if (o.cdLayout) RefuseExisting(o, o.outputPath + ".001");
  const std::uint8_t versionByte = VersionByteOf(o);
  const std::vector<std::string> headers = MakeHeaderBlocks(o, versionByte);

  std::vector<SourceFile> files = CollectSourceFiles(o.sourceDir, o.warn);
  if (o.useDownloadRoad && !files.empty())
    Warn(o, "the stub ignores the payload of a download-road package");

  PendingBuild pending;
  BuildResult& result = pending.result;
  result.version = versionByte;
  result.engineEntry = MarkEngine(o, files);

  bool hasMarkerArea = false;
  const std::string stub = ReadStubImage(o, hasMarkerArea);
  const bool endMarker = o.endMarker && hasMarkerArea;
  const PayloadTotals sum = SumPayload(o, files);
  const package::Trailer t = MakeTrailer(o, versionByte, stub.size(), sum);

  std::string stubAndHeader = stub;
  for (const std::string& h : headers) { // plain text, positive length
    stubAndHeader += LengthWord(h.size(), true);
    stubAndHeader += h;
  }

  // In a CD-style set the launcher carries the span-level bit; the package
  // files it hands on do not (they are read, never started).
  pending.firstVolume = o.cdLayout ? o.outputPath + ".001" : o.outputPath;
  package::Trailer volumeTrailer = t;
  if (o.cdLayout) volumeTrailer.flags &= static_cast<std::uint8_t>(~package::kFlagSpanCdLevel);
  pending.set =
      std::make_unique<VolumeSet>(o, pending.firstVolume, stubAndHeader, volumeTrailer, endMarker);
  WriteBlocks(o, files, levels, sum, *pending.set, result);
  if (o.cdLayout) WriteLauncher(o, stubAndHeader, t, endMarker, pending);

  for (OutputFile* f : pending.Outputs())
    RefuseExisting(o, f->FinalPath());

  result.volumes = pending.set->Written();
  result.checksum = result.volumes.front().checksum;
  for (const WrittenFile& v : result.volumes)
    result.outputBytes += v.bytes;
  result.inputBytes = sum.inputBytes;
  return pending;
}

std::string RandomTokenText() {
  std::random_device rd;
  std::string text;
  for (int i = 0; i < 3; ++i) {
    char part[9];
    std::snprintf(part, sizeof part, "%08X", static_cast<unsigned>(rd()));
    text += part;
  }
  return text;
}

// The full setup and its web stub: both prepared under temporary names, then
// renamed together, so either both are in place or neither is.
BuildResult BuildWebSetup(const BuildOptions& o) {
  if (!o.downloadSource || o.downloadSource->empty())
    throw Error("a web stub needs the download source (--download-source), the URL folder the "
                "full setup is downloaded from");
  const auto refuse = [](bool given, const char* what, const char* why) {
    if (given) throw Error(std::string(what) + " does not go with a web stub: " + why);
  };
  refuse(o.useDownloadRoad, "--download-road",
         "the web stub takes the download road, the full setup unpacks its own files");
  refuse(o.downloadName.has_value(), "--download-name", "the web stub names the full setup's file");
  refuse(o.downloadSize.has_value(), "--download-size",
         "the web stub carries the full setup's size");
  refuse(!o.downloadSetup.empty(), "--download-setup", "the full setup is built here");
  refuse(o.volumeSize != 0 || o.cdLayout, "spanned output",
         "the web stub downloads a single setup file");
  if (o.downloadTokenPlain && o.downloadToken)
    throw Error("give the download token raw or plain, not both");
  std::error_code ec;
  if (fs::absolute(o.webStubPath, ec).lexically_normal() ==
      fs::absolute(o.outputPath, ec).lexically_normal())
    throw Error("the web stub and the full setup must be two files, not both " + o.outputPath);
  if (!o.sourceDir.empty() && LiesInside(o.webStubPath, o.sourceDir))
    throw Error("the web stub " + o.webStubPath + " lies inside the source folder " + o.sourceDir);

  RefuseExisting(o, o.webStubPath);

  const std::string token =
      o.downloadToken ? *o.downloadToken
                      : TokenFor(o.downloadTokenPlain.value_or(RandomTokenText()), o.tokenSeed);

  // The full setup carries only the token of its DownloadInfo: the stub
  // that downloads it compares that field with its own.
  BuildOptions full = o;
  full.webStubPath.clear();
  full.downloadSource.reset();
  full.downloadAsIs = false;
  full.downloadTokenPlain.reset();
  full.downloadToken = token;
  full.askBeforeDownload = false;
  PendingBuild fullBuild = Prepare(full);

  // The web stub: the same texts, update settings and trailer bytes, no
  // payload, the download road to the full setup.
  BuildOptions web = o;
  web.webStubPath.clear();
  web.sourceDir.clear();
  web.engine.clear();
  web.engineArgs.clear();
  web.outputPath = o.webStubPath;
  web.useDownloadRoad = true;
  web.downloadName = util::FileNameOf(o.outputPath);
  web.downloadSize = fullBuild.result.volumes.front().bytes;
  // The full setup is written (under its temporary name) by now.
  web.downloadSha256 = trust::FileSha256(fullBuild.Outputs().front()->TempPath().string());
  if (web.downloadSha256->empty()) throw Error("cannot read back the full setup");
  web.downloadTokenPlain.reset();
  web.downloadToken = token;
  if (web.flags)
    web.flags = static_cast<std::uint8_t>(*web.flags &
                                          ~(package::kFlagSpanned | package::kFlagSpanCdLevel));
  web.flagSpanCdLevel = false;
  PendingBuild webBuild = Prepare(web);

  std::vector<OutputFile*> outputs = fullBuild.Outputs();
  for (OutputFile* f : webBuild.Outputs())
    outputs.push_back(f);
  CommitAll(outputs);
  AfterCommit(full, fullBuild);

  BuildResult result = std::move(fullBuild.result);
  result.webStub = webBuild.result.volumes.front();
  result.downloadToken = token;
  return result;
}

} // namespace

BuildResult Build(const BuildOptions& o) {
  if (!o.webStubPath.empty()) return BuildWebSetup(o);
  PendingBuild pending = Prepare(o);
  CommitAll(pending.Outputs());
  AfterCommit(o, pending);
  return std::move(pending.result);
}

} // namespace pack
