#include "startup/agent_session.h"

#include "startup/stub_state.h"
#include "util/field_list.h"
#include "util/text.h"

namespace startup {

namespace {

std::string HeaderField(int field) {
  const StubState& s = State();
  return s.ownFileInfo ? util::SUB::GetField(s.ownFileInfo->UpdateInfo(), field) : std::string();
}

std::string Folder() { return util::FolderOf(State().ownPath); }

}  // namespace

AgentSession::AgentSession()
    : log(&AgentLog),
      descriptors(store, agent::OriginalFilePathFor(Folder(), HeaderField(1)),
                  agent::InfoFilePathFor(Folder(), HeaderField(1))),
      eligibility(descriptors, agent::SystemClock(), agent::SystemRegistry(),
                  agent::SystemSizeProbe(), log) {
  const StubState& s = State();
  place.folder = Folder();
  place.descriptorLocation = s.ownFileInfo ? s.ownFileInfo->UpdateUrl() : std::string();
  place.agentFileName = s.ownFileInfo ? s.ownFileInfo->AgentFileName() : std::string();
  place.productToken = s.ownFileInfo ? s.ownFileInfo->UpdateToken(true) : std::string();
  place.updateKey = s.ownFileInfo ? s.ownFileInfo->UpdateKey() : std::string();
}

AgentSession& Agent() {
  static AgentSession session;
  return session;
}

}  // namespace startup
