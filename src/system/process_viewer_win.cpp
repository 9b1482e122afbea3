#include <windows.h>
// After windows.h, which it needs.
#include <tlhelp32.h>

#include <vector>

#include "system/exec_pipe.h"
#include "system/process_viewer.h"
#include "ui/message_box.h"
#include "util/system_info.h"
#include "util/text.h"

namespace sys {

namespace {

// Each enumeration interface is looked up when first needed: NT 4.0 has no
// ToolHelp, 9x no PSAPI.
struct ToolHelp {
  using SnapshotFn = HANDLE(WINAPI*)(DWORD, DWORD);
  using WalkFn = BOOL(WINAPI*)(HANDLE, PROCESSENTRY32*);
  SnapshotFn snapshot = nullptr;
  WalkFn first = nullptr;
  WalkFn next = nullptr;

  static const ToolHelp& Get() {
    static const ToolHelp api = [] {
      ToolHelp t;
      t.snapshot = reinterpret_cast<SnapshotFn>(
          util::GetProcAddressFrom("kernel32.dll", "CreateToolhelp32Snapshot"));
      t.first =
          reinterpret_cast<WalkFn>(util::GetProcAddressFrom("kernel32.dll", "Process32First"));
      t.next = reinterpret_cast<WalkFn>(util::GetProcAddressFrom("kernel32.dll", "Process32Next"));
      return t;
    }();
    return api;
  }
  bool Usable() const { return snapshot && first && next; }
};

struct Psapi {
  using EnumProcessesFn = BOOL(WINAPI*)(DWORD*, DWORD, DWORD*);
  using EnumModulesFn = BOOL(WINAPI*)(HANDLE, HMODULE*, DWORD, DWORD*);
  using ModuleNameFn = DWORD(WINAPI*)(HANDLE, HMODULE, LPSTR, DWORD);
  using ImageNameFn = BOOL(WINAPI*)(HANDLE, DWORD, LPSTR, DWORD*);
  EnumProcessesFn enumProcesses = nullptr;
  EnumModulesFn enumModules = nullptr;
  ModuleNameFn fileName = nullptr;
  ModuleNameFn baseName = nullptr;
  // Vista and later: names a process whose modules cannot be read, such as
  // a 64-bit program seen from a 32-bit one.
  ImageNameFn imageName = nullptr;

