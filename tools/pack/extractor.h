// Unpacking a package into a folder exactly as the stub does: the same block
// walk over all volumes, same-name blocks appended, DOS time stamps set, and
// the auto-update agent copy written when the package carries one. Names that
// could reach outside the folder are refused and reported, never written.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace pack {

struct ExtractOptions {
  // The package file, or a CD-style launcher (its .001 set is unpacked).
  std::string package;
  std::string targetDir;
  // Write the agent copy as the stub does (CarryAgent set, agent name in
  // header block 2, package file name ending in ".exe" or ".exe.001").
  bool writeAgentCopy = true;
  // Called once per file, when its first block is written.
  std::function<void(const std::string& name)> onFile;
};

struct ExtractResult {
  std::string engineEntry;          // the last engine entry met, as the stub keeps it
  std::vector<std::string> files;   // package names, in first-write order
  std::vector<std::string> refused; // "name (offset N): reason"
  std::string agentCopy;            // path written, or empty
  std::uint32_t blocks = 0;
  std::uint64_t bytes = 0;
};

// Throws pack::Error on damage (bad checksum, a block past the end, corrupt
// zlib data, a missing volume) and on write failures.
ExtractResult Extract(const ExtractOptions& options);

} // namespace pack
