#include "pack/build_commit.h"

#include <filesystem>
#include <system_error>

#include "package/payload.h"

namespace pack {

namespace fs = std::filesystem;

std::vector<OutputFile*> PendingBuild::Outputs() const {
  std::vector<OutputFile*> files;
  set->AppendFiles(files);
  if (launcher) files.push_back(launcher.get());
  return files;
}

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

void AfterCommit(const BuildOptions& o, const PendingBuild& p) {
  // A volume left from an earlier, longer build is not read (the last
  // volume has no Spanned flag) but would confuse whoever copies the set.
  std::error_code ec;
  const std::string next =
      package::VolumeFileName(p.firstVolume, static_cast<int>(p.result.volumes.size()) + 1);
  if (fs::exists(next, ec) && o.warn)
    o.warn(next + " is left from an earlier build and is not part of this package");
}

} // namespace pack
