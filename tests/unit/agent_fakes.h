// In-memory stand-ins for the agent's platform interfaces: a settings store,
// a clock set by hand, a registry, a size probe and a log that records.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "platform/clock.h"
#include "platform/log_sink.h"
#include "platform/registry.h"
#include "platform/settings_store.h"
#include "platform/size_probe.h"
#include "util/system_info.h"

namespace agent_test {

// Keys as the INI layer sees them: an empty value reads as the default.
class MemorySettings : public platform::SettingsStore {
public:
  std::string Read(const std::string& file, const std::string& section, const std::string& key,
                   const std::string& def) override {
    const auto it = values.find({file, section, key});
    return it == values.end() || it->second.empty() ? def : it->second;
  }
  bool Write(const std::string& file, const std::string& section, const std::string& key,
             const std::string& value) override {
    if (failWrites) return false;
    values[{file, section, key}] = value;
    return true;
  }
  std::map<std::tuple<std::string, std::string, std::string>, std::string> values;
  bool failWrites = false;
};

// A spread draw that always gives its low end: no check spread, bucket 0.
inline std::uint32_t LowestDraw(std::uint32_t low, std::uint32_t) {
  return low;
}

class FakeClock : public platform::Clock {
public:
  double Now() override { return now; }
  std::int64_t UtcSeconds() override { return utc; }
  std::uint32_t TickCount() override { return ticks; }
  // Local time of day `day` of `month` (1-12) `year`, h:m:s.
  void Set(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
    util::CivilDateTime t;
    t.year = year;
    t.month = month;
    t.day = day;
    t.hour = hour;
    t.minute = minute;
    t.second = second;
    now = util::EncodeDateTime(t);
  }
  double now = 0;
  std::int64_t utc = 0;
  std::uint32_t ticks = 0;
};

class FakeRegistry : public platform::RegistryReader {
public:
  std::string Read(const std::string& keyPath, const std::string& name,
                   const std::string& def) override {
    ++reads;
    const auto it = values.find(keyPath + "|" + name);
    return it == values.end() ? def : it->second;
  }
  std::map<std::string, std::string> values; // "key path|value name"
  int reads = 0;
};

class FakeSizeProbe : public platform::SizeProbe {
public:
  std::int64_t FileSize(const std::string& path) override {
    asked.push_back(path);
    const auto it = files.find(path);
    return it == files.end() ? -1 : it->second;
  }
  bool IsOnline() override { return online; }
  std::int64_t HttpSize(const std::string& url) override {
    asked.push_back(url);
    const auto it = urls.find(url);
    return it == urls.end() ? -1 : it->second;
  }
  std::map<std::string, std::int64_t> files, urls;
  bool online = true;
  std::vector<std::string> asked;
};

class RecordingLog : public platform::LogSink {
public:
  void Log(std::string_view line) override { log.emplace_back(line); }
  void Trace(std::string_view line) override { trace.emplace_back(line); }
  std::uint32_t ProcessId() override { return 4242; }
  std::vector<std::string> log, trace;
};

} // namespace agent_test
