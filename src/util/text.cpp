#include "util/text.h"

#include <limits>

namespace util {

bool IsBlank(char c) {
  return static_cast<unsigned char>(c) <= 32;
}

std::string_view TrimView(std::string_view s) {
  std::size_t b = 0, e = s.size();
  while (b < e && IsBlank(s[b]))
    ++b;
  while (e > b && IsBlank(s[e - 1]))
    --e;
  return s.substr(b, e - b);
}

std::string Trim(std::string_view s) {
  return std::string(TrimView(s));
}

std::string TrimLeft(std::string_view s) {
  std::size_t b = 0;
  while (b < s.size() && IsBlank(s[b]))
    ++b;
  return std::string(s.substr(b));
}

std::string TrimRight(std::string_view s) {
  std::size_t e = s.size();
  while (e > 0 && IsBlank(s[e - 1]))
    --e;
  return std::string(s.substr(0, e));
}

char ToUpperAscii(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}
static char ToLowerAsciiChar(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}

std::string ToUpperAscii(std::string_view s) {
  std::string r(s);
  for (char& c : r)
    c = ToUpperAscii(c);
  return r;
}

std::string ToLowerAscii(std::string_view s) {
  std::string r(s);
  for (char& c : r)
    c = ToLowerAsciiChar(c);
  return r;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (ToUpperAscii(a[i]) != ToUpperAscii(b[i])) return false;
  return true;
}

std::size_t FindNoCase(std::string_view haystack, std::string_view needle, std::size_t from) {
  if (from > haystack.size() || needle.size() > haystack.size() - from) return npos;
  const std::size_t last = haystack.size() - needle.size();
  for (std::size_t i = from; i <= last; ++i) {
    if (EqualsNoCase(haystack.substr(i, needle.size()), needle)) return i;
  }
  return npos;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

bool EndsWithNoCase(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() &&
         EqualsNoCase(text.substr(text.size() - suffix.size()), suffix);
}

template <typename Finder>
static std::string ReplaceImpl(std::string_view text, std::string_view from, std::string_view to,
                               Finder find) {
  if (from.empty()) return std::string(text);
  std::string r;
  r.reserve(text.size());
  std::size_t pos = 0;
  while (true) {
    std::size_t hit = find(text, from, pos);
    if (hit == npos) break;
    r.append(text.substr(pos, hit - pos));
    r.append(to);
    pos = hit + from.size();
  }
  r.append(text.substr(pos));
  return r;
}

std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to) {
  return ReplaceImpl(text, from, to, [](std::string_view t, std::string_view f, std::size_t p) {
    return t.find(f, p);
  });
}

std::string ReplaceAllNoCase(std::string_view text, std::string_view from, std::string_view to) {
  return ReplaceImpl(text, from, to, [](std::string_view t, std::string_view f, std::size_t p) {
    return FindNoCase(t, f, p);
  });
}

std::string HexText(std::uint64_t v, int digits) {
  std::string text(static_cast<std::size_t>(digits > 0 ? digits : 0), '0');
  for (auto it = text.rbegin(); it != text.rend(); ++it, v >>= 4)
    *it = "0123456789ABCDEF"[v & 15];
  return text;
}

std::uint64_t HashNoCase(std::string_view s) {
  std::uint64_t h = 14695981039346656037ull;
  for (char c : s) {
    h ^= static_cast<unsigned char>(ToUpperAscii(c));
    h *= 1099511628211ull;
  }
  return h;
}

const char* BoolText(bool b) {
  return b ? "TRUE" : "FALSE";
}

std::string IntToStr(std::int64_t v) {
  return std::to_string(v);
}

std::optional<std::int64_t> StrToInt64(std::string_view s) {
  s = TrimView(s);
  if (s.empty()) return std::nullopt;
  bool negative = false;
  std::size_t i = 0;
  if (s[0] == '+' || s[0] == '-') {
    negative = s[0] == '-';
    i = 1;
  }
  if (i >= s.size()) return std::nullopt;
  // Accumulate as a negative number so that INT64_MIN is representable.
  constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
  std::int64_t acc = 0;
  for (; i < s.size(); ++i) {
    char c = s[i];
    if (c < '0' || c > '9') return std::nullopt;
    int d = c - '0';
    if (acc < (kMin + d) / 10) return std::nullopt;
    acc = acc * 10 - d;
  }
  if (!negative) {
    if (acc == kMin) return std::nullopt;
    return -acc;
  }
  return acc;
}

std::int64_t StrToInt64Def(std::string_view s, std::int64_t def) {
  auto v = StrToInt64(s);
  return v ? *v : def;
}

bool IsPathSeparator(char c) {
  return c == '\\' || c == '/';
}

static std::size_t LastSeparator(std::string_view path) {
  return path.find_last_of("\\/");
}

std::string FileNameOf(std::string_view path) {
  std::size_t p = LastSeparator(path);
  return std::string(p == npos ? path : path.substr(p + 1));
}

std::string FolderOf(std::string_view path) {
  std::size_t p = LastSeparator(path);
  return p == npos ? std::string() : std::string(path.substr(0, p));
}

std::string ChangeExtension(std::string_view path, std::string_view ext) {
  std::size_t sep = LastSeparator(path);
  std::size_t nameStart = sep == npos ? 0 : sep + 1;
  std::size_t dot = path.rfind('.');
  std::string r;
  if (dot == npos || dot < nameStart) {
    r = std::string(path);
  } else {
    r = std::string(path.substr(0, dot));
  }
  r.append(ext);
  return r;
}

std::string BaseNameOf(std::string_view path) {
  std::string name = FileNameOf(path);
  std::size_t dot = name.rfind('.');
  if (dot != npos) name.erase(dot);
  return name;
}

char NativePathSeparator() {
#ifdef _WIN32
  return '\\';
#else
  return '/';
#endif
}

std::string JoinPath(std::string_view folder, std::string_view name) {
  if (folder.empty()) return std::string(name);
  while (!folder.empty() && IsPathSeparator(folder.back()))
    folder.remove_suffix(1);
  while (!name.empty() && IsPathSeparator(name.front()))
    name.remove_prefix(1);
  std::string r(folder);
  r.push_back(NativePathSeparator());
  r.append(name);
  return r;
}

bool WildcardMatch(std::string_view pattern, std::string_view text) {
  // Greedy matching with one backtrack point (the last '*'): each character
  // of the text is revisited at most once per '*', so the work is bounded by
  // pattern x text.
  std::size_t p = 0, t = 0;
  std::size_t starP = npos, starT = 0;
  while (t < text.size()) {
    if (p < pattern.size() &&
        (pattern[p] == '?' ||
         (pattern[p] != '*' && ToUpperAscii(pattern[p]) == ToUpperAscii(text[t])))) {
      ++p;
      ++t;
    } else if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starT = t;
    } else if (starP != npos) {
      p = starP + 1;
      t = ++starT;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*')
    ++p;
  return p == pattern.size();
}

} // namespace util