  static const Psapi& Get() {
    static const Psapi api = [] {
      Psapi p;
      p.enumProcesses =
          reinterpret_cast<EnumProcessesFn>(util::GetProcAddressFrom("PSAPI.dll", "EnumProcesses"));
      p.enumModules = reinterpret_cast<EnumModulesFn>(
          util::GetProcAddressFrom("PSAPI.dll", "EnumProcessModules"));
      p.fileName = reinterpret_cast<ModuleNameFn>(
          util::GetProcAddressFrom("PSAPI.dll", "GetModuleFileNameExA"));
      p.baseName = reinterpret_cast<ModuleNameFn>(
          util::GetProcAddressFrom("PSAPI.dll", "GetModuleBaseNameA"));
      p.imageName = reinterpret_cast<ImageNameFn>(
          util::GetProcAddressFrom("kernel32.dll", "QueryFullProcessImageNameA"));
      return p;
    }();
    return api;
  }
  bool Usable() const { return enumProcesses && enumModules && fileName && baseName; }
};

bool IsNTFamily() {
  static const bool nt = util::IsNT();
  return nt;
}

std::string ShortPathOf(const std::string& path) {
  if (path.empty()) return {};
  char buffer[MAX_PATH * 2];
  const DWORD n = GetShortPathNameA(path.c_str(), buffer, sizeof buffer);
  return n > 0 && n < sizeof buffer ? std::string(buffer, n) : std::string();
}

std::string WantedShortPath(const std::string& wanted) {
  const std::string s = ShortPathOf(util::Trim(wanted));
  return s.empty() ? std::string(kNoShortPath) : s;
}

struct SnapshotEntry {
  DWORD processId;
  std::string exe;
};

std::vector<SnapshotEntry> TakeProcessSnapshot() {
  std::vector<SnapshotEntry> entries;
  const ToolHelp& api = ToolHelp::Get();
  if (!api.Usable()) return entries;
  HANDLE snap = api.snapshot(TH32CS_SNAPPROCESS, 0);
  if (snap == INVALID_HANDLE_VALUE) return entries;
  PROCESSENTRY32 e{};
  e.dwSize = sizeof e;
  for (BOOL ok = api.first(snap, &e); ok; ok = api.next(snap, &e))
    entries.push_back({e.th32ProcessID, std::string(e.szExeFile, lstrlenA(e.szExeFile))});
  CloseHandle(snap);
  return entries;
}

// The ids PSAPI reports, the buffer grown until it holds them all.
std::vector<DWORD> AllProcessIds(const Psapi& api) {
  std::vector<DWORD> ids;
  for (DWORD bytes = 1024;; bytes += 1024) {
    ids.resize(bytes / sizeof(DWORD));
    DWORD got = 0;
    if (!api.enumProcesses(ids.data(), bytes, &got)) return {};
    if (got < bytes) {
      ids.resize(got / sizeof(DWORD));
      return ids;
    }
  }
}

// The full path and base name of a process's first module; false when the
// process cannot be opened or named.
bool ModuleNames(const Psapi& api, DWORD id, std::string& fullPath, std::string& baseName) {
  HANDLE h = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, id);
  if (!h) return false;
  char full[MAX_PATH + 1];
  char base[MAX_PATH + 1];
  HMODULE module = nullptr;
  DWORD needed = 0;
  DWORD n = 0, m = 0;
  if (api.enumModules(h, &module, sizeof module, &needed)) {
    n = api.fileName(h, module, full, MAX_PATH);
    m = api.baseName(h, module, base, MAX_PATH);
  } else if (api.imageName) {
    DWORD size = MAX_PATH;
    if (api.imageName(h, 0, full, &size)) n = size;
  }
  CloseHandle(h);
  if (n == 0) return false;
  fullPath.assign(full, n);
  baseName = m > 0 ? std::string(base, m) : util::FileNameOf(fullPath);
  return true;
}

std::uint32_t FindByTaskList(const std::string& executable) {
  // Named by the system folder, so a "tasklist.exe" beside the program or in
  // its current folder is never the one started.
  char folder[MAX_PATH + 1];
  const UINT n = GetSystemDirectoryA(folder, sizeof folder);
  const std::string program = n > 0 && n < sizeof folder
                                  ? util::JoinPath(std::string_view(folder, n), "tasklist.exe")
                                  : std::string("tasklist.exe");
  const PipedResult r = RunPiped(program, kTaskListArguments, SW_HIDE);
  return FindInTaskList(r.outputText, executable);
}

std::uint32_t FindByModules(const std::string& executable, bool fullPathOnly) {
  const Psapi& api = Psapi::Get();
  if (!api.Usable()) return 0;
  const std::vector<DWORD> ids = AllProcessIds(api);
  const std::string wantedShort = WantedShortPath(executable);
  for (auto it = ids.rbegin(); it != ids.rend(); ++it) {
    ProcessCandidate c;
    if (!ModuleNames(api, *it, c.fullPath, c.bareName)) continue;
    if (fullPathOnly) c.bareName = kNoBareName;
    c.shortPath = ShortPathOf(c.fullPath);
    if (ProcessNameMatches(executable, wantedShort, c)) return *it;
  }
  return 0;
}

std::uint32_t FindBySnapshot(const std::string& executable, bool fullPathOnly) {
  const std::string wantedShort = WantedShortPath(executable);
  std::uint32_t found = 0;
  for (const SnapshotEntry& e : TakeProcessSnapshot()) {
    ProcessCandidate c{e.exe, fullPathOnly ? std::string(kNoBareName) : util::FileNameOf(e.exe),
                       ShortPathOf(e.exe)};
    if (ProcessNameMatches(executable, wantedShort, c)) found = e.processId;
  }
  return found;
}

// The lookup of IsProcessRunning and TerminateByName.
std::uint32_t FindForShutdown(const std::string& executable, bool fullPathOnly) {
  if (!IsNTFamily()) return FindBySnapshot(executable, fullPathOnly);
  const std::string bare = util::FileNameOf(executable);
  if (bare.empty()) return 0;
  const std::uint32_t id = FindInProcessList(GetProcessList(fullPathOnly, true), bare, ShortPathOf);
  // The list holds only programs with a window; a program that has closed
  // its windows and still works must not count as gone.
  return id ? id : FindBySnapshot(bare, false);
}

HWND RootOwner(HWND window) {
  HWND root = window;
  for (int i = 0; i < TAnalizer::kMaxWindows; ++i) {
    HWND owner = GetWindow(root, GW_OWNER);
    if (!owner) break;
    root = owner;
  }
  return root;
}

BOOL CALLBACK CollectProcessWindow(HWND window, LPARAM param) {
  auto& analizer = *reinterpret_cast<TAnalizer*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (pid != analizer.ProcessId()) return TRUE;
  // GetWindowText does not wait for another process, so a hung program
  // cannot hold the agent here.
  char title[2];
  WindowFacts facts;
  facts.handle = reinterpret_cast<std::uintptr_t>(window);
  facts.rootOwner = reinterpret_cast<std::uintptr_t>(RootOwner(window));
  facts.hasTitle = GetWindowTextA(window, title, sizeof title) > 0;
  facts.visible = IsWindowVisible(window) != FALSE;
  analizer.Add(facts);
  return TRUE;
}

struct WindowWalk {
  TProcessData data;
  std::vector<SnapshotEntry> processes;
};

BOOL CALLBACK RecordWindow(HWND window, LPARAM param) {
  auto& walk = *reinterpret_cast<WindowWalk*>(param);
  WindowRecord r;
  r.handle = reinterpret_cast<std::uintptr_t>(window);
  DWORD pid = 0;
  r.threadId = GetWindowThreadProcessId(window, &pid);
  r.processId = pid;
  for (const SnapshotEntry& e : walk.processes)
    if (e.processId == pid) {
      r.executable = e.exe;
      break;
    }
  char text[MAX_PATH + 1];
  int n = GetClassNameA(window, text, sizeof text);
  r.windowClass.assign(text, n > 0 ? n : 0);
  n = GetWindowTextA(window, text, sizeof text);
  r.title.assign(text, n > 0 ? n : 0);
  r.visible = IsWindowVisible(window) != FALSE;
  return AddWindowRecord(walk.data, r) ? TRUE : FALSE;
}

} // namespace

