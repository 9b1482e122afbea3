#include "pack/cli.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <memory>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include "pack/agent_writer.h"
#include "pack/block_compressor.h"
#include "pack/builder.h"
#include "pack/error.h"
#include "pack/extractor.h"
#include "pack/inspector.h"
#include "pack/key_check.h"
#include "pack/progress_printer.h"
#include "pack/reader.h"
#include "pack/release.h"
#include "pack/text_encoding.h"
#include "pack/update_signing.h"
#include "platform/file.h"
#include "util/text.h"

namespace pack {

namespace {

constexpr const char* kDescription =
    "vpack builds and inspects installer packages: a stub executable with the package\n"
    "(header blocks, zlib blocks of files, trailer) appended to it.\n"
    "\n"
    "Example:\n"
    "  vpack build dist/ --stub stub.exe --engine setup.exe --engine-args \"/S\" \\\n"
    "        --update-url http://example.invalid/app --update-info app.info -o app-setup.exe\n"
    "  vpack verify app-setup.exe && vpack list app-setup.exe\n"
    "A web setup (the full setup and a small stub that downloads it):\n"
    "  vpack build dist/ --stub stub.exe --engine setup.exe -o upload/app-setup.exe \\\n"
    "        --web-stub app-websetup.exe --download-source http://example.invalid/files\n"
    "\n"
    "docs/vpack.md is the manual; docs/package-format.md describes the format.";

bool StderrIsTerminal() {
#ifdef _WIN32
  return _isatty(_fileno(stderr)) != 0;
#else
  return isatty(fileno(stderr)) != 0;
#endif
}

std::string Dump(const nlohmann::ordered_json& j) {
  return j.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

} // namespace

int RunCli(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
  CLI::App app(kDescription, "vpack");
  app.set_version_flag("--version", "vpack " VANTOR_VERSION);
  app.require_subcommand(1);
  app.fallthrough(false);

  // build
  BuildOptions b;
  bool quiet = false;
  std::uint32_t seed = 0;
  unsigned flagsValue = 0;
  unsigned versionValue = 0;
  auto* build = app.add_subcommand(
      "build",
      "Build a package: the stub, then the header blocks, one or more zlib blocks per file of\n"
      "SOURCE_DIR (relative names with '\\'), and the trailer. Examples:\n"
      "  vpack build dist/ --stub stub.exe --engine setup.exe -o setup-full.exe\n"
      "  vpack build dist/ --stub stub.exe --engine setup.exe -o upload/setup-full.exe \\\n"
      "        --web-stub websetup.exe --download-source http://example.invalid/files");
  build
      ->add_option("SOURCE_DIR", b.sourceDir,
                   "Folder whose files (with subfolders) are packed; may be left out for a\n"
                   "download-road package, which carries no payload")
      ->check(CLI::ExistingDirectory);
  build->add_option("--stub", b.stubPath, "The bare stub executable the package is appended to")
      ->required()
      ->check(CLI::ExistingFile);
  build
      ->add_option("-o,--output", b.outputPath,
                   "Package file to write (written under a temporary name, then renamed)")
      ->required();
  build
      ->add_option("--languages", b.languageFile,
                   "INI file of package texts: one [LANGUAGE] section (a file mask such as\n"
                   "ENGLISH or GERMAN* or *) per record, key=value lines; none gives \"*\"")
      ->check(CLI::ExistingFile);
  build->add_option("--engine", b.engine,
                    "The setup engine: a file of SOURCE_DIR (relative path) the stub starts\n"
                    "after unpacking; its name field becomes \"NAME*ARGS\"");
  build
      ->add_option("--engine-args", b.engineArgs,
                   "Arguments the stub passes to the engine (after its own arguments)")
      ->needs("--engine");
  std::string engineResult = "handshake";
  build
      ->add_option("--engine-result", engineResult,
                   "How the stub and the agent tell that the engine did its work: \"handshake\"\n"
                   "(it deletes the launch atom, docs/engine-contract.md) or \"exit-code\" (exit\n"
                   "code 0 or 3010, for installers that cannot take the handshake; UpdateInfo\n"
                   "field 6)")
      ->check(CLI::IsMember({"handshake", "exit-code"}))
      ->default_str("handshake");
  build->add_option("--update-url", b.updateUrl,
                    "UpdateInfo field 0: base URL of the auto-update files");
  build->add_option("--update-info", b.updateInfoName,
                    "UpdateInfo field 1: name (or path) of the \".info\" update descriptor");
  build->add_option("--agent-name", b.agentName,
                    "UpdateInfo field 2: file name of the auto-update agent executable");
  auto* updToken = build->add_option("--update-token", b.updateToken,
                                     "UpdateInfo field 3 as written (an already scrambled token)");
  std::string updatePlain;
  auto* updPlain = build->add_option("--update-token-plain", updatePlain,
                                     "UpdateInfo field 3 made from this plain text (vpack token)");
  updToken->excludes(updPlain);
  std::string updateKeyFile;
  build
      ->add_option("--update-key", updateKeyFile,
                   "UpdateInfo field 5: the vendor's public key (NAME.pub of vpack keygen).\n"
                   "An agent with a key runs only updates signed with it (vpack sign-update)")
      ->check(CLI::ExistingFile);
  build->add_flag("--run-hidden", b.runHidden,
                  "UpdateInfo field 4 = \"1\": the setup runs hidden (no window, no questions)");
  std::string dlSource, dlName, dlToken, dlPlain;
  std::uint64_t dlSize = 0;
  auto* oSource =
      build->add_option("--download-source", dlSource,
                        "DownloadInfo field 0: URL folder or local folder of the setup file\n"
                        "(with --web-stub: where the full setup is put for download)");
  auto* oName =
      build->add_option("--download-name", dlName, "DownloadInfo field 1: setup file name");
  build->add_flag("--download-as-is", b.downloadAsIs,
                  "DownloadInfo field 2 = \"1\": use the source even when the setup file lies\n"
                  "beside the stub");
  auto* oToken = build->add_option("--download-token", dlToken,
                                   "DownloadInfo field 3 as written (the setup file's token;\n"
                                   "with --web-stub: of both files)");
  auto* oPlain = build->add_option("--download-token-plain", dlPlain,
                                   "DownloadInfo field 3 made from this plain text (with\n"
                                   "--web-stub: of both files; default a random text)");
  oToken->excludes(oPlain);
  auto* oSize = build->add_option("--download-size", dlSize,
                                  "DownloadInfo field 4: setup file size in bytes");
  build
      ->add_option("--download-setup", b.downloadSetup,
                   "Setup file to take DownloadInfo fields 1, 3 and 4 from (name, its own\n"
                   "download token, size) unless given explicitly")
      ->check(CLI::ExistingFile);
  auto* oSeed =
      build->add_option("--seed", seed,
                        "Seed for tokens made from plain texts (default: derived from the\n"
                        "text, so builds are reproducible)");
  const CompressorKind& compressor = BuildCompressor();
  int level = 0;
  auto* oLevel =
      build
          ->add_option("--level", level,
                       std::string("Compression level 0-") + std::to_string(compressor.maxLevel) +
                           " of " + compressor.name +
                           " (this build's compressor) for every\n"
                           "block; default " +
                           std::to_string(compressor.defaultLevel) + ", and " +
                           std::to_string(compressor.smallBlockLevel) + " for blocks under 64 KiB")
          ->check(CLI::Range(0, compressor.maxLevel));
  build
      ->add_option("--block-size", b.blockSize,
                   "Input bytes per block (suffixes K, M); larger files span several\n"
                   "consecutive blocks of the same name")
      ->default_str("1M")
      ->transform(CLI::AsSizeValue(false));
  build
      ->add_option("--threads", b.threads,
                   "Compression threads (0 = one per processor; builds without thread\n"
                   "support use one)")
      ->default_val(0);
  auto* oFlags = build
                     ->add_option("--flags", flagsValue,
                                  "Trailer Flags byte as a number (replaces the --flag-* options;\n"
                                  "bit 1 Spanned is for tests only)")
                     ->check(CLI::Range(0, 255));
  for (auto [name, target, help] :
       {std::tuple{"--flag-always-report-temp-drive", &b.flagAlwaysReportTempDrive,
                   "Flags bit 0: the temp-space report always names the temp drive"},
        std::tuple{"--flag-span-cd-level", &b.flagSpanCdLevel, "Flags bit 2: SpanCdLevel"},
        std::tuple{"--flag-show-second-bar", &b.flagShowSecondBar,
                   "Flags bit 3: show the second (pulse) progress bar while unpacking"},
        std::tuple{"--flag-agent-log", &b.flagAgentLog,
                   "Flags bit 4: the auto-update agent writes its log"}})
    build->add_flag(name, *target, help)->excludes(oFlags);
  build->add_flag("--download-road", b.useDownloadRoad,
                  "Trailer byte 66: the stub downloads the real setup file (DownloadInfo)\n"
                  "instead of unpacking a payload");
  build->add_flag("--ask-before-download", b.askBeforeDownload,
                  "Trailer byte 67: ask the user before downloading (with\n"
                  "--web-stub: set in the web stub)");
  build->add_flag("--carry-agent", b.carryAgent,
                  "Trailer byte 68: the setup run writes the auto-update agent copy\n"
                  "(named by --agent-name)");
  build->add_flag("--agent", b.isUpdateAgent,
                  "Trailer byte 69: the package is an auto-update agent");
  auto* oVersion =
      build
          ->add_option("--version-byte", versionValue,
                       "Trailer Version byte (0 reads as 2); the number of header\n"
                       "blocks written follows it. Default 2, or 3 with download settings")
          ->check(CLI::Range(0, 3));
  build->add_flag("--end-marker", b.endMarker,
                  "Write the package end (the output size) at offsets 248..255 instead of 0,\n"
                  "so data may be appended later (e.g. a signature)");
  build
      ->add_option("--volume-size", b.volumeSize,
                   "Spanned output: no volume file larger than this (suffixes K, M). Volume 1\n"
                   "is OUT (stub, header, blocks), then OUT.002, OUT.003, ... (OUT less a\n"
                   "trailing .001); blocks are never split")
      ->transform(CLI::AsSizeValue(false));
  build->add_flag("--cd-layout", b.cdLayout,
                  "CD-style set: OUT is a launcher (stub and header only, Flags bit 2) that\n"
                  "runs a copy of itself on OUT.001; the package goes to OUT.001, OUT.002, ...");
  auto* oWebStub =
      build->add_option("--web-stub", b.webStubPath,
                        "Web setup: also write this small download-road stub for the full setup\n"
                        "(-o). Both carry one download token (--download-token[-plain], else a\n"
                        "random one); the stub downloads the full setup's file from\n"
                        "--download-source and checks its token. --ask-before-download\n"
                        "and --download-as-is go to the stub; other options to both, except the\n"
                        "payload and engine (full setup only)");
  oWebStub->needs(oSource);
  for (CLI::Option* other :
       {oName, oSize, build->get_option("--download-setup"), build->get_option("--download-road"),
        build->get_option("--volume-size"), build->get_option("--cd-layout")})
    oWebStub->excludes(other);
  build->add_flag("-q,--quiet", quiet, "No progress and no summary");
  build->add_flag("--force", b.force,
                  "Replace output files that exist (the package, its volumes, the launcher, the\n"
                  "web stub); without it an existing one is an error and nothing is written");

  // info / list
  std::string package;
  bool asJson = false;
  auto* info = app.add_subcommand(
      "info", "Show every trailer and header field: flags, space table, language texts,\n"
              "UpdateInfo/DownloadInfo by name (with the update key's fingerprint), agent or\n"
              "setup, checksum stored vs computed; for an agent also its descriptors beside it.\n"
              "Given a .original or .info descriptor, every key as the agent reads it; given a\n"
              "NAME.pub, its fingerprint. Warns on keys the stub or the agent does not read");
  info->add_option("PACKAGE", package, "Package file")->required();
  info->add_flag("--json", asJson, "Print JSON instead of text");
  auto* list = app.add_subcommand(
      "list", "List the files with sizes and DOS dates, engine entry marked (follows volumes)");
  list->add_option("PACKAGE", package,
                   "Package file (volume 1 of a spanned package, or a CD-style launcher)")
      ->required();
  list->add_flag("--json", asJson, "Print JSON instead of text");

  // verify
  auto* verify = app.add_subcommand(
      "verify", "Check the checksum of every volume, the framing of every block and that every\n"
                "block inflates; exit 0 only when all is good, else name each problem and where");
  verify->add_option("PACKAGE", package, "Package file (volume 1, or a CD-style launcher)")
      ->required();
  verify->add_flag("--json", asJson,
                   "Print the result as JSON: file, package, ok, volumes, blocks, and problems\n"
                   "(each with where and what); the exit code is the same");

  // extract
  std::string targetDir;
  bool noAgent = false, verbose = false;
  auto* extract = app.add_subcommand(
      "extract",
      "Unpack the files into a folder exactly as the stub does (same block walk, same-name\n"
      "blocks appended, dates set, volumes followed); unsafe names are refused, never written\n"
      "outside the folder. Exit 1 when anything was refused or damaged");
  extract
      ->add_option("PACKAGE", package,
                   "Package file (volume 1 of a spanned package, or a CD-style launcher)")
      ->required();
  extract->add_option("-o,--output", targetDir, "Folder to unpack into (created if missing)")
      ->required();
  extract->add_flag("--no-agent-copy", noAgent,
                    "Do not write the auto-update agent copy the stub writes for a package\n"
                    "with CarryAgent");
  extract->add_flag("-v,--verbose", verbose, "Name each file as it is written");

  // token
  std::string plain;
  std::uint32_t tokenSeed = 0;
  auto* token = app.add_subcommand(
      "token", "Print the scrambled token for a plain text (UpdateInfo field 3 or\n"
               "DownloadInfo field 3)");
  token->add_option("PLAIN", plain, "The plain token text")->required();
  auto* oTokenSeed = token->add_option("--seed", tokenSeed,
                                       "Random seed (default: derived from the text, as in build)");

  AgentCommand agent(app);
  SigningCommands signing(app);
  ReleaseCommand release(app);

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e, out, err);
  }

