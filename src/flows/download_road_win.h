// The download road of a web setup, and the agent executable a setup
// writes into its work folder before it.
#pragma once

#include <string>

namespace flows {

// Writes the stub itself, as update agent, to workFolder\agentFileName with
// the stub's date stamp.
void WriteAgentExecutable(const std::string& workFolder, const std::string& agentFileName);

// Finds or downloads the setup file named `setupFileName` under `source`,
// checks its token and runs it; shows what went wrong. Returns the error
// text ("" when all went well, "!" for a silent cancel).
std::string DownloadRoad(const std::string& workFolder, const std::string& source,
                         const std::string& setupFileName);

} // namespace flows