ProcessMethod CurrentProcessMethod() {
  static const ProcessMethod method = ChooseProcessMethod(util::GetWindowsVersion());
  return method;
}

std::uint32_t FindProcessId(const std::string& executable, bool fullPathOnly) {
  if (util::TrimView(executable).empty()) return 0;
  switch (CurrentProcessMethod()) {
  case ProcessMethod::kTaskList:
    return FindByTaskList(executable);
  case ProcessMethod::kModules:
    return FindByModules(executable, fullPathOnly);
  case ProcessMethod::kSnapshot:
    break;
  }
  return FindBySnapshot(executable, fullPathOnly);
}

void* FindMainWindow(const std::string& executable, bool fullPathOnly) {
  const std::uint32_t pid = FindProcessId(executable, fullPathOnly);
  if (pid == 0) return nullptr;
  TAnalizer analizer(pid);
  EnumWindows(CollectProcessWindow, reinterpret_cast<LPARAM>(&analizer));
  analizer.Rank();
  return reinterpret_cast<void*>(analizer.Best());
}

bool PostToMainWindow(const std::string& executable, bool fullPathOnly, unsigned message,
                      std::intptr_t lParam, std::uintptr_t wParam) {
  HWND window = static_cast<HWND>(FindMainWindow(executable, fullPathOnly));
  return window && PostMessageA(window, message, wParam, lParam);
}

bool CloseMainWindow(const std::string& executable, bool fullPathOnly, int waitMs) {
  const bool posted = PostToMainWindow(executable, fullPathOnly, WM_CLOSE, 255, 15);
  if (posted && waitMs > 0) WaitProcessGone(executable, waitMs);
  return posted;
}

bool QuitMainWindow(const std::string& executable, bool fullPathOnly) {
  return PostToMainWindow(executable, fullPathOnly, WM_QUIT, 255, 15);
}

bool TerminateByName(const std::string& executable, bool fullPathOnly) {
  const std::string name = util::Trim(executable);
  if (name.empty()) return false;
  const std::uint32_t pid = FindForShutdown(name, fullPathOnly);
  if (pid == 0) return false;
  HANDLE h = OpenProcess(PROCESS_TERMINATE, FALSE, pid);
  if (!h) return false;
  const bool ended = TerminateProcess(h, 0) != FALSE;
  CloseHandle(h);
  return ended;
}

bool IsProcessRunning(const std::string& executable) {
  const std::string name = CleanProcessName(executable);
  return !name.empty() && FindForShutdown(name, false) != 0;
}

bool WaitProcessGone(const std::string& executable, int waitMs) {
  const std::string name = CleanProcessName(executable);
  const DWORD limit = waitMs > 0 ? static_cast<DWORD>(waitMs) : 1000;
  const DWORD start = GetTickCount();
  for (;;) {
    if (!IsProcessRunning(name)) return true;
    if (GetTickCount() - start >= limit) return false;
    ui::WaitPumping(100);
  }
}

void WaitWindowGone(const std::string& windowClass, const std::string& title) {
  while (FindWindowA(windowClass.c_str(), title.c_str())) {
    ui::YieldX();
    Sleep(100);
  }
}

std::string GetProcessList(bool fullPathOnly, bool withIds) {
  if (!util::IsXP()) {
    const TProcessData data = EnumerateWindows(false, "*", -1);
    return PairProcessList(data.executables, data.processIds, withIds);
  }
  std::string list = "|";
  const Psapi& api = Psapi::Get();
  if (!api.enumProcesses) return list;
  DWORD ids[1025];
  DWORD got = 0;
  if (!api.enumProcesses(ids, sizeof ids, &got)) return list;
  const std::string versionText = util::GetWindowsVersion().versionText;
  for (DWORD i = 0; i < got / sizeof(DWORD); ++i) {
    std::string full, base;
    std::string name;
    if (api.Usable() && ModuleNames(api, ids[i], full, base)) name = fullPathOnly ? full : base;
    const std::string system = SystemProcessName(ids[i], versionText);
    if (!system.empty()) name = system;
    if (name.empty()) continue;
    list += name;
    if (withIds) list += "=" + util::IntToStr(ids[i]);
    list += '|';
  }
  return list;
}

TProcessData EnumerateWindows(bool collectAll, const std::string& wantedExecutable,
                              std::int64_t wantedProcessId) {
  WindowWalk walk;
  walk.data.collectAll = collectAll;
  walk.data.wantedExecutable = wantedExecutable;
  walk.data.wantedProcessId = wantedProcessId;
  walk.processes = TakeProcessSnapshot();
  EnumWindows(RecordWindow, reinterpret_cast<LPARAM>(&walk));
  return walk.data;
}

} // namespace sys
