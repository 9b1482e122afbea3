// What a vendor ships to give a product its update agent: the agent package
// (the stub with the update header and the agent byte, no payload), the
// starting ".original" descriptor installed beside it, and a first ".info"
// descriptor for the update location. `vpack agent` writes them; `vpack
// info` shows a descriptor, or the descriptors beside an agent.
#pragma once

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "agent/descriptors.h"

namespace CLI {
class App;
}

namespace pack {

// The shut-down methods the agent knows, in the descriptor's words.
using agent::kShutDownMethods;

struct AgentOptions {
  std::string stubPath;
  std::string outputDir;

  // The package's update header.
  std::string updateUrl;      // where the .info descriptor and the setups are
  std::string descriptorName; // "Product.info"; the .original is "Product.original"
  std::string agentName;      // "Product.AutoUpdate.exe"
  std::string updateToken;    // as written, or
  std::optional<std::string> updateTokenPlain;
  std::optional<std::uint32_t> tokenSeed;
  bool agentLog = false;     // the agent writes its log file
  std::string updateKeyFile; // the vendor's public key: updates must be signed
  std::string languageFile;

  // The descriptors.
  std::int64_t version = 1;       // VersionOriginal, and VersionNew of the first .info
  std::int64_t checkInterval = 0; // ProbeSecondsInterval: 0 once per run, -1 never
  std::int64_t reAskInterval = 0; // ReAskSecondsInterval
  std::string programName;        // ProgramName of both
  std::string program;            // RunningProcess: the product's executable
  std::string shutDownMethod = "Using WM_CLOSE";
  bool restartProcess = true;
  std::string targetDir; // Directories/TargetDir
  // A new setup: its file name and size go into the .info.
  std::string newSetup;
  // Replace files already in the folder: the descriptors may hold the
  // vendor's edits, so they are kept unless this is set.
  bool force = false;

  std::function<void(const std::string&)> warn;
};

struct AgentResult {
  std::string agentPath;
  std::string originalPath;
  std::string infoPath;
  std::uint64_t agentBytes = 0;
};

// The two descriptors' texts (CR LF lines).
std::string OriginalDescriptorText(const AgentOptions& o);
std::string InfoDescriptorText(const AgentOptions& o);

// Writes the three files into outputDir (each under a temporary name first);
// throws pack::Error on a refused option or a failed write.
AgentResult WriteAgent(const AgentOptions& o);

// A ".original" or ".info" file by its name.
bool IsDescriptorFile(const std::string& path);
// Every key of a descriptor as the agent reads it (defaults included).
nlohmann::ordered_json DescriptorJson(const std::string& path);
std::string DescriptorText(const nlohmann::ordered_json& descriptor);
// For an agent package: its descriptors as found beside it ("descriptors"
// of `info`, each null when missing). Nothing for other packages.
void AddDescriptorsBeside(nlohmann::ordered_json& info, const std::string& packagePath);
std::string DescriptorsBesideText(const nlohmann::ordered_json& info);

// The `agent` subcommand of vpack.
class AgentCommand {
public:
  explicit AgentCommand(CLI::App& app);
  bool Chosen() const;
  int Run(std::ostream& out, std::ostream& err);

private:
  AgentOptions o_;
  CLI::App* command_ = nullptr;
  std::string tokenPlain_;
  std::uint32_t seed_ = 0;
  bool noRestart_ = false;
};

} // namespace pack
