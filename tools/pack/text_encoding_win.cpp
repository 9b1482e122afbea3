// Code page conversion through Windows' own tables.
#include <windows.h>

#include <string>

#include "pack/text_encoding.h"

namespace pack {

std::string CodePageToUtf8(std::string_view text, int codePage) {
  if (text.empty()) return {};
  const int n = static_cast<int>(text.size());
  // Unmapped bytes become U+FFFD (no MB_ERR_INVALID_CHARS).
  int wide = MultiByteToWideChar(static_cast<UINT>(codePage), 0, text.data(), n, nullptr, 0);
  if (wide <= 0) {
    codePage = 1252;
    wide = MultiByteToWideChar(1252, 0, text.data(), n, nullptr, 0);
  }
  if (wide <= 0) return std::string(text);
  std::wstring w(static_cast<std::size_t>(wide), L'\0');
  MultiByteToWideChar(static_cast<UINT>(codePage), 0, text.data(), n, w.data(), wide);
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, w.data(), wide, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(bytes > 0 ? bytes : 0), '\0');
  if (bytes > 0)
    WideCharToMultiByte(CP_UTF8, 0, w.data(), wide, out.data(), bytes, nullptr, nullptr);
  return out;
}

} // namespace pack
