#include "vars/language.h"

#include "util/switches.h"
#include "util/system_info.h"
#include "util/text.h"
#include "vars/language_name.h"

namespace vars {

namespace {

std::optional<std::uint32_t> g_localeOverride;

// The stub always reads the English folder; other folders are not chosen.
constexpr std::string_view kLanguageFolder = "English";

} // namespace

int LanguageNumberOfLocale(std::uint32_t locale) {
  return locale == 0 ? 9 : static_cast<int>(locale & 0x3FF);
}

std::uint32_t ThreadLocale() {
  return g_localeOverride ? *g_localeOverride : detail::ReadThreadLocale();
}

void SetThreadLocaleOverride(std::optional<std::uint32_t> locale) {
  g_localeOverride = locale;
}

std::string UserLanguageName() {
  return LanguageName(LanguageNumberOfLocale(ThreadLocale()));
}

std::string LanguageFilePath() {
  const std::string folder = util::FolderOf(util::ProcessCommandLine().programPath);
  std::string path = util::JoinPath(folder, "HELP");
  path = util::JoinPath(path, kLanguageFolder);
  return util::JoinPath(path, "Vantor.language.ini");
}

std::string LanguageString(const std::string& key, std::string_view def) {
  std::string value = util::ReadIniString(LanguageFilePath(), "STRINGS", key, "");
  if (value.size() > 1 && value.front() == '|' && value.back() == '|')
    value = value.substr(1, value.size() - 2);
  return value.empty() ? std::string(def) : value;
}

std::string LanguageStringWith(const std::string& key, std::string_view def,
                               std::string_view value) {
  return util::ReplaceAll(LanguageString(key, def), "<?>", value);
}

} // namespace vars
