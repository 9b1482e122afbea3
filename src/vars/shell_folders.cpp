#include "vars/shell_folders.h"

#include "util/text.h"
#include "vars/vars_system.h"

namespace vars {

namespace {

bool Exists(const std::string& path) {
  return !path.empty() && System().FolderExists(path);
}

std::string ShellFolder(int csidl) {
  return WithTrailing(System().FolderPath(csidl | kCsidlFlagCreate), false);
}

std::string SpecialFolder(int csidl) {
  return WithTrailing(System().SpecialFolderPath(csidl), false);
}

// The folder part of `path`, taken only when `path` exists.
std::string ParentOf(const std::string& path) {
  if (!Exists(path)) return {};
  return WithTrailing(util::FolderOf(path), false);
}

// The shell's folder, else each fallback in turn while the result does not
// exist. Fallbacks are computed only when needed: they ask the shell again.
template <typename... Fallbacks>
std::string Resolve(std::string result, bool trailing, Fallbacks... fallbacks) {
  ((result = Exists(result) ? result : fallbacks()), ...);
  return WithTrailing(result, trailing);
}

} // namespace

std::string WithTrailing(std::string_view path, bool trailing) {
  if (path.empty()) return {};
  while (!path.empty() && util::IsPathSeparator(path.back()))
    path.remove_suffix(1);
  std::string result(path);
  if (trailing) result += '\\';
  return result;
}

std::string ProfileDir(bool trailing) {
  const std::string windows = WithTrailing(System().WindowsFolder(), false);
  std::string profile = windows + "\\Profiles\\" + System().RegisteredOwner();
  if (!Exists(profile)) profile = windows;
  return WithTrailing(profile, trailing);
}

std::string UserDir(bool trailing) {
  return Resolve(ParentOf(ShellFolder(kCsidlPersonal)), trailing, [] { return ProfileDir(false); });
}

std::string DocumentsAndSettingsDir(bool trailing) {
  std::string dir = ParentOf(ShellFolder(kCsidlPersonal));
  if (!dir.empty()) {
    const std::string above = WithTrailing(util::FolderOf(dir), false);
    if (Exists(above)) dir = above;
  }
  return Resolve(dir, trailing, [] { return ProfileDir(false); });
}

std::string AllUsersDir(bool trailing) {
  return Resolve(ParentOf(ShellFolder(kCsidlCommonAppData)), trailing,
                 [] { return WithTrailing(System().WindowsFolder(), false); });
}

std::string UserAppDataDir(bool trailing) {
  return Resolve(ShellFolder(kCsidlAppData), trailing,
                 [] { return ProfileDir(true) + "Application Data"; });
}

std::string UserLocalAppDataDir(bool trailing) {
  return Resolve(ShellFolder(kCsidlLocalAppData), trailing,
                 [] { return ProfileDir(true) + "Application Data"; });
}

std::string AllUsersAppDataDir(bool trailing) {
  return Resolve(ShellFolder(kCsidlCommonAppData), trailing,
                 [] { return WithTrailing(System().WindowsFolder(), true) + "Application Data"; });
}

std::string MyDocumentsDir(bool trailing) {
  return Resolve(ShellFolder(kCsidlPersonal), trailing,
                 [] { return ProfileDir(true) + "My Documents"; });
}

std::string AllUsersDocumentsDir(bool trailing) {
  return Resolve(ShellFolder(kCsidlCommonDocuments), trailing,
                 [] { return WithTrailing(System().WindowsFolder(), true) + "Documents"; });
}

std::string UserStartMenuDir(bool trailing) {
  return Resolve(
      SpecialFolder(kCsidlStartMenu), trailing, [] { return UserDir(true) + "Start Menu"; },
      [] { return AllUsersDir(true) + "Start Menu"; });
}

std::string AllUsersStartMenuDir(bool trailing) {
  return Resolve(SpecialFolder(kCsidlCommonStartMenu), trailing,
                 [] { return AllUsersDir(true) + "Start Menu"; });
}

std::string UserStartProgramMenuDir(bool trailing) {
  return Resolve(
      SpecialFolder(kCsidlPrograms), trailing,
      [] { return UserDir(true) + "Start Menu\\Programs"; },
      [] { return AllUsersDir(true) + "Start Menu\\Programs"; });
}

std::string AllUsersStartProgramMenuDir(bool trailing) {
  return Resolve(SpecialFolder(kCsidlCommonPrograms), trailing,
                 [] { return AllUsersDir(true) + "Start Menu\\Programs"; });
}

std::string UserDesktopDir(bool trailing) {
  return Resolve(
      SpecialFolder(kCsidlDesktopDirectory), trailing, [] { return UserDir(true) + "Desktop"; },
      [] { return AllUsersDir(true) + "Desktop"; });
}

std::string AllUsersDesktopDir(bool trailing) {
  return Resolve(SpecialFolder(kCsidlCommonDesktopDirectory), trailing,
                 [] { return AllUsersDir(true) + "Desktop"; });
}

} // namespace vars
