#include "pack/language_table.h"

#include <fstream>
#include <sstream>
#include <vector>

#include "pack/error.h"
#include "util/field_list.h"
#include "util/text.h"

namespace pack {

std::string LanguageTableFromIni(std::string_view text) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  std::vector<std::string> records;
  std::vector<std::string> current; // section name, then key=value fields
  auto flush = [&] {
    if (!current.empty()) records.push_back(util::SUB::BuildList(current));
    current.clear();
  };
  int lineNo = 0;
  while (!text.empty()) {
    ++lineNo;
    const std::size_t eol = text.find('\n');
    std::string_view raw = text.substr(0, eol);
    text.remove_prefix(eol == std::string_view::npos ? text.size() : eol + 1);
    const std::string line = util::Trim(raw);
    const std::string where = "line " + util::IntToStr(lineNo) + ": ";
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line[0] == '[') {
      if (line.back() != ']') throw Error(where + "section header without ']'");
      const std::string name = util::Trim(std::string_view(line).substr(1, line.size() - 2));
      if (name.empty()) throw Error(where + "empty section name");
      flush();
      current.push_back(name);
      continue;
    }
    const std::size_t eq = line.find('=');
    if (eq == std::string::npos) throw Error(where + "expected key=value or [SECTION]");
    if (current.empty()) throw Error(where + "key=value before the first [SECTION]");
    const std::string key = util::Trim(std::string_view(line).substr(0, eq));
    std::string value = util::Trim(std::string_view(line).substr(eq + 1));
    if (key.empty()) throw Error(where + "empty key");
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
      value = value.substr(1, value.size() - 2);
    current.push_back(key + "=" + value);
  }
  flush();
  if (records.empty()) throw Error("no [SECTION] found");
  return util::SUB::BuildList(records);
}

std::string LoadLanguageTable(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw Error("cannot open the language file " + path);
  std::ostringstream s;
  s << in.rdbuf();
  try {
    return LanguageTableFromIni(s.str());
  } catch (const Error& e) {
    throw Error(path + ": " + e.what());
  }
}

} // namespace pack
