// What an agent refuses in an update descriptor, checked before a vendor
// signs or uploads it: the same rules the agent applies (its own code where
// it is portable), each as one named check.
#pragma once

#include <string>
#include <vector>

namespace pack {

struct UpdateCheck {
  std::string what;
  bool ok = false;
  std::string detail;
};

struct UpdateFacts {
  // The files the descriptor offers, as the vendor has them ("" unknown).
  std::string setupFile;
  std::string informFile;
  // The agent's own names (its file name, the descriptor it fetches): a
  // download may not overwrite them. "" when no agent is given.
  std::string agentName;
  std::string infoName;
  std::string todayUtc; // "YYYY-MM-DD"; "" for the system's date
};

// The descriptor's version, Expires, and the names and sizes of the files
// it offers, as an agent with a key judges them (the signature and the
// hashes are the caller's). `content` is the descriptor's text.
std::vector<UpdateCheck> AgentRuleChecks(const std::string& descriptorPath,
                                         const std::string& content, const UpdateFacts& facts);

// Today's date (UTC) as "YYYY-MM-DD".
std::string TodayUtc();

} // namespace pack
