#include <windows.h>

#include "package/work_folder.h"
#include "util/text.h"

namespace package {

namespace {

std::string OwnPath() {
  char own[MAX_PATH * 4];
  DWORD n = GetModuleFileNameA(nullptr, own, sizeof own);
  return std::string(own, n);
}

// The packed local date-time the file system reports for a file.
DWORD FileDosDateTime(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
  FILETIME local;
  WORD date = 0, time = 0;
  FileTimeToLocalFileTime(&data.ftLastWriteTime, &local);
  FileTimeToDosDateTime(&local, &date, &time);
  return MAKELONG(time, date);
}

bool DirectoryExists(const std::string& path) {
  DWORD a = GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

void CreateFolderWithParents(const std::string& path) {
  if (path.empty() || DirectoryExists(path)) return;
  std::string parent = util::FolderOf(path);
  if (!parent.empty() && parent != path && parent.back() != ':') CreateFolderWithParents(parent);
  CreateDirectoryA(path.c_str(), nullptr);
}

}  // namespace

bool RemoveFolderTree(const std::string& folder) {
  if (!DirectoryExists(folder)) return false;
  WIN32_FIND_DATAA found;
  HANDLE h = FindFirstFileA(util::JoinPath(folder, "*").c_str(), &found);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      std::string name = found.cFileName;
      if (name == "." || name == "..") continue;
      std::string path = util::JoinPath(folder, name);
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveFolderTree(path);
      } else {
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(path.c_str());
      }
    } while (FindNextFileA(h, &found));
    FindClose(h);
  }
  RemoveDirectoryA(folder.c_str());
  return !DirectoryExists(folder);
}

std::string GetWorkFolder() {
  static std::string folder;
  if (folder.empty()) {
    char temp[MAX_PATH + 1];
    DWORD n = GetTempPathA(sizeof temp, temp);
    std::string path(temp, n);
    if (!path.empty() && path.back() != '\\') path += '\\';
    path += "SETUP_" + util::IntToStr(FileDosDateTime(OwnPath()) & 0xFFFF);
    if (DirectoryExists(path)) RemoveFolderTree(path);
    CreateFolderWithParents(path);
    folder = path;
  }
  return folder;
}

}  // namespace package
