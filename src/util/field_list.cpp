#include "util/field_list.h"

#include <algorithm>

#include "util/text.h"

namespace util {

namespace {

using Views = std::vector<std::string_view>;

// Splits the whole of `text` at every `sep` (no field-list form required).
Views SplitAll(std::string_view text, char sep) {
  Views out;
  std::size_t start = 0;
  while (true) {
    std::size_t p = text.find(sep, start);
    if (p == std::string_view::npos) {
      out.push_back(text.substr(start));
      return out;
    }
    out.push_back(text.substr(start, p - start));
    start = p + 1;
  }
}

template <typename Container> bool OccursInAny(const Container& fields, char c) {
  for (const auto& f : fields)
    if (std::string_view(f).find(c) != std::string_view::npos) return true;
  return false;
}

// Separator choice: first candidate that occurs in no field.
// When all candidates occur: other byte values, then `fallback`.
template <typename Container> char PickSeparator(const Container& fields, char fallback) {
  for (char c : SUB::kSeparatorCandidates)
    if (!OccursInAny(fields, c)) return c;
  for (int v = 1; v <= 254; ++v) {
    char c = static_cast<char>(v);
    if (!OccursInAny(fields, c)) return c;
  }
  return fallback;
}

template <typename Container> std::string Join(const Container& fields, char sep) {
  if (fields.empty()) return std::string();
  std::size_t n = 1;
  for (const auto& f : fields)
    n += std::string_view(f).size() + 1;
  std::string r;
  r.reserve(n);
  r.push_back(sep);
  for (const auto& f : fields) {
    r.append(std::string_view(f));
    r.push_back(sep);
  }
  return r;
}

// Joins with a freshly chosen separator.
template <typename Container> std::string JoinChosen(const Container& fields) {
  if (fields.empty()) return std::string();
  return Join(fields, PickSeparator(fields, '|'));
}

// Joins keeping `sep` when it occurs in no field, else with a chosen one.
template <typename Container> std::string JoinKeeping(const Container& fields, char sep) {
  if (OccursInAny(fields, sep)) return JoinChosen(fields);
  return Join(fields, sep);
}

// Resolves a position (-1 = last) against a field count; -1 when missing.
long long Resolve(int pos, std::size_t count) {
  if (pos == -1) return count == 0 ? -1 : static_cast<long long>(count) - 1;
  if (pos < 0 || static_cast<std::size_t>(pos) >= count) return -1;
  return pos;
}

Views TrimmedEmptyTail(Views fields) {
  while (!fields.empty() && fields.back().empty())
    fields.pop_back();
  return fields;
}

} // namespace

bool SUB::IsList(std::string_view list) {
  return list.size() >= 2 && list.front() == list.back();
}

int SUB::FieldCount(std::string_view list) {
  if (!IsList(list)) return 0;
  return static_cast<int>(std::count(list.begin() + 1, list.end(), list.front()));
}

std::vector<std::string_view> SUB::Fields(std::string_view list) {
  if (!IsList(list)) return {};
  return SplitAll(list.substr(1, list.size() - 2), list.front());
}

std::string SUB::GetField(std::string_view list, int pos, std::string_view def) {
  Views f = Fields(list);
  long long i = Resolve(pos, f.size());
  if (i < 0 || f[i].empty()) return std::string(def);
  return std::string(f[i]);
}

std::int64_t SUB::GetFieldInt(std::string_view list, int pos, std::int64_t def) {
  Views f = Fields(list);
  long long i = Resolve(pos, f.size());
  if (i < 0) return def;
  return StrToInt64Def(f[i], def);
}

int SUB::FindField(std::string_view list, std::string_view value, int notFound, bool prefix) {
  std::string_view v = TrimView(value);
  Views f = Fields(list);
  for (std::size_t i = 0; i < f.size(); ++i) {
    std::string_view field = TrimView(f[i]);
    if (prefix ? StartsWithNoCase(field, v) : EqualsNoCase(field, v)) return static_cast<int>(i);
  }
  return notFound;
}

bool SUB::HasField(std::string_view list, std::string_view value, bool trim, bool anyCase) {
  if (!IsList(list)) return false;
  std::string needle;
  needle.push_back(list.front());
  needle.append(trim ? TrimView(value) : value);
  needle.push_back(list.front());
  return anyCase ? FindNoCase(list, needle) != npos : list.find(needle) != std::string_view::npos;
}

std::string SUB::GetValue(std::string_view list, std::string_view key, bool anyCase,
                          bool blankTolerant, std::string_view def, std::string_view notFound) {
  if (list.size() < 3 || list.front() != list.back()) return std::string(notFound);
  const char sep = list.front();
  std::string search(1, sep);
  search.append(key);
  if (key.empty() || key.back() != '=' || key == "=") search.push_back('=');

  std::string text(list);
  if (text.find(' ') != std::string::npos) {
    if (blankTolerant) {
      // Every run of blanks directly before a "=" goes.
      std::string out;
      out.reserve(text.size());
      for (char c : text) {
        if (c == '=')
          while (!out.empty() && out.back() == ' ')
            out.pop_back();
        out.push_back(c);
      }
      text.swap(out);
    } else {
      std::size_t p = text.find(" =");
      if (p != std::string::npos) {
        std::size_t b = p;
        while (b > 0 && text[b - 1] == ' ')
          --b;
        text.erase(b, p + 1 - b);
      }
    }
  }

  std::size_t hit = anyCase ? FindNoCase(text, search) : text.find(search);
  if (hit == std::string::npos) return std::string(notFound);
  std::size_t start = hit + search.size();
  std::size_t end = text.find(sep, start);
  if (end == std::string::npos) end = text.size();
  if (end == start) return std::string(def);
  return text.substr(start, end - start);
}

static std::string KeysOrValues(std::string_view list, bool keys, bool trim) {
  std::vector<std::string> out;
  for (std::string_view f : SUB::Fields(list)) {
    std::size_t eq = f.find('=');
    std::string_view part;
    if (keys)
      part = eq == std::string_view::npos ? f : f.substr(0, eq);
    else
      part = eq == std::string_view::npos ? std::string_view() : f.substr(eq + 1);
    out.emplace_back(trim ? TrimView(part) : part);
  }
  return JoinChosen(out);
}

std::string SUB::KeysOf(std::string_view list, bool trim) {
  return KeysOrValues(list, true, trim);
}

std::string SUB::ValuesOf(std::string_view list, bool trim) {
  return KeysOrValues(list, false, trim);
}

std::pair<std::string, std::string> SUB::SplitPairs(std::string_view list) {
  return {KeysOf(list), ValuesOf(list)};
}

std::string SUB::JoinPairs(std::string_view keys, std::string_view values, bool trim) {
  Views k = Fields(keys), v = Fields(values);
  if (trim) {
    k = TrimmedEmptyTail(std::move(k));
    v = TrimmedEmptyTail(std::move(v));
  }
  std::size_t n = std::max(k.size(), v.size());
  std::vector<std::string> out;
  out.reserve(n);
  for (std::size_t i = 0; i < n; ++i) {
    std::string f(i < k.size() ? k[i] : std::string_view());
    f.push_back('=');
    f.append(i < v.size() ? v[i] : std::string_view());
    out.push_back(std::move(f));
  }
  return JoinChosen(out);
}

std::string SUB::DeleteField(std::string_view list, int pos) {
  Views f = Fields(list);
  long long i = Resolve(pos, f.size());
  if (i < 0) return std::string(list);
  f.erase(f.begin() + i);
  return Join(f, list.front());
}

std::string SUB::ReverseFields(std::string_view list) {
  Views f = Fields(list);
  if (f.empty()) return std::string(list);
  std::reverse(f.begin(), f.end());
  return Join(f, list.front());
}

std::string SUB::ChangeSeparator(std::string_view list, char newSeparator) {
  std::string r(list);
  if (r.empty()) return r;
  const char old = r.front();
  for (char& c : r)
    if (c == old) c = newSeparator;
  return r;
}

std::string SUB::ChooseSeparator(std::string_view list) {
  if (list.size() <= 1) return std::string();
  const char old = list.front();
  // The pieces between the old separators; equivalent to the
  // NUL-placeholder replacement, but safe when the text itself holds NULs.
  Views pieces = SplitAll(list.substr(1), old);
  char sep = PickSeparator(pieces, old);
  std::string r(1, sep);
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    if (i) r.push_back(sep);
    r.append(pieces[i]);
  }
  return r.size() == 1 ? std::string() : r;
}

