#include <windows.h>

#include <vector>

#include "util/switches.h"
#include "util/system_info.h"
#include "util/text.h"
#include "util/trace.h"

namespace util {

namespace {

std::string OwnPath() { return ProcessCommandLine().programPath; }

// The extended version record. Without a compatibility manifest
// GetVersionEx reports Windows 8 on every later system, so the numbers come
// from ntdll's RtlGetVersion where it exists.
OSVERSIONINFOEXA ReadVersionInfo() {
  OSVERSIONINFOEXA vi{};
  vi.dwOSVersionInfoSize = sizeof vi;
  if (!GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&vi))) {
    vi = OSVERSIONINFOEXA{};
    vi.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
    GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&vi));
  }
  if (vi.dwPlatformId == VER_PLATFORM_WIN32_NT) {
    using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOEXW*);
    auto rtl = reinterpret_cast<RtlGetVersionFn>(GetProcAddressFrom("ntdll.dll", "RtlGetVersion"));
    OSVERSIONINFOEXW wi{};
    wi.dwOSVersionInfoSize = sizeof wi;
    if (rtl && rtl(&wi) == 0) {
      vi.dwMajorVersion = wi.dwMajorVersion;
      vi.dwMinorVersion = wi.dwMinorVersion;
      vi.dwBuildNumber = wi.dwBuildNumber;
      vi.wProductType = wi.wProductType;
    }
  }
  return vi;
}

HKEY RootKey(RegistryRoot root) {
  switch (root) {
  case RegistryRoot::kClassesRoot:
    return HKEY_CLASSES_ROOT;
  case RegistryRoot::kLocalMachine:
    return HKEY_LOCAL_MACHINE;
  case RegistryRoot::kUsers:
    return HKEY_USERS;
  case RegistryRoot::kCurrentConfig:
    return HKEY_CURRENT_CONFIG;
  case RegistryRoot::kDynData:
    return HKEY_DYN_DATA;
  case RegistryRoot::kCurrentUser:
    break;
  }
  return HKEY_CURRENT_USER;
}

// Reads the whole value: a first read into the usual 10241-byte buffer, and
// when the value is larger, again into a buffer of the size the system
// reports (repeated should the value grow in between).
bool QueryValue(HKEY key, const std::string& name, DWORD& type, std::vector<char>& data) {
  data.assign(10241, '\0');
  for (int attempt = 0; attempt < 4; ++attempt) {
    DWORD size = static_cast<DWORD>(data.size());
    LONG rc = RegQueryValueExA(key, name.c_str(), nullptr, &type,
                               reinterpret_cast<BYTE*>(data.data()), &size);
    if (rc == ERROR_SUCCESS) {
      data.resize(size < data.size() ? size : data.size());
      return true;
    }
    if (rc != ERROR_MORE_DATA) return false;
    data.assign(size + 2, '\0');
  }
  return false;
}

std::string RegistryValueText(DWORD type, const std::vector<char>& data) {
  if (type == REG_DWORD && data.size() == 4) {
    DWORD v;
    CopyMemory(&v, data.data(), 4);
    return IntToStr(v);
  }
  std::string text(data.data(), data.size());
  // A stored text's terminators are not part of it.
  while (!text.empty() && text.back() == '\0')
    text.pop_back();
  if (type == REG_MULTI_SZ && data.size() > 2)
    return ReplaceAll(text, std::string_view("\0", 1), "<0>");
  return text;
}

struct IniLock {
  CRITICAL_SECTION cs;
  IniLock() { InitializeCriticalSection(&cs); }
  ~IniLock() { DeleteCriticalSection(&cs); }
};
IniLock g_iniLock;

std::string RegisteredInfo(const char* valueName) {
  std::string key = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows";
  if (IsNT()) key += " NT";
  key += "\\CurrentVersion";
  char user[257];
  DWORD n = sizeof user;
  std::string def;
  if (GetUserNameA(user, &n) && n > 0) def.assign(user, n - 1);
  return Trim(ReadRegistryValue(key, valueName, def, Is64BitWindows()));
}

} // namespace

WindowsVersion GetWindowsVersion() {
  const OSVERSIONINFOEXA vi = ReadVersionInfo();
  VersionRecord r;
  r.platformId = static_cast<int>(vi.dwPlatformId);
  r.major = static_cast<int>(vi.dwMajorVersion);
  r.minor = static_cast<int>(vi.dwMinorVersion);
  r.build = static_cast<int>(vi.dwPlatformId == VER_PLATFORM_WIN32_NT ? vi.dwBuildNumber
                                                                      : LOWORD(vi.dwBuildNumber));
  r.csd.assign(vi.szCSDVersion, lstrlenA(vi.szCSDVersion));
  r.is64 = Is64BitWindows();
  r.isServer = IsServer();
  return ClassifyWindowsVersion(r);
}

bool IsNT() {
  return GetWindowsVersion().platformId == kPlatformNT;
}

