// Native stand-ins for the system services the portable code calls: local
// time, the time separator and INI reads and writes (so the language file
// and the agent's descriptors can be tested natively).
#include <cstdio>
#include <ctime>
#include <optional>

#include "platform/file.h"
#include "platform/lock.h"
#include "util/system_info.h"
#include "util/text.h"

namespace util {

namespace {

// The value with one pair of enclosing quotes removed, as the profile
// functions do.
std::string Unquote(std::string_view v) {
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
    v = v.substr(1, v.size() - 2);
  return std::string(v);
}

} // namespace

double Now() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  tm local{};
  localtime_r(&ts.tv_sec, &local);
  CivilDateTime t;
  t.year = local.tm_year + 1900;
  t.month = local.tm_mon + 1;
  t.day = local.tm_mday;
  t.hour = local.tm_hour;
  t.minute = local.tm_min;
  t.second = local.tm_sec;
  t.millisecond = static_cast<int>(ts.tv_nsec / 1000000);
  return EncodeDateTime(t);
}

std::string TimeSeparator() {
  return ":";
}

namespace {

platform::Lock& IniLock() {
  static platform::Lock lock;
  return lock;
}

// The whole file; false when it cannot be read (a missing file reads as
// empty and true).
bool ReadIniFile(const std::string& file, std::string& text) {
  text.clear();
  return !platform::FileExists(file) || platform::ReadWholeFile(file, text);
}

// One line of an INI text: where it starts and ends (without its line end).
struct IniLine {
  std::size_t begin = 0;
  std::size_t end = 0;
  std::size_t next = 0; // start of the following line
};

IniLine LineAt(const std::string& text, std::size_t pos) {
  IniLine l;
  l.begin = pos;
  l.next = text.find('\n', pos);
  l.next = l.next == std::string::npos ? text.size() : l.next + 1;
  l.end = l.next;
  while (l.end > l.begin && (text[l.end - 1] == '\n' || text[l.end - 1] == '\r'))
    --l.end;
  return l;
}

// A "[name]" line: the trimmed name; nullopt for any other line.
std::optional<std::string_view> SectionName(std::string_view line) {
  line = TrimView(line);
  if (line.empty() || line.front() != '[') return std::nullopt;
  const std::size_t close = line.find(']');
  if (close == std::string_view::npos) return std::nullopt;
  return TrimView(line.substr(1, close - 1));
}

bool IsKeyLine(std::string_view line, std::string_view key) {
  line = TrimView(line);
  if (line.empty() || line.front() == ';') return false;
  const std::size_t eq = line.find('=');
  return eq != std::string_view::npos && EqualsNoCase(TrimView(line.substr(0, eq)), TrimView(key));
}

} // namespace

// Sections and keys are matched with ASCII case ignored, the first match
// wins, values are trimmed; lines starting with ';' are comments.
std::string ReadIniString(const std::string& file, const std::string& section,
                          const std::string& key, const std::string& def) {
  if (section.empty() || key.empty()) return def;
  platform::LockGuard guard(IniLock());
  std::string text;
  if (!ReadIniFile(file, text)) return def;
  bool inSection = false;
  for (std::size_t pos = 0; pos < text.size();) {
    const IniLine l = LineAt(text, pos);
    pos = l.next;
    const std::string_view line(text.data() + l.begin, l.end - l.begin);
    if (const auto name = SectionName(line)) {
      inSection = EqualsNoCase(*name, TrimView(section));
      continue;
    }
    if (!inSection || !IsKeyLine(line, key)) continue;
    const std::string value = Unquote(TrimView(line.substr(line.find('=') + 1)));
    return value.empty() ? def : value;
  }
  return def;
}

bool WriteIniString(const std::string& file, const std::string& section, const std::string& key,
                    const std::string& value) {
  if (section.empty() || key.empty()) return false;
  platform::LockGuard guard(IniLock());
  std::string text;
  if (!ReadIniFile(file, text)) return false;

  const std::string entry = key + "=" + value;
  // Where the entry goes: over the key's line, else after the section's
  // last non-blank line, else in a new section at the end.
  bool inSection = false, found = false;
  std::size_t replaceBegin = 0, replaceEnd = 0, insertAt = std::string::npos;
  for (std::size_t pos = 0; pos < text.size() && !found;) {
    const IniLine l = LineAt(text, pos);
    pos = l.next;
    const std::string_view line(text.data() + l.begin, l.end - l.begin);
    if (const auto name = SectionName(line)) {
      if (inSection) break;
      inSection = EqualsNoCase(*name, TrimView(section));
      if (inSection) insertAt = l.next;
      continue;
    }
    if (!inSection) continue;
    if (IsKeyLine(line, key)) {
      found = true;
      replaceBegin = l.begin;
      replaceEnd = l.end;
    } else if (!TrimView(line).empty()) {
      insertAt = l.next;
    }
  }
  const auto endLine = [&](std::size_t at) {
    return at > 0 && text[at - 1] != '\n' ? std::string("\r\n") : std::string();
  };
  if (found) {
    text.replace(replaceBegin, replaceEnd - replaceBegin, entry);
  } else if (insertAt != std::string::npos) {
    text.insert(insertAt, endLine(insertAt) + entry + "\r\n");
  } else {
    text += endLine(text.size()) + "[" + section + "]\r\n" + entry + "\r\n";
  }

  // The new content goes under a temporary name first: a failed write
  // leaves the old file whole.
  const std::string temp = file + ".ini-tmp";
  std::FILE* out = std::fopen(temp.c_str(), "wb");
  if (!out) return false;
  const bool written = std::fwrite(text.data(), 1, text.size(), out) == text.size();
  const bool closed = std::fclose(out) == 0;
  if (!written || !closed || std::rename(temp.c_str(), file.c_str()) != 0) {
    std::remove(temp.c_str());
    return false;
  }
  return true;
}

} // namespace util
