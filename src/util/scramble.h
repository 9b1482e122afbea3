// The "Scrambled=01" text protection (`Scramble`).
// A protected text is "Scrambled=01", one key character (code k), then the
// body; body character i (from 1) is ((i + k) mod 256) xor the plain
// character, with k changing sign after every character.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace util {

inline constexpr std::string_view kScrambleMarker = "Scrambled=01";

// scramble = false (unscramble): with `hex`, the text is first read as
// hexadecimal digit pairs (either case); an odd length or a non-hex digit
// returns the text unchanged. A text (after hex decoding) that does not begin
// with the marker, or is not longer than the marker, is returned unchanged
// (the original input, not its hex decoding).
// scramble = true: a text already beginning with the marker is returned
// unchanged; otherwise key k = random 33..122 and the protected text is
// returned, with `hex` written as upper-case hexadecimal digit pairs.
std::string Scramble(std::string_view text, bool scramble, bool hex);
// The same with the key fixed (used when scrambling; ignored when
// unscrambling, where the key comes from the text).
std::string Scramble(std::string_view text, bool scramble, bool hex, std::uint8_t key);

// Hex helpers shared with the token code.
// Digit pairs, upper-case unless `lower` (hashes are shown lower-case).
std::string ToHexPairs(std::string_view bytes, bool lower = false);
// false on odd length or a non-hex digit.
bool FromHexPairs(std::string_view hex, std::string& out);

} // namespace util
