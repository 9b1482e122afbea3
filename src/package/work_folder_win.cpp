#include <windows.h>

#include "package/file_info.h"
#include "package/work_folder.h"
#include "platform/file.h"
#include "system/files.h"
#include "util/switches.h"
#include "util/system_info.h"
#include "util/text.h"

namespace package {

namespace {

std::string g_workFolder;
bool g_betterTempSearched = false;
std::string g_betterTempRoot;
std::string g_altWorkFolder;

// The running program's full path, as the switch reader knows it.
std::string OwnPath() {
  return util::ProcessCommandLine().programPath;
}

// The packed local date-time the file system reports for a file.
std::uint32_t FileDosDateTime(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
  FILETIME local;
  WORD date = 0, time = 0;
  if (!FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) ||
      !FileTimeToDosDateTime(&local, &date, &time))
    return 0;
  return static_cast<std::uint32_t>(date) << 16 | time;
}


// Whether a drive takes a file, and its free space when it does.
TempDriveFacts ProbeDrive(char letter) {
  TempDriveFacts facts;
  facts.letter = letter;
  const std::string root = std::string(1, letter) + ":\\";
  facts.fixed = GetDriveTypeA(root.c_str()) == DRIVE_FIXED;
  if (!facts.fixed) return facts;
  const std::string probe =
      TempProbeFolder(letter, sys::IsFolder(root + "TEMP"), RandomFolderNumber());
  sys::CreateFolderWithParents(probe);
  const std::string file = probe + "\\~aa.tmp";
  platform::WriteWholeFile(file, "aa");
  facts.probeWritten = platform::FileExists(file);
  if (facts.probeWritten) facts.freeBytes = util::GetDiskFree(root);
  sys::RemoveFolderTree(probe, true);
  return facts;
}

} // namespace

std::string GetWorkFolder() {
  if (g_workFolder.empty()) {
    const std::string own = OwnPath();
    const std::string name = WorkFolderName(util::SystemTempFolder(), FileDosDateTime(own), own);
    // A leftover (a crashed run of this file) is removed. What cannot be
    // removed is still in use, by an engine that outlived its stub: this
    // run takes the next free name rather than unpacking into it.
    std::string folder = name;
    for (int n = 2; sys::IsFolder(folder) && n < 100; ++n) {
      sys::RemoveFolderTree(folder, true);
      if (sys::IsFolder(folder)) folder = name + "_" + util::IntToStr(n);
    }
    sys::CreateFolderWithParents(folder);
    g_workFolder = folder;
  }
  return g_workFolder;
}

bool FindBetterTempDrive() {
  if (!g_betterTempSearched) {
    g_betterTempSearched = true;
    std::vector<TempDriveFacts> drives;
    for (char letter : kTempDriveLetters)
      drives.push_back(ProbeDrive(letter));
    g_betterTempRoot = DecideBetterTempRoot(drives, util::SystemTempFolder(), sys::IsFolder);
  }
  return !g_betterTempRoot.empty();
}

std::string GetAltWorkFolder() {
  if (g_altWorkFolder.empty() && !g_betterTempRoot.empty()) {
    const std::string folder = g_betterTempRoot + "_" + util::IntToStr(RandomFolderNumber());
    if (sys::IsFolder(folder)) sys::RemoveFolderTree(folder, true);
    sys::CreateFolderWithParents(folder);
    g_altWorkFolder = folder;
  }
  return g_altWorkFolder;
}

void RemoveAltWorkFolder() {
  if (!g_altWorkFolder.empty()) sys::RemoveFolderTree(g_altWorkFolder, true);
}

std::string GetOriginalDescriptorPath() {
  static std::string path;
  if (path.empty()) {
    const std::string own = OwnPath();
    path = util::FolderOf(own) + "\\" + TGFileInfo(own).UpdateOriginalName();
  }
  return path;
}

} // namespace package
