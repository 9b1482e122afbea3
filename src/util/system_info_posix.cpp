// Native stand-ins for the system services the portable code calls: local
// time, the time separator and INI reads (so the language file can be tested
// natively).
#include <ctime>

#include "platform/file.h"
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

// Sections and keys are matched with ASCII case ignored, the first match
// wins, values are trimmed; lines starting with ';' are comments.
std::string ReadIniString(const std::string& file, const std::string& section,
                          const std::string& key, const std::string& def) {
  if (section.empty() || key.empty()) return def;
  platform::InputFile in(file);
  const std::int64_t size = in.IsOpen() ? in.Size() : -1;
  if (size <= 0) return def;
  std::string text(static_cast<std::size_t>(size), '\0');
  if (!in.ReadExact(text.data(), text.size())) return def;

  bool inSection = false;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size();
    const std::string_view line = TrimView(std::string_view(text).substr(pos, end - pos));
    pos = end + 1;
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      const std::size_t close = line.find(']');
      inSection = close != std::string_view::npos &&
                  EqualsNoCase(TrimView(line.substr(1, close - 1)), TrimView(section));
      continue;
    }
    if (!inSection) continue;
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos || !EqualsNoCase(TrimView(line.substr(0, eq)), TrimView(key)))
      continue;
    const std::string value = Unquote(TrimView(line.substr(eq + 1)));
    return value.empty() ? def : value;
  }
  return def;
}

} // namespace util
