#include "pack/text_encoding.h"

#include <cstdint>
#include <cstdio>

namespace pack {

int CodePageOfCharset(int charset) {
  switch (charset) {
  case 128:
    return 932; // SHIFTJIS
  case 129:
    return 949; // HANGUL
  case 130:
    return 1361; // JOHAB
  case 134:
    return 936; // GB2312
  case 136:
    return 950; // CHINESEBIG5
  case 161:
    return 1253; // GREEK
  case 162:
    return 1254; // TURKISH
  case 163:
    return 1258; // VIETNAMESE
  case 177:
    return 1255; // HEBREW
  case 178:
    return 1256; // ARABIC
  case 186:
    return 1257; // BALTIC
  case 204:
    return 1251; // RUSSIAN
  case 222:
    return 874; // THAI
  case 238:
    return 1250; // EASTEUROPE
  default:
    return 1252; // ANSI, DEFAULT and the rest
  }
}

namespace {

// Length of the valid UTF-8 sequence at the start of `s`, 0 when none.
std::size_t Utf8Length(std::string_view s) {
  const auto b = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned char c = b(0);
  std::size_t n;
  std::uint32_t cp;
  if (c < 0x80) return 1;
  if (c >= 0xC2 && c <= 0xDF) {
    n = 2;
    cp = c & 0x1F;
  } else if (c >= 0xE0 && c <= 0xEF) {
    n = 3;
    cp = c & 0x0F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4;
    cp = c & 0x07;
  } else {
    return 0;
  }
  if (s.size() < n) return 0;
  for (std::size_t i = 1; i < n; ++i) {
    if ((b(i) & 0xC0) != 0x80) return 0;
    cp = cp << 6 | (b(i) & 0x3F);
  }
  // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
  if ((n == 3 && cp < 0x800) || (n == 4 && cp < 0x10000) || cp > 0x10FFFF ||
      (cp >= 0xD800 && cp <= 0xDFFF))
    return 0;
  return n;
}

void AppendHex(std::string& out, unsigned value) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "\\x%02X", value);
  out += buf;
}

} // namespace

std::string EscapeForTerminal(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  while (!text.empty()) {
    const std::size_t n = Utf8Length(text);
    const unsigned char c = static_cast<unsigned char>(text[0]);
    if (n == 0) {
      AppendHex(out, c);
      text.remove_prefix(1);
      continue;
    }
    if (n == 1 && (c < 0x20 || c == 0x7F)) {
      AppendHex(out, c);
    } else if (n == 2 && c == 0xC2 && static_cast<unsigned char>(text[1]) < 0xA0) {
      AppendHex(out, static_cast<unsigned char>(text[1])); // C1: U+0080..U+009F
    } else {
      out.append(text.substr(0, n));
    }
    text.remove_prefix(n);
  }
  return out;
}

} // namespace pack
