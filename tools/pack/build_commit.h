// The build's commit: its files are written under temporary names and
// renamed into place together at the end, so a failed build leaves none.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "pack/builder.h"
#include "pack/file_system.h"
#include "pack/volume_writer.h"

namespace pack {

// A build written under temporary names, not yet renamed into place.
struct PendingBuild {
  std::unique_ptr<VolumeSet> set;
  std::unique_ptr<OutputFile> launcher;
  std::string firstVolume;
  BuildResult result;

  std::vector<OutputFile*> Outputs() const;
};

// Renames every file into place, or none: when one rename fails, the files
// already renamed are removed again, so no incomplete set is left.
void CommitAll(const std::vector<OutputFile*>& files);

// What is said once the files are in place.
void AfterCommit(const BuildOptions& o, const PendingBuild& p);

} // namespace pack
