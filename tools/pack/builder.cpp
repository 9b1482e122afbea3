#include "pack/builder.h"

#include <algorithm>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <limits>
#include <memory>
#include <random>
#include <system_error>

#if defined(_GLIBCXX_HAS_GTHREADS)
#include <condition_variable>
#include <mutex>
#include <thread>
#endif

#include "pack/block_compressor.h"
#include "pack/error.h"
#include "pack/file_system.h"
#include "pack/language_table.h"
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

struct SourceFile {
  fs::path path;
  std::string name; // relative, '\\'-separated
  std::uint64_t size = 0;
  std::uint32_t dosDateTime = 0;
  bool engine = false;
};

std::string PackageNameOf(const fs::path& relative) {
  std::string name;
  for (const fs::path& part : relative) {
    if (!name.empty()) name += '\\';
    name += part.string();
  }
  return name;
}

std::vector<SourceFile> CollectFiles(const BuildOptions& o) {
  std::vector<SourceFile> files;
  if (o.sourceDir.empty()) return files;
  std::error_code ec;
  const fs::path root = o.sourceDir;
  if (!fs::is_directory(root, ec)) throw Error("source folder " + o.sourceDir + " not found");
  fs::recursive_directory_iterator it(root, ec), end;
  if (ec) throw Error("cannot read " + o.sourceDir + ": " + ec.message());
  for (; it != end; it.increment(ec)) {
    if (ec) throw Error("cannot read " + o.sourceDir + ": " + ec.message());
    const fs::directory_entry& e = *it;
    const fs::path rel = e.path().lexically_relative(root);
    if (e.is_symlink(ec) && e.is_directory(ec)) {
      if (o.warn) o.warn("skipping " + rel.string() + ": a link to a folder is not followed");
      continue;
    }
    if (e.is_directory(ec)) {
      if (fs::is_empty(e.path(), ec) && o.warn)
        o.warn("empty folder " + rel.string() + " is not packed (packages hold files only)");
      continue;
    }
    if (!e.is_regular_file(ec))
      throw Error(e.path().string() + " is neither a file nor a folder; cannot pack it");
    SourceFile f;
    f.path = e.path();
    f.name = PackageNameOf(rel);
    // The stub would refuse the name (or Windows would write another file).
    if (const char* why = package::PackageNameReason(f.name))
      throw Error("cannot pack " + e.path().string() + ": " + why);
    f.size = e.file_size(ec);
    if (ec) throw Error("cannot get the size of " + e.path().string() + ": " + ec.message());
    f.dosDateTime = DosDateTimeOfFile(f.path);
    files.push_back(std::move(f));
  }
  // Sorted by name, any case, so the package does not depend on the order the
  // folder is listed in; Windows sees names that differ only in case as one.
  std::sort(files.begin(), files.end(), [](const SourceFile& a, const SourceFile& b) {
    const std::string ua = util::ToUpperAscii(a.name), ub = util::ToUpperAscii(b.name);
    return ua != ub ? ua < ub : a.name < b.name;
  });
  for (std::size_t i = 1; i < files.size(); ++i)
    if (util::EqualsNoCase(files[i - 1].name, files[i].name))
      throw Error("'" + files[i - 1].name + "' and '" + files[i].name +
                  "' differ only in letter case; Windows would unpack them into one file");
  return files;
}

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

// The length word of a block: positive for a zlib stream, zero or negative
// for stored content.
std::string LengthWord(std::size_t size, bool compressed) {
  std::string word;
  const std::int64_t n = static_cast<std::int64_t>(size);
  package::AppendLe32(word,
                      static_cast<std::uint32_t>(static_cast<std::int32_t>(compressed ? n : -n)));
  return word;
}

// One block on its way into the package.
struct Job {
  std::string name;   // package name of the file, for messages
  std::string raw;    // file header, 0 byte, data
  std::string packed; // the zlib stream, when it pays
  std::uint64_t inputBytes = 0;
  bool done = false;
  std::string error;
};

// The levels a build compresses at. A block shorter than two deflate windows
// (most small files) is compressed with a partly empty window and loses
// most by being compressed alone; its time is small whatever the level, so
// by default it gets a higher one (docs/vpack.md, Compression).
struct Levels {
  int large = 0;
  int small = 0;
};
constexpr std::size_t kSmallBlock = 64 * 1024;

