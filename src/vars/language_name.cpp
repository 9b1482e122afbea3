#include "vars/language_name.h"

#include "util/field_list.h"
#include "util/text.h"

namespace vars {

const std::string_view kLanguageTable =
    "|AFRIKAANS    = 54|ALBANIAN     = 28|ARABIC       = 01|BASQUE       = 45"
    "|BELARUSIAN   = 35|BULGARIAN    = 02|CATALAN      = 03|CHINESE      = 04"
    "|CROATIAN     = 26|CZECH        = 05|DANISH       = 06|DUTCH        = 19"
    "|ENGLISH      = 09|ESTONIAN     = 37|FAEROESE     = 56|FARSI        = 41"
    "|FINNISH      = 11|FRENCH       = 12|GERMAN       = 07|GREEK        = 08"
    "|HEBREW       = 13|HUNGARIAN    = 14|ICELANDIC    = 15|INDONESIAN   = 33"
    "|ITALIAN      = 16|JAPANESE     = 17|KOREAN       = 18|LATVIAN      = 38"
    "|LITHUANIAN   = 39|NORWEGIAN    = 20|POLISH       = 21|PORTUGUESE   = 22"
    "|ROMANIAN     = 24|RUSSIAN      = 25|SERBIAN      = 26|SLOVAK       = 27"
    "|SLOVENIAN    = 36|SPANISH      = 10|SWEDISH      = 29|THAI         = 30"
    "|TURKISH      = 31|UKRAINIAN    = 34|VIETNAMESE   = 42"
    "|CHINESE(SIMPLIFIED)  = 2052|CHINESE(TRADITIONAL) = 1028"
    "|DUTCH(FLEMISH)       = 2067|DUTCH(STANDARD)      = 1043"
    "|PORTUGUESE(PORTUGAL) = 2070|PORTUGUESE(BRAZIL)   = 1046"
    "|SERBIAN(LATIN)       = 2074|SERBIAN(CYRILIC)     = 3098|";

std::string LanguageName(int number) {
  // Decimal with at least two digits, as "%.2d" writes it ("-01" for -1).
  const long long magnitude = number < 0 ? -static_cast<long long>(number) : number;
  std::string digits = util::IntToStr(magnitude);
  if (digits.size() < 2) digits.insert(0, 1, '0');
  if (number < 0) digits.insert(0, 1, '-');
  for (std::string_view record : util::SUB::Fields(kLanguageTable)) {
    if (record.find(digits) == std::string_view::npos) continue;
    std::size_t eq = record.find('=');
    if (eq == std::string_view::npos || eq < 1) continue;
    return util::Trim(record.substr(0, eq));
  }
  return std::string();
}

} // namespace vars