bool IsXP() {
  static const bool xp = [] {
    const WindowsVersion v = GetWindowsVersion();
    return v.platformId == kPlatformNT && v.versionText == "5.1";
  }();
  return xp;
}

bool IsWin8OrLater() {
  return IsWin8OrLater(GetWindowsVersion());
}

bool Is64BitWindows() {
  static int cached = -1;
  if (cached < 0) {
#ifdef _WIN64
    cached = 1; // a 64-bit process runs on nothing else
#else
    using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, BOOL*);
    auto isWow64 =
        reinterpret_cast<IsWow64ProcessFn>(GetProcAddressFrom("kernel32.dll", "IsWow64Process"));
    BOOL wow64 = FALSE;
    cached = GetProcAddressFrom("kernel32.dll", "GetNativeSystemInfo") && isWow64 &&
             isWow64(GetCurrentProcess(), &wow64) && wow64 &&
             GetProcAddressFrom("kernel32.dll", "Wow64DisableWow64FsRedirection") &&
             GetProcAddressFrom("kernel32.dll", "Wow64RevertWow64FsRedirection") &&
             GetProcAddressFrom("kernel32.dll", "GetSystemWow64DirectoryA") &&
             GetProcAddressFrom("advapi32.dll", "RegDeleteKeyExA");
#endif
  }
  return cached == 1;
}

bool IsServer() {
  if (GetSystemMetrics(SM_SERVERR2) != 0) return true;
  const OSVERSIONINFOEXA vi = ReadVersionInfo();
  return vi.wProductType == VER_NT_DOMAIN_CONTROLLER || vi.wProductType == VER_NT_SERVER;
}

std::string GetExeVersion(const std::string& file, int parts) {
  const std::string path = file.empty() ? OwnPath() : file;
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
  if (size == 0) return {};
  std::vector<char> data(size < 16384 ? 16384 : size);
  if (!GetFileVersionInfoA(path.c_str(), 0, size, data.data())) return {};
  VS_FIXEDFILEINFO* info = nullptr;
  UINT len = 0;
  if (!VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&info), &len) || !info) return {};
  char text[64];
  wsprintfA(text, "%d.%d.%d.%d", HIWORD(info->dwFileVersionMS), LOWORD(info->dwFileVersionMS),
            HIWORD(info->dwFileVersionLS), LOWORD(info->dwFileVersionLS));
  return ShortenVersion(text, parts);
}

std::string GetProductVersion(const std::string& file) {
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeA(file.c_str(), &ignored);
  if (size == 0) return {};
  std::vector<char> data(size < 16384 ? 16384 : size);
  if (!GetFileVersionInfoA(file.c_str(), 0, size, data.data())) return {};
  WORD* translation = nullptr;
  UINT len = 0;
  if (!VerQueryValueA(data.data(), "\\VarFileInfo\\Translation",
                      reinterpret_cast<void**>(&translation), &len) ||
      !translation || len < 4)
    return {};
  char query[64];
  wsprintfA(query, "\\StringFileInfo\\%04x%04x\\%s", translation[0], translation[1],
            "ProductVersion");
  char* value = nullptr;
  if (!VerQueryValueA(data.data(), query, reinterpret_cast<void**>(&value), &len) || !value)
    return {};
  std::size_t n = 0;
  while (n < len && value[n] != '\0')
    ++n;
  return std::string(value, n);
}

namespace {

std::string ReadRegistryValueWith(const std::string& keyPath, const std::string& name,
                                  const std::string& def, REGSAM viewFlag) {
  const RegistryPath path = SplitRegistryPath(keyPath);
  HKEY key = nullptr;
  const REGSAM access = KEY_READ | viewFlag;
  if (RegOpenKeyExA(RootKey(path.root), path.subKey.c_str(), 0, access, &key) != ERROR_SUCCESS)
    return def;
  DWORD type = REG_NONE;
  std::vector<char> data;
  const bool found = QueryValue(key, name, type, data);
  RegCloseKey(key);
  return found ? RegistryValueText(type, data) : def;
}

} // namespace

std::string ReadRegistryValue(const std::string& keyPath, const std::string& name,
                              const std::string& def, bool view64) {
  return ReadRegistryValueWith(keyPath, name, def, view64 ? KEY_WOW64_64KEY : 0);
}

std::string ReadRegistryValue(const std::string& keyPath, const std::string& name,
                              const std::string& def, RegistryView view) {
  REGSAM flag = 0;
  if (view != RegistryView::kOwn && Is64BitWindows())
    flag = view == RegistryView::k64 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
  return ReadRegistryValueWith(keyPath, name, def, flag);
}

std::string GetRegisteredOwner() {
  return RegisteredInfo("RegisteredOwner");
}
std::string GetRegisteredOrganization() {
  return RegisteredInfo("RegisteredOrganization");
}

