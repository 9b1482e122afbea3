// Field-string utilities (unit VSUB): class-level text
// operations on field lists such as "|&OK|&Cancel|".
//
// A field list is a text of at least two characters whose first and last
// characters are the same character, the separator; the fields are the texts
// between consecutive separators (they may be empty) and are counted from 0.
// Any other text (empty, one character, last character different) has no
// fields. A key/value field has the form key "=" value.
//
// Every operation is safe on any input: empty texts, NUL bytes, huge or
// negative positions. Results that would hold no field are the empty text
// (never a lone separator).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace util {

class SUB {
public:
  // Separator candidates for a re-chosen separator, in order of preference
  // (then the character with code 255).
  static constexpr std::string_view kSeparatorCandidates = "|*~^!@#$&\xFF";
  // SetField does not extend a list beyond this position (returns the list
  // unchanged instead), so a huge position cannot exhaust memory.
  static constexpr int kMaxExtendPosition = 65535;

  // Number of fields; 0 for a text without fields.
  static int FieldCount(std::string_view list);
  // The fields as views into `list` (empty vector when it has none).
  static std::vector<std::string_view> Fields(std::string_view list);
  // True when `list` has the field-list form (>= 2 chars, first == last).
  static bool IsList(std::string_view list);

  // The field at `pos` (-1 = the last field); `def` when that field is empty
  // or missing (any other negative position is missing).
  static std::string GetField(std::string_view list, int pos, std::string_view def = "");
  // The field read with util::StrToInt64 (blanks allowed around it); `def`
  // when missing or not a number.
  static std::int64_t GetFieldInt(std::string_view list, int pos, std::int64_t def = 0);

  // Position of the first field equal to `value`, both trimmed, ASCII case
  // ignored; with `prefix`, of the first (trimmed) field that begins with the
  // trimmed value. `notFound` otherwise.
  static int FindField(std::string_view list, std::string_view value, int notFound = -1,
                       bool prefix = false);
  // True when separator + value + separator occurs in the list. `trim` trims
  // the value first; `anyCase` ignores ASCII case. False for a text without
  // fields.
  static bool HasField(std::string_view list, std::string_view value, bool trim = false,
                       bool anyCase = false);

  // Value of the first field key "=" value:
  // `def` when that value is empty, `notFound` when the key does not occur.
  // `anyCase` ignores ASCII case of the key; `blankTolerant` removes every
  // blank run before a "=" first (so "Key  =v" is found by "Key"); without it
  // only the first such run is removed. The value is not trimmed.
  static std::string GetValue(std::string_view list, std::string_view key, bool anyCase = true,
                              bool blankTolerant = true, std::string_view def = "",
                              std::string_view notFound = "");

  // Lists of the keys (text before the first "=") / values (text after it) of
  // a key/value list, in field order, with a re-chosen separator. A field
  // without "=" has the whole field as key and an empty value. `trim` trims
  // each key / value.
  static std::string KeysOf(std::string_view list, bool trim = false);
  static std::string ValuesOf(std::string_view list, bool trim = false);
  // {KeysOf(list), ValuesOf(list)}.
  static std::pair<std::string, std::string> SplitPairs(std::string_view list);
  // Fields key "=" value, position by position, as many as the longer list
  // has fields (missing parts empty), with a re-chosen separator. With `trim`
  // the empty trailing fields of both inputs are removed first.
  static std::string JoinPairs(std::string_view keys, std::string_view values, bool trim = false);

  // The list without the field at `pos` (-1 = last); unchanged when out of
  // range. Deleting the only field gives "".
  static std::string DeleteField(std::string_view list, int pos);
  // Same fields in reverse order, same separator. A text without fields is
  // returned unchanged.
  static std::string ReverseFields(std::string_view list);
  // Every occurrence of the old separator (the first character) replaced by
  // `newSeparator`. "" stays "".
  static std::string ChangeSeparator(std::string_view list, char newSeparator);
  // The list with its separator replaced by the first candidate that occurs
  // in no field. If every candidate occurs, the other byte values 1..254 are
  // tried, then the old separator is kept. A one-character result is "".
  static std::string ChooseSeparator(std::string_view list);

  // A list of the texts in order with a chosen separator; "" for no texts.
  // With `distinct`, passed through Distinct.
  static std::string BuildList(const std::vector<std::string>& texts, bool distinct = false);
  // The list with field `pos` replaced by `value`. A list with fewer fields
  // is first extended with empty fields; an empty list (or any text without
  // fields) counts as "|" (or, for a one-character text, that character).
  // The list's separator is kept when it does not occur in `value`, else one
  // is re-chosen. A negative position or one above kMaxExtendPosition returns
  // the list unchanged.
  static std::string SetField(std::string_view list, int pos, std::string_view value);
  // The list with `texts` appended as further fields (own separator kept when
  // it occurs in none of them, else re-chosen); an empty list (or one without
  // fields) gives BuildList(texts). With `distinct`, passed through Distinct.
  static std::string AppendFields(std::string_view list, const std::vector<std::string>& texts,
                                  bool distinct = false);
  // The non-empty (after trimming) fields in order, each only once (compared
  // trimmed, ASCII case ignored; the first occurrence is kept as written),
  // except fields that occur in `keep` (a field list; same comparison), which
  // appear every time. Same separator; "" when no field remains.
  static std::string Distinct(std::string_view list, std::string_view keep = "");
  // The list without its empty fields at the end (`atEnd`) and/or at the
  // start (`atStart`); "" when no field remains.
  static std::string TrimEmptyFields(std::string_view list, bool atEnd = true,
                                     bool atStart = false);
};

} // namespace util
