// Test support: the running-process viewer on its own command line. Every
// command first prints "method=" and the enumeration method this system
// gets (tasklist, modules or snapshot), then NAME=value lines. MODE is
// "full" for full-path-only matching, anything else ("bare") for the usual.
//
//   process_probe.exe find EXE MODE              "pid="
//   process_probe.exe window EXE MODE            "window=" the picked main window,
//                                                "first=" the process's first
//                                                window in the system's order
//   process_probe.exe post EXE MODE MSG WPARAM LPARAM   "posted="
//   process_probe.exe close EXE MODE WAITMS      "posted=", "ms=" (time taken)
//   process_probe.exe quit EXE MODE              "posted="
//   process_probe.exe terminate EXE MODE         "ended="
//   process_probe.exe running EXE                "running="
//   process_probe.exe waitgone EXE WAITMS        "gone=", "ms="
//   process_probe.exe waitwindowgone CLASS TITLE "ms="
//   process_probe.exe list MODE ids|noids        "list="
//   process_probe.exe windows                    the TProcessData of a walk over
//                                                all windows, one list per line
// Handles are printed in decimal.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "system/process_viewer.h"

namespace {

void Line(const char* name, const std::string& value) {
  std::printf("%s=%s\n", name, value.c_str());
}

void Line(const char* name, unsigned long long value) {
  std::printf("%s=%llu\n", name, value);
}

struct FirstWindow {
  DWORD pid;
  HWND found;
};

BOOL CALLBACK TakeFirst(HWND window, LPARAM param) {
  auto& f = *reinterpret_cast<FirstWindow*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (pid != f.pid) return TRUE;
  f.found = window;
  return FALSE;
}

} // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  const std::string cmd = argv[1];
  const auto arg = [&](int i) { return i < argc ? std::string(argv[i]) : std::string(); };
  const bool full = arg(3) == "full";
  Line("method", sys::ProcessMethodName(sys::CurrentProcessMethod()));

  if (cmd == "find") {
    Line("pid", sys::FindProcessId(arg(2), full));
  } else if (cmd == "window") {
    Line("window", reinterpret_cast<std::uintptr_t>(sys::FindMainWindow(arg(2), full)));
    FirstWindow f{sys::FindProcessId(arg(2), full), nullptr};
    if (f.pid) EnumWindows(TakeFirst, reinterpret_cast<LPARAM>(&f));
    Line("first", reinterpret_cast<std::uintptr_t>(f.found));
  } else if (cmd == "post") {
    Line("posted", sys::PostToMainWindow(arg(2), full, std::atoi(arg(4).c_str()),
                                         std::atoi(arg(6).c_str()), std::atoi(arg(5).c_str())));
  } else if (cmd == "close") {
    const DWORD start = GetTickCount();
    Line("posted", sys::CloseMainWindow(arg(2), full, std::atoi(arg(4).c_str())));
    Line("ms", GetTickCount() - start);
  } else if (cmd == "quit") {
    Line("posted", sys::QuitMainWindow(arg(2), full));
  } else if (cmd == "terminate") {
    Line("ended", sys::TerminateByName(arg(2), full));
  } else if (cmd == "running") {
    Line("running", sys::IsProcessRunning(arg(2)));
  } else if (cmd == "waitgone") {
    const DWORD start = GetTickCount();
    Line("gone", sys::WaitProcessGone(arg(2), std::atoi(arg(3).c_str())));
    Line("ms", GetTickCount() - start);
  } else if (cmd == "waitwindowgone") {
    const DWORD start = GetTickCount();
    sys::WaitWindowGone(arg(2), arg(3));
    Line("ms", GetTickCount() - start);
  } else if (cmd == "list") {
    Line("list", sys::GetProcessList(arg(2) == "full", arg(3) == "ids"));
  } else if (cmd == "windows") {
    const sys::TProcessData d = sys::EnumerateWindows(true, "*", -1);
    Line("processIds", d.processIds);
    Line("executables", d.executables);
    Line("windowClasses", d.windowClasses);
    Line("windowHandles", d.windowHandles);
    Line("threadIds", d.threadIds);
    Line("windowTitles", d.windowTitles);
    Line("visibleFlags", d.visibleFlags);
  } else {
    return 2;
  }
  std::fflush(stdout);
  return 0;
}
