#include "system/exec_pipe.h"

namespace sys {

std::string PipedCommandLine(std::string_view program, std::string_view arguments) {
  std::string command(program);
  if (command.find(' ') != std::string::npos && command.find('"') == std::string::npos)
    command = "\"" + command + "\"";
  if (!arguments.empty()) {
    command += ' ';
    command += arguments;
  }
  return command;
}

std::string PipedStartErrorText(std::string_view commandLine, std::string_view systemError) {
  if (commandLine.size() > kMaxCommandLine) return "Command line is too long";
  std::string text(commandLine.substr(0, 256));
  text += " --- ";
  text += systemError;
  return text;
}

} // namespace sys
