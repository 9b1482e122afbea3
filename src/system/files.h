// Deleting files by pattern and whole folder trees.
#pragma once

#include <functional>
#include <string>

namespace sys {

// Called after each subfolder of the top folder has been emptied, with its
// path; setting `abort` ends the walk after this entry.
using FolderTreeCallback = std::function<void(const std::string& subfolder, bool& abort)>;

// True when `path` names an existing folder.
bool IsFolder(const std::string& path);

// Creates the folder and any missing parents ("C:\a\b\" is the folder
// "C:\a\b"). True when the folder exists afterwards.
bool CreateFolderWithParents(const std::string& path);

// Deletes every file (read-only, hidden and system ones included) matching
// `pattern` ("C:\x\*.tmp"); with `clearAttributes` each file's attributes
// are set to normal first, which a read-only file needs. Failures of single
// files are ignored. True when at least one delete was attempted.
bool DeleteFiles(const std::string& pattern, bool clearAttributes);

// Deletes the folder with everything in it, keeping the caller's windows
// alive (10 ms of message pumping after every entry). True when the folder
// existed before the call and is gone after it; an empty name gives false.
bool RemoveFolderTree(const std::string& folder, bool clearAttributes,
                      const FolderTreeCallback& callback = {});

} // namespace sys
