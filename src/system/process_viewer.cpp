#include "system/process_viewer.h"

#include "util/field_list.h"
#include "util/text.h"

namespace sys {

using util::EqualsNoCase;
using util::SUB;
using util::Trim;
using util::TrimView;

ProcessMethod ChooseProcessMethod(const util::WindowsVersion& version) {
  if (util::IsWin8OrLater(version)) return ProcessMethod::kTaskList;
  if (version.platformId == util::kPlatformNT) return ProcessMethod::kModules;
  return ProcessMethod::kSnapshot;
}

const char* ProcessMethodName(ProcessMethod method) {
  switch (method) {
  case ProcessMethod::kTaskList:
    return "tasklist";
  case ProcessMethod::kModules:
    return "modules";
  case ProcessMethod::kSnapshot:
    break;
  }
  return "snapshot";
}

bool ProcessNameMatches(std::string_view wanted, std::string_view wantedShort,
                        const ProcessCandidate& candidate) {
  const std::string_view name = TrimView(wanted);
  if (name.empty()) return false;
  if (EqualsNoCase(name, TrimView(candidate.fullPath)) ||
      EqualsNoCase(name, TrimView(candidate.bareName)))
    return true;
  const std::string_view candidateShort = TrimView(candidate.shortPath);
  return !candidateShort.empty() && EqualsNoCase(TrimView(wantedShort), candidateShort);
}

std::string CleanProcessName(std::string_view name) {
  std::string_view s = TrimView(name);
  if (!s.empty() && s.front() == '"') s.remove_prefix(1);
  if (!s.empty() && s.back() == '"') s.remove_suffix(1);
  return Trim(s);
}

namespace {

// The fields of one CSV line. A field in double quotes may hold commas; a
// doubled quote inside it stands for one quote.
std::vector<std::string> CsvFields(std::string_view line) {
  std::vector<std::string> fields(1);
  bool quoted = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (quoted) {
      if (c != '"')
        fields.back() += c;
      else if (i + 1 < line.size() && line[i + 1] == '"')
        fields.back() += line[++i];
      else
        quoted = false;
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      fields.emplace_back();
    } else {
      fields.back() += c;
    }
  }
  return fields;
}

} // namespace

std::vector<TaskListEntry> ParseTaskList(std::string_view output) {
  std::vector<TaskListEntry> entries;
  std::string_view rest = TrimView(output);
  while (!rest.empty()) {
    const std::size_t end = rest.find('\n');
    std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (TrimView(line).empty()) continue;
    const std::vector<std::string> fields = CsvFields(line);
    TaskListEntry entry;
    entry.imageName = Trim(fields[0]);
    if (fields.size() > 1) {
      const std::int64_t id = util::StrToInt64Def(fields[1], 0);
      entry.processId = id > 0 && id <= 0xFFFFFFFF ? static_cast<std::uint32_t>(id) : 0;
    }
    entries.push_back(std::move(entry));
  }
  return entries;
}

std::uint32_t FindInTaskList(std::string_view output, std::string_view wanted) {
  const std::string fileName = Trim(util::FileNameOf(TrimView(wanted)));
  if (fileName.empty()) return 0;
  for (const TaskListEntry& entry : ParseTaskList(output))
    if (entry.processId > 0 && EqualsNoCase(entry.imageName, fileName)) return entry.processId;
  return 0;
}

bool TAnalizer::Add(const WindowFacts& window) {
  if (Count() >= kMaxWindows) return false;
  windows_.push_back(window);
  return true;
}

void TAnalizer::Rank() {
  scores_.assign(windows_.size(), 0);
  // A window that roots many of the process's windows is its main one.
  for (const WindowFacts& w : windows_) {
    const std::uintptr_t root = w.rootOwner ? w.rootOwner : w.handle;
    for (std::size_t j = 0; j < windows_.size(); ++j)
      if (windows_[j].handle == root) {
        ++scores_[j];
        break;
      }
  }
  for (std::size_t i = 0; i < windows_.size(); ++i)
    scores_[i] = static_cast<std::uint16_t>(scores_[i] * 4 + (windows_[i].hasTitle ? 2 : 0) +
                                            (windows_[i].visible ? 1 : 0));
}

std::uintptr_t TAnalizer::Best() const {
  int best = -1;
  for (int i = 0; i < static_cast<int>(scores_.size()); ++i)
    if (scores_[i] > 0 && (best < 0 || scores_[i] > scores_[best])) best = i;
  return best < 0 ? 0 : windows_[best].handle;
}

bool AddWindowRecord(TProcessData& data, const WindowRecord& window) {
  if (data.collectAll || SUB::FindField(data.executables, window.executable) < 0) {
    const auto append = [](std::string& list, const std::string& value) {
      list = SUB::AppendFields(list, {value});
    };
    append(data.processIds, util::IntToStr(window.processId));
    append(data.executables, window.executable);
    append(data.windowClasses, window.windowClass);
    append(data.windowHandles, util::IntToStr(static_cast<std::int64_t>(window.handle)));
    append(data.threadIds, util::IntToStr(window.threadId));
    append(data.windowTitles, window.title);
    append(data.visibleFlags, window.visible ? "1" : "0");
  }
  if (data.collectAll) return true;
  return !(EqualsNoCase(TrimView(window.executable), TrimView(data.wantedExecutable)) ||
           (data.wantedProcessId >= 0 && window.processId == data.wantedProcessId));
}

std::string PairProcessList(std::string_view names, std::string_view ids, bool withIds) {
  if (!withIds) return std::string(names);
  const std::vector<std::string_view> n = SUB::Fields(names);
  const std::vector<std::string_view> i = SUB::Fields(ids);
  std::string list = "|";
  for (std::size_t k = 0; k < n.size() && k < i.size(); ++k) {
    list += n[k];
    list += '=';
    list += i[k];
    list += '|';
  }
  return list;
}

std::string SystemProcessName(std::uint32_t processId, std::string_view versionText) {
  if (processId == 0) return "System Idle Process";
  if ((processId == 2 && versionText == "4.0") || (processId == 8 && versionText == "5.0"))
    return "System Process";
  return {};
}

std::uint32_t FindInProcessList(std::string_view list, std::string_view wanted,
                                const ShortPathFunction& shortPathOf) {
  const std::string name = Trim(wanted);
  if (name.empty()) return 0;
  std::string wantedShort;
  bool shortAsked = false;
  const std::vector<std::string_view> fields = SUB::Fields(list);
  for (auto it = fields.rbegin(); it != fields.rend(); ++it) {
    // A file name may hold "=", an id never.
    const std::size_t eq = it->rfind('=');
    const std::string_view entryName = it->substr(0, eq);
    const std::int64_t id =
        eq == std::string_view::npos ? 0 : util::StrToInt64Def(it->substr(eq + 1), 0);
    bool match = EqualsNoCase(TrimView(entryName), name);
    if (!match && shortPathOf) {
      if (!shortAsked) {
        wantedShort = shortPathOf(name);
        shortAsked = true;
      }
      if (!wantedShort.empty()) {
        const std::string entryShort = shortPathOf(Trim(entryName));
        match = !entryShort.empty() && EqualsNoCase(entryShort, wantedShort);
      }
    }
    if (match) return id > 0 && id <= 0xFFFFFFFF ? static_cast<std::uint32_t>(id) : 0;
  }
  return 0;
}

} // namespace sys
