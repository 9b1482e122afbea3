// The package's language table (header block 1) from an INI-style file.
#pragma once

#include <string>
#include <string_view>

namespace pack {

// Each [SECTION] becomes one record: field 0 the section name (a file mask
// matched against the user's language name), then one "key=value" field per
// line. Records and the table are field lists built with SUB::BuildList, so
// each picks a separator that none of its fields holds. Keys and values are
// trimmed; a value in double quotes keeps its blanks (the quotes go). Lines
// starting with ';' or '#' are comments. Errors name the line.
std::string LanguageTableFromIni(std::string_view text);
std::string LoadLanguageTable(const std::string& path);

} // namespace pack
