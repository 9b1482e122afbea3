#include "startup/agent_commands.h"

#include "util/system_info.h"
#include "util/text.h"

namespace startup {

namespace {

struct KeyOfCommand {
  std::string_view section;
  std::string_view key;
};

// The number keys commands 4, 5 and 8 to 11 read; 12 to 15 write the keys
// of 8 to 11.
KeyOfCommand ReadKeyOf(std::uintptr_t command) {
  switch (command) {
  case 4:
    return {kOriginalSection, "VersionOriginal"};
  case 5:
    return {kNewSetupSection, "VersionNew"};
  case 8:
    return {kOriginalSection, "ProbeSecondsInterval"};
  case 9:
    return {kOriginalSection, "ReAskSecondsInterval"};
  case 10:
    return {kOriginalSection, "ProbeSecondsLast"};
  case 11:
    return {kOriginalSection, "ReAskSecondsLast"};
  }
  return {};
}

std::int64_t ReadNumber(AgentCommandHost& host, const KeyOfCommand& k) {
  return util::StrToInt64Def(host.ReadDescriptorKey(k.section, k.key), 0);
}

} // namespace

std::intptr_t DispatchAgentCommand(AgentCommandHost& host, std::uintptr_t command,
                                   std::intptr_t value) {
  const auto number = static_cast<std::int64_t>(value); // sign-extended where 32 bits wide
  switch (command) {
  case 4:
  case 5:
  case 8:
  case 9:
  case 10:
  case 11:
    return static_cast<std::intptr_t>(ReadNumber(host, ReadKeyOf(command)));
  case 7:
    return host.AgentState();
  case 12:
  case 13:
  case 14:
  case 15: {
    const KeyOfCommand k = ReadKeyOf(command - 4);
    host.WriteDescriptorKey(k.section, k.key, util::IntToStr(number));
    // The times keep a readable twin, as every other writer of them does.
    if (command >= 14)
      host.WriteDescriptorKey(k.section, "__" + std::string(k.key), SecondsText(number));
    return 0;
  }
  case 20:
  case 21:
  case 22:
  case 23:
  case 24:
  case 25:
    host.SetOverride(static_cast<int>(command - 20), number);
    return 0;
  case 30:
    host.SetStopRequest(number);
    return 0;
  case 31:
    host.RequestCycle(number);
    return 0;
  case 32:
    host.SetUpdateRequest();
    return 0;
  }
  return 0;
}

std::string SecondsText(std::int64_t seconds) {
  return util::FormatDateTimeText(util::DecodeDateTime(static_cast<double>(seconds) / 86400.0), " ",
                                  ":");
}

ListenerAddress ParseListenerSwitch(std::string_view value) {
  const std::size_t colon = value.find(':');
  const std::string_view window = value.substr(0, colon);
  std::string_view message;
  if (colon != std::string_view::npos) {
    message = value.substr(colon + 1);
    message = message.substr(0, message.find(':'));
  }
  return {static_cast<std::uint64_t>(util::StrToInt64Def(window, 0)),
          static_cast<std::uint64_t>(util::StrToInt64Def(message, 0))};
}

} // namespace startup