// Compresses jobs with the build's compressor. Already-compressed data
// (media, archives) is common in setups and costs as much to deflate as
// text, for nothing: evenly spread samples of a large block are tried at the
// fastest level first, and only when none of them shrinks is the block
// stored without the full attempt.
class Compressor {
public:
  explicit Compressor(Levels levels)
      : large_(BuildCompressor().make(levels.large)),
        small_(levels.small == levels.large ? nullptr : BuildCompressor().make(levels.small)),
        probe_(BuildCompressor().make(1)) {}

  void Run(Job& job) {
    if (LooksIncompressible(job.raw)) return; // stored
    try {
      BlockCompressor& c = small_ && job.raw.size() < kSmallBlock ? *small_ : *large_;
      if (!c.Compress(job.raw, job.packed)) job.packed.shrink_to_fit(); // stored
    } catch (const Error& e) {
      job.error = e.what();
    }
  }

private:
  bool LooksIncompressible(const std::string& raw) {
    constexpr std::size_t kSamples = 8, kSample = 8192;
    if (raw.size() < 8 * kSamples * kSample) return false;
    for (std::size_t i = 0; i < kSamples; ++i) {
      const std::size_t at = (raw.size() - kSample) * i / (kSamples - 1);
      // Shrinking by 3% or more is worth the full attempt.
      if (probe_->Compress(std::string_view(raw).substr(at, kSample), sample_) &&
          sample_.size() * 100 < kSample * 97)
        return false;
    }
    return true;
  }

  std::unique_ptr<BlockCompressor> large_, small_, probe_;
  std::string sample_;
};

// Compresses blocks on worker threads and hands them back in submission
// order, so the output does not depend on the thread count. Without thread
// support (MinGW's win32 thread model) blocks are compressed as submitted.
class Pipeline {
public:
  Pipeline(Levels levels, unsigned threads, std::function<void(Job&)> write)
      : write_(std::move(write)) {
#if defined(_GLIBCXX_HAS_GTHREADS)
    if (threads == 0) threads = std::max(1u, std::thread::hardware_concurrency());
    if (threads > 1) {
      maxInFlight_ = threads * 2 + 1;
      // Made here, so a compressor that cannot be had fails the build rather
      // than a worker thread.
      for (unsigned i = 0; i < threads; ++i)
        compressors_.push_back(std::make_unique<Compressor>(levels));
      for (auto& c : compressors_)
        workers_.emplace_back([this, c = c.get()] { Work(*c); });
      return;
    }
#else
    (void)threads;
#endif
    inline_ = std::make_unique<Compressor>(levels);
  }

  ~Pipeline() {
    Stop();
  }

  void Submit(std::unique_ptr<Job> job) {
    if (inline_) {
      inline_->Run(*job);
      Deliver(*job);
      return;
    }
#if defined(_GLIBCXX_HAS_GTHREADS)
    std::unique_lock lock(mutex_);
    pending_.push_back(job.get());
    order_.push_back(std::move(job));
    workCv_.notify_one();
    while (order_.size() >= maxInFlight_)
      WriteFront(lock);
#endif
  }

  // Writes every block still in flight.
  void Finish() {
#if defined(_GLIBCXX_HAS_GTHREADS)
    std::unique_lock lock(mutex_);
    while (!order_.empty())
      WriteFront(lock);
#endif
  }

private:
  void Deliver(Job& job) {
    if (!job.error.empty()) throw Error(job.error);
    write_(job);
  }

#if defined(_GLIBCXX_HAS_GTHREADS)
  void WriteFront(std::unique_lock<std::mutex>& lock) {
    doneCv_.wait(lock, [this] { return order_.front()->done; });
    std::unique_ptr<Job> job = std::move(order_.front());
    order_.pop_front();
    lock.unlock();
    Deliver(*job);
    lock.lock();
  }

