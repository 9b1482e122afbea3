// The user's language and the language file: texts a package's own language
// records do not cover come from "HELP\English\Vantor.language.ini" beside
// the running program (section "STRINGS", one line per key).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vars {

// The primary language of a locale id (its low 10 bits); 9 (English) for 0.
int LanguageNumberOfLocale(std::uint32_t locale);
// The calling thread's locale id (GetThreadLocale on Windows; 0 natively, so
// the native build reads English), or the override when one is set.
std::uint32_t ThreadLocale();
// Makes ThreadLocale return `locale` (tests); nullopt removes the override.
void SetThreadLocaleOverride(std::optional<std::uint32_t> locale);

// LanguageName of the thread locale's language number.
std::string UserLanguageName();

// "HELP\English\Vantor.language.ini" in the running program's folder.
std::string LanguageFilePath();
// The value of `key` in section "STRINGS" of the language file. A value of
// two or more characters enclosed in "|" loses them (so it can keep leading
// and trailing blanks); an empty value or a missing file gives `def`.
std::string LanguageString(const std::string& key, std::string_view def);
// LanguageString with every "<?>" replaced by `value`.
std::string LanguageStringWith(const std::string& key, std::string_view def,
                               std::string_view value);

namespace detail {
// The system's own thread locale: language_win.cpp / language_posix.cpp.
std::uint32_t ReadThreadLocale();
} // namespace detail

} // namespace vars