std::string ReadIniString(const std::string& file, const std::string& section,
                          const std::string& key, const std::string& def) {
  if (section.empty() || key.empty()) return def;
  EnterCriticalSection(&g_iniLock.cs);
  std::string result = def;
  std::vector<char> buffer(32769);
  DWORD n = GetPrivateProfileStringA(section.c_str(), key.c_str(), "", buffer.data(),
                                     static_cast<DWORD>(buffer.size()), file.c_str());
  if (n > 0) {
    result.assign(buffer.data(), n);
    if (n > 10240) WriteTraceLine("ReadIniString SizeError=" + IntToStr(n));
  }
  LeaveCriticalSection(&g_iniLock.cs);
  return result;
}

bool WriteIniString(const std::string& file, const std::string& section, const std::string& key,
                    const std::string& value) {
  if (section.empty() || key.empty()) return false;
  EnterCriticalSection(&g_iniLock.cs);
  const BOOL ok =
      WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), file.c_str());
  LeaveCriticalSection(&g_iniLock.cs);
  return ok != FALSE;
}

double GetDiskFree(const std::string& path) {
  using GetDiskFreeSpaceExFn =
      BOOL(WINAPI*)(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER);
  static bool looked = false;
  static GetDiskFreeSpaceExFn freeEx = nullptr;
  if (!looked) {
    freeEx = reinterpret_cast<GetDiskFreeSpaceExFn>(
        GetProcAddressFrom("kernel32.dll", "GetDiskFreeSpaceExA"));
    looked = true;
  }
  const DiskRootForms forms = DiskRootFormsOf(path);
  for (const std::string* form : {&forms.root, &forms.alternative}) {
    if (form->empty()) continue;
    if (freeEx) {
      ULARGE_INTEGER available, total, totalFree;
      if (freeEx(form->c_str(), &available, &total, &totalFree))
        return static_cast<double>(available.QuadPart);
    } else {
      DWORD sectors = 0, bytes = 0, freeClusters = 0, clusters = 0;
      if (GetDiskFreeSpaceA(form->c_str(), &sectors, &bytes, &freeClusters, &clusters))
        return double(sectors) * double(bytes) * double(freeClusters);
    }
  }
  return 0;
}

int ScreenDpiY() {
  static int dpi = 0;
  if (dpi == 0) {
    HDC dc = GetDC(nullptr);
    dpi = dc ? GetDeviceCaps(dc, LOGPIXELSY) : 96;
    if (dc) ReleaseDC(nullptr, dc);
  }
  return dpi;
}

int PointsToPixels(int points) {
  return PointsToPixels(points, ScreenDpiY());
}

double Now() {
  SYSTEMTIME st;
  GetLocalTime(&st);
  CivilDateTime t;
  t.year = st.wYear;
  t.month = st.wMonth;
  t.day = st.wDay;
  t.hour = st.wHour;
  t.minute = st.wMinute;
  t.second = st.wSecond;
  t.millisecond = st.wMilliseconds;
  return EncodeDateTime(t);
}

std::string TimeSeparator() {
  char sep[8];
  int n = GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_STIME, sep, sizeof sep);
  return n > 1 ? std::string(sep, n - 1) : std::string(":");
}

std::string SystemErrorText(std::uint32_t error) {
  char text[512];
  const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, error, 0, text, sizeof text, nullptr);
  return Trim(std::string_view(text, n));
}

std::string SystemTempFolder() {
  char buffer[MAX_PATH + 1];
  const DWORD n = GetTempPathA(sizeof buffer, buffer);
  std::string folder(buffer, n <= MAX_PATH ? n : 0);
  if (folder.empty() || folder.back() != '\\') folder += '\\';
  return folder;
}

std::int64_t MillisecondClock() {
  static LONGLONG frequency = 0;
  if (frequency == 0) {
    LARGE_INTEGER f;
    frequency = QueryPerformanceFrequency(&f) && f.QuadPart > 0 ? f.QuadPart : -1;
  }
  if (frequency < 0) return static_cast<std::int64_t>(GetTickCount());
  LARGE_INTEGER c;
  QueryPerformanceCounter(&c);
  // Split so the multiplication cannot overflow on a long-running system.
  return c.QuadPart / frequency * 1000 + c.QuadPart % frequency * 1000 / frequency;
}

bool ShellOpen(const std::string& file, const std::string& parameters, int showCommand) {
  HINSTANCE rc =
      ShellExecuteA(GetDesktopWindow(), "open", file.c_str(),
                    parameters.empty() ? nullptr : parameters.c_str(), nullptr, showCommand);
  return reinterpret_cast<INT_PTR>(rc) > 32;
}

ProcAddress GetProcAddressFrom(const char* library, const char* procedure) {
  HMODULE module = LoadLibraryA(library);
  if (!module) return nullptr;
  return reinterpret_cast<ProcAddress>(GetProcAddress(module, procedure));
}

void PreloadSystemLibraries() {
  static bool done = false;
  if (done) return;
  done = true;
  // A missing DLL must not stop the start with a system error box.
  const UINT old = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  for (const char* name : {"shell32.dll", "USP10.dll", "MSLS31.dll", "RICHED32.DLL"})
    LoadLibraryA(name);
  SetErrorMode(old);
}

} // namespace util
