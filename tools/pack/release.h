// `vpack release`: a new version published in one step. From the setup and
// the previous (or a template) .info it writes the new descriptor (name,
// size, VersionNew, a new Stamp, the rollout; ValidVersions and everything
// else carried over), signs it with the setup's SHA-256 and its Expires,
// verifies the result as an agent will, and lays the three files (setup,
// .info, .info.sig) out in one folder ready to upload. Nothing is left in
// the folder when a step fails.
#pragma once

#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace pack {

struct ReleaseOptions {
  std::string setupFile;
  std::string infoTemplate; // the previous release's .info, or a template
  long long version = 0;    // VersionNew
  int rolloutPercent = -1;  // -1: to every install (the rollout keys go)
  int expiresDays = 0;      // 0: sign-update's default
  std::string privateKeyFile;
  std::string outputDir;
  bool force = false;        // replace files already in outputDir
  std::string todayUtc;      // "YYYY-MM-DD"; "" for the system's date
};

struct ReleaseResult {
  std::string setupPath, infoPath, signaturePath;
  long long stamp = 0;
  std::string setupHash, expires;
  std::vector<std::string> warnings;
};

// Throws Error, with nothing written, for what an agent would refuse.
ReleaseResult Release(const ReleaseOptions& options);

// The `release` subcommand.
class ReleaseCommand {
public:
  explicit ReleaseCommand(CLI::App& app);
  bool Chosen() const;
  int Run(std::ostream& out, std::ostream& err);

private:
  CLI::App* cmd_ = nullptr;
  ReleaseOptions o_;
};

} // namespace pack
