// Running programs: finding a process by its executable, ranking its windows
// to pick the main one, asking it to close or quit, ending it, and waiting
// until it is gone. The update agent uses this to stop the product it
// updates.
//
// Three ways to see processes, by Windows generation: the output of
// "tasklist.exe" (Windows 8 and later), the process-status functions of
// "PSAPI.dll" (the other NT systems) and the ToolHelp snapshot of
// "kernel32.dll" (9x). Each is loaded at run time, so the program starts on
// systems that lack the others.
//
// The deciding parts (method choice, name matching, the task list's CSV,
// window ranking, the process list text) are portable; the functions marked
// "Windows build only" live in process_viewer_win.cpp.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "util/system_info.h"

namespace sys {

// --- Which enumeration a system offers ------------------------------------

enum class ProcessMethod {
  kTaskList, // Windows 8 and later: "tasklist.exe /FO csv"
  kModules,  // other NT systems: PSAPI process ids and their first module
  kSnapshot, // 9x: the ToolHelp process snapshot
};

ProcessMethod ChooseProcessMethod(const util::WindowsVersion& version);
const char* ProcessMethodName(ProcessMethod method); // "tasklist", "modules", "snapshot"

// --- Name matching -----------------------------------------------------------

// Stands for the wanted name's short path when the system gives none, and
// for a candidate's bare name under full-path-only matching; no file is named
// so, which switches that comparison off.
inline constexpr char kNoShortPath[] = "*XX*";
inline constexpr char kNoBareName[] = "*X*";

// One running program as an enumeration sees it.
struct ProcessCandidate {
  std::string fullPath;  // as the system names it (on NT's snapshot only the file name)
  std::string bareName;  // its file name, or kNoBareName under full-path-only matching
  std::string shortPath; // short (8.3) form of fullPath; "" when the system gives none
};

// Trimmed, letter case ignored: the wanted name equals the candidate's full
// path or its bare name, or the wanted name's short path (kNoShortPath when
// none) equals the candidate's.
bool ProcessNameMatches(std::string_view wanted, std::string_view wantedShort,
                        const ProcessCandidate& candidate);

// The name IsProcessRunning and WaitProcessGone look for: blanks and
// surrounding double quotes removed.
std::string CleanProcessName(std::string_view name);

// --- The task list ----------------------------------------------------------

// The arguments given to "tasklist.exe".
inline constexpr char kTaskListArguments[] = "/FO csv";

// One line of the task list's CSV: the image name and the process id (0
// when the second field is not a number). Quoted fields may hold commas.
struct TaskListEntry {
  std::string imageName;
  std::uint32_t processId = 0;
};
std::vector<TaskListEntry> ParseTaskList(std::string_view output);
// The id of the first line whose image name equals the file name of
// `wanted` (trimmed, any case), 0 when none has an id above 0.
std::uint32_t FindInTaskList(std::string_view output, std::string_view wanted);

// --- Window ranking -----------------------------------------------------------

// A top-level window as the ranking sees it. Handles are numbers; 0 is none.
struct WindowFacts {
  std::uintptr_t handle = 0;
  std::uintptr_t rootOwner = 0; // end of its owner chain; itself when unowned
  bool hasTitle = false;
  bool visible = false;
};

// Ranks the windows of one process: each kept window scores the number of
// kept windows whose root owner it is, times 4, plus 2 for a title, plus 1
// when visible. The best score wins, the one added first on a tie; a best
// score of 0 means no window.
class TAnalizer {
public:
  static constexpr int kMaxWindows = 2001;

  explicit TAnalizer(std::uint32_t processId = 0) : processId_(processId) {}

  std::uint32_t ProcessId() const { return processId_; }
  // Keeps the window; false when the table is full (it is then ignored).
  bool Add(const WindowFacts& window);
  // Scores every kept window; call once, after the last Add.
  void Rank();

