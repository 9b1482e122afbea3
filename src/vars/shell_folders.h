// The user's and all users' special folders, with fallbacks that still give
// a usable path where the shell cannot tell (old systems without
// "SHFolder.dll" or with a shell that does not know a folder).
//
// Every operation takes `trailing`: true gives the path with one trailing
// "\", false without. A folder counts as existing when its path is not empty
// and the folder is there. The texts are Windows paths on every build.
#pragma once

#include <string>
#include <string_view>

namespace vars {

// Folder ids (CSIDL values) the folders are asked by.
inline constexpr int kCsidlPrograms = 0x0002;
inline constexpr int kCsidlPersonal = 0x0005;
inline constexpr int kCsidlStartMenu = 0x000B;
inline constexpr int kCsidlDesktopDirectory = 0x0010;
inline constexpr int kCsidlCommonStartMenu = 0x0016;
inline constexpr int kCsidlCommonPrograms = 0x0017;
inline constexpr int kCsidlCommonDesktopDirectory = 0x0019;
inline constexpr int kCsidlAppData = 0x001A;
inline constexpr int kCsidlLocalAppData = 0x001C;
inline constexpr int kCsidlCommonAppData = 0x0023;
inline constexpr int kCsidlCommonDocuments = 0x002E;
// Asks SHGetFolderPathA to create the folder when it is missing.
inline constexpr int kCsidlFlagCreate = 0x8000;

// `path` without its trailing "\" (or "/"), then with one "\" when
// `trailing`; "" stays "".
std::string WithTrailing(std::string_view path, bool trailing);

// Windows folder + "\Profiles\" + the registered owner, or the Windows
// folder when that does not exist.
std::string ProfileDir(bool trailing);

std::string UserDir(bool trailing);                 // the user's profile folder
std::string DocumentsAndSettingsDir(bool trailing); // the folder holding the profiles
std::string AllUsersDir(bool trailing);
std::string UserAppDataDir(bool trailing);
std::string UserLocalAppDataDir(bool trailing);
std::string AllUsersAppDataDir(bool trailing);
std::string MyDocumentsDir(bool trailing);
std::string AllUsersDocumentsDir(bool trailing);
std::string UserStartMenuDir(bool trailing);
std::string AllUsersStartMenuDir(bool trailing);
std::string UserStartProgramMenuDir(bool trailing);
std::string AllUsersStartProgramMenuDir(bool trailing);
std::string UserDesktopDir(bool trailing);
std::string AllUsersDesktopDir(bool trailing);

} // namespace vars
