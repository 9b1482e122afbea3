#include "package/unpack.h"

#include <algorithm>

#include "package/payload.h"
#include "package/trailer.h"
#include "package/volume_set.h"
#include "platform/file.h"
#include "util/text.h"

namespace package {

namespace {

// Output between two pumps while a block inflates.
constexpr std::size_t kInflatePumpBytes = 256 * 1024;

int g_saveErrorCount = 0;
bool g_abortExtraction = false;

bool EndsWithExe(const std::string& path) {
  return util::EndsWithNoCase(path, ".exe") || util::EndsWithNoCase(path, ".exe.001");
}

class Extraction {
 public:
  Extraction(const UnpackRequest& r, UnpackHost& h) : req_(r), host_(h) {}

  UnpackResult Run() {
    const std::uint64_t start = host_.Milliseconds();
    Progress(0, 0, 1, 0);
    std::string volume = req_.packageFile;
    for (int j = 1;; ++j) {
      Trailer trailer;
      if (host_.FileExists(volume)) {
        if (!Volume(volume, j, trailer)) break;
      }
      if (!(trailer.flags & kFlagSpanned) || result_.damaged || Aborted()) break;
      volume = VolumeFileName(req_.packageFile, j + 1);
      if (!NextDisk(volume, j + 1)) break;
    }
    // A set that ends early (its last volume replaced by an earlier one's
    // copy, blocks cut away) is not whole.
    if ((first_.flags & kFlagSpanned) && result_.intact && !result_.damaged &&
        !result_.aborted && !result_.cancelled &&
        blockCounter_ - first_.version != std::int64_t(first_.filesCount))
      Damaged(volume, -1, "another number of files than the trailer says");
    if (result_.cancelled || result_.damaged || result_.aborted || result_.refusedName)
      result_.engineEntry.clear();
    host_.Trace("UnCompressTime: " + util::IntToStr(std::int64_t(host_.Milliseconds() - start)) +
                " MS");
    host_.Trace("");
    host_.Wait(500);
    return result_;
  }

 private:
  void Progress(int kind, int high, int step, int position) {
    if (req_.progress) req_.progress(kind, 0, high, 0, step, position);
  }

  bool Aborted() {
    if (!result_.aborted && (g_abortExtraction || host_.AbortRequested())) {
      result_.aborted = true;
      host_.Trace("Extraction aborted");
    }
    return result_.aborted;
  }

  // One volume; false ends the walk (failed checksum, damage, abort).
  bool Volume(const std::string& path, int number, Trailer& trailer) {
    platform::InputFile file(path);
    if (!file.IsOpen()) return true;
    const bool read = ReadTrailer(file, trailer);
    if (number == 1) {
      first_ = trailer;
      host_.Trace("FileInfo.FilesCount=" + util::IntToStr(trailer.filesCount));
    } else if (const char* why = ForeignVolumeReason(first_, trailer, read, number)) {
      Damaged(path, -1, why);
      return false;
    }
    const std::uint32_t sum = PackageChecksum(path, trailer.trailerLength);
    result_.intact = ChecksumMatches(trailer.checksum, sum);
    if (!result_.intact) return false;

    std::int64_t end = file.Size();
    if (IsPeFile(file)) {
      const std::int64_t marker = PackageEndFromFile(file);
      if (marker > 0 && marker <= end) end = marker;
    }
    host_.Trace("FileLen=" + util::IntToStr(end));
    // Without the magic the flags are noise: no next volume is looked for.
    if (!trailer.HasMagic()) {
      trailer = Trailer{};
      return true;
    }

    if (number == 1) Progress(0, static_cast<int>(trailer.filesCount), 1, 0);
    if (!host_.CreateFolder(req_.targetFolder))
      host_.ShowError(req_.targetFolder + "<P><P>Unable to create Directory!<P><P>" +
                      host_.LastErrorText());
    // Blocks must end before the trailer; a length that says otherwise is
    // damage, never an allocation.
    const std::int64_t limit = end - std::min<std::int64_t>(trailer.trailerLength, end);
    std::int64_t position = trailer.headerStart;
    std::int64_t stubAndHeaderLength = 0;
    do {
      host_.Pump();
      if (Aborted()) return false;
      BlockFrame frame;
      std::string error;
      if (!ReadBlockFrame(file, position, limit, frame, error)) {
        Damaged(path, position, error);
        return false;
      }
      ++blockCounter_;
      // Header blocks are read by TGFileInfo; here they are stepped over.
      if (blockCounter_ > trailer.version && !FileBlock(file, path, frame)) return false;
      position = frame.End();
      if (blockCounter_ == trailer.version) stubAndHeaderLength = position;
    } while (!PayloadEndsAt(end, trailer.trailerLength, position));
    if (Aborted()) return false;

    if (number == 1 && !req_.agentName.empty() && EndsWithExe(path))
      WriteAgentCopy(file, path, stubAndHeaderLength);
    return true;
  }

