#include "package/token.h"

#include "util/random.h"
#include "util/text.h"

#include <random>

#include "util/scramble.h"
#include "util/text.h"

namespace package {

namespace {

constexpr int kTokenBias = 50;

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string RandomNumberText() { return util::IntToStr(util::RandomInRange(0, 99998)); }

// The next "|"-terminated part of `s` from `pos`; advances `pos` past the "|"
// (or to the end when there is none).
std::string_view NextPart(std::string_view s, std::size_t& pos) {
  std::size_t bar = s.find('|', pos);
  std::string_view part;
  if (bar == std::string_view::npos) {
    part = s.substr(pos);
    pos = s.size();
  } else {
    part = s.substr(pos, bar - pos);
    pos = bar + 1;
  }
  return part;
}

} // namespace

std::string UnscrambleToken(std::string_view scrambled) {
  std::string result = RandomNumberText();

  std::string d;
  d.reserve(scrambled.size() / 2);
  for (std::size_t i = 0; i + 1 < scrambled.size(); i += 2) {
    int hi = HexDigit(static_cast<char>(static_cast<unsigned char>(scrambled[i]) - kTokenBias));
    int lo = HexDigit(static_cast<char>(static_cast<unsigned char>(scrambled[i + 1]) - kTokenBias));
    if (hi < 0 || lo < 0) break;
    d.push_back(static_cast<char>(hi * 16 + lo));
  }

  const std::size_t len = d.size();
  if (len <= 4) return result;
  unsigned sum = 0;
  for (std::size_t i = 0; i < len; ++i)
    if (i != len - 2) sum += static_cast<unsigned char>(d[i]);
  if (static_cast<unsigned char>(sum) != static_cast<unsigned char>(d[len - 2])) return result;

  const auto k = static_cast<unsigned char>(d[0] ^ d[len - 1]);
  for (std::size_t i = 1; i <= len - 2; ++i)
    d[i] = static_cast<char>(d[i] ^ k);
  const std::size_t a = static_cast<unsigned char>(d[1]);
  const std::size_t b = static_cast<unsigned char>(d[2]);
  if (a + b + 4 > len) return result; // counts do not fit: not a token
  return d.substr(a + 3, len - a - b - 4);
}

std::pair<std::string, std::string> SplitScrambledList(std::string_view text) {
  std::string plain;
  if (text.substr(0, util::kScrambleMarker.size()) == util::kScrambleMarker)
    plain = util::Scramble(text, false, false);
  else
    plain = util::Scramble(text, false, true); // unchanged unless hex-protected

  std::string_view s = plain;
  std::size_t pos = s.find('|');
  pos = pos == std::string_view::npos ? 0 : pos + 1;
  std::string_view first = NextPart(s, pos);
  NextPart(s, pos);
  NextPart(s, pos);
  return {UnscrambleToken(first), std::string(s.substr(pos))};
}

std::string MakeToken(std::string_view plain, std::uint32_t seed) {
  std::mt19937 rng(seed);
  auto byte = [&] { return static_cast<unsigned char>(rng() & 0xFF); };
  auto count = [&] { return static_cast<unsigned char>(1 + rng() % 8); };

  const unsigned char a = count(), b = count();
  const std::size_t len = plain.size() + a + b + 4;
  std::string d(len, '\0');
  const unsigned char r0 = byte(), r1 = byte();
  const auto k = static_cast<unsigned char>(r0 ^ r1);

  // Plain layout of D[1..len-3] before the xor.
  std::string x(len, '\0');
  x[1] = static_cast<char>(a);
  x[2] = static_cast<char>(b);
  for (std::size_t i = 3; i < std::size_t(a) + 3; ++i)
    x[i] = static_cast<char>(byte());
  for (std::size_t i = 0; i < plain.size(); ++i)
    x[a + 3 + i] = plain[i];
  for (std::size_t i = a + 3 + plain.size(); i < len - 2; ++i)
    x[i] = static_cast<char>(byte());

  d[0] = static_cast<char>(r0);
  d[len - 1] = static_cast<char>(r1);
  for (std::size_t i = 1; i < len - 2; ++i)
    d[i] = static_cast<char>(x[i] ^ k);
  unsigned sum = 0;
  for (std::size_t i = 0; i < len; ++i)
    if (i != len - 2) sum += static_cast<unsigned char>(d[i]);
  d[len - 2] = static_cast<char>(sum & 0xFF);

  std::string hex = util::ToHexPairs(d);
  for (char& c : hex)
    c = static_cast<char>(c + kTokenBias);
  return hex;
}

} // namespace package
