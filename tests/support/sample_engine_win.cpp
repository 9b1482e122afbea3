// A sample setup engine for the tests and the demo. It takes part in the
// launch handshake as a real engine does: it removes the launch atom named by
// "/TH_ID=" and shows its dialog-class window for a moment. It records what
// it got and exits with the code it is told.
//
// Switches: /ExitCode=N (default 0), /HoldMs=N (dialog time, default 300),
//           /KeepAtom (leave the atom, as a broken engine would).
// Environment: VANTOR_ENGINE_RECORD=file   gets "CommandLine=...", "Folder=..."
//                                          and one "file|size|dosdatetime" line per
//                                          file below the engine's folder;
//              VANTOR_ENGINE_COPY_TO=dir   gets a copy of that folder (dates kept).
#include <windows.h>

#include <cstdlib>
#include <string>

namespace {

std::string Switch(const std::string& cl, const std::string& name) {
  const std::size_t at = cl.find(name);
  if (at == std::string::npos) return {};
  std::size_t end = cl.find(' ', at);
  return cl.substr(at + name.size(), end == std::string::npos ? std::string::npos : end - at - name.size());
}

std::string Env(const char* name) {
  char value[1024];
  DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
  return n > 0 && n < sizeof value ? std::string(value, n) : std::string();
}

void Walk(const std::string& root, const std::string& rel, std::string& listing,
          const std::string& copyTo) {
  WIN32_FIND_DATAA f;
  HANDLE h = FindFirstFileA((root + "\\" + rel + "*").c_str(), &f);
  if (h == INVALID_HANDLE_VALUE) return;
  do {
    std::string name = f.cFileName;
    if (name == "." || name == "..") continue;
    if (f.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      if (!copyTo.empty()) CreateDirectoryA((copyTo + "\\" + rel + name).c_str(), nullptr);
      Walk(root, rel + name + "\\", listing, copyTo);
      continue;
    }
    FILETIME local;
    WORD date = 0, time = 0;
    FileTimeToLocalFileTime(&f.ftLastWriteTime, &local);
    FileTimeToDosDateTime(&local, &date, &time);
    char line[64];
    wsprintfA(line, "|%lu|%lu\r\n", f.nFileSizeLow, MAKELONG(time, date));
    listing += rel + name + line;
    if (!copyTo.empty())
      CopyFileA((root + "\\" + rel + name).c_str(), (copyTo + "\\" + rel + name).c_str(), FALSE);
  } while (FindNextFileA(h, &f));
  FindClose(h);
}

}  // namespace

int main() {
  const std::string cl = GetCommandLineA();
  char own[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, own, sizeof own);
  std::string folder(own, n);
  folder = folder.substr(0, folder.find_last_of('\\'));
  const std::string token = Switch(cl, "/TH_ID=");

  const std::string record = Env("VANTOR_ENGINE_RECORD");
  const std::string copyTo = Env("VANTOR_ENGINE_COPY_TO");
  std::string listing;
  if (!copyTo.empty()) CreateDirectoryA(copyTo.c_str(), nullptr);
  Walk(folder, "", listing, copyTo);
  if (!record.empty()) {
    const std::string text = "CommandLine=" + cl + "\r\nFolder=" + folder + "\r\n" + listing;
    HANDLE h = CreateFileA(record.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written;
    WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(h);
  }

  if (cl.find("/KeepAtom") == std::string::npos) {
    ATOM atom = GlobalFindAtomA(("AutoUpdateAtomTokenByVantor" + token).c_str());
    if (atom) GlobalDeleteAtom(atom);
  }

  const std::string hold = Switch(cl, "/HoldMs=");
  const DWORD holdMs = hold.empty() ? 300 : std::strtoul(hold.c_str(), nullptr, 10);
  const std::string cls = ".SDialog_Class_Name." + token;
  WNDCLASSA wc{};
  wc.lpfnWndProc = DefWindowProcA;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
  wc.lpszClassName = cls.c_str();
  RegisterClassA(&wc);
  HWND dialog = CreateWindowExA(0, cls.c_str(), "Sample setup engine", WS_OVERLAPPEDWINDOW, 100,
                                100, 320, 120, nullptr, nullptr, wc.hInstance, nullptr);
  ShowWindow(dialog, SW_SHOWNORMAL);
  const DWORD start = GetTickCount();
  MSG m;
  while (GetTickCount() - start < holdMs) {
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
    Sleep(10);
  }
  DestroyWindow(dialog);
  const std::string code = Switch(cl, "/ExitCode=");
  return code.empty() ? 0 : std::atoi(code.c_str());
}
