// Install variables: names in angle brackets ("<InstallDir>", "<WinSysDir>",
// "<Date=6>", ...) that settings may contain, expanded before use. The update
// cycle expands the path of the program it must shut down with them.
//
// The unit is shared with the setup engine, so it carries hooks only a host
// fills in: a custom variable table and a value provider. The stub leaves
// both empty. All names are matched with ASCII letter case ignored.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vars {

// The three install folders of the installed program; empty until set.
void SetInstallFolders(std::string_view application, std::string_view common,
                       std::string_view auxiliary);
const std::string& ApplicationFolder();
const std::string& CommonFolder();
const std::string& AuxiliaryFolder();

// The host's own variables: a field list of "<Name>=value" fields.
void SetCustomVariables(std::string_view table);
// Answers a named value ("UserName", "ProjectName", ...) for the host; not
// called while disabled or null.
using ValueProvider = std::string (*)(void* context, std::string_view key);
void SetValueProvider(ValueProvider provider, void* context, bool enabled = true);
// The exit code of the last program the host ran, and the free space it
// needs, in bytes.
void SetLastExitCode(std::int64_t code);
void SetRequiredFreeSpace(double bytes);

// The "/OriginExe=" switch's value, or the running program's path when it is
// absent or empty. Cached on first use.
std::string OriginExe();
// Folder of OriginExe (no trailing "\"); the running program's folder when
// that is empty. Cached on first use.
std::string OriginDir();
// The system folder with its first "32" removed when that folder exists,
// else the Windows folder's "System" when that exists, else the system
// folder.
std::string System16Dir();

// Every occurrence of `variable` replaced by `value` + `suffix`. The suffix
// is left off when the first occurrence ends the text, is followed by a
// space, or is followed by a character that is the text's first and last
// character and neither "<" nor a letter (a closing quote); and always for
// an empty value. The text is unchanged when the variable does not occur.
std::string ReplaceVariable(std::string_view text, std::string_view variable,
                            std::string_view value, std::string_view suffix);

// The text of "<Date=code>" now: "#" dd/mmmm/yyyy, "0" days since
// 1 January 2000, "1" dd-mm-yy, "2" mm-dd-yy, "3" yy-mm-dd, "4" dd-mm-yyyy,
// "5" mm-dd-yyyy, "6" yyyy-mm-dd, "7" yyyy-mm-dd hh:nn:ss ("/" and ":" are
// the user's separators, mmmm the full month name). "" for other codes.
std::string DateVariable(char code);
// The same at day number `now` with the given separators and month name.
std::string FormatDateVariable(char code, double now, std::string_view dateSeparator,
                               std::string_view timeSeparator, std::string_view monthName);

// The expansion: the custom table (when `expandCustom`), the first date
// variable, user and machine names, the provider's values; then, when
// `expandFolders`, runtime directories, install, system, registry, program
// and shell folders with `suffix` after each (the update cycle passes "\");
// then, when `resolveDots`, "." and ".." steps of the whole text, or of each
// field of a field list. Unknown variables stay as they are.
void ExpandVariables(std::string_view text, std::string_view suffix, bool resolveDots,
                     std::string& result, bool expandFolders = true, bool expandCustom = true);

// Backslash pairs reduced to one backslash, except at the start of the text
// or of a word or field (after a blank, a quote, "|" or ","), where a
// network path's pair stays.
std::string ReduceBackslashPairs(std::string_view text);

// Back to the start state: no folders, table, provider, caches (tests).
void ResetInstallVariables();

} // namespace vars