  // The file one block writes to.
  struct Output {
    std::string target;     // empty: no file (skipped or refused block)
    bool open = false;      // BeginFile succeeded
    bool failed = false;    // a write failed; later pieces are only counted
    std::size_t dataSize = 0;
    std::size_t sincePump = 0;
    std::uint32_t dosDateTime = 0;
  };

  // Starts the block's file from its header; false skips the block's data.
  bool StartFile(std::string_view raw, Output& out) {
    if (raw.empty()) return false;
    const FileHeader header = ParseFileHeader(raw);
    if (!header.engineEntry.empty()) result_.engineEntry = header.engineEntry;
    lastName_ = header.name;
    const std::string target = util::JoinPath(req_.targetFolder, header.name);
    const char* why = UnsafeNameReason(header.name);
    // Windows could not create the path: refused before any folder is made.
    if (!why && !PathFitsWindows(target)) why = "too long a path";
    if (why) {
      result_.refusedName = true;
      SaveFailed(header.name + "<P><P>File name refused: " + why, 0, {});
      return false;
    }
    out.target = target;
    out.dosDateTime = header.dosDateTime;
    if (!host_.FileExists(target)) Progress(1, 0, 0, 0);
    out.open = host_.BeginFile(target);
    out.failed = !out.open;
    return true;
  }

  bool WriteData(std::string_view data, Output& out) {
    out.dataSize += data.size();
    if (!out.failed && !host_.WriteFileData(data)) out.failed = true;
    // Keep the window alive while a block that compresses well inflates:
    // once per kInflatePumpBytes of output, not per piece (a round trip to
    // the window system each made such blocks unpack several times slower).
    out.sincePump += data.size();
    if (out.sincePump >= kInflatePumpBytes) {
      out.sincePump = 0;
      host_.Pump();
      if (Aborted()) return false;
    }
    return true;
  }

  // Streams the block from the file through the decoder into its file, so
  // memory stays bounded whatever the block claims.
  bool FileBlock(platform::InputFile& file, const std::string& volume, const BlockFrame& frame) {
    Output out;
    BlockDecoder::Sink sink;
    sink.onHeader = [&](std::string_view raw, bool) { return StartFile(raw, out); };
    sink.onData = [&](std::string_view data) { return WriteData(data, out); };
    std::string error;
    bool go = decoder_.Begin(frame.compressed, error);
    if (go && !file.Seek(frame.BodyOffset())) {
      error = "cannot seek to the block body at offset " + util::IntToStr(frame.BodyOffset());
      go = false;
    }
    if (buffer_.size() < kReadPortion) buffer_.resize(kReadPortion);
    for (std::uint32_t done = 0; go && done < frame.size;) {
      const std::size_t n = std::min<std::size_t>(kReadPortion, frame.size - done);
      if (!file.ReadExact(buffer_.data(), n)) {
        error = "cannot read the block body at offset " + util::IntToStr(frame.BodyOffset() + done);
        go = false;
        break;
      }
      done += static_cast<std::uint32_t>(n);
      host_.Pump();
      if (Aborted()) break;
      go = decoder_.Feed(std::string_view(buffer_.data(), n), sink, error);
    }
    if (go && !result_.aborted) decoder_.Finish(sink, error);
    if (out.open) host_.EndFile(out.dosDateTime, !out.failed && error.empty() && !result_.aborted);
    if (!error.empty()) {
      Damaged(volume, frame.offset, error);
      return false;
    }
    if (result_.aborted) return false;
    if (!out.target.empty() && out.failed) SaveFailed(out.target, out.dataSize, out.target);
    return true;
  }

