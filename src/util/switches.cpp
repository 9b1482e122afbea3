#include "util/switches.h"

#include <optional>

#include "util/text.h"

namespace util {

namespace {

constexpr char kSwitchSeparator = '\x01';

// The switch list for `sign`: separator-delimited fields.
std::string SwitchList(std::string_view tail, char sign) {
  std::string s = " ";
  s.append(tail);
  s = ReplaceAll(s, "\"", "");
  s = ReplaceAll(s, std::string{' ', sign}, std::string(1, kSwitchSeparator));
  return kSwitchSeparator + s + kSwitchSeparator;
}

// Removes every run of blanks that stands directly before a "=".
std::string DropBlanksBeforeEquals(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (char c : s) {
    if (c == '=')
      while (!out.empty() && out.back() == ' ')
        out.pop_back();
    out.push_back(c);
  }
  return out;
}

std::optional<std::string> FindSwitch(const CommandLine& cl, std::string_view name) {
  std::string n = Trim(name);
  if (n.empty()) return std::nullopt;
  const char sign = n.front() == '-' ? '-' : '/';
  n = DropBlanksBeforeEquals(ReplaceAll(n, std::string(1, sign), ""));
  if (n.empty()) return std::nullopt;
  if (n.back() != '=') n.push_back('=');

  const std::string list = DropBlanksBeforeEquals(SwitchList(ArgumentTail(cl), sign));
  const std::size_t hit = FindNoCase(list, kSwitchSeparator + n);
  if (hit == npos) return std::nullopt;
  const std::size_t start = hit + 1 + n.size();
  std::size_t end = list.find(kSwitchSeparator, start);
  if (end == std::string::npos) end = list.size();
  return Trim(std::string_view(list).substr(start, end - start));
}

std::optional<CommandLine>& OverrideSlot() {
  static std::optional<CommandLine> slot;
  return slot;
}

} // namespace

std::string ArgumentTail(const CommandLine& cl) {
  std::string s = cl.text;
  const std::string fileName = FileNameOf(cl.programPath);
  bool nameRemoved = false;
  if (!fileName.empty()) {
    // The program's name as the last part of its path: preceded by the
    // start, a separator, a blank or a quote, and followed by the end, a
    // blank or a quote. An earlier folder named like the program
    // ("C:\setup.exe.d\setup.exe") is no such part.
    const auto atBoundary = [&](std::size_t p) {
      const std::size_t after = p + fileName.size();
      const bool startOk =
          p == 0 || IsPathSeparator(s[p - 1]) || s[p - 1] == ' ' || s[p - 1] == '"';
      const bool endOk = after == s.size() || s[after] == ' ' || s[after] == '"';
      return startOk && endOk;
    };
    std::size_t p = FindNoCase(s, fileName);
    while (p != npos && !atBoundary(p))
      p = FindNoCase(s, fileName, p + 1);
    if (p != npos) {
      std::size_t end = p + fileName.size();
      if (end < s.size() && s[end] == '"') ++end;
      s.erase(0, end);
      nameRemoved = true;
    }
  }
  if (!nameRemoved && !cl.programPath.empty()) {
    std::size_t p = s.find(cl.programPath);
    if (p != std::string::npos) s.erase(p, cl.programPath.size());
  }
  s = Trim(s);
  // A stray quote left after the name.
  if (nameRemoved && s == "\"") s.clear();
  return s;
}

std::string SwitchValue(const CommandLine& cl, std::string_view name, std::string_view def) {
  auto v = FindSwitch(cl, name);
  return v ? *v : std::string(def);
}

std::int64_t SwitchNumber(const CommandLine& cl, std::string_view name, std::int64_t def) {
  auto v = FindSwitch(cl, name);
  return v ? StrToInt64Def(*v, def) : def;
}

bool SwitchPresent(const CommandLine& cl, std::string_view word) {
  std::string w = Trim(word);
  if (w.empty()) return false;
  return FindNoCase(ArgumentTail(cl) + " ", w + " ") != npos;
}

std::string QuoteIfBlank(std::string_view path) {
  if (path.find(' ') == std::string_view::npos) return std::string(path);
  if (path.size() >= 2 && path.front() == '"' && path.back() == '"') return std::string(path);
  std::string r = "\"";
  r.append(path);
  r.push_back('"');
  return r;
}

void SetProcessCommandLine(CommandLine cl) {
  OverrideSlot() = std::move(cl);
}
void ClearProcessCommandLine() {
  OverrideSlot().reset();
}

const CommandLine* detail::ProcessCommandLineOverride() {
  auto& slot = OverrideSlot();
  return slot ? &*slot : nullptr;
}

std::string ArgumentTail() {
  return ArgumentTail(ProcessCommandLine());
}
std::string SwitchValue(std::string_view name, std::string_view def) {
  return SwitchValue(ProcessCommandLine(), name, def);
}
std::int64_t SwitchNumber(std::string_view name, std::int64_t def) {
  return SwitchNumber(ProcessCommandLine(), name, def);
}
bool SwitchPresent(std::string_view word) {
  return SwitchPresent(ProcessCommandLine(), word);
}

} // namespace util