  int Count() const { return static_cast<int>(windows_.size()); }
  const WindowFacts& Window(int i) const { return windows_[i]; }
  std::uint16_t Score(int i) const { return i < static_cast<int>(scores_.size()) ? scores_[i] : 0; }
  // The best-ranked window's handle, 0 for none.
  std::uintptr_t Best() const;

private:
  std::uint32_t processId_;
  std::vector<WindowFacts> windows_;
  std::vector<std::uint16_t> scores_;
};

// --- One walk over the top-level windows ----------------------------------------

struct TProcessData {
  bool collectAll = false;            // one entry per window, else per executable
  std::string wantedExecutable = "*"; // stop at this executable ("*": never)
  std::int64_t wantedProcessId = -1;  // stop at this id (-1: never)
  // Parallel field lists, one field per entry. Their separator is "|" unless
  // a value holds one, in which case that list's separator is re-chosen so
  // the positions stay aligned.
  std::string processIds = "|";
  std::string executables = "|";
  std::string windowClasses = "|";
  std::string windowHandles = "|";
  std::string threadIds = "|";
  std::string windowTitles = "|";
  std::string visibleFlags = "|";
};

// What EnumerateWindows learns about one window.
struct WindowRecord {
  std::uint32_t processId = 0;
  std::string executable; // from the process snapshot; "" when not found
  std::string windowClass;
  std::uintptr_t handle = 0;
  std::uint32_t threadId = 0;
  std::string title;
  bool visible = false;
};

// Adds the window as an entry when collecting all or when its executable is
// not listed yet; false when the walk should stop here (not collecting all,
// and the executable or the process id is the wanted one).
bool AddWindowRecord(TProcessData& data, const WindowRecord& window);

// --- The process list text --------------------------------------------------------

// "|name|name|", or with ids "|name=id|": names and ids paired by position
// (the shorter list decides the count). "" when there is no entry.
std::string PairProcessList(std::string_view names, std::string_view ids, bool withIds);

// The name the system gives a process id that has no module: "System Idle
// Process" for 0, "System Process" for 2 on NT 4.0 and 8 on Windows 2000.
std::string SystemProcessName(std::uint32_t processId, std::string_view versionText);

// Looks a name up in a "|name=id|" list, last entry first: the id of the
// first name equal to `wanted` (trimmed, any case) or whose short path
// equals the wanted name's; 0 when none. `shortPathOf` gives a name's short
// path ("" when none). The id is read after the last "=".
using ShortPathFunction = std::function<std::string(const std::string&)>;
std::uint32_t FindInProcessList(std::string_view list, std::string_view wanted,
                                const ShortPathFunction& shortPathOf);

// --- The Windows side (Windows build only) ------------------------------------

ProcessMethod CurrentProcessMethod(); // chosen once per run

std::uint32_t FindProcessId(const std::string& executable, bool fullPathOnly);
// The best-ranked top-level window of that process (an HWND), or null.
void* FindMainWindow(const std::string& executable, bool fullPathOnly);
bool PostToMainWindow(const std::string& executable, bool fullPathOnly, unsigned message,
                      std::intptr_t lParam, std::uintptr_t wParam);
// Posts WM_CLOSE (wParam 15, lParam 255); with waitMs > 0 then waits with
// WaitProcessGone. True when the message was posted.
bool CloseMainWindow(const std::string& executable, bool fullPathOnly, int waitMs);
// Posts WM_QUIT (wParam 15, lParam 255). True when posted.
bool QuitMainWindow(const std::string& executable, bool fullPathOnly);
// True when the process was found, opened and ended with exit code 0.
bool TerminateByName(const std::string& executable, bool fullPathOnly);
bool IsProcessRunning(const std::string& executable);
// Checks every 100 ms, keeping the caller's windows alive, until the process
// is gone or waitMs (1000 when 0) have passed. True when it is gone.
bool WaitProcessGone(const std::string& executable, int waitMs);
// While a top-level window of that class and title exists: dispatch waiting
// messages and sleep 100 ms.
void WaitWindowGone(const std::string& windowClass, const std::string& title);
std::string GetProcessList(bool fullPathOnly, bool withIds);
TProcessData EnumerateWindows(bool collectAll, const std::string& wantedExecutable,
                              std::int64_t wantedProcessId);

} // namespace sys