  void Work(Compressor& compressor) {
    std::unique_lock lock(mutex_);
    for (;;) {
      workCv_.wait(lock, [this] { return stopping_ || !pending_.empty(); });
      if (stopping_) return;
      Job* job = pending_.front();
      pending_.pop_front();
      lock.unlock();
      compressor.Run(*job);
      lock.lock();
      job->done = true;
      doneCv_.notify_all();
    }
  }
#endif

  void Stop() {
#if defined(_GLIBCXX_HAS_GTHREADS)
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
      pending_.clear();
    }
    workCv_.notify_all();
    for (auto& t : workers_)
      t.join();
    workers_.clear();
#endif
  }

  std::function<void(Job&)> write_;
  std::unique_ptr<Compressor> inline_;
#if defined(_GLIBCXX_HAS_GTHREADS)
  std::size_t maxInFlight_ = 1;
  std::mutex mutex_;
  std::condition_variable workCv_, doneCv_;
  std::deque<Job*> pending_;                             // waiting for a worker
  std::deque<std::unique_ptr<Job>> order_;               // every block in flight, in output order
  std::vector<std::unique_ptr<Compressor>> compressors_; // one per worker
  std::vector<std::thread> workers_;
  bool stopping_ = false;
#endif
};

std::uint32_t Saturate32(std::uint64_t v) {
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(v, 0xFFFFFFFFu));
}

std::string_view Bytes(const std::array<unsigned char, package::kTrailerSize>& a) {
  return std::string_view(reinterpret_cast<const char*>(a.data()), a.size());
}

// Ends a package file: the trailer, the end marker (PE files only, when
// asked for) and the checksum, computed over the closed file. The checksum
// leaves out the trailer, so patching it in changes no summed byte.
std::uint32_t FinishPackageFile(OutputFile& out, package::Trailer t, bool endMarker) {
  const std::uint64_t trailerOffset = out.Size();
  t.checksum = 0;
  out.Write(Bytes(package::EncodeTrailer(t)));
  if (endMarker) {
    const std::uint64_t end = out.Size();
    unsigned char marker[8];
    package::WriteLe32(marker, static_cast<std::uint32_t>(end >> 32));
    package::WriteLe32(marker + 4, static_cast<std::uint32_t>(end));
    out.Patch(package::kEndMarkerHigh, std::string_view(reinterpret_cast<char*>(marker), 8));
  }
  out.Close();
  const std::uint32_t checksum = package::PackageChecksum(out.TempPath().string(), t.trailerLength);
  unsigned char sum[4];
  package::WriteLe32(sum, checksum);
  out.PatchClosed(trailerOffset + 16, std::string_view(reinterpret_cast<char*>(sum), 4));
  return checksum;
}

// Renames every file into place, or none: when one rename fails, the files
// already renamed are removed again, so no incomplete set is left.
void CommitAll(const std::vector<OutputFile*>& files) {
  std::vector<fs::path> done;
  try {
    for (OutputFile* f : files) {
      f->Commit();
      done.push_back(f->FinalPath());
    }
  } catch (...) {
    std::error_code ec;
    for (const fs::path& p : done)
      fs::remove(p, ec);
    throw;
  }
}

// The volume files of one package, written in block order. Volume 1 starts
// with the stub image and the header blocks; a block that would take the
// current volume past the volume size closes it (Spanned set, own trailer
// and checksum) and opens the next one, which starts right with the block.
class VolumeSet {
public:
  VolumeSet(const BuildOptions& o, std::string firstPath, std::string_view stubAndHeader,
            const package::Trailer& base, bool endMarker)
      : o_(o), firstPath_(std::move(firstPath)), base_(base), endMarker_(endMarker) {
    const std::uint64_t fixed = stubAndHeader.size() + package::kTrailerSize;
    if (o_.volumeSize != 0 && fixed > o_.volumeSize)
      throw Error("the stub and the header blocks with the trailer take " + IntToStr(fixed) +
                  " bytes, more than the volume size of " + IntToStr(o_.volumeSize) + " bytes");
    Open();
    volumes_.back().file->Write(stubAndHeader);
  }

