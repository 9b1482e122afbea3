#include "vars/install_vars.h"

#include <span>

#include "util/field_list.h"
#include "util/switches.h"
#include "util/system_info.h"
#include "util/text.h"
#include "vars/run_time_dir.h"
#include "vars/shell_folders.h"
#include "vars/vars_system.h"

namespace vars {

namespace {

struct State {
  std::string applicationFolder;
  std::string commonFolder;
  std::string auxiliaryFolder;
  std::string customTable;
  ValueProvider provider = nullptr;
  void* providerContext = nullptr;
  bool providerEnabled = false;
  std::int64_t lastExitCode = 0;
  double requiredFreeSpace = 0;
  bool originKnown = false;
  std::string originExe;
  bool originDirKnown = false;
  std::string originDir;
};

State g_state;

constexpr std::string_view kShellFoldersKey =
    "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr std::string_view kCurrentVersionKey =
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion";

bool IsAsciiLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool FolderExists(const std::string& path) {
  return !path.empty() && System().FolderExists(path);
}

bool Occurs(const std::string& text, std::string_view variable) {
  return util::FindNoCase(text, variable) != util::npos;
}

void Put(std::string& text, std::string_view variable, const std::string& value,
         std::string_view suffix = {}) {
  text = ReplaceVariable(text, variable, value, suffix);
}

// A variable and the function that gives its value; `length` keeps only the
// value's first characters (a drive: "C:\" or "C:").
struct Variable {
  std::string_view name;
  std::string (*value)();
  std::size_t length = std::string::npos;
};

// Each variable replaced only when it occurs, so a value is asked from the
// system only when it is used. Tables rather than a call per variable: the
// expansion is the largest single function of the stub.
void PutEach(std::string& text, std::span<const Variable> variables, std::string_view suffix) {
  for (const Variable& v : variables)
    if (Occurs(text, v.name)) Put(text, v.name, v.value().substr(0, v.length), suffix);
}

void Remove(std::string& text, std::string_view variable) {
  text = util::ReplaceAllNoCase(text, variable, "");
}

std::string Provided(std::string_view key) {
  const State& s = g_state;
  return s.provider && s.providerEnabled ? s.provider(s.providerContext, key) : std::string();
}

std::string RunningFolder() {
  return WithTrailing(util::FolderOf(util::ProcessCommandLine().programPath), false);
}

std::string WindowsFolder() {
  return WithTrailing(System().WindowsFolder(), false);
}

std::string SystemFolder() {
  return WithTrailing(System().SystemFolder(), false);
}

std::string ApplicationFolderAsSet() {
  return g_state.applicationFolder;
}

std::string ApplicationFolderValue() {
  return WithTrailing(g_state.applicationFolder, false);
}

std::string CommonFolderValue() {
  return WithTrailing(g_state.commonFolder, false);
}

std::string AuxiliaryFolderValue() {
  return WithTrailing(g_state.auxiliaryFolder, false);
}

// The process's own registry view: the folders Windows gives this program
// (a 32-bit agent gets the 32-bit program files folder).
std::string RegistryFolder(std::string_view key, const char* name) {
  return WithTrailing(System().ReadRegistry(std::string(key), name, util::RegistryView::kOwn),
                      false);
}

std::string StartMenuFolder() {
  return RegistryFolder(kShellFoldersKey, "Start Menu");
}

std::string ProgramFilesFolder() {
  return RegistryFolder(kCurrentVersionKey, "ProgramFilesDir");
}

std::string CommonFilesFolder() {
  return RegistryFolder(kCurrentVersionKey, "CommonFilesDir");
}

std::string FontFolder() {
  const std::string fonts = RegistryFolder(kShellFoldersKey, "Fonts");
  return FolderExists(fonts) ? fonts : WindowsFolder() + "\\Fonts";
}

std::string TempFolder() {
  return WithTrailing(System().TempFolder(), false);
}

std::string Padded(int value, std::size_t digits) {
  std::string s = util::IntToStr(value < 0 ? -value : value);
  if (s.size() < digits) s.insert(0, digits - s.size(), '0');
  return s;
}

// "a/b/c" with `separator` for "/".
std::string Joined(const std::string& a, const std::string& b, const std::string& c,
                   std::string_view separator) {
  std::string s = a;
  s.append(separator).append(b).append(separator).append(c);
  return s;
}

// Megabytes in fixed notation without decimals, rounded.
std::string MegabyteText(double bytes) {
  double mb = bytes / 1048576.0;
  if (!(mb == mb)) return "0"; // NaN
  const bool negative = mb < 0;
  if (negative) mb = -mb;
  if (mb > 9.0e18) mb = 9.0e18;
  const auto rounded = static_cast<std::int64_t>(mb + 0.5);
  return (negative && rounded != 0 ? "-" : "") + util::IntToStr(rounded);
}

// The custom table's value of `key`, when the table has that key.
bool LookupCustom(std::string_view key, std::string& value) {
  for (std::string_view field : util::SUB::Fields(g_state.customTable)) {
    const std::size_t eq = field.find('=');
    if (eq == std::string_view::npos) continue;
    if (!util::EqualsNoCase(util::TrimView(field.substr(0, eq)), key)) continue;
    value = std::string(field.substr(eq + 1));
    return true;
  }
  return false;
}

// Each "<...>" span found in the table is replaced once; the inserted values
// are not looked at again.
void ExpandCustom(std::string& text) {
  if (g_state.customTable.empty()) return;
  std::size_t pos = 0;
  while ((pos = text.find('<', pos)) != std::string::npos) {
    const std::size_t close = text.find('>', pos + 1);
    if (close == std::string::npos) break;
    std::string key = text.substr(pos, close - pos + 1);
    key = util::ReplaceAll(util::ReplaceAll(key, "<<", "<"), ">>", ">");
    std::string value;
    if (LookupCustom(key, value)) {
      text.replace(pos, close - pos + 1, value);
      pos += value.size();
    } else {
      ++pos;
    }
  }
}

// The first "<Date=c>" only; an unknown code leaves the text as it is.
void ExpandDate(std::string& text) {
  static constexpr std::string_view kMarker = "<Date=";
  const std::size_t pos = util::FindNoCase(text, kMarker);
  if (pos == util::npos || pos + 7 >= text.size() || text[pos + 7] != '>') return;
  const std::string value = DateVariable(text[pos + 6]);
  if (!value.empty()) text.replace(pos, 8, value);
}

bool HasDotStep(std::string_view text) {
  return text.find("\\..") != std::string_view::npos || text.find("..\\") != std::string_view::npos;
}

// Whole text, or each field of a list that opens with "," or "|".
std::string ResolveDots(const std::string& text) {
  if (!HasDotStep(text)) return text;
  VarsSystem& system = System();
  if (text[0] != ',' && text[0] != '|') return system.FullPath(text);
  const char separator = text[0];
  std::string result(1, separator);
  std::size_t start = 1;
  while (start <= text.size()) {
    std::size_t end = text.find(separator, start);
    if (end == std::string::npos) end = text.size();
    const std::string field = text.substr(start, end - start);
    result += HasDotStep(field) ? system.FullPath(field) : field;
    if (end < text.size()) result += separator;
    start = end + 1;
  }
  return result;
}

} // namespace

void SetInstallFolders(std::string_view application, std::string_view common,
                       std::string_view auxiliary) {
  g_state.applicationFolder = std::string(application);
  g_state.commonFolder = std::string(common);
  g_state.auxiliaryFolder = std::string(auxiliary);
}

const std::string& ApplicationFolder() {
  return g_state.applicationFolder;
}
const std::string& CommonFolder() {
  return g_state.commonFolder;
}
const std::string& AuxiliaryFolder() {
  return g_state.auxiliaryFolder;
}

void SetCustomVariables(std::string_view table) {
  g_state.customTable = std::string(table);
}

void SetValueProvider(ValueProvider provider, void* context, bool enabled) {
  g_state.provider = provider;
  g_state.providerContext = context;
  g_state.providerEnabled = enabled;
}

void SetLastExitCode(std::int64_t code) {
  g_state.lastExitCode = code;
}

void SetRequiredFreeSpace(double bytes) {
  g_state.requiredFreeSpace = bytes;
}

std::string OriginExe() {
  if (!g_state.originKnown) {
    g_state.originExe = util::SwitchValue("/OriginExe=", "");
    if (g_state.originExe.empty()) g_state.originExe = util::ProcessCommandLine().programPath;
    g_state.originKnown = true;
  }
  return g_state.originExe;
}

std::string OriginDir() {
  if (!g_state.originDirKnown) {
    g_state.originDir = WithTrailing(util::FolderOf(OriginExe()), false);
    if (g_state.originDir.empty()) g_state.originDir = RunningFolder();
    g_state.originDirKnown = true;
  }
  return g_state.originDir;
}

std::string System16Dir() {
  const std::string system = SystemFolder();
  const std::size_t pos = system.find("32");
  if (pos != std::string::npos) {
    std::string system16 = system;
    system16.erase(pos, 2);
    if (FolderExists(system16)) return system16;
  }
  const std::string windowsSystem = WindowsFolder() + "\\System";
  if (FolderExists(windowsSystem)) return windowsSystem;
  return system;
}

std::string ReplaceVariable(std::string_view text, std::string_view variable,
                            std::string_view value, std::string_view suffix) {
  const std::size_t pos = util::FindNoCase(text, variable);
  if (variable.empty() || pos == util::npos) return std::string(text);
  bool withSuffix = !value.empty() && !suffix.empty();
  const std::size_t after = pos + variable.size();
  if (withSuffix) {
    if (after >= text.size()) {
      withSuffix = false;
    } else {
      const char next = text[after];
      if (next == ' ' ||
          (next == text.front() && next == text.back() && next != '<' && !IsAsciiLetter(next)))
        withSuffix = false;
    }
  }
  std::string replacement(value);
  if (withSuffix) replacement += suffix;
  return util::ReplaceAllNoCase(text, variable, replacement);
}

std::string FormatDateVariable(char code, double now, std::string_view dateSeparator,
                               std::string_view timeSeparator, std::string_view monthName) {
  const util::CivilDateTime t = util::DecodeDateTime(now);
  const std::string dd = Padded(t.day, 2);
  const std::string mm = Padded(t.month, 2);
  const std::string yy = Padded(t.year % 100, 2);
  const std::string yyyy = Padded(t.year, 4);
  switch (code) {
  case '#':
    return Joined(dd, std::string(monthName), yyyy, dateSeparator);
  case '0': {
    // 1 January 2000 is day 36526.
    double days = now - 36526.0;
    if (days < 0) days = -days;
    return util::IntToStr(static_cast<std::int64_t>(days));
  }
  case '1':
    return Joined(dd, mm, yy, "-");
  case '2':
    return Joined(mm, dd, yy, "-");
  case '3':
    return Joined(yy, mm, dd, "-");
  case '4':
    return Joined(dd, mm, yyyy, "-");
  case '5':
    return Joined(mm, dd, yyyy, "-");
  case '6':
    return Joined(yyyy, mm, dd, "-");
  case '7':
    return Joined(yyyy, mm, dd, "-") + " " +
           Joined(Padded(t.hour, 2), Padded(t.minute, 2), Padded(t.second, 2), timeSeparator);
  default:
    return {};
  }
}

std::string DateVariable(char code) {
  VarsSystem& system = System();
  const double now = system.Now();
  const int month = util::DecodeDateTime(now).month;
  return FormatDateVariable(code, now, system.DateSeparator(), system.TimeSeparator(),
                            code == '#' ? system.LongMonthName(month) : std::string());
}

std::string ReduceBackslashPairs(std::string_view text) {
  std::string result;
  result.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    if (text[i] != '\\') {
      result += text[i++];
      continue;
    }
    std::size_t run = 1;
    while (i + run < text.size() && text[i + run] == '\\')
      ++run;
    const char before = i == 0 ? '\0' : text[i - 1];
    const bool leading = i == 0 || before == ' ' || before == '"' || before == '|' || before == ',';
    result.append(run >= 2 && leading ? 2 : 1, '\\');
    i += run;
  }
  return result;
}

