#include "startup/run_mode.h"

#include "util/text.h"

namespace startup {

std::string FitClassName(std::string_view name) {
  if (name.size() <= kMaxClassNameLength) return std::string(name);
  std::string fitted(name.substr(0, kMaxClassNameLength - 17));
  fitted += '#';
  fitted += util::HexText(util::HashNoCase(name), 16);
  return fitted;
}

std::string StubClassNameFor(bool isAutoUpdateProg, std::string_view ownPath) {
  if (isAutoUpdateProg) return FitClassName(".AutoUpdate." + util::BaseNameOf(ownPath));
  return FitClassName(ownPath);
}

std::string XCopyClassName(std::string_view agentFileName) {
  return FitClassName(".AutoUpdate.X_" + util::BaseNameOf(agentFileName));
}

bool IsPlainAgentFile(std::string_view ownPath, std::string_view agentFileName) {
  return util::EqualsNoCase(util::Trim(util::FileNameOf(ownPath)), util::Trim(agentFileName));
}

bool IsXAgentFile(std::string_view ownPath, std::string_view agentFileName) {
  return util::EqualsNoCase(util::Trim(util::FileNameOf(ownPath)),
                            "X_" + util::Trim(agentFileName));
}

std::string AgentLogFilePath(std::string_view ownPath) {
  std::string name = util::FileNameOf(ownPath);
  if (name.rfind("X_", 0) != 0) name = "X_" + name;
  return util::JoinPath(util::FolderOf(ownPath), util::ChangeExtension(name, ".log"));
}

std::string AgentLogLine(std::string_view dateTime, std::uint32_t threadId, std::string_view tag,
                         std::string_view text) {
  std::string id = util::IntToStr(threadId);
  if (id.size() < 5) id.insert(0, 5 - id.size(), ' ');
  std::string line(dateTime);
  line.append(" ").append(id).append(tag).append(text);
  return line;
}

std::string SpanRelaunchArguments(std::string_view argumentTail, std::string_view ownPath) {
  std::string args(argumentTail);
  args.append(" /SpanCdLvl=2 /SpanDiskFName1=\"").append(ownPath).append(".001\"");
  args.append(" /OriginExe=\"").append(ownPath).append("\"");
  return util::Trim(args);
}

std::string ProgramCommandLine(std::string_view path, std::string_view arguments) {
  std::string command;
  if (path.size() >= 2 && path.front() == '"' && path.back() == '"')
    command = path;
  else
    command.append("\"").append(path).append("\"");
  return command.append(arguments);
}

std::string XCopyPath(std::string_view ownPath) {
  return util::JoinPath(util::FolderOf(ownPath), "X_" + util::FileNameOf(ownPath));
}

std::string XCopyArguments(std::string_view transient, std::string_view delay) {
  std::string args;
  if (!transient.empty()) args.append(" /TRANSIENTx=").append(transient);
  if (!delay.empty()) args.assign(" /SleepX=").append(delay);
  return args;
}

}  // namespace startup