  void SaveFailed(const std::string& what, std::size_t size, const std::string& path) {
    if (++g_saveErrorCount == 1) {
      std::string text = what + "<P><P>Unable to save Extracted File!<P><P>";
      if (!path.empty()) text += ExtractionInfoText(host_, path, size);
      host_.ShowError(text);
    }
  }

  void Damaged(const std::string& volume, std::int64_t offset, const std::string& error) {
    result_.damaged = true;
    std::string text = "<B>" + volume + "</B><P><P>The package is damaged";
    if (offset >= 0) text += " at offset " + util::IntToStr(offset);
    if (!lastName_.empty()) text += " (after the file " + lastName_ + ")";
    text += ":<P>" + error + "<P><P>Setup cannot continue.";
    host_.Trace("Damaged package: " + volume + " @" + util::IntToStr(offset) + ": " + error);
    host_.ShowError(text);
  }

  // The agent copy: the stub and its header blocks, without payload, with
  // the end marker cleared and the agent byte set.
  void WriteAgentCopy(platform::InputFile& file, const std::string& path, std::int64_t length) {
    Trailer trailer;
    ReadTrailer(file, trailer);
    if (length < std::int64_t(kEndMarkerLow + 4) || length > file.Size()) return;
    std::string image(static_cast<std::size_t>(length), '\0');
    if (!file.Seek(0) || !file.ReadExact(image.data(), image.size())) return;
    std::fill(image.begin() + kEndMarkerHigh, image.begin() + kEndMarkerLow + 4, '\0');
    trailer.isUpdateAgent = 1;
    trailer.trailerLength = kTrailerSize;
    const auto bytes = EncodeTrailer(trailer);
    image.append(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    const std::string name = util::FileNameOf(req_.agentName);
    const std::string target = util::JoinPath(req_.targetFolder, name);
    // The agent name comes from the package: the same rule as every file.
    const char* why = UnsafeNameReason(name);
    if (!why && !PathFitsWindows(target)) why = "too long a path";
    if (why) {
      result_.refusedName = true;
      SaveFailed(name + "<P><P>File name refused: " + why, 0, {});
      return;
    }
    host_.WriteNewFile(target, image, path);
    host_.Trace(util::IntToStr(host_.ProcessId()) + " New AU-Agent: " + target);
  }

  // Asks for volume `number` until it is there; false when the user cancels.
  bool NextDisk(const std::string& next, int number) {
    host_.SuppressAutoPlay();
    if (req_.alwaysPrompt || !host_.FileExists(next)) {
      host_.EjectMedia(next);
      const std::string prompt =
          util::ReplaceAll(req_.diskPrompt, "<DISK_NUM>", util::IntToStr(number));
      bool ok;
      do {
        ok = host_.AskOkCancel(prompt, req_.caption, req_.buttons, req_.charset);
        host_.Wait(500);
      } while (ok && !host_.FileExists(next));
      if (!ok) {
        result_.cancelled = true;
        return false;
      }
    }
    Progress(1, 0, 0, 0);
    return true;
  }

  const UnpackRequest& req_;
  UnpackHost& host_;
  UnpackResult result_;
  int blockCounter_ = 0;
  Trailer first_;
  // Kept from block to block: fresh buffers for every block cost page faults
  // that, under Wine, made unpacking a third slower.
  std::string buffer_;
  BlockDecoder decoder_;
  std::string lastName_;
};

}  // namespace

int SaveErrorCount() { return g_saveErrorCount; }
void SetAbortExtraction(bool abort) { g_abortExtraction = abort; }
bool AbortExtraction() { return g_abortExtraction; }

UnpackResult ExtractPackage(const UnpackRequest& request, UnpackHost& host) {
  return Extraction(request, host).Run();
}

std::string ExtractionInfoText(UnpackHost& host, const std::string& filePath,
                               std::size_t dataSize) {
  // The error text first: looking at the file resets the last error.
  const std::string error = host.LastErrorText();
  const std::int64_t size = host.FileSize(filePath);
  return error + "<P>" + "  Data Size: <T>" + util::IntToStr(std::int64_t(dataSize)) +
         " Bytes<P>" + "  File Size:  <T>" + util::IntToStr(size < 0 ? 0 : size) + " Bytes<P>" +
         "  Bytes Free: <T>" + util::IntToStr(std::int64_t(host.FreeBytes(filePath))) + " Bytes";
}

}  // namespace package
