#include <windows.h>
#include <ntsecapi.h>

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


// 16 hex digits from the system's random source (a clock-seeded generator
// could be guessed).
std::string UnguessableHex() {
  std::uint64_t value = 0;
  if (!RtlGenRandom(&value, sizeof value)) {
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    value = static_cast<std::uint64_t>(counter.QuadPart) * 0x9E3779B97F4A7C15ull ^ GetCurrentProcessId();
  }
  return util::HexText(value, 16);
}

// Makes `folder` a new, empty folder of this run: true when this call
// created it. A link at the name (a junction or symbolic link another user
// may have planted) is neither followed nor cleared; a real folder left
// over is cleared first (the clearing never descends through a link).
bool ClaimFreshFolder(const std::string& folder) {
  const DWORD a = GetFileAttributesA(folder.c_str());
  if (a != INVALID_FILE_ATTRIBUTES) {
    if ((a & FILE_ATTRIBUTE_REPARSE_POINT) || !(a & FILE_ATTRIBUTE_DIRECTORY)) return false;
    sys::RemoveFolderTree(folder, true);
  }
  sys::CreateFolderWithParents(util::FolderOf(folder));
  if (!CreateDirectoryA(folder.c_str(), nullptr)) return false;
  const DWORD made = GetFileAttributesA(folder.c_str());
  return made != INVALID_FILE_ATTRIBUTES && !(made & FILE_ATTRIBUTE_REPARSE_POINT);
}

// The first candidate this run can claim.
std::string ClaimWorkFolder(const std::string& name) {
  std::string folder;
  for (int attempt = 0; attempt < kPlainWorkFolderAttempts + 3; ++attempt) {
    folder = WorkFolderCandidate(name, attempt, UnguessableHex());
    if (ClaimFreshFolder(folder)) return folder;
  }
  return folder;
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
    const std::string folder = ClaimWorkFolder(name);
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
    // A drive's TEMP folder may be shared with other users: the same care.
    g_altWorkFolder =
        ClaimWorkFolder(g_betterTempRoot + "_" + util::IntToStr(RandomFolderNumber()));
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
