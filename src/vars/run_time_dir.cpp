#include "vars/run_time_dir.h"

#include <vector>

#include "util/field_list.h"
#include "util/text.h"
#include "vars/language.h"
#include "vars/shell_folders.h"
#include "vars/vars_system.h"

namespace vars {

namespace {

constexpr std::string_view kAppPathsKey =
    "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";

struct Table {
  std::string definitions[kRunTimeDirCount];
  std::string results[kRunTimeDirCount];
  bool computed[kRunTimeDirCount] = {};
};

Table g_table;
bool g_missing = false;
bool g_cancelled = false;
RunTimeDirHooks g_hooks;

// Registry texts may hold a path in quotes ("C:\Program Files\x.exe").
std::string Unquoted(std::string_view text) {
  std::string_view t = util::TrimView(text);
  if (t.size() >= 2 && t.front() == '"' && t.back() == '"') t = t.substr(1, t.size() - 2);
  return std::string(t);
}

std::string ReadInViews(const std::string& keyPath, const std::string& name, int viewCode) {
  VarsSystem& system = System();
  const RegistryViews views = RegistryViewsOfCode(viewCode, system.Is64BitWindows());
  std::string value = system.ReadRegistry(keyPath, name, views.first);
  if (value.empty() && views.tryOther) value = system.ReadRegistry(keyPath, name, views.second);
  return value;
}

// The file or folder search of one definition step: fixed drives, then
// network drives, each announced first when asked.
std::string SearchStep(const std::string& name, bool folder, bool fixed, bool network,
                       bool announce) {
  std::string found;
  for (int type : {kDriveFixed, kDriveRemote}) {
    if (!found.empty() || !(type == kDriveFixed ? fixed : network)) continue;
    if (announce && g_hooks.searchStarts) g_hooks.searchStarts(g_hooks.context, name, folder, type);
    found = SearchDrives(name, folder, type);
  }
  // A file search gives the file's folder; a folder search the folder found.
  if (!folder && !found.empty()) found = util::FolderOf(found);
  return WithTrailing(found, false);
}

} // namespace

RegistryViews RegistryViewsOfCode(int viewCode, bool is64BitWindows) {
  using util::RegistryView;
  RegistryViews views;
  if (viewCode == 0)
    views.first = is64BitWindows ? RegistryView::k64 : RegistryView::kOwn;
  else
    views.first = viewCode == 2 ? RegistryView::k64 : RegistryView::k32;
  views.tryOther = viewCode > 2;
  if (views.tryOther)
    views.second = views.first == RegistryView::k64 ? RegistryView::k32 : RegistryView::k64;
  return views;
}

std::string AppPathsDir(const std::string& program, int viewCode) {
  if (util::TrimView(program).empty()) return {};
  const std::string value =
      Unquoted(ReadInViews(std::string(kAppPathsKey) + program, "", viewCode));
  return WithTrailing(util::FolderOf(value), false);
}

std::string RegistryPathDir(const std::string& path, int viewCode) {
  if (util::TrimView(path).empty()) return {};
  std::string value = ReadInViews(path, "", viewCode);
  const std::size_t slash = path.rfind('\\');
  if (value.empty() && slash != std::string::npos)
    value = ReadInViews(path.substr(0, slash), path.substr(slash + 1), viewCode);
  value = Unquoted(value);
  VarsSystem& system = System();
  if (!value.empty() && !system.FolderExists(value) && system.FileExists(value)) {
    const std::string folder = util::FolderOf(value);
    if (!folder.empty() && system.FolderExists(folder)) value = folder;
  }
  return WithTrailing(value, false);
}

std::string SearchTree(const std::string& root, std::string_view name, bool folder) {
  if (root.empty() || name.empty()) return {};
  VarsSystem& system = System();
  // Depth first without recursion: the next folder to list is at the back.
  std::vector<std::string> pending{WithTrailing(root, false)};
  std::vector<FolderEntry> entries;
  while (!pending.empty()) {
    if (g_cancelled) return {};
    const std::string dir = std::move(pending.back());
    pending.pop_back();
    entries.clear();
    if (!system.ListFolder(dir, entries)) continue;
    for (const FolderEntry& e : entries)
      if (e.folder == folder && util::EqualsNoCase(e.name, name)) return dir + "\\" + e.name;
    for (auto it = entries.rbegin(); it != entries.rend(); ++it)
      if (it->folder && !it->link) pending.push_back(dir + "\\" + it->name);
  }
  return {};
}

std::string SearchDrives(std::string_view name, bool folder, int driveType) {
  VarsSystem& system = System();
  for (char letter : system.DriveLetters()) {
    if (g_cancelled) break;
    if (system.DriveType(letter) != driveType) continue;
    std::string found = SearchTree(std::string(1, letter) + ":\\", name, folder);
    if (!found.empty()) return found;
  }
  return {};
}

std::string ResolveRunTimeDir(std::string_view definition) {
  auto field = [&](int i) { return util::SUB::GetField(definition, i); };
  auto on = [&](int i) { return field(i) == "1"; };
  std::string result;
  std::string shown; // the first name a search step was given
  auto showAs = [&](const std::string& name) {
    if (shown.empty()) shown = name;
  };

  if (on(0)) {
    showAs(field(1));
    result = AppPathsDir(field(1), static_cast<int>(util::SUB::GetFieldInt(definition, 20, 0)));
  }
  if (result.empty() && on(2)) {
    showAs(field(3));
    result = RegistryPathDir(field(3), static_cast<int>(util::SUB::GetFieldInt(definition, 21, 0)));
  }
  if (result.empty() && on(4)) {
    showAs(field(5));
    result = SearchStep(field(5), false, on(6), on(7), on(18));
  }
  if (result.empty() && on(8)) {
    showAs(field(9));
    result = SearchStep(field(9), true, on(10), on(11), on(19));
  }
  if (result.empty() && on(12)) result = WithTrailing(field(13), false);

  if (result.empty()) {
    if (on(16))
      System().ShowMessage(
          LanguageStringWith("RunTimeDir_01", "RunTimeDir (<?>)<P><P>Not Found!", shown));
    if (on(17)) g_missing = true;
  }
  if (g_hooks.resolved) g_hooks.resolved(g_hooks.context, definition, result);
  return result;
}

void SetRunTimeDirDefinition(int index, std::string_view definition) {
  if (index < 1 || index > kRunTimeDirCount) return;
  g_table.definitions[index - 1] = std::string(definition);
  g_table.results[index - 1].clear();
  g_table.computed[index - 1] = false;
}

std::string RunTimeDir(int index, bool trailing) {
  if (index < 1 || index > kRunTimeDirCount) return {};
  const int i = index - 1;
  if (!g_table.computed[i]) {
    g_table.results[i] = ResolveRunTimeDir(g_table.definitions[i]);
    g_table.computed[i] = true;
  }
  return WithTrailing(g_table.results[i], trailing);
}

void SetDriveSearchCancelled(bool cancelled) {
  g_cancelled = cancelled;
}

bool RunTimeDirMissing() {
  return g_missing;
}

void ClearRunTimeDirMissing() {
  g_missing = false;
}

void SetRunTimeDirHooks(const RunTimeDirHooks& hooks) {
  g_hooks = hooks;
}

void ResetRunTimeDirs() {
  g_table = Table{};
  g_missing = false;
  g_cancelled = false;
  g_hooks = RunTimeDirHooks{};
}

} // namespace vars
