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

namespace {

// The last character before `i` that is not a quote, or ' ' at the start:
// the switch reader drops quotes and splits at " /".
char PreviousNonQuote(std::string_view s, std::size_t i) {
  while (i > 0 && s[i - 1] == '"') --i;
  return i == 0 ? ' ' : s[i - 1];
}

// True when `name` (without "/" and "=") and then "=" start at `j`, quotes
// skipped, any case, blanks allowed before the "=".
bool NameAt(std::string_view s, std::size_t j, std::string_view name) {
  for (char want : name) {
    while (j < s.size() && s[j] == '"') ++j;
    if (j >= s.size() || util::ToUpperAscii(s[j]) != util::ToUpperAscii(want)) return false;
    ++j;
  }
  while (j < s.size() && (s[j] == '"' || s[j] == ' ')) ++j;
  return j < s.size() && s[j] == '=';
}

// Where the value that starts at `j` ends: at the blank before the next "/"
// that follows a blank, or at the end.
std::size_t ValueEnd(std::string_view s, std::size_t j) {
  std::size_t end = j;
  while (end < s.size() && !(s[end] == '/' && PreviousNonQuote(s, end) == ' ')) ++end;
  while (end > j && (s[end - 1] == '"' || s[end - 1] == ' ')) --end;
  return end;
}

}  // namespace

std::string WithoutSwitch(std::string_view tail, std::string_view name) {
  std::string bare(name);
  if (!bare.empty() && bare.front() == '/') bare.erase(0, 1);
  if (!bare.empty() && bare.back() == '=') bare.pop_back();
  std::string s(tail);
  if (bare.empty()) return s;
  for (std::size_t i = 0; i < s.size();) {
    if (s[i] != '/' || PreviousNonQuote(s, i) != ' ' || !NameAt(s, i + 1, bare)) {
      ++i;
      continue;
    }
    std::size_t end = ValueEnd(s, i + 1);
    // A quote that opened before the switch and closed in its value goes too.
    std::size_t quotes = 0;
    for (std::size_t k = i; k < end; ++k) quotes += s[k] == '"';
    const bool quoteAfter = end < s.size() && s[end] == '"';
    if (quotes % 2 == 1 && quoteAfter) {
      ++end;
    } else if (quotes % 2 == 0 && quoteAfter && i > 0 && s[i - 1] == '"') {
      --i;
      ++end;
    }
    if (i > 0 && s[i - 1] == ' ') --i;
    s.erase(i, end - i);
  }
  return util::Trim(s);
}

std::string SpanRelaunchArguments(std::string_view argumentTail, std::string_view ownPath) {
  std::string args = WithoutSwitch(WithoutSwitch(argumentTail, "/SpanCdLvl="), "/SpanDiskFName1=");
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
