// Code page conversion through glibc's iconv.
#include <iconv.h>

#include <cerrno>
#include <string>

#include "pack/text_encoding.h"

namespace pack {

std::string CodePageToUtf8(std::string_view text, int codePage) {
  const std::string name = "CP" + std::to_string(codePage);
  iconv_t cd = iconv_open("UTF-8", name.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) cd = iconv_open("UTF-8", "CP1252");
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(text);
  std::string out;
  char buffer[1024];
  char* in = const_cast<char*>(text.data());
  std::size_t inLeft = text.size();
  while (inLeft > 0) {
    char* to = buffer;
    std::size_t toLeft = sizeof buffer;
    const std::size_t rc = iconv(cd, &in, &inLeft, &to, &toLeft);
    out.append(buffer, to);
    if (rc == static_cast<std::size_t>(-1) && errno != E2BIG) {
      // A byte the code page does not map (or a cut multibyte sequence).
      out += "\xEF\xBF\xBD";
      ++in;
      --inLeft;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
  char* to = buffer;
  std::size_t toLeft = sizeof buffer;
  iconv(cd, nullptr, nullptr, &to, &toLeft);
  out.append(buffer, to);
  iconv_close(cd);
  return out;
}

} // namespace pack
