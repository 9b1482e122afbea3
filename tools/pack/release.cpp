#include "pack/release.h"

#include <CLI/CLI.hpp>

#include <filesystem>
#include <ostream>
#include <system_error>

#include "agent/descriptors.h"
#include "agent/services.h"
#include "pack/error.h"
#include "pack/file_system.h"
#include "pack/inspector.h"
#include "pack/update_signing.h"
#include "util/system_info.h"
#include "util/text.h"

namespace pack {

namespace fs = std::filesystem;

namespace {

// The template's keys a release starts from, as an agent reads them.
struct Previous {
  std::int64_t versionNew = 0, stamp = 0;
  std::string url, setupName;
};

Previous ReadPrevious(const std::string& info) {
  agent::IniFileSettings store;
  agent::Descriptors d(store, "", fs::absolute(info).string());
  return {d.VersionNew(), d.NewSetupStamp(), d.DownloadURL_UPDATE(), d.NameOfUpdateFile()};
}

void CheckSetup(const std::string& setup) {
  const VerifyReport report = Verify(setup);
  if (!report.Ok())
    throw Error("the setup " + setup + " is not a sound package (" + report.problems[0].where +
                ": " + report.problems[0].what + "); agents would refuse it");
}

void CheckAgainstPrevious(const ReleaseOptions& o, const Previous& p) {
  if (o.version <= 0) throw Error("--version must be above 0");
  if (p.url.empty())
    throw Error(o.infoTemplate + " has no DownloadURL_UPDATE: agents would not know where to "
                                 "fetch the setup");
  if (!p.setupName.empty() && o.version <= p.versionNew)
    throw Error("--version " + util::IntToStr(o.version) + " is not above the previous release's " +
                util::IntToStr(p.versionNew) + ": installs of that version would never take it");
}

void SetKey(const fs::path& info, const char* key, const std::string& value) {
  if (!util::WriteIniString(info.string(), "NewSetup", key, value))
    throw Error("cannot write " + info.string());
}

// A folder of its own beside the outputs, so that the final renames stay
// on one file system; removed whatever happens.
class Stage {
public:
  explicit Stage(const fs::path& dir) : path_(dir / ".release-stage") {
    std::error_code ec;
    fs::remove_all(path_, ec);
    if (!fs::create_directories(path_, ec)) throw Error("cannot make " + path_.string());
  }
  ~Stage() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  const fs::path& Path() const { return path_; }

private:
  fs::path path_;
};

void Publish(const fs::path& from, const fs::path& to) {
  std::error_code ec;
  fs::rename(from, to, ec);
  if (ec) throw Error("cannot write " + to.string() + ": " + ec.message());
}

} // namespace

ReleaseResult Release(const ReleaseOptions& o) {
  CheckSetup(o.setupFile);
  const Previous previous = ReadPrevious(o.infoTemplate);
  CheckAgainstPrevious(o, previous);

  const fs::path dir(o.outputDir);
  std::error_code ec;
  if (!fs::is_directory(dir, ec) && !fs::create_directories(dir, ec))
    throw Error("cannot make the folder " + dir.string() + ": " + ec.message());
  const std::string setupName = fs::path(o.setupFile).filename().string();
  const std::string infoName = fs::path(o.infoTemplate).filename().string();
  ReleaseResult r;
  r.setupPath = (dir / setupName).string();
  r.infoPath = (dir / infoName).string();
  r.signaturePath = r.infoPath + ".sig";
  for (const std::string& path : {r.setupPath, r.infoPath, r.signaturePath})
    if (!o.force && fs::exists(path, ec))
      throw Error(path + " exists (--force replaces it)");

  Stage stage(dir);
  const fs::path setup = stage.Path() / setupName, info = stage.Path() / infoName;
  fs::copy_file(o.setupFile, setup, ec);
  if (ec) throw Error("cannot copy the setup: " + ec.message());
  fs::copy_file(o.infoTemplate, info, ec);
  if (ec) throw Error("cannot read " + o.infoTemplate + ": " + ec.message());

  r.stamp = previous.stamp + 1;
  SetKey(info, "NameOfUpdateFile", setupName);
  SetKey(info, "SizeOfUpdateFile", util::IntToStr(static_cast<std::int64_t>(fs::file_size(setup))));
  SetKey(info, "VersionNew", util::IntToStr(o.version));
  SetKey(info, "Stamp", util::IntToStr(r.stamp));
  // A rollout belongs to one release: without --rollout this one reaches
  // every install.
  SetKey(info, "RolloutPercent", o.rolloutPercent < 0 ? "" : util::IntToStr(o.rolloutPercent));
  SetKey(info, "RolloutStart", "");
  SetKey(info, "RolloutDays", "");

  const SignUpdateResult signedInfo = SignUpdate(
      info.string(), o.privateKeyFile,
      {setup.string(), "", o.expiresDays > 0 ? o.expiresDays : kDefaultExpiresDays, o.todayUtc});
  r.setupHash = signedInfo.setupHash;
  r.expires = signedInfo.expires;
  r.warnings = signedInfo.warnings;

  // Checked as an agent will: the signature by the public key of this
  // private key, and the setup's hash.
  const fs::path pub = stage.Path() / "release.pub";
  {
    OutputFile out(pub);
    out.Write(PublicPemOfPrivateKeyFile(o.privateKeyFile));
    out.Close();
    out.Commit();
  }
  VerifyUpdateOptions check;
  check.keyHex = PublicKeyHexFromFile(pub.string());
  check.setupFile = setup.string();
  check.todayUtc = o.todayUtc;
  for (const UpdateCheck& c : VerifyUpdate(info.string(), check))
    if (!c.ok) throw Error("the release fails the agent's check: " + c.what + ": " + c.detail);

  // The descriptor last: a folder synced while this runs offers nothing
  // new before its setup is there.
  Publish(setup, r.setupPath);
  Publish(info.string() + ".sig", r.signaturePath);
  Publish(info, r.infoPath);
  return r;
}

ReleaseCommand::ReleaseCommand(CLI::App& app) {
  cmd_ = app.add_subcommand(
      "release",
      "Publish a new version in one step: the new .info from the previous one (name, size,\n"
      "SHA-256, VersionNew, a new Stamp, the rollout), signed and checked as an agent will,\n"
      "laid out with the setup in DIR ready to upload. Example:\n"
      "  vpack release MyAppSetup3.exe --info upload/MyApp.info --version 3 \\\n"
      "        --key keys/myapp.key -o release3");
  cmd_->add_option("SETUP", o_.setupFile, "The new setup (a package built by vpack build)")
      ->required()
      ->check(CLI::ExistingFile);
  cmd_->add_option("--info", o_.infoTemplate,
                   "The previous release's .info, or a template: every key is carried over\n"
                   "but those this command sets (its file name is the new one's)")
      ->required()
      ->check(CLI::ExistingFile);
  cmd_->add_option("--version", o_.version, "VersionNew of the release (above the previous one)")
      ->required();
  cmd_->add_option("--key", o_.privateKeyFile, "The private key (NAME.key of vpack keygen)")
      ->required()
      ->check(CLI::ExistingFile);
  cmd_->add_option("-o", o_.outputDir, "The folder to lay the release out in (made if missing)")
      ->required();
  cmd_->add_option("--rollout", o_.rolloutPercent,
                   "Offer the release to this share of installs first (RolloutPercent);\n"
                   "without it, to every install")
      ->check(CLI::Range(0, 100));
  cmd_->add_option("--expires", o_.expiresDays,
                   "Days the signature stays valid (default " +
                       std::to_string(kDefaultExpiresDays) + ")")
      ->check(CLI::PositiveNumber);
  cmd_->add_flag("--force", o_.force, "Replace files already in the folder");
}

bool ReleaseCommand::Chosen() const {
  return cmd_->parsed();
}

int ReleaseCommand::Run(std::ostream& out, std::ostream& err) {
  const ReleaseResult r = Release(o_);
  for (const std::string& w : r.warnings)
    err << "vpack: warning: " << w << "\n";
  out << "VersionNew=" << o_.version << " Stamp=" << r.stamp << " "
      << kSetupHashKey << "=" << r.setupHash << " Expires=" << r.expires << "\n"
      << "rollout: "
      << (o_.rolloutPercent < 0 ? std::string("every install")
                                : std::to_string(o_.rolloutPercent) + " % of installs")
      << "\nchecked as an agent will: signature and setup hash good\n"
      << "ready to upload from " << o_.outputDir << ":\n  " << r.setupPath << "\n  "
      << r.signaturePath << "\n  " << r.infoPath << " (upload it last)\n";
  return 0;
}

} // namespace pack
