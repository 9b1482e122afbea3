#include "pack/url_check.h"

#include "util/text.h"

namespace pack {

namespace {

bool IsFolder(const std::string& s) {
  const bool drive = s.size() >= 3 && ((s[0] | 0x20) >= 'a' && (s[0] | 0x20) <= 'z') &&
                     s[1] == ':' && (s[2] == '\\' || s[2] == '/');
  return drive || s.compare(0, 2, "\\\\") == 0;
}

} // namespace

std::string LocationProblem(const std::string& location) {
  if (location.empty()) return "is empty";
  for (unsigned char c : location)
    if (c < 0x20 || c == 0x7F) return "contains a control character";
  if (IsFolder(location)) return {};
  const std::size_t colon = location.find("://");
  if (colon == std::string::npos)
    return "has no scheme: give http:// or https://, or a folder such as C:\\Updates or "
           "\\\\server\\share";
  if (location.find(' ') != std::string::npos) return "contains a blank (write it as %20)";
  const std::string scheme = util::ToUpperAscii(location.substr(0, colon));
  if (scheme != "HTTP" && scheme != "HTTPS")
    return "has the scheme " + location.substr(0, colon) + "://; give http:// or https://";
  const std::string rest = location.substr(colon + 3);
  if (rest.empty() || rest[0] == '/' || rest[0] == ':' || rest[0] == '?') return "has no host name";
  return {};
}

} // namespace pack