  void AddBlock(std::string_view lengthWord, std::string_view body, const std::string& name) {
    const std::uint64_t bytes = lengthWord.size() + body.size();
    Volume* v = &volumes_.back();
    // A later volume always takes at least one block: the stub reads one
    // before it looks at the end of the volume.
    const bool holdsSomething = volumes_.size() == 1 || v->info.blocks > 0;
    if (o_.volumeSize != 0 && holdsSomething &&
        v->file->Size() + bytes + package::kTrailerSize > o_.volumeSize) {
      Close(true);
      Open();
      v = &volumes_.back();
      if (bytes + package::kTrailerSize > o_.volumeSize && o_.warn)
        o_.warn("block " + IntToStr(blocks_ + 1) + " (" + name + ") takes " + IntToStr(bytes) +
                " bytes, more than a volume holds; it gets volume " + IntToStr(volumes_.size()) +
                " of its own, which is larger than " + IntToStr(o_.volumeSize) + " bytes");
    }
    Remember(*v, lengthWord);
    Remember(*v, body);
    v->file->Write(lengthWord);
    v->file->Write(body);
    ++v->info.blocks;
    ++blocks_;
  }

  // Closes the last volume (without Spanned).
  void Finish() { Close(false); }

  std::vector<WrittenFile> Written() const {
    std::vector<WrittenFile> list;
    for (const Volume& v : volumes_)
      list.push_back(v.info);
    return list;
  }

  void AppendFiles(std::vector<OutputFile*>& files) {
    for (Volume& v : volumes_)
      files.push_back(v.file.get());
  }

private:
  struct Volume {
    std::unique_ptr<OutputFile> file;
    std::string head; // the first bytes, to tell whether it would read as a PE file
    WrittenFile info;
  };

  void Open() {
    const int number = static_cast<int>(volumes_.size()) + 1;
    if (number > 999)
      throw Error("more than 999 volumes (volume names have three digits); choose a larger "
                  "volume size");
    Volume v;
    v.info.path = number == 1 ? firstPath_ : package::VolumeFileName(firstPath_, number);
    v.file = std::make_unique<OutputFile>(v.info.path);
    volumes_.push_back(std::move(v));
  }

  static void Remember(Volume& v, std::string_view bytes) {
    constexpr std::size_t kHead = package::kPeSignatureOffset + 2;
    if (v.head.size() < kHead) v.head.append(bytes.substr(0, kHead - v.head.size()));
  }

  void Close(bool spanned) {
    Volume& v = volumes_.back();
    const bool first = volumes_.size() == 1;
    // Readers take the end marker of any file with "MZ" at 0 and "PE" at
    // 256; a later volume must never look like that.
    if (!first && v.head.size() >= package::kPeSignatureOffset + 2 &&
        v.head.compare(0, 2, "MZ") == 0 &&
        v.head.compare(package::kPeSignatureOffset, 2, "PE") == 0)
      throw Error(v.info.path + " would start like a program file (\"MZ\" at 0, \"PE\" at 256) "
                                "and be misread; choose another volume size");
    package::Trailer t = base_;
    if (!first) t.headerStart = 0;
    // A single-file build keeps a Spanned bit given as raw flags (tests use
    // it to make readers look for volumes).
    if (o_.volumeSize != 0 || o_.cdLayout)
      t.flags = static_cast<std::uint8_t>((t.flags & ~package::kFlagSpanned) |
                                          (spanned ? package::kFlagSpanned : 0));
    v.info.checksum = FinishPackageFile(*v.file, t, first && endMarker_);
    v.info.bytes = v.file->Size();
  }

  const BuildOptions& o_;
  std::string firstPath_;
  package::Trailer base_;
  bool endMarker_;
  std::vector<Volume> volumes_;
  std::uint32_t blocks_ = 0;
};

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

// A build written under temporary names, not yet renamed into place.
struct PendingBuild {
  std::unique_ptr<VolumeSet> set;
  std::unique_ptr<OutputFile> launcher;
  std::string firstVolume;
  BuildResult result;

  std::vector<OutputFile*> Outputs() const {
    std::vector<OutputFile*> files;
    set->AppendFiles(files);
    if (launcher) files.push_back(launcher.get());
    return files;
  }
};