std::string SUB::BuildList(const std::vector<std::string>& texts, bool distinct) {
  std::string r = JoinChosen(texts);
  return distinct ? Distinct(r) : r;
}

std::string SUB::SetField(std::string_view list, int pos, std::string_view value) {
  if (pos < 0 || pos > kMaxExtendPosition) return std::string(list);
  char sep = '|';
  if (list.size() == 1 || IsList(list)) sep = list.front();
  Views f = Fields(list);
  if (static_cast<std::size_t>(pos) >= f.size()) f.resize(static_cast<std::size_t>(pos) + 1);
  f[pos] = value;
  return JoinKeeping(f, sep);
}

std::string SUB::AppendFields(std::string_view list, const std::vector<std::string>& texts,
                              bool distinct) {
  std::string r;
  if (!IsList(list)) {
    r = BuildList(texts);
  } else {
    Views f = Fields(list);
    for (const auto& t : texts)
      f.emplace_back(t);
    r = JoinKeeping(f, list.front());
  }
  return distinct ? Distinct(r) : r;
}

std::string SUB::Distinct(std::string_view list, std::string_view keep) {
  Views f = Fields(list);
  Views keepFields = Fields(keep);
  auto inKeep = [&](std::string_view field) {
    for (auto k : keepFields)
      if (EqualsNoCase(TrimView(k), field)) return true;
    return false;
  };
  Views out;
  // Lists are short: a linear search keeps the stub free of hash tables.
  auto seen = [&](std::string_view t) {
    for (auto o : out)
      if (EqualsNoCase(TrimView(o), t)) return true;
    return false;
  };
  for (auto field : f) {
    std::string_view t = TrimView(field);
    if (t.empty()) continue;
    if (!inKeep(t) && seen(t)) continue;
    out.push_back(field);
  }
  return out.empty() ? std::string() : Join(out, list.front());
}

std::string SUB::TrimEmptyFields(std::string_view list, bool atEnd, bool atStart) {
  Views f = Fields(list);
  if (f.empty()) return std::string(list);
  std::size_t b = 0, e = f.size();
  if (atStart)
    while (b < e && f[b].empty())
      ++b;
  if (atEnd)
    while (e > b && f[e - 1].empty())
      --e;
  Views out(f.begin() + b, f.begin() + e);
  return Join(out, list.front());
}

} // namespace util