void ExpandVariables(std::string_view text, std::string_view suffix, bool resolveDots,
                     std::string& result, bool expandFolders, bool expandCustom) {
  std::string t(text);
  if (t.find('<') != std::string::npos) {
    // Stage A: names and values.
    if (expandCustom) ExpandCustom(t);
    ExpandDate(t);
    static constexpr Variable kNames[] = {
        {"<LoggedUserName>", [] { return System().LoggedUserName(); }},
        {"<UserName>", [] { return System().RegisteredOwner(); }},
        {"<CompanyName>", [] { return System().RegisteredOrganization(); }},
        {"<ComputerName>", [] { return System().ComputerName(); }},
        {"<CurrentDomainName>", [] { return System().DomainName(); }},
        {"<LastExecutableExitCode>", [] { return util::IntToStr(g_state.lastExitCode); }},
        {"<ReqFreeDiskSpaceMB>", [] { return MegabyteText(g_state.requiredFreeSpace); }},
    };
    PutEach(t, kNames, {});
    static constexpr std::string_view kProvided[][2] = {
        {"<EnteredUserName>", "UserName"},
        {"<EnteredCompanyName>", "CompanyName"},
        {"<EnteredStartProgramMenu>", "EnteredStartProgramMenu"},
        {"<VendorCompanyName>", "VendorCompanyName"},
        {"<ProjectName>", "ProjectName"},
        {"<ProgramDescriptiveName>", "ProgramDescriptiveName"},
        {"<ProgramVersion>", "ProgramVersion"},
        {"<SelectedLanguage>", "SelectedLanguage"},
    };
    for (const auto& p : kProvided)
      if (Occurs(t, p[0])) Put(t, p[0], Provided(p[1]));
    const std::string snapshot = t;

    // Stage B: folders, each followed by the suffix where it fits.
    if (expandFolders) {
      if (Occurs(t, "<UnInstallExePath>"))
        Put(t, "<UnInstallExePath>", Provided("UnInstallExePath"), suffix);
      if (Occurs(t, "<RunTimeDir_")) {
        for (int i = 1; i <= kRunTimeDirCount; ++i) {
          const std::string name = "<RunTimeDir_" + util::IntToStr(i) + ">";
          if (Occurs(t, name)) Put(t, name, RunTimeDir(i), suffix);
        }
      }
      static constexpr Variable kStubFolders[] = {
          {"<Application Folder>", ApplicationFolderValue},
          {"<Common Folder>", CommonFolderValue},
          {"<Auxiliary Folder>", AuxiliaryFolderValue},
          {"<Windows Directory>", WindowsFolder},
          {"<System Directory>", SystemFolder},
          {"<System16 Directory>", System16Dir},
      };
      PutEach(t, kStubFolders, suffix);

      // The engine's names for the install folders win over the stub's.
      if (t != snapshot) {
        Remove(t, "<InstallDir>");
        if (t != snapshot) {
          Remove(t, "<InstallCommonDir>");
          if (t != snapshot) Remove(t, "<InstallAuxDir>");
        }
      }
      Remove(t, "<AbsoluteDir>");
      static constexpr Variable kInstallFolders[] = {
          {"<InstallDir>", ApplicationFolderValue},
          {"<InstallCommonDir>", CommonFolderValue},
          {"<InstallAuxDir>", AuxiliaryFolderValue},
      };
      PutEach(t, kInstallFolders, suffix);
      Remove(t, "<AbsoluteDir>");

      static constexpr Variable kSystemFolders[] = {
          {"<WinDir>", WindowsFolder},
          {"<WinSysDir>", SystemFolder},
          {"<WinSys32Dir>", SystemFolder},
          {"<WinSys16Dir>", System16Dir},
      };
      PutEach(t, kSystemFolders, suffix);

      static constexpr Variable kDrives[] = {
          {"<InstallDrive>", ApplicationFolderAsSet, 3},
          {"<WinDrive>", WindowsFolder, 3},
          {"<WinSysDrive>", SystemFolder, 3},
          {"<OriginDrive>", OriginDir, 3},
          {"<InstallDisk>", ApplicationFolderAsSet, 2},
          {"<WinDisk>", WindowsFolder, 2},
          {"<WinSysDisk>", SystemFolder, 2},
          {"<OriginDisk>", OriginDir, 2},
      };
      PutEach(t, kDrives, {});

      static constexpr Variable kProgramFolders[] = {
          {"<StartMenuDir>", StartMenuFolder},
          {"<ProgramFilesDir>", ProgramFilesFolder},
          {"<CommonFilesDir>", CommonFilesFolder},
          {"<FontDir>", FontFolder},
          {"<SrcDir>", RunningFolder},
          {"<OriginDir>", OriginDir},
          {"<TempDir>", TempFolder},
          {"<ServiceDir>", RunningFolder},
      };
      PutEach(t, kProgramFolders, suffix);

      static constexpr struct {
        std::string_view variable;
        std::string (*value)(bool trailing);
      } kShellFolders[] = {
          {"<UserDir>", UserDir},
          {"<UserAppDataDir>", UserAppDataDir},
          {"<UserLocalAppDataDir>", UserLocalAppDataDir},
          {"<MyDocumentsDir>", MyDocumentsDir},
          {"<UserStartMenuDir>", UserStartMenuDir},
          {"<UserStartProgramMenuDir>", UserStartProgramMenuDir},
          {"<UserDesktopDir>", UserDesktopDir},
          {"<DocumentsAndSettingsDir>", DocumentsAndSettingsDir},
          {"<AllUsersDir>", AllUsersDir},
          {"<AllUsersAppDataDir>", AllUsersAppDataDir},
          {"<AllUsersDocumentsDir>", AllUsersDocumentsDir},
          {"<AllUsersStartMenuDir>", AllUsersStartMenuDir},
          {"<AllUsersStartProgramMenuDir>", AllUsersStartProgramMenuDir},
          {"<AllUsersDesktopDir>", AllUsersDesktopDir},
      };
      for (const auto& f : kShellFolders)
        if (Occurs(t, f.variable)) Put(t, f.variable, f.value(false), suffix);

      if (t != snapshot) t = ReduceBackslashPairs(t);
    }
  }
  // Stage C, also for texts without variables.
  if (resolveDots && !t.empty()) t = ResolveDots(t);
  result = std::move(t);
}

void ResetInstallVariables() {
  g_state = State{};
}

} // namespace vars
