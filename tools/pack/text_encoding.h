// Texts of a package on vpack's output: language texts converted from their
// code page to UTF-8, and anything shown on a terminal with its control
// characters escaped, so a hostile package cannot drive the terminal.
#pragma once

#include <string>
#include <string_view>

namespace pack {

// The Windows code page of a GDI character set, the "Charset" of a language
// record: 0 (ANSI) and 1 (default) are taken as Western (1252); unknown
// sets too.
int CodePageOfCharset(int charset);

// `text` in Windows code page `codePage` as UTF-8. Bytes the code page does
// not map become U+FFFD.
std::string CodePageToUtf8(std::string_view text, int codePage);

// For a terminal, on one line: valid UTF-8 stays as it is; control
// characters (C0 with newline and tab, DEL, C1) and bytes that are not UTF-8
// become \xNN (the code point's value for C1).
std::string EscapeForTerminal(std::string_view text);

} // namespace pack
