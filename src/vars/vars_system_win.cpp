// The Win32 answers behind the folders and install variables. The shell's
// folder functions are taken at run time, so a system without them (or
// without "SHFolder.dll") gives empty answers and the fallbacks apply.
#include <windows.h>

#include "ui/message_box.h"
#include "util/system_info.h"
#include "util/text.h"
#include "vars/vars_system.h"

namespace vars {

namespace {

// The shell's functions write up to MAX_PATH characters; the buffer is
// larger and zeroed, so the text always ends inside it.
constexpr DWORD kFolderBuffer = 1025;

std::string Terminated(const char* text, std::size_t capacity) {
  std::size_t n = 0;
  while (n < capacity && text[n] != '\0')
    ++n;
  return std::string(text, n);
}

DWORD Attributes(const std::string& path) {
  return path.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesA(path.c_str());
}

class Win32System final : public VarsSystem {
public:
  std::string FolderPath(int csidl) override {
    using Fn = HRESULT(WINAPI*)(HWND, int, HANDLE, DWORD, LPSTR);
    auto fn = reinterpret_cast<Fn>(util::GetProcAddressFrom("SHFolder.dll", "SHGetFolderPathA"));
    char buffer[kFolderBuffer] = {};
    if (!fn || FAILED(fn(nullptr, csidl, nullptr, 0, buffer))) return {};
    return Terminated(buffer, sizeof buffer - 1);
  }

  std::string SpecialFolderPath(int csidl) override {
    using Fn = BOOL(WINAPI*)(HWND, LPSTR, int, BOOL);
    auto fn =
        reinterpret_cast<Fn>(util::GetProcAddressFrom("shell32.dll", "SHGetSpecialFolderPathA"));
    char buffer[kFolderBuffer] = {};
    if (!fn || !fn(nullptr, buffer, csidl, FALSE)) return {};
    return Terminated(buffer, sizeof buffer - 1);
  }

  bool FolderExists(const std::string& path) override {
    const DWORD a = Attributes(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
  }

  bool FileExists(const std::string& path) override {
    const DWORD a = Attributes(path);
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
  }

  std::string WindowsFolder() override {
    char buffer[MAX_PATH + 1];
    const UINT n = GetWindowsDirectoryA(buffer, sizeof buffer);
    return std::string(buffer, n <= MAX_PATH ? n : 0);
  }

  std::string SystemFolder() override {
    char buffer[MAX_PATH + 1];
    const UINT n = GetSystemDirectoryA(buffer, sizeof buffer);
    return std::string(buffer, n <= MAX_PATH ? n : 0);
  }

  std::string TempFolder() override {
    char buffer[MAX_PATH + 1];
    const DWORD n = GetTempPathA(sizeof buffer, buffer);
    return std::string(buffer, n <= MAX_PATH ? n : 0);
  }

  std::string RegisteredOwner() override { return util::GetRegisteredOwner(); }
  std::string RegisteredOrganization() override { return util::GetRegisteredOrganization(); }

  std::string LoggedUserName() override {
    char user[257];
    DWORD n = sizeof user;
    return GetUserNameA(user, &n) && n > 0 ? std::string(user, n - 1) : std::string();
  }

  std::string ComputerName() override {
    char name[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD n = sizeof name;
    return GetComputerNameA(name, &n) ? std::string(name, n) : std::string();
  }

  std::string DomainName() override {
    const std::string user = LoggedUserName();
    if (user.empty()) return {};
    BYTE sid[SECURITY_MAX_SID_SIZE];
    DWORD sidSize = sizeof sid;
    char domain[256];
    DWORD domainSize = sizeof domain;
    SID_NAME_USE use;
    if (!LookupAccountNameA(nullptr, user.c_str(), sid, &sidSize, domain, &domainSize, &use))
      return {};
    return std::string(domain, domainSize < sizeof domain ? domainSize : 0);
  }

  bool Is64BitWindows() override { return util::Is64BitWindows(); }

  std::string ReadRegistry(const std::string& keyPath, const std::string& name,
                           util::RegistryView view) override {
    return util::ReadRegistryValue(keyPath, name, {}, view);
  }

  std::string DriveLetters() override {
    std::string letters;
    const DWORD mask = GetLogicalDrives();
    for (int i = 0; i < 26; ++i)
      if (mask & (1u << i)) letters += static_cast<char>('A' + i);
    return letters;
  }

  int DriveType(char letter) override {
    const char root[] = {letter, ':', '\\', '\0'};
    return static_cast<int>(GetDriveTypeA(root));
  }

  bool ListFolder(const std::string& folder, std::vector<FolderEntry>& entries) override {
    WIN32_FIND_DATAA data;
    const std::string mask = folder + "\\*";
    // An empty removable drive or a folder we may not read must not raise
    // the system's error box in the middle of a search.
    const UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS);
    HANDLE find = FindFirstFileA(mask.c_str(), &data);
    SetErrorMode(oldMode);
    if (find == INVALID_HANDLE_VALUE) return false;
    do {
      const std::string name = Terminated(data.cFileName, sizeof data.cFileName);
      if (name == "." || name == "..") continue;
      FolderEntry e;
      e.name = name;
      e.folder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
      e.link = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
      entries.push_back(std::move(e));
    } while (FindNextFileA(find, &data));
    FindClose(find);
    return true;
  }

  std::string FullPath(const std::string& path) override {
    char buffer[MAX_PATH * 4];
    char* filePart = nullptr;
    const DWORD n = GetFullPathNameA(path.c_str(), sizeof buffer, buffer, &filePart);
    return n > 0 && n < sizeof buffer ? std::string(buffer, n) : path;
  }

  double Now() override { return util::Now(); }

  std::string DateSeparator() override { return Locale(LOCALE_SDATE, "/"); }
  std::string TimeSeparator() override { return util::TimeSeparator(); }
  std::string LongMonthName(int month) override {
    if (month < 1 || month > 12) return {};
    return Locale(LOCALE_SMONTHNAME1 + month - 1, "");
  }

  void ShowMessage(const std::string& markup) override { ui::ShowErrorBox(0, markup); }

private:
  static std::string Locale(LCTYPE type, const char* def) {
    char text[80];
    const int n = GetLocaleInfoA(LOCALE_USER_DEFAULT, type, text, sizeof text);
    return n > 1 ? std::string(text, n - 1) : std::string(def);
  }
};

} // namespace

VarsSystem& detail::DefaultVarsSystem() {
  static Win32System system;
  return system;
}

} // namespace vars
