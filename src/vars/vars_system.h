// The system queries behind the shell folders, runtime directories and
// install variables, as one small interface, so their rules can be tested
// natively against a fake. vars_system_win.cpp asks Win32;
// vars_system_posix.cpp is the native stand-in, which knows no shell, no
// registry and no drives and answers empty.
#pragma once

#include <string>
#include <vector>

#include "util/system_info.h"

namespace vars {

// Drive types as GetDriveTypeA reports them.
inline constexpr int kDriveFixed = 3;
inline constexpr int kDriveRemote = 4;

struct FolderEntry {
  std::string name;
  bool folder = false;
  // A junction or symbolic link: never descended into, since some point back
  // to a folder above them.
  bool link = false;
};

class VarsSystem {
public:
  virtual ~VarsSystem() = default;

  // SHGetFolderPathA of "SHFolder.dll" for `csidl` (flags included), "" when
  // the library or the function is missing or the call fails.
  virtual std::string FolderPath(int csidl) = 0;
  // SHGetSpecialFolderPathA of "shell32.dll", without creating; "" likewise.
  virtual std::string SpecialFolderPath(int csidl) = 0;
  virtual bool FolderExists(const std::string& path) = 0;
  // A file, not a folder.
  virtual bool FileExists(const std::string& path) = 0;

  // Windows and system folder as the system gives them (no trailing "\").
  virtual std::string WindowsFolder() = 0;
  virtual std::string SystemFolder() = 0;
  // GetTempPathA, as the system gives it (with its trailing "\").
  virtual std::string TempFolder() = 0;

  virtual std::string RegisteredOwner() = 0;
  virtual std::string RegisteredOrganization() = 0;
  virtual std::string LoggedUserName() = 0;
  virtual std::string ComputerName() = 0;
  // The domain the logged-on user's account belongs to; "" when unknown.
  virtual std::string DomainName() = 0;

  virtual bool Is64BitWindows() = 0;
  // The value `name` ("" = the key's default value) of the key at `keyPath`
  // in `view`, as util::ReadRegistryValue gives it; "" when missing.
  virtual std::string ReadRegistry(const std::string& keyPath, const std::string& name,
                                   util::RegistryView view) = 0;

  // The letters of the drives present, in letter order ("CDZ").
  virtual std::string DriveLetters() = 0;
  virtual int DriveType(char letter) = 0;
  // The entries of a folder, without "." and ".."; false when it cannot be
  // listed.
  virtual bool ListFolder(const std::string& folder, std::vector<FolderEntry>& entries) = 0;
  // The full path of `path` with "." and ".." steps resolved
  // (GetFullPathNameA); `path` itself when that fails.
  virtual std::string FullPath(const std::string& path) = 0;

  // Local date and time as a day number (util::Now), the user's date and
  // time separators and the full name of month 1..12.
  virtual double Now() = 0;
  virtual std::string DateSeparator() = 0;
  virtual std::string TimeSeparator() = 0;
  virtual std::string LongMonthName(int month) = 0;

  // The program's own message box with a markup text.
  virtual void ShowMessage(const std::string& markup) = 0;
};

// The interface the folders and variables use: the one set by SetVarsSystem,
// else the build's own.
VarsSystem& System();
// Tests install a fake; nullptr goes back to the build's own.
void SetVarsSystem(VarsSystem* system);

namespace detail {
// vars_system_win.cpp / vars_system_posix.cpp.
VarsSystem& DefaultVarsSystem();
} // namespace detail

} // namespace vars
