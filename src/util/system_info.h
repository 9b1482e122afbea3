// System information and settings access: the Windows version, 64-bit and
// server detection, executable versions, registry values, INI strings, free
// disk space, the screen's dpi, day-number dates, a millisecond clock, the
// shell's open verb and the DLL preloads.
//
// The decisions (version table, registry paths, pixel arithmetic, date texts)
// are portable and take their inputs as plain values, so they can be tested
// on any record. The functions marked "Windows build only" exist only in
// system_info_win.cpp; the few the portable code calls have native stand-ins
// in system_info_posix.cpp.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace util {

// --- Windows version ---------------------------------------------------

// Platform ids of the system version record.
inline constexpr int kPlatformWin32s = 0;
inline constexpr int kPlatformWin9x = 1;
inline constexpr int kPlatformNT = 2;

// What the system says about itself: the inputs of the version table.
struct VersionRecord {
  int platformId = kPlatformNT;
  int major = 0;
  int minor = 0;
  int build = 0;     // on 9x only the low word is the build number
  std::string csd;   // service-pack text as the system gives it
  bool is64 = false; // 64-bit Windows
  bool isServer = false;
};

struct WindowsVersion {
  std::string versionText; // major "." minor ("10.0"); ME reads "4.90"
  std::string shortName;   // "10.64", "2008R2.64", "XP", ...; "" for an unknown platform
  std::string servicePack; // csd, trimmed
  int build = 0;
  int code = 0; // one bit per row class, 0 for Win32s / unknown
  int platformId = kPlatformNT;
  int major = 0;
  int minor = 0;
};

// The version table: rows tried top to bottom; within a platform a later
// matching row (64-bit, then server) overrides an earlier one.
WindowsVersion ClassifyWindowsVersion(const VersionRecord& record);
// major.minor read as a decimal number ("6.10" is 6.1) is at least 6.2, on NT.
bool IsWin8OrLater(const WindowsVersion& version);

// Windows build only.
WindowsVersion GetWindowsVersion();
bool IsNT();
bool IsXP(); // cached
bool IsWin8OrLater();
bool Is64BitWindows(); // cached
bool IsServer();

// --- Executable versions -------------------------------------------------

// "a.b.c.d" cut to its first `parts` numbers (1..4; other counts keep all).
std::string ShortenVersion(std::string_view version, int parts);

// Windows build only. "a.b.c.d" from the fixed version record of `file` (the
// running program when empty), cut to `parts` numbers; "" when it has none.
std::string GetExeVersion(const std::string& file = {}, int parts = 4);
// The "ProductVersion" string of the file's version resource; "" when none.
std::string GetProductVersion(const std::string& file);

// --- Registry ------------------------------------------------------------

enum class RegistryRoot {
  kClassesRoot,
  kCurrentUser,
  kLocalMachine,
  kUsers,
  kCurrentConfig,
  kDynData
};

struct RegistryPath {
  RegistryRoot root = RegistryRoot::kCurrentUser;
  std::string subKey;
};

// "HKEY_LOCAL_MACHINE" or "HKLM" (any case) and the other roots; anything
// else names the current user.
RegistryRoot RegistryRootOfName(std::string_view name);
// "HKLM\Software\X" -> local machine, "Software\X"; "HKCU" -> current user,
// ""; a path not beginning with "HK" is a sub-key of the current user.
RegistryPath SplitRegistryPath(std::string_view path);

// Windows build only. The value `name` of the key at `keyPath`, read in the
// 64-bit registry view when `view64`: a 4-byte DWORD in decimal; a
// multi-string with its trailing NULs dropped and every other NUL written
// "<0>"; any other type as its bytes (trailing NULs dropped). Values of any
// size are read whole. `def` when the key or the value is missing.
std::string ReadRegistryValue(const std::string& keyPath, const std::string& name,
                              const std::string& def = {}, bool view64 = false);
// Which registry view a read asks for: the process's own, or the 32-bit or
// 64-bit view explicitly. On 32-bit Windows there is one view, and the
// explicit ones read it (older systems refuse the view flags).
enum class RegistryView { kOwn, k32, k64 };
// Windows build only. ReadRegistryValue in the given view.
std::string ReadRegistryValue(const std::string& keyPath, const std::string& name,
                              const std::string& def, RegistryView view);