// What is said once the files are in place.
void AfterCommit(const BuildOptions& o, const PendingBuild& p) {
  // A volume left from an earlier, longer build is not read (the last
  // volume has no Spanned flag) but would confuse whoever copies the set.
  std::error_code ec;
  const std::string next =
      package::VolumeFileName(p.firstVolume, static_cast<int>(p.result.volumes.size()) + 1);
  if (fs::exists(next, ec) && o.warn)
    o.warn(next + " is left from an earlier build and is not part of this package");
}

bool LiesInside(const std::string& path, const std::string& folder) {
  std::error_code ec;
  const fs::path dir = fs::weakly_canonical(fs::absolute(folder), ec);
  const fs::path parent = fs::weakly_canonical(fs::absolute(path, ec).parent_path(), ec);
  const auto [d, p] = std::mismatch(dir.begin(), dir.end(), parent.begin(), parent.end());
  return d == dir.end();
}

PendingBuild Prepare(const BuildOptions& o) {
  auto warn = [&](const std::string& text) {
    if (o.warn) o.warn(text);
  };
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

  std::error_code ec;
  if (!o.sourceDir.empty() && LiesInside(o.outputPath, o.sourceDir))
    throw Error("the output " + o.outputPath + " lies inside the source folder " + o.sourceDir);
  if (fs::exists(o.outputPath, ec) && fs::equivalent(o.outputPath, o.stubPath, ec))
    throw Error("the output must not be the stub itself");

  // Header blocks.
  const bool download = AnyDownloadSetting(o);
  const int defaultVersion = download ? 3 : 2;
  const std::uint8_t versionByte =
      o.versionByte ? *o.versionByte : static_cast<std::uint8_t>(defaultVersion);
  const int headerBlocks = versionByte == 0 ? 2 : versionByte;
  if (download && headerBlocks < 3)
    throw Error("download settings need header block 3 (version 3), but the version is " +
                IntToStr(versionByte));
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
  headers.resize(static_cast<std::size_t>(headerBlocks));

  if (o.useDownloadRoad && (!o.downloadSource || (!o.downloadName && o.downloadSetup.empty())))
    warn("the download road needs a download source and a setup file name");
  if (!o.agentName.empty()) {
    // The stub writes the agent copy under the file name part.
    if (const char* why = package::PackageNameReason(util::FileNameOf(o.agentName)))
      throw Error("agent name '" + o.agentName + "': " + why);
  }
  if (o.carryAgent && o.agentName.empty())
    warn("--carry-agent without --agent-name: the stub writes no agent copy");

  std::vector<SourceFile> files = CollectFiles(o);
  if (o.useDownloadRoad && !files.empty())
    warn("the stub ignores the payload of a download-road package");

  PendingBuild pending;
  BuildResult& result = pending.result;
  result.version = versionByte;
  if (!o.engine.empty()) {
    std::string wanted = util::ReplaceAll(o.engine, "/", "\\");
    auto it = std::find_if(files.begin(), files.end(),
                           [&](const SourceFile& f) { return util::EqualsNoCase(f.name, wanted); });
    if (it == files.end())
      throw Error("engine " + o.engine + " is not a file of the source folder");
    it->engine = true;
    result.engineEntry = package::MakeEngineEntry(it->name, o.engineArgs);
  } else if (!o.useDownloadRoad && !o.isUpdateAgent) {
    warn("no --engine: the stub will unpack the files but start nothing");
  }

  // Stub image.
  package::Trailer existing;
  if (package::ReadTrailer(o.stubPath, existing) && existing.HasMagic())
    throw Error("the stub " + o.stubPath + " already carries a package; give the bare stub");
  std::string stub = ReadWholeFile(o.stubPath, "stub");
  if (!package::IsPeFile(o.stubPath))
    warn("the stub " + o.stubPath + " is not a PE file with its signature at offset 256");
  const bool hasMarkerArea = stub.size() >= package::kEndMarkerLow + 4;
  if (!hasMarkerArea && o.endMarker)
    throw Error("the stub is too small to hold a package end marker");
  if (hasMarkerArea) // 0 = the package ends at the end of the file
    std::fill_n(stub.begin() + package::kEndMarkerHigh, 8, '\0');

  std::uint64_t totalInput = 0;
  std::uint32_t totalBlocks = 0;
  std::uint64_t plainSum = 0;
  std::array<std::uint64_t, package::kSpaceEntries> space{};
  for (const SourceFile& f : files) {
    totalInput += f.size;
    const std::uint64_t blocks = f.size == 0 ? 1 : (f.size + o.blockSize - 1) / o.blockSize;
    if (totalBlocks + blocks > std::numeric_limits<std::uint32_t>::max())
      throw Error("too many blocks for one package");
    totalBlocks += static_cast<std::uint32_t>(blocks);
    plainSum += f.size;
    space[0] += f.size;
    for (int i = 1; i < package::kSpaceEntries; ++i) {
      const std::uint64_t cluster = 256ull << i;
      space[i] += (f.size + cluster - 1) / cluster * cluster;
    }
  }
  if (space[package::kSpaceEntries - 1] > 0xFFFFFFFFu)
    warn("the unpacked size exceeds 4 GiB; the space table is capped at 4 GiB");

  package::Trailer t;
  t.reserved0 = 1;
  t.version = versionByte;
  t.headerStart = static_cast<std::uint32_t>(stub.size());
  t.filesCount = totalBlocks; // of the whole package, on every volume
  t.magic = package::kMagic;
  for (int i = 0; i < package::kSpaceEntries; ++i)
    t.spaceRequired[i] = Saturate32(space[i]);
  const bool volumes = o.volumeSize != 0 || o.cdLayout;
  if (o.flags) {
    t.flags = *o.flags;
    if ((t.flags & package::kFlagSpanned) && !volumes)
      warn("the flags set Spanned: readers will look for volume files of this package");
  } else {
    t.flags = (o.flagAlwaysReportTempDrive ? package::kFlagAlwaysReportTempDrive : 0) |
              (o.flagSpanCdLevel ? package::kFlagSpanCdLevel : 0) |
              (o.flagShowSecondBar ? package::kFlagShowSecondBar : 0) |
              (o.flagAgentLog ? package::kFlagAgentLog : 0);
  }
  if ((t.flags & package::kFlagSpanCdLevel) && !o.cdLayout)
    warn("the span-level bit makes the stub run a copy of itself on " + o.outputPath +
         ".001, which this build does not write (--cd-layout writes that set)");
  t.useDownloadRoad = o.useDownloadRoad;
  t.askBeforeDownload = o.askBeforeDownload;
  t.carryAgent = o.carryAgent;
  t.isUpdateAgent = o.isUpdateAgent;
  t.trailerLength = package::kTrailerSize;

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
  pending.set = std::make_unique<VolumeSet>(o, pending.firstVolume, stubAndHeader, volumeTrailer,
                                            o.endMarker && hasMarkerArea);
  VolumeSet& set = *pending.set;

  BuildProgress progress;
  progress.bytesTotal = totalInput;
  progress.blocksTotal = totalBlocks;
  // The one place blocks are written, in package order.
  Pipeline pipeline(levels, o.threads, [&](Job& job) {
    const bool compressed = !job.packed.empty();
    const std::string& body = compressed ? job.packed : job.raw;
    set.AddBlock(LengthWord(body.size(), compressed), body, job.name);
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

  if (o.cdLayout) {
    pending.launcher = std::make_unique<OutputFile>(o.outputPath);
    OutputFile& launcher = *pending.launcher;
    launcher.Write(stubAndHeader);
    package::Trailer lt = t;
    lt.flags =
        static_cast<std::uint8_t>((lt.flags & ~package::kFlagSpanned) | package::kFlagSpanCdLevel);
    result.launcher.path = o.outputPath;
    result.launcher.checksum = FinishPackageFile(launcher, lt, o.endMarker && hasMarkerArea);
    result.launcher.bytes = launcher.Size();
  }
  for (OutputFile* f : pending.Outputs())
    if (fs::exists(f->FinalPath(), ec) && fs::equivalent(f->FinalPath(), o.stubPath, ec))
      throw Error("the output " + f->FinalPath().string() + " is the stub itself");

  result.volumes = set.Written();
  result.checksum = result.volumes.front().checksum;
  for (const WrittenFile& v : result.volumes)
    result.outputBytes += v.bytes;
  result.inputBytes = plainSum;
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
