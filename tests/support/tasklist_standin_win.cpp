// Test support: the least "tasklist.exe" the process viewer needs, for test
// prefixes whose own one prints nothing. It knows only "/FO csv" and prints
// what the system's one prints for it: a header line and one line per
// process, every field in double quotes, lines ending in CR LF:
//
//   "Image Name","PID","Session Name","Session#","Mem Usage"
//   "System Idle Process","0","Services","0","8 K"
//
// The processes come from a ToolHelp snapshot. Any other arguments end it
// with exit code 1 and an error on standard error, so a caller that asks
// for more shows up in the tests.
#include <windows.h>
// After windows.h, which they need.
#include <psapi.h>
#include <tlhelp32.h>

#include <cstdio>
#include <string>

namespace {

// "12,345 K" as the system's one writes it (thousands grouped by commas).
std::string MemoryText(DWORD pid) {
  SIZE_T bytes = 0;
  HANDLE h = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
  if (h) {
    PROCESS_MEMORY_COUNTERS pmc{};
    if (GetProcessMemoryInfo(h, &pmc, sizeof pmc)) bytes = pmc.WorkingSetSize;
    CloseHandle(h);
  }
  const std::string digits = std::to_string(bytes / 1024);
  std::string text;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) text += ',';
    text += digits[i];
  }
  return text + " K";
}

std::string Csv(const std::string& field) {
  std::string text = "\"";
  for (char c : field) {
    if (c == '"') text += '"';
    text += c;
  }
  return text + "\"";
}

} // namespace

int main(int argc, char** argv) {
  if (argc != 3 || lstrcmpiA(argv[1], "/FO") != 0 || lstrcmpiA(argv[2], "csv") != 0) {
    std::fputs("ERROR: the stand-in knows only \"/FO csv\".\r\n", stderr);
    return 1;
  }
  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snap == INVALID_HANDLE_VALUE) return 1;
  std::string out = "\"Image Name\",\"PID\",\"Session Name\",\"Session#\",\"Mem Usage\"\r\n";
  PROCESSENTRY32 e{};
  e.dwSize = sizeof e;
  for (BOOL ok = Process32First(snap, &e); ok; ok = Process32Next(snap, &e)) {
    DWORD session = 0;
    ProcessIdToSessionId(e.th32ProcessID, &session);
    const std::string name = e.th32ProcessID == 0 ? "System Idle Process" : e.szExeFile;
    out += Csv(name) + "," + Csv(std::to_string(e.th32ProcessID)) + "," +
           Csv(session == 0 ? "Services" : "Console") + "," + Csv(std::to_string(session)) + "," +
           Csv(MemoryText(e.th32ProcessID)) + "\r\n";
  }
  CloseHandle(snap);
  std::fwrite(out.data(), 1, out.size(), stdout);
  return 0;
}