// Trimmed; the logged-on user's name when the value is missing.
std::string GetRegisteredOwner();
std::string GetRegisteredOrganization();

// --- INI files -----------------------------------------------------------

// The profile-string read under one process-wide lock. `def` for an empty
// section or key (the file is not touched) and for a value read as empty.
// A value longer than 10240 characters is returned whole and traced as
// "ReadIniString SizeError=<length>". Native stand-in: a plain INI parser.
std::string ReadIniString(const std::string& file, const std::string& section,
                          const std::string& key, const std::string& def = {});
// The profile-string write under the same lock: `value` for `key` in
// `section`, the file and the section made when missing. False for an empty
// section or key, or when the file could not be written; the file then keeps
// its old content. Native stand-in: the whole file is rewritten under a
// temporary name and renamed over the old one.
bool WriteIniString(const std::string& file, const std::string& section, const std::string& key,
                    const std::string& value);

// --- Disks ---------------------------------------------------------------

// The places GetDiskFree asks, in order: the path's root ("C:\",
// "\\server\share\") when it has one, then the path itself as a folder (its
// alternative form, which also serves mounted folders and rootless paths).
struct DiskRootForms {
  std::string root;
  std::string alternative;
};
DiskRootForms DiskRootFormsOf(std::string_view path);

// Windows build only. Bytes available to the caller on the volume of
// `path`; 0 on failure.
double GetDiskFree(const std::string& path);

// --- Screen --------------------------------------------------------------

// a * b / c with the system's MulDiv rounding (to nearest, halves away from
// zero); -1 for c == 0 or a result outside the int range.
int MulDivRounded(int a, int b, int c);
// points * dpi / 72 with MulDiv semantics.
int PointsToPixels(int points, int dpi);

// Windows build only. Vertical dots per inch of the screen (cached) and
// PointsToPixels at that resolution.
int ScreenDpiY();
int PointsToPixels(int points);

// --- Dates ---------------------------------------------------------------

// Date-times are day numbers: days since 30 December 1899 with the time of
// day as fraction. -1 stands for now; every value is limited to 0..10000000.
inline constexpr double kNowDateTime = -1;
inline constexpr double kMaxDateTime = 10000000;

struct CivilDateTime {
  int year = 1899;
  int month = 12;
  int day = 30;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
};

// Proleptic Gregorian calendar; the time of day is rounded to milliseconds
// (a carry moves to the next day). Decoding limits the value to
// 0..10000000 first (NaN reads as 0).
CivilDateTime DecodeDateTime(double time);
double EncodeDateTime(const CivilDateTime& t);
// -1 -> Now(); then limited to 0..10000000.
double NormalizeDateTime(double time);

// "07-DEC-2026".
std::string FormatDateText(const CivilDateTime& t);
// FormatDateText, `separator`, "HH:NN:SS" with `timeSeparator` for ":".
std::string FormatDateTimeText(const CivilDateTime& t, std::string_view separator,
                               std::string_view timeSeparator);
std::string DateText(double time = kNowDateTime);
std::string DateTimeText(std::string_view separator = " ", double time = kNowDateTime);

// Local time as a day number (native stand-in: the C library's local time).
double Now();
// The user's time separator (native stand-in: ":").
std::string TimeSeparator();

// --- Clock, shell, libraries (Windows build only) ------------------------

// Milliseconds of the high-resolution performance counter.
std::int64_t MillisecondClock();
// The system's text for an error number, trimmed; "" when it has none.
std::string SystemErrorText(std::uint32_t error);
// The system's temporary folder, with its trailing backslash.
std::string SystemTempFolder();
// ShellExecute "open" with the desktop as parent; true when it returned > 32.
bool ShellOpen(const std::string& file, const std::string& parameters = {}, int showCommand = 1);

// A generic function pointer; cast it to the procedure's own type.
using ProcAddress = void (*)();
// Loads `library` and looks `procedure` up; nullptr when either fails.
ProcAddress GetProcAddressFrom(const char* library, const char* procedure);

// Loads "shell32.dll", "USP10.dll", "MSLS31.dll" and "RICHED32.DLL" once, in
// this order, with the system's error boxes suppressed; they stay loaded.
void PreloadSystemLibraries();

} // namespace util