  try {
    if (*build) {
      if (b.sourceDir.empty() && !b.useDownloadRoad)
        throw Error("SOURCE_DIR is required (only --download-road packages may omit it)");
      if (*updPlain) b.updateTokenPlain = updatePlain;
      b.updateUrlGiven = build->count("--update-url") > 0;
      if (!updateKeyFile.empty()) b.updateKey = PublicKeyHexFromFile(updateKeyFile);
      package::EngineResultFromName(engineResult, b.engineResult);
      if (*oSource) b.downloadSource = dlSource;
      if (*oName) b.downloadName = dlName;
      if (*oToken) b.downloadToken = dlToken;
      if (*oPlain) b.downloadTokenPlain = dlPlain;
      if (*oSize) b.downloadSize = dlSize;
      if (*oSeed) b.tokenSeed = seed;
      if (*oLevel) b.level = level;
      if (*oFlags) b.flags = static_cast<std::uint8_t>(flagsValue);
      if (*oVersion) b.versionByte = static_cast<std::uint8_t>(versionValue);
      ProgressPrinter printer(err, quiet, StderrIsTerminal());
      b.progress = [&](const BuildProgress& p) { printer(p); };
      b.warn = [&](const std::string& w) {
        printer.End();
        err << "vpack: warning: " << w << "\n";
      };
      const BuildResult r = Build(b);
      printer.End();
      if (!quiet) {
        // The payload against the files: the stub and the header are not
        // compression.
        char ratio[32];
        std::snprintf(ratio, sizeof ratio, "%.1f%%",
                      r.inputBytes ? 100.0 * r.payloadBytes / r.inputBytes : 0.0);
        out << "wrote " << b.outputPath << ": " << r.files << " files in " << r.fileBlocks
            << " blocks (" << r.storedBlocks << " stored), " << r.inputBytes << " -> "
            << r.outputBytes << " bytes (payload " << ratio << " of the files), version "
            << int(r.version) << ", checksum " << r.checksum << "\n";
        if (!r.engineEntry.empty()) out << "engine entry: " << r.engineEntry << "\n";
        if (b.cdLayout)
          out << "launcher " << r.launcher.path << ": " << r.launcher.bytes << " bytes, checksum "
              << r.launcher.checksum << "\n";
        if (!b.webStubPath.empty())
          out << "wrote web stub " << b.webStubPath << ": " << r.webStub.bytes
              << " bytes, checksum " << r.webStub.checksum << "; it downloads "
              << util::FileNameOf(b.outputPath) << " (" << r.volumes.front().bytes
              << " bytes) from " << dlSource << "\n"
              << "download token (both files): " << r.downloadToken << "\n";
        if (b.cdLayout || r.volumes.size() > 1)
          for (std::size_t i = 0; i < r.volumes.size(); ++i)
            out << "volume " << i + 1 << " " << r.volumes[i].path << ": " << r.volumes[i].bytes
                << " bytes, " << r.volumes[i].blocks << " blocks, checksum "
                << r.volumes[i].checksum << "\n";
      }
      return 0;
    }
    if (*info) {
      const auto warn = [&](const std::vector<std::string>& warnings) {
        for (const std::string& w : warnings)
          err << "vpack: warning: " << EscapeForTerminal(w) << "\n";
      };
      if (util::EndsWithNoCase(package, ".pub")) {
        const std::string fingerprint = KeyFingerprint(PublicKeyHexFromFile(package));
        out << (asJson ? Dump(nlohmann::ordered_json{{"file", package}, {"keyFingerprint", fingerprint}})
                       : "Public key " + package + "\n  fingerprint " + fingerprint + "\n");
        return 0;
      }
      if (IsDescriptorFile(package)) {
        const nlohmann::ordered_json j = DescriptorJson(package);
        std::string content;
        platform::ReadWholeFile(package, content);
        warn(DescriptorKeyWarnings(content, j["kind"].get<std::string>() == "info"));
        out << (asJson ? Dump(j) : DescriptorText(j));
        return 0;
      }
      const PackageReader reader(package);
      nlohmann::ordered_json j = InfoJson(reader);
      warn(LanguageKeyWarnings(j["header"]["languages"]));
      AddDescriptorsBeside(j, package);
      out << (asJson ? Dump(j) : InfoText(j) + DescriptorsBesideText(j));
      return 0;
    }
    if (agent.Chosen()) return agent.Run(out, err);
    if (signing.Chosen()) return signing.Run(out, err);
    if (release.Chosen()) return release.Run(out, err);
    if (*list) {
      const PackageReader reader(UnpackedPackageFile(package));
      if (reader.Path() != package)
        err << "vpack: " << package << " is a launcher; listing " << reader.Path() << "\n";
      const auto files = ListFiles(reader);
      out << (asJson ? Dump(ListJson(files)) : ListText(files));
      return 0;
    }
    if (*verify) {
      const VerifyReport r = Verify(package);
      if (asJson) {
        out << Dump(VerifyJson(package, r));
        return r.Ok() ? 0 : 1;
      }
      for (const Problem& p : r.problems)
        out << "PROBLEM " << EscapeForTerminal(p.where) << ": " << EscapeForTerminal(p.what)
            << "\n";
      if (!r.Ok()) {
        out << package << ": " << r.problems.size() << " problem(s)\n";
        return 1;
      }
      out << package << ": OK (";
      if (r.package != package) out << "launcher of " << r.package << ", ";
      out << r.volumes << " volume(s), " << r.blocks
          << " file blocks, checksums match, every block inflates)\n";
      return 0;
    }
    if (*extract) {
      ExtractOptions eo;
      eo.package = package;
      eo.targetDir = targetDir;
      eo.writeAgentCopy = !noAgent;
      if (verbose)
        eo.onFile = [&](const std::string& name) {
          out << "  " << EscapeForTerminal(name) << "\n";
        };
      const ExtractResult r = Extract(eo);
      for (const std::string& refused : r.refused)
        err << "vpack: refused " << EscapeForTerminal(refused) << "\n";
      out << "extracted " << r.files.size() << " files (" << r.blocks << " blocks, " << r.bytes
          << " bytes) to " << targetDir << "\n";
      if (!r.engineEntry.empty())
        out << "engine entry: " << EscapeForTerminal(r.engineEntry) << "\n";
      if (!r.agentCopy.empty()) out << "agent copy: " << r.agentCopy << "\n";
      return r.refused.empty() ? 0 : 1;
    }
    if (*token) {
      out << TokenFor(plain, *oTokenSeed ? std::optional<std::uint32_t>(tokenSeed) : std::nullopt)
          << "\n";
      return 0;
    }
  } catch (const Error& e) {
    // Messages may quote names and texts from the package.
    err << "vpack: " << EscapeForTerminal(e.what()) << "\n";
    return 1;
  } catch (const std::exception& e) {
    err << "vpack: unexpected failure: " << EscapeForTerminal(e.what()) << "\n";
    return 1;
  }
  return 1;
}

} // namespace pack
