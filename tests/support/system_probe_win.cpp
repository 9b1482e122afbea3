// Test support: the process-level services and the work folder on their own
// command line, each printing what it did on standard output.
//
//   system_probe.exe deleteself [folder] [short]   removal batch, then exit;
//                                                  prints "batch=PATH"
//   system_probe.exe removetree FOLDER [clear]     "1" or "0"
//   system_probe.exe deletefiles PATTERN [clear]   "1" or "0"
//   system_probe.exe runpiped PROGRAM [ARGS]       the result, see PrintPiped
//   system_probe.exe runpiped-long LENGTH          a command line of LENGTH
//   system_probe.exe runpiped-abort                runs "emit-slow" of itself and
//                                                  aborts at its first output
//   system_probe.exe emit CODE                     child: writes to stdout
//                                                  and stderr, exits with CODE
//   system_probe.exe emit-slow                     child: one line, then 30 s
//   system_probe.exe eject PATH                    "1" or "0"
//   system_probe.exe autoplay                      message id on, then off
//   system_probe.exe workfolder                    the work folder and "1" when
//                                                  it exists and is empty
//   system_probe.exe bettertemp [TEMPDIR]          with TMP/TEMP set to
//                                                  TEMPDIR: "better=0|1",
//                                                  "alt=FOLDER", "altmade=0|1",
//                                                  "altgone=0|1"
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "package/work_folder.h"
#include "system/exec_pipe.h"
#include "system/files.h"
#include "system/media.h"
#include "system/self_removal.h"

namespace {

std::string Hex(const std::string& s) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : s) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

bool IsFolder(const std::string& path) {
  const DWORD a = GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsEmptyFolder(const std::string& path) {
  WIN32_FIND_DATAA found;
  HANDLE h = FindFirstFileA((path + "\\*").c_str(), &found);
  if (h == INVALID_HANDLE_VALUE) return false;
  int entries = 0;
  do
    ++entries;
  while (FindNextFileA(h, &found));
  FindClose(h);
  return entries == 2; // "." and ".."
}

std::string OwnPath() {
  char path[MAX_PATH * 4];
  const DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
  return std::string(path, n);
}

// Texts as hex, so any byte arrives unchanged.
void PrintPiped(const sys::PipedResult& r, int callbackCalls) {
  std::printf("success=%d\nexit=%lu\nout=%s\nerr=%s\ncalls=%d\n", r.success ? 1 : 0,
              static_cast<unsigned long>(r.exitCode), Hex(r.outputText).c_str(),
              Hex(r.errorText).c_str(), callbackCalls);
}

int RunPiped(const std::string& program, const std::string& arguments, bool abortAtFirst) {
  int calls = 0;
  const sys::PipedCallback callback = [&](const std::string&, std::intptr_t user, bool& abort) {
    if (user == 77) ++calls;
    if (abortAtFirst) abort = true;
  };
  const DWORD start = GetTickCount();
  const sys::PipedResult r = sys::RunPiped(program, arguments, SW_HIDE, callback, 77, 50);
  PrintPiped(r, calls);
  std::printf("ms=%lu\n", static_cast<unsigned long>(GetTickCount() - start));
  return 0;
}

int Emit(int code) {
  // Byte 0x81 is a u with diaeresis in the usual OEM code pages.
  std::fputs("out line \x81\n", stdout);
  std::fputs("err line\n", stderr);
  std::printf("cp=%u %u\n", GetOEMCP(), GetACP());
  return code;
}

int BetterTemp(const char* tempDir) {
  if (tempDir) {
    SetEnvironmentVariableA("TMP", tempDir);
    SetEnvironmentVariableA("TEMP", tempDir);
  }
  const bool better = package::FindBetterTempDrive();
  const std::string alt = package::GetAltWorkFolder();
  std::printf("better=%d\nalt=%s\naltmade=%d\n", better ? 1 : 0, alt.c_str(),
              IsFolder(alt) ? 1 : 0);
  package::RemoveAltWorkFolder();
  std::printf("altgone=%d\n", IsFolder(alt) ? 0 : 1);
  return 0;
}

} // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  const std::string cmd = argv[1];
  const auto flag = [&](const char* name) {
    for (int i = 2; i < argc; ++i)
      if (std::string(argv[i]) == name) return true;
    return false;
  };

  if (cmd == "deleteself") {
    char temp[MAX_PATH + 1];
    GetTempPathA(sizeof temp, temp);
    std::printf("batch=%s%s\n", temp, sys::kSelfRemovalBatchName);
    std::fflush(stdout);
    sys::DeleteSelf(flag("folder"), flag("short"));
    return 0;
  }
  if (cmd == "removetree" && argc > 2) {
    std::printf("%d\n", sys::RemoveFolderTree(argv[2], flag("clear")) ? 1 : 0);
    return 0;
  }
  if (cmd == "deletefiles" && argc > 2) {
    std::printf("%d\n", sys::DeleteFiles(argv[2], flag("clear")) ? 1 : 0);
    return 0;
  }
  if (cmd == "runpiped" && argc > 2) return RunPiped(argv[2], argc > 3 ? argv[3] : "", false);
  if (cmd == "runpiped-long" && argc > 2) {
    const std::size_t length = std::strtoul(argv[2], nullptr, 10);
    return RunPiped("cmd", "/c rem " + std::string(length - 11, 'x'), false);
  }
  if (cmd == "runpiped-abort") return RunPiped(OwnPath(), "emit-slow", true);
  if (cmd == "emit" && argc > 2) return Emit(std::atoi(argv[2]));
  if (cmd == "emit-slow") {
    std::fputs("first\n", stdout);
    std::fflush(stdout);
    Sleep(30000);
    return 0;
  }
  if (cmd == "eject" && argc > 2) {
    std::printf("%d\n", sys::EjectMedia(argv[2]) ? 1 : 0);
    return 0;
  }
  if (cmd == "autoplay") {
    sys::SetAutoPlaySuppression(true);
    const unsigned on = sys::AutoPlaySuppressionMessage();
    sys::SetAutoPlaySuppression(false);
    std::printf("%u %u %u\n", on, RegisterWindowMessageA("QueryCancelAutoPlay"),
                sys::AutoPlaySuppressionMessage());
    return 0;
  }
  if (cmd == "workfolder") {
    const std::string folder = package::GetWorkFolder();
    std::printf("%s\n%d\n", folder.c_str(), IsEmptyFolder(folder) ? 1 : 0);
    return 0;
  }
  if (cmd == "bettertemp") return BetterTemp(argc > 2 ? argv[2] : nullptr);
  return 2;
}
