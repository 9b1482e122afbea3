#include "util/scramble.h"

#include "util/random.h"


namespace util {

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// The transform is its own inverse.
std::string Transform(std::string_view body, int k) {
  std::string r(body);
  for (std::size_t i = 0; i < r.size(); ++i) {
    const auto mask = static_cast<unsigned char>(static_cast<long long>(i + 1) + k);
    r[i] = static_cast<char>(static_cast<unsigned char>(r[i]) ^ mask);
    k = -k;
  }
  return r;
}

std::uint8_t RandomKey() { return static_cast<std::uint8_t>(RandomInRange(0, 89) + 33); }

std::string Unscramble(std::string_view text, bool hex) {
  std::string decoded;
  std::string_view s = text;
  if (hex) {
    if (!FromHexPairs(text, decoded)) return std::string(text);
    s = decoded;
  }
  if (s.size() <= kScrambleMarker.size() || s.substr(0, kScrambleMarker.size()) != kScrambleMarker)
    return std::string(text);
  const int k = static_cast<unsigned char>(s[kScrambleMarker.size()]);
  return Transform(s.substr(kScrambleMarker.size() + 1), k);
}

std::string DoScramble(std::string_view text, bool hex, std::uint8_t key) {
  if (text.substr(0, kScrambleMarker.size()) == kScrambleMarker) return std::string(text);
  std::string r(kScrambleMarker);
  r.push_back(static_cast<char>(key));
  r += Transform(text, key);
  return hex ? ToHexPairs(r) : r;
}

} // namespace

std::string ToHexPairs(std::string_view bytes, bool lower) {
  const char* kDigits = lower ? "0123456789abcdef" : "0123456789ABCDEF";
  std::string r;
  r.reserve(bytes.size() * 2);
  for (unsigned char c : bytes) {
    r.push_back(kDigits[c >> 4]);
    r.push_back(kDigits[c & 15]);
  }
  return r;
}

bool FromHexPairs(std::string_view hex, std::string& out) {
  if (hex.size() % 2) return false;
  std::string r;
  r.reserve(hex.size() / 2);
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    int hi = HexDigit(hex[i]), lo = HexDigit(hex[i + 1]);
    if (hi < 0 || lo < 0) return false;
    r.push_back(static_cast<char>(hi * 16 + lo));
  }
  out.swap(r);
  return true;
}

std::string Scramble(std::string_view text, bool scramble, bool hex) {
  if (!scramble) return Unscramble(text, hex);
  return DoScramble(text, hex, RandomKey());
}

std::string Scramble(std::string_view text, bool scramble, bool hex, std::uint8_t key) {
  if (!scramble) return Unscramble(text, hex);
  return DoScramble(text, hex, key);
}

} // namespace util
