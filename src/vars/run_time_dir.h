// Runtime directories: up to eight folders a package defines and the
// machine is searched for (an installed program's folder through its App
// Paths entry, a registry value, a file or folder search over the drives, or
// a fixed path). Each is searched for once; later asks get the cached text,
// also when it is empty. The stub defines none, so all eight are empty.
//
// A definition is a field list of 22 fields, counted from 0:
//   0 "1": App Paths, 1 program file name (also the name shown when missing)
//   2 "1": registry value, 3 its path (the shown name when 1 did not apply)
//   4 "1": file search, 5 file name, 6 "1" fixed drives, 7 "1" network drives
//   8 "1": folder search, 9 folder name, 10 fixed drives, 11 network drives
//   12 "1": fixed path, 13 the path
//   16 "1": show the not-found message, 17 "1": set RunTimeDirMissing
//   18 / 19 "1": announce the file / folder search to the host's hook
//   20 / 21 registry view of the App Paths / registry value read:
//      0 the system's native view, 2 the 64-bit view, other the 32-bit view;
//      above 2 the other view is also read when the first gives nothing.
#pragma once

#include <string>
#include <string_view>

#include "util/system_info.h"

namespace vars {

inline constexpr int kRunTimeDirCount = 8;

// Sets definition `index` (1..8) and forgets its cached result; other
// indexes are ignored.
void SetRunTimeDirDefinition(int index, std::string_view definition);
// Runtime directory `index` (1..8): the cached result, computed from its
// definition on first use. "" for other indexes.
std::string RunTimeDir(int index, bool trailing = false);
// The search of one definition; no trailing "\".
std::string ResolveRunTimeDir(std::string_view definition);

// The folder of the default value of
// "HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\App Paths\"
// + program, read in the views of `viewCode`; no trailing "\".
std::string AppPathsDir(const std::string& program, int viewCode);
// `path` read as a registry value in the views of `viewCode`: first as a
// key's default value, then split at its last "\" into key and value name.
// A value naming an existing file gives its folder. No trailing "\".
std::string RegistryPathDir(const std::string& path, int viewCode);

// The views a code asks, in order; `second` only for codes above 2.
struct RegistryViews {
  util::RegistryView first = util::RegistryView::kOwn;
  bool tryOther = false;
  util::RegistryView second = util::RegistryView::kOwn;
};
RegistryViews RegistryViewsOfCode(int viewCode, bool is64BitWindows);

// The folder below `root` (itself included) holding an entry named `name`
// (any letter case), searched depth first, a folder's own entries before its
// subfolders; links are not followed. Returns the found entry's full path,
// "" when none or when the search was cancelled.
std::string SearchTree(const std::string& root, std::string_view name, bool folder);
// SearchTree from the root of every drive of `driveType`, in letter order,
// until one finds it.
std::string SearchDrives(std::string_view name, bool folder, int driveType);

// Stops running and later drive searches while set (the host sets it, for
// instance from a cancel button its search hook shows).
void SetDriveSearchCancelled(bool cancelled);

// Set when a runtime directory with field 17 set was not found.
bool RunTimeDirMissing();
void ClearRunTimeDirMissing();

// What the host learns: a drive search is about to start (field 18 / 19
// set), and the result of every resolved definition. Either may be null.
struct RunTimeDirHooks {
  void (*searchStarts)(void* context, std::string_view name, bool folder, int driveType) = nullptr;
  void (*resolved)(void* context, std::string_view definition, const std::string& result) = nullptr;
  void* context = nullptr;
};
void SetRunTimeDirHooks(const RunTimeDirHooks& hooks);

// Back to the start: no definitions, nothing cached, flags and hooks clear.
void ResetRunTimeDirs();

} // namespace vars
