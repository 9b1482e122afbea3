// Small text helpers shared by every subsystem. Texts are byte strings
// (ANSI code page); letter-case rules are ASCII only. Everything is safe on
// any input, including empty texts and texts holding NUL bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace util {

inline constexpr std::size_t npos = std::string_view::npos;

// Blank = any character with code 0..32 (space, tab, CR, LF, other control
// characters), as the classic Trim does.
bool IsBlank(char c);
std::string Trim(std::string_view s);
std::string TrimLeft(std::string_view s);
std::string TrimRight(std::string_view s);
// The same, without copying: a view into `s`.
std::string_view TrimView(std::string_view s);

char ToUpperAscii(char c);
std::string ToUpperAscii(std::string_view s);
std::string ToLowerAscii(std::string_view s);
bool EqualsNoCase(std::string_view a, std::string_view b);
// Position of the first occurrence of `needle` at or after `from`, ASCII case
// ignored; npos when absent. An empty needle is found at `from` (if
// from <= haystack.size()).
std::size_t FindNoCase(std::string_view haystack, std::string_view needle, std::size_t from = 0);
bool StartsWithNoCase(std::string_view text, std::string_view prefix);
bool EndsWithNoCase(std::string_view text, std::string_view suffix);

// Replaces every non-overlapping occurrence, left to right. An empty `from`
// leaves the text unchanged.
std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to);
std::string ReplaceAllNoCase(std::string_view text, std::string_view from, std::string_view to);

// Decimal text of a 64-bit integer ("-12", "0").
std::string IntToStr(std::int64_t v);
// "TRUE" or "FALSE", as the trace and the agent log write booleans.
const char* BoolText(bool b);
// `digits` upper-case hexadecimal digits of the low bits of `v`.
std::string HexText(std::uint64_t v, int digits);
// A 64-bit FNV-1a hash of the text with ASCII case folded, so names that
// Windows treats as one (paths, class names) hash alike.
std::uint64_t HashNoCase(std::string_view s);
// Strict decimal parse: optional blanks, optional '+' or '-', at least one
// digit, optional blanks; nothing else. Out of the int64 range -> nullopt.
std::optional<std::int64_t> StrToInt64(std::string_view s);
// StrToInt64 with a default for "not a number".
std::int64_t StrToInt64Def(std::string_view s, std::int64_t def);

// --- Paths. Both '\\' and '/' count as separators on every platform. ---
bool IsPathSeparator(char c);
// The part after the last separator ("C:\\a\\b.exe" -> "b.exe").
std::string FileNameOf(std::string_view path);
// The part before the last separator, without it ("C:\\a\\b.exe" -> "C:\\a");
// empty when there is no separator.
std::string FolderOf(std::string_view path);
// Replaces the last extension of the file-name part (from its last '.' on) by
// `ext` (which includes its dot, or is empty to remove the extension); appends
// `ext` when the file name has no dot. Dots in the folder part are ignored.
std::string ChangeExtension(std::string_view path, std::string_view ext);
// File name without folder and without the last extension; earlier dots stay
// ("C:\\x\\a.b.exe" -> "a.b").
std::string BaseNameOf(std::string_view path);
// The one path join: folder + separator + name, where the separator is '\\'
// under _WIN32 and '/' natively. Trailing separators of `folder` and leading
// ones of `name` are dropped first so none is doubled. An empty folder gives
// `name` unchanged; an empty name gives the folder with one separator added.
std::string JoinPath(std::string_view folder, std::string_view name);
char NativePathSeparator();

// File-mask match: '*' matches any run (also empty), '?' exactly one
// character, everything else itself with ASCII case ignored. Iterative,
// O(pattern x text) in the worst case.
bool WildcardMatch(std::string_view pattern, std::string_view text);

} // namespace util
