// Test support: the shell folders, runtime directories and install
// variables under Wine, one question per run, answered on stdout as exact
// bytes (lists as NAME=value lines).
//
//   folders_probe.exe bits                        (32 or 64: which build this is)
//   folders_probe.exe folders                     (ProfileDir and the 14 special folders)
//   folders_probe.exe expand TEXT [SUFFIX [DOTS]] (ExpandVariables; DOTS 1 resolves "..")
//   folders_probe.exe runtimedir DEFINITION [TEXT]
//                     (runtime directory 1, then "Missing=" TRUE or FALSE; with TEXT
//                      the expansion of TEXT instead)
//   folders_probe.exe appdir PROGRAM VIEWCODE | regdir PATH VIEWCODE
//   folders_probe.exe search ROOT NAME file|folder
#include <windows.h>

#include <string>

#include "util/text.h"
#include "vars/install_vars.h"
#include "vars/run_time_dir.h"
#include "vars/shell_folders.h"

namespace {

void Out(const std::string& text) {
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text.data(), static_cast<DWORD>(text.size()), &written,
            nullptr);
}

int Code(const std::string& text) {
  return static_cast<int>(util::StrToInt64Def(text, 0));
}

} // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  const std::string cmd = argv[1];
  auto arg = [&](int i) { return i < argc ? std::string(argv[i]) : std::string(); };

  if (cmd == "bits") {
    Out(util::IntToStr(sizeof(void*) * 8));
  } else if (cmd == "folders") {
    const struct {
      const char* name;
      std::string (*folder)(bool);
    } folders[] = {
        {"ProfileDir", vars::ProfileDir},
        {"UserDir", vars::UserDir},
        {"DocumentsAndSettingsDir", vars::DocumentsAndSettingsDir},
        {"AllUsersDir", vars::AllUsersDir},
        {"UserAppDataDir", vars::UserAppDataDir},
        {"UserLocalAppDataDir", vars::UserLocalAppDataDir},
        {"AllUsersAppDataDir", vars::AllUsersAppDataDir},
        {"MyDocumentsDir", vars::MyDocumentsDir},
        {"AllUsersDocumentsDir", vars::AllUsersDocumentsDir},
        {"UserStartMenuDir", vars::UserStartMenuDir},
        {"AllUsersStartMenuDir", vars::AllUsersStartMenuDir},
        {"UserStartProgramMenuDir", vars::UserStartProgramMenuDir},
        {"AllUsersStartProgramMenuDir", vars::AllUsersStartProgramMenuDir},
        {"UserDesktopDir", vars::UserDesktopDir},
        {"AllUsersDesktopDir", vars::AllUsersDesktopDir},
    };
    for (const auto& f : folders)
      Out(std::string(f.name) + "=" + f.folder(false) + "\r\n");
  } else if (cmd == "expand" && argc >= 3) {
    std::string result;
    vars::ExpandVariables(arg(2), argc >= 4 ? arg(3) : "\\", arg(4) == "1", result);
    Out(result);
  } else if (cmd == "runtimedir" && argc >= 3) {
    vars::SetRunTimeDirDefinition(1, arg(2));
    if (argc >= 4) {
      std::string result;
      vars::ExpandVariables(arg(3), "\\", false, result);
      Out(result);
    } else {
      const std::string dir = vars::RunTimeDir(1);
      Out(dir + "\r\nMissing=" + (vars::RunTimeDirMissing() ? "TRUE" : "FALSE"));
    }
  } else if (cmd == "appdir" && argc >= 4) {
    Out(vars::AppPathsDir(arg(2), Code(arg(3))));
  } else if (cmd == "regdir" && argc >= 4) {
    Out(vars::RegistryPathDir(arg(2), Code(arg(3))));
  } else if (cmd == "search" && argc >= 5) {
    Out(vars::SearchTree(arg(2), arg(3), arg(4) == "folder"));
  } else {
    return 2;
  }
  return 0;
}
