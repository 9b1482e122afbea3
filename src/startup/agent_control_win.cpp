#include <windows.h>

#include "startup/agent_control.h"
#include "startup/agent_session.h"
#include "startup/run_mode.h"
#include "startup/stub_state.h"
#include "util/system_info.h"

namespace startup {

namespace {

HWND g_listener = nullptr;
UINT g_listenerMessage = 0;

// The descriptors as INI files beside the own executable, and this layer's
// own values.
class IniAgentCommandHost : public AgentCommandHost {
public:
  std::string ReadDescriptorKey(std::string_view section, std::string_view key) override {
    return util::ReadIniString(FileOf(section), std::string(section), std::string(key));
  }
  void WriteDescriptorKey(std::string_view section, std::string_view key,
                          std::string_view value) override {
    util::WriteIniString(FileOf(section), std::string(section), std::string(key),
                         std::string(value));
  }
  int AgentState() override { return Agent().descriptors.AgentState(); }
  // The command carries a byte.
  void SetOverride(int position, std::int64_t value) override {
    Agent().descriptors.SetOverride(position, value & 0xFF);
  }
  void SetStopRequest(std::int64_t request) override { Agent().values.remainingTicks = request; }
  void RequestCycle(std::int64_t mode) override {
    agent::RequestCycle(Agent().values, Agent().eligibility, mode);
  }
  void SetUpdateRequest() override { Agent().values.restartDisabled = 1; }

private:
  static std::string FileOf(std::string_view section) {
    const agent::Descriptors& d = Agent().descriptors;
    return section == kNewSetupSection ? d.InfoFilePath() : d.OriginalFilePath();
  }
};

AgentCommandHost* g_host = nullptr;

AgentCommandHost& Host() {
  static IniAgentCommandHost iniHost;
  return g_host ? *g_host : iniHost;
}

} // namespace

void SetListener(std::uintptr_t window, std::uint32_t message) {
  g_listener = reinterpret_cast<HWND>(window);
  g_listenerMessage = message;
}

void NotifyListener(std::uintptr_t code, std::intptr_t value) {
  if (g_listener && g_listenerMessage) PostMessageA(g_listener, g_listenerMessage, code, value);
}

void SetAgentCommandHost(AgentCommandHost* host) {
  g_host = host;
}

std::intptr_t RunAgentCommand(std::uintptr_t command, std::intptr_t value) {
  return DispatchAgentCommand(Host(), command, value);
}

std::uintptr_t FindAgentCopyWindow(const std::string& exePath) {
  const std::string cls = StubClassNameFor(true, exePath);
  return reinterpret_cast<std::uintptr_t>(FindWindowA(cls.c_str(), nullptr));
}

bool PostToProcessWindow(const std::string& exePath, std::uint32_t message, std::uintptr_t wParam,
                         std::intptr_t lParam) {
  const HWND wnd = reinterpret_cast<HWND>(FindAgentCopyWindow(exePath));
  if (!wnd) return false;
  PostMessageA(wnd, message, wParam, lParam);
  return true;
}

} // namespace startup
