// The agent's control commands (message 1125) and the requests they leave
// for the agent's timer. Deciding what a command does is portable; the
// descriptors, the overrides and the timer values are reached through
// AgentCommandHost, so the same table serves the Windows host and tests.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace startup {

inline constexpr std::string_view kOriginalSection = "OriginalSetup";
inline constexpr std::string_view kNewSetupSection = "NewSetup";

// What the commands read and change.
class AgentCommandHost {
public:
  virtual ~AgentCommandHost() = default;
  // A key of the descriptors beside the agent: section "NewSetup" is the
  // downloaded ".info" file's, the others the ".original" file's. Reads give
  // "" for a missing key.
  virtual std::string ReadDescriptorKey(std::string_view section, std::string_view key) = 0;
  virtual void WriteDescriptorKey(std::string_view section, std::string_view key,
                                  std::string_view value) = 0;
  // AgentState: 0 idle, 1 inform shot, 2 auto-inform or update check, 3 setup run.
  virtual int AgentState() = 0;
  virtual void SetOverride(int position, std::int64_t value) = 0;
  virtual void SetStopRequest(std::int64_t request) = 0;
  // A check now; mode 2 makes it one the user asked for.
  virtual void RequestCycle(std::int64_t mode) = 0;
  virtual void SetUpdateRequest() = 0;
};

// Runs command `command` with `value` and returns its result (0 for the
// writes, the requests and unknown commands).
std::intptr_t DispatchAgentCommand(AgentCommandHost& host, std::uintptr_t command,
                                   std::intptr_t value);

// Agent time (whole seconds since 30 December 1899, local) as
// "DD-MMM-YYYY HH:NN:SS", the readable twin written beside a time key.
std::string SecondsText(std::int64_t seconds);

// "/WM_MSG=" as window handle ":" message number, both decimal; a part that
// is missing or not a number reads 0.
struct ListenerAddress {
  std::uint64_t window = 0;
  std::uint64_t message = 0;
};
ListenerAddress ParseListenerSwitch(std::string_view value);

} // namespace startup
