// The temporary work folder the setup unpacks into, the move of that work to
// a roomier fixed drive, and the path of the install-time descriptor.
//
// The naming and the drive decision are portable and take their inputs as
// plain values; the functions marked "Windows build only" live in
// work_folder_win.cpp and ask the system.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace package {

// --- Portable ------------------------------------------------------------

// Bytes as megabytes: 1 decimal above 10 MB, 2 from 1 to 10 MB, 3 below
// 1 MB; negative counts as 0 ("0.000", "5.00", "10.00", "20.0").
std::string FormatMegabytes(double bytes);

// `tempFolder` (a trailing backslash added when missing) + "SETUP_" + the low
// 16 bits of the file's packed DOS date-time as an unsigned number + "_" +
// 8 hex digits of a hash of the file's full path (case folded). The stamp
// alone is shared by different setups of the same time, and their runs
// deleted each other's files; the path is what the single-instance rule
// keys on, so one name belongs to one run.
std::string WorkFolderName(std::string_view tempFolder, std::uint32_t dosDateTime,
                           std::string_view ownPath);

// The name the work folder takes at `attempt` (0, 1, 2...): `name` first, so
// that a leftover of a crashed run is found and cleared; then `name` + "_2"
// to "_9" for leftovers that cannot be cleared (an engine that outlived its
// stub) or links planted there; after that `name` + "_" + `randomHex`, a
// name nobody can have guessed beforehand.
std::string WorkFolderCandidate(std::string_view name, int attempt, std::string_view randomHex);
inline constexpr int kPlainWorkFolderAttempts = 9;

// What the probe of one drive found. Only fixed drives are probed; a drive
// counts with its free space only when the probe file could be written.
struct TempDriveFacts {
  char letter = 'C';
  bool fixed = false;
  bool probeWritten = false;
  double freeBytes = 0;
};

// The drive letters that are probed, in order; ties keep the earlier one.
inline constexpr char kTempDriveLetters[] = {'C', 'D', 'E'};

// The folder that probes drive `letter`: "X:\TEMP", or when that exists
// "X:\TEMP\TEMP" + `number`.
std::string TempProbeFolder(char letter, bool rootTempExists, int number);

// The better temporary root for the probed drives: "" when the drive of
// `systemTempFolder` stays the best (or nothing was recorded), else
// "X:\TEMP", or "X:\TEMP\TEMP" when `folderExists("X:\TEMP")`.
std::string DecideBetterTempRoot(const std::vector<TempDriveFacts>& drives,
                                 std::string_view systemTempFolder,
                                 const std::function<bool(const std::string&)>& folderExists);


// A number from 10000 to 100000 (both included) from a generator seeded
// afresh from the clock for this draw.
int RandomFolderNumber();

// --- Windows build only --------------------------------------------------

// WorkFolderName for the system temporary folder and the own file (cached).
// The first call clears a leftover folder of that name (a crashed earlier
// run of this file), so nothing stale is merged into it; one that cannot be
// cleared stays as it is and the name gets "_2", "_3"... (WorkFolderCandidate).
// A symbolic link or junction at a name is never followed, cleared or used:
// the folder is one this call created itself.
std::string GetWorkFolder();

// Probes C, D and E once and keeps the better temporary root; true when one
// was chosen (a fixed drive with more free space than the current one).
bool FindBetterTempDrive();

// The better root + "_" + a random number (cached): on the first call with
// a better root chosen, a leftover folder of that name is removed and the
// folder created. "" while no better root is chosen.
std::string GetAltWorkFolder();
// Removes the alternative work folder with its contents, if there is one.
void RemoveAltWorkFolder();

// The own executable's folder with a trailing backslash + the name of the
// install-time descriptor from the own package trailer.
std::string GetOriginalDescriptorPath();

} // namespace package
