// The language-name table: Windows language numbers to the names packages
// use for their language records ("ENGLISH").
#pragma once

#include <string>
#include <string_view>

namespace vars {

// The constant table: "|NAME   = nn|...|".
extern const std::string_view kLanguageTable;

// The name for a Windows language number: the first record that contains the
// number's decimal text (at least two digits) anywhere and has a "=" after
// its first character; the text before the "=", trimmed. "" when none.
// (A plain substring test: 43 gives "DUTCH(STANDARD)" from its 1043.)
std::string LanguageName(int number);

} // namespace vars
