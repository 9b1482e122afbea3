#include <windows.h>

#include "system/files.h"
#include "ui/message_box.h"
#include "util/text.h"

namespace sys {

namespace {

bool IsDotEntry(const char* name) {
  return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

} // namespace

bool IsFolder(const std::string& path) {
  const DWORD a = GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool CreateFolderWithParents(const std::string& path) {
  std::string folder = path;
  // A drive root keeps its separator.
  while (folder.size() > 3 && util::IsPathSeparator(folder.back()))
    folder.pop_back();
  if (folder.empty() || IsFolder(folder)) return true;
  const std::string parent = util::FolderOf(folder);
  if (!parent.empty() && parent.size() < folder.size() && parent.back() != ':' &&
      !CreateFolderWithParents(parent))
    return false;
  return CreateDirectoryA(folder.c_str(), nullptr) || IsFolder(folder);
}

bool DeleteFiles(const std::string& pattern, bool clearAttributes) {
  WIN32_FIND_DATAA found;
  HANDLE h = FindFirstFileA(pattern.c_str(), &found);
  if (h == INVALID_HANDLE_VALUE) return false;
  const std::string folder = util::FolderOf(pattern);
  bool attempted = false;
  do {
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    const std::string path = util::JoinPath(folder, found.cFileName);
    if (clearAttributes) SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(path.c_str());
    attempted = true;
  } while (FindNextFileA(h, &found));
  FindClose(h);
  return attempted;
}

bool RemoveFolderTree(const std::string& folder, bool clearAttributes,
                      const FolderTreeCallback& callback) {
  if (folder.empty()) return false;
  const bool existed = IsFolder(folder);
  // A link (junction, symbolic link) is only unlinked: what it points to
  // belongs to somebody else, and deleting through it deletes their files.
  const DWORD a = GetFileAttributesA(folder.c_str());
  if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_REPARSE_POINT)) {
    RemoveDirectoryA(folder.c_str());
    return existed && !IsFolder(folder);
  }
  DeleteFiles(util::JoinPath(folder, "*.*"), clearAttributes);

  WIN32_FIND_DATAA found;
  HANDLE h = FindFirstFileA(util::JoinPath(folder, "*.*").c_str(), &found);
  if (h != INVALID_HANDLE_VALUE) {
    bool abort = false;
    do {
      if (IsDotEntry(found.cFileName)) continue;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        const std::string sub = util::JoinPath(folder, found.cFileName);
        // A junction or mounted folder is only unlinked: what it points to
        // belongs to somebody else.
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
          RemoveFolderTree(sub, clearAttributes);
        if (callback) callback(sub, abort);
        RemoveDirectoryA(sub.c_str());
      }
      ui::WaitPumping(10);
    } while (!abort && FindNextFileA(h, &found));
    FindClose(h);
  }
  RemoveDirectoryA(folder.c_str());
  return existed && !IsFolder(folder);
}

} // namespace sys
