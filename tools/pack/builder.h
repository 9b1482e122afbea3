// Building a package: stub image, header blocks, one or more zlib blocks per
// file, the trailer and the package end marker. docs/package-format.md is the
// contract this writes; docs/vpack.md explains the options.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "package/engine_result.h"

namespace pack {

struct BuildProgress {
  std::uint64_t bytesDone = 0; // input bytes packed so far
  std::uint64_t bytesTotal = 0;
  std::uint32_t blocksDone = 0;
  std::uint32_t blocksTotal = 0;
};

struct BuildOptions {
  std::string sourceDir; // may be empty with useDownloadRoad (no payload)
  std::string stubPath;
  std::string outputPath;

  // Header block 1: INI-style language file; none gives "*".
  std::string languageFile;

  // Header block 2 (UpdateInfo).
  std::string updateUrl;
  bool updateUrlGiven = false; // given, even if empty (which is then refused)
  std::string updateInfoName;
  std::string agentName;
  std::string updateToken;                     // the field as written
  std::optional<std::string> updateTokenPlain; // made into a token
  bool runHidden = false;
  // UpdateInfo field 5: the vendor's public key for signed updates (128 hex
  // digits, see trust/); none when empty.
  std::string updateKey;
  // UpdateInfo field 6, written only for the exit-code rule (field 5 is then
  // written too, empty without a key): packages with the handshake stay as
  // they were.
  package::EngineResult engineResult = package::EngineResult::kHandshake;

  // Header block 3 (DownloadInfo); given settings make the package version 3.
  std::optional<std::string> downloadSource;
  std::optional<std::string> downloadName;
  bool downloadAsIs = false;
  std::optional<std::string> downloadToken;
  std::optional<std::string> downloadTokenPlain;
  std::optional<std::uint64_t> downloadSize;
  // DownloadInfo field 5: the setup file's SHA-256 (hex), which the web stub
  // checks after the download.
  std::optional<std::string> downloadSha256;
  // A setup file to take the name, size and download token from (each only
  // when not given above).
  std::string downloadSetup;

  // Seed for tokens made from plain texts; unset: derived from the text, so
  // builds are reproducible.
  std::optional<std::uint32_t> tokenSeed;

  // The engine: a file of the source folder (either separator, any case).
  std::string engine;
  std::string engineArgs;

  // Compression.
  // Every block at this level; unset: the compressor's default level, and
  // its small-block level for blocks under 64 KiB (block_compressor.h).
  std::optional<int> level;
  std::size_t blockSize = 1 << 20; // input bytes per block
  unsigned threads = 0;            // 0: one per hardware thread

  // Trailer.
  std::optional<std::uint8_t> flags; // raw byte, replaces the flag options
  bool flagAlwaysReportTempDrive = false;
  bool flagSpanCdLevel = false;
  bool flagShowSecondBar = false;
  bool flagAgentLog = false;
  bool useDownloadRoad = false;
  bool askBeforeDownload = false;
  bool carryAgent = false;
  bool isUpdateAgent = false;
  std::optional<std::uint8_t> versionByte; // 0..3; header blocks follow it
  // Write the package end (the output size) at offsets 248..255 instead of 0.
  bool endMarker = false;

  // Spanned output: no volume file larger than this many bytes (0: one
  // file). Volume 1 is the output with the stub and the header blocks;
  // volume j >= 2 is package::VolumeFileName(volume 1, j) and holds blocks
  // only. A block is never split; one too large for a volume gets a volume
  // of its own (with a warning).
  std::uint64_t volumeSize = 0;
  // CD-style set: the output is a launcher (stub and header blocks, no
  // payload, SpanCdLevel set) and the package goes to OUT.001, OUT.002, ...
  // The launcher runs a copy of itself from the work folder on OUT.001, so
  // nothing is unpacked straight from the disc it was started from.
  bool cdLayout = false;

  // Web setup: besides the full setup (outputPath) write this small
  // download-road stub for it. Both carry one download token (the one given,
  // else a random one); the stub's DownloadInfo names the full setup's file
  // and size under downloadSource. Download settings other than the source,
  // the token and downloadAsIs, and spanned output, are refused.
  std::string webStubPath;

  // Replace output files that exist; otherwise an existing one is an Error
  // (before the payload is written when its name is known up front).
  bool force = false;

  std::function<void(const BuildProgress&)> progress;
  std::function<void(const std::string&)> warn;
};

struct WrittenFile {
  std::string path;
  std::uint64_t bytes = 0;
  std::uint32_t blocks = 0; // file blocks
  std::uint32_t checksum = 0;
};

struct BuildResult {
  std::uint32_t files = 0;
  std::uint32_t fileBlocks = 0;
  std::uint32_t storedBlocks = 0;
  std::uint64_t inputBytes = 0;
  std::uint64_t outputBytes = 0;    // all volumes, without the launcher
  std::uint64_t payloadBytes = 0;   // the file blocks alone: no stub, header or trailer
  std::uint32_t checksum = 0;       // of volume 1
  std::vector<WrittenFile> volumes; // volume 1 first
  WrittenFile launcher;             // cdLayout only
  std::uint8_t version = 0;
  std::string engineEntry;
  WrittenFile webStub;       // webStubPath only
  std::string downloadToken; // webStubPath only: the token both files carry, as written
};

// Builds the package (with webStubPath, the full setup and its web stub);
// throws pack::Error (and leaves none of its files) on failure.
BuildResult Build(const BuildOptions& options);

// The token for `plain`: MakeToken with the given seed, or with a seed
// derived from the text.
std::string TokenFor(const std::string& plain, std::optional<std::uint32_t> seed);

} // namespace pack
