#include "package/setup_command.h"

#include <algorithm>

#include "package/work_folder.h"
#include "util/switches.h"
#include "util/text.h"

namespace package {

std::string RemoveSwitch(std::string_view commandLine, std::string_view name) {
  std::string s(commandLine);
  if (name.empty()) return s;
  const std::size_t at = s.find(name);
  if (at == std::string::npos) return s;
  const std::size_t next = s.find('/', at + name.size());
  s.erase(at, next == std::string::npos ? std::string::npos : next - at);
  return s;
}

std::string EngineCommandLine(const EngineLaunch& l) {
  std::string engine = l.launchText;
  std::string args = l.extraArgs;
  const std::size_t star = l.launchText.find('*');
  if (star != std::string::npos) {
    engine = util::Trim(std::string_view(l.launchText).substr(0, star));
    args = util::Trim(l.extraArgs + " " + util::Trim(std::string_view(l.launchText).substr(star + 1)));
  }
  std::string folder = l.workFolder;
  if (folder.empty() || folder.back() != '\\') folder += '\\';
  std::string command = util::QuoteIfBlank(folder + engine);
  if (!args.empty()) command += " " + args;
  command += " /TH_ID=" + l.launchToken;
  if (command.find("/OriginExe=") == std::string::npos)
    command += " /OriginExe=\"" + l.ownPath + "\"";
  if (l.isAutoUpdateProg) command += " /AutoUpdateProg";
  command = RemoveSwitch(command, "/SpanCdLvl=");
  command = RemoveSwitch(command, "/SpanDiskFName1=");
  return command;
}

ShellCommand SplitCommandLine(std::string_view commandLine) {
  std::string_view s = commandLine;
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  ShellCommand c;
  std::size_t end;
  if (!s.empty() && s.front() == '"') {
    end = s.find('"', 1);
    c.file = std::string(s.substr(1, end == std::string_view::npos ? end : end - 1));
    end = end == std::string_view::npos ? s.size() : end + 1;
  } else {
    end = std::min(s.find(' '), s.size());
    c.file = std::string(s.substr(0, end));
  }
  s.remove_prefix(end);
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  c.parameters = std::string(s);
  return c;
}

std::string TempSpaceQuestion(const SpaceFacts& f, TextLookup text, const void* ctx) {
  std::string message;
  if (f.alwaysReportTempDrive)
    message = text(ctx, "s2", "Vantor will extract files to your Temp Drive (<DRIVE>)<P>");
  if (!(f.required < f.available))
    message = text(ctx, "s3", "Limited Free Space on your Temp Drive! (<DRIVE>)<P>");
  if (message.empty()) return {};
  message += text(ctx, "s4",
                  "<P>Estimated space required on your Temp drive is: <T>  <SPACE_REQ> MB<P>");
  message += text(ctx, "s5", "Free space available on your Temp drive is: <T>  <SPACE_AVAIL> MB<P>");
  message += text(ctx, "s6", "<P>Continue with Setup?<P>");
  const std::string drive =
      f.folder.empty() ? std::string() : std::string(1, util::ToUpperAscii(f.folder[0])) + ":";
  message = util::ReplaceAll(message, "<DRIVE>", drive);
  message = util::ReplaceAll(message, "<SPACE_REQ>", FormatMegabytes(f.required));
  message = util::ReplaceAll(message, "<SPACE_AVAIL>", FormatMegabytes(f.available));
  return message;
}

}  // namespace package
