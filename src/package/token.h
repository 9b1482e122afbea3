// Launch/update tokens (UnscrambleToken, SplitScrambledList)
// and the builder's inverse MakeToken.
//
// Token text: every character is a hexadecimal digit (upper case when made
// here) with 50 added to its code. The digit pairs give bytes D[0..len-1]:
//   D[0]            random r0
//   D[1], D[2]      a, b   (xor k)          a, b >= 1 when made here
//   D[3..a+2]       a padding bytes (xor k)
//   D[a+3..]        the payload, len - a - b - 4 bytes (xor k)
//   then b-1 padding bytes (xor k),
//   D[len-2]        check byte: 8-bit sum of all other stored bytes
//   D[len-1]        random r1;  k = r0 xor r1
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

namespace package {

// The payload of a token, or a random decimal number below 99999 when the
// text is not a valid token (fewer than 5 bytes, check byte wrong, or counts
// a, b that do not fit the length). Reading stops at the first pair that is
// not hexadecimal (D is what was read so far); an odd last character is
// ignored.
std::string UnscrambleToken(std::string_view scrambled);

// Removes the "Scrambled=01" protection (plain, or hex-written when the text
// is not plain-protected), drops everything up to and including the first
// "|", takes the next three "|"-terminated parts (a part without a closing
// "|" is the rest of the text) and returns {UnscrambleToken(part 1), text
// after part 3}.
std::pair<std::string, std::string> SplitScrambledList(std::string_view text);

// A token that UnscrambleToken turns back into `plain` (any bytes, any
// length). Deterministic for a given seed.
std::string MakeToken(std::string_view plain, std::uint32_t seed);

} // namespace package
