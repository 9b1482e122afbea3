#include "util/system_info.h"

#include <climits>

#include "util/field_list.h"
#include "util/text.h"

namespace util {

namespace {

struct VersionRow {
  std::string_view text;
  std::string_view name;
  int code;
};

constexpr VersionRow kNtRows[] = {
    {"4.0", "NT", 8},    {"5.0", "2000", 16},    {"5.1", "XP", 32},
    {"5.2", "2003", 64}, {"6.0", "Vista", 128},  {"6.1", "7", 1024},
    {"6.2", "8", 32768}, {"6.3", "8.1", 262144}, {"10.0", "10", 2097152},
};
constexpr VersionRow kNt64Rows[] = {
    {"5.2", "XP.64", 256},  {"6.0", "Vista.64", 512},  {"6.1", "7.64", 2048},
    {"6.2", "8.64", 65536}, {"6.3", "8.1.64", 524288}, {"10.0", "10.64", 4194304},
};
constexpr VersionRow kServer64Rows[] = {
    {"6.0", "2008.64", 8192},
    {"6.1", "2008R2.64", 16384},
    {"6.2", "2012.64", 131072},
    {"6.3", "2012R2.64", 1048576},
};
constexpr VersionRow kServer32Rows[] = {{"6.0", "2008", 4096}};
constexpr VersionRow k9xRows[] = {{"4.0", "95", 1}, {"4.10", "98", 2}, {"4.90", "ME", 4}};

// Applies the row of `rows` matching `text`, if any; later calls override.
template <std::size_t N>
bool ApplyRow(const VersionRow (&rows)[N], const std::string& text, WindowsVersion& v) {
  for (const VersionRow& row : rows) {
    if (row.text != text) continue;
    v.shortName = std::string(row.name);
    v.code = row.code;
    return true;
  }
  return false;
}

std::string Padded(std::int64_t value, int digits) {
  std::string s = IntToStr(value < 0 ? -value : value);
  if (static_cast<int>(s.size()) < digits) s.insert(0, digits - s.size(), '0');
  return value < 0 ? "-" + s : s;
}

// Days from 1970-01-01 to a proleptic Gregorian date, and back.
std::int64_t DaysFromCivil(std::int64_t y, int m, int d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(std::int64_t z, CivilDateTime& t) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  t.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  t.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  t.year = static_cast<int>(yoe + era * 400 + (t.month <= 2));
}

// Day number 0 (30 December 1899) counted from 1970-01-01.
constexpr std::int64_t kDayZero = -25569;
constexpr std::int64_t kMsPerDay = 86400000;

} // namespace

WindowsVersion ClassifyWindowsVersion(const VersionRecord& r) {
  WindowsVersion v;
  v.platformId = r.platformId;
  v.major = r.major;
  v.minor = r.minor;
  v.build = r.build;
  v.servicePack = Trim(r.csd);
  v.versionText = IntToStr(r.major) + "." + IntToStr(r.minor);
  switch (r.platformId) {
  case kPlatformWin32s:
    v.shortName = "32S";
    v.code = 0;
    break;
  case kPlatformWin9x:
    // ME reports itself as 4.10 build 3000 on some paths.
    if (v.versionText == "4.10" && r.build == 3000) {
      v.versionText = "4.90";
      v.minor = 90;
    }
    if (!ApplyRow(k9xRows, v.versionText, v)) {
      v.shortName = "9x";
      v.code = 1;
    }
    break;
  case kPlatformNT:
    if (!ApplyRow(kNtRows, v.versionText, v)) {
      v.shortName = "NTx";
      v.code = 8;
    }
    if (r.is64) ApplyRow(kNt64Rows, v.versionText, v);
    if (r.isServer) {
      if (r.is64)
        ApplyRow(kServer64Rows, v.versionText, v);
      else
        ApplyRow(kServer32Rows, v.versionText, v);
    }
    break;
  default:
    break;
  }
  return v;
}

bool IsWin8OrLater(const WindowsVersion& v) {
  if (v.platformId != kPlatformNT) return false;
  if (v.major != 6) return v.major > 6;
  // The minor digits are a decimal fraction: 6.2 <= 6.x  <=>  "x" >= "2"
  // read as fractions, e.g. "10" (6.10 = 6.1) is below.
  std::string digits = IntToStr(v.minor < 0 ? 0 : v.minor);
  while (digits.size() > 1 && digits.back() == '0')
    digits.pop_back();
  return digits >= "2";
}

std::string ShortenVersion(std::string_view version, int parts) {
  if (parts < 1 || parts > 3) return std::string(version);
  std::size_t pos = 0;
  for (int i = 0; i < parts; ++i) {
    pos = version.find('.', pos);
    if (pos == std::string_view::npos) return std::string(version);
    if (i + 1 < parts) ++pos;
  }
  return std::string(version.substr(0, pos));
}

RegistryRoot RegistryRootOfName(std::string_view name) {
  const std::string n = ToUpperAscii(name);
  if (n == "HKEY_CLASSES_ROOT" || n == "HKCR") return RegistryRoot::kClassesRoot;
  if (n == "HKEY_CURRENT_USER" || n == "HKCU") return RegistryRoot::kCurrentUser;
  if (n == "HKEY_LOCAL_MACHINE" || n == "HKLM") return RegistryRoot::kLocalMachine;
  if (n == "HKEY_USERS" || n == "HKU") return RegistryRoot::kUsers;
  if (n == "HKEY_CURRENT_CONFIG" || n == "HKCC") return RegistryRoot::kCurrentConfig;
  if (n == "HKEY_DYN_DATA" || n == "HKDD") return RegistryRoot::kDynData;
  return RegistryRoot::kCurrentUser;
}

RegistryPath SplitRegistryPath(std::string_view path) {
  const std::string_view p = TrimView(path);
  RegistryPath result;
  if (!StartsWithNoCase(p, "HK")) {
    result.subKey = std::string(p);
    return result;
  }
  const std::size_t slash = p.find('\\');
  result.root = RegistryRootOfName(p.substr(0, slash));
  if (slash != std::string_view::npos) result.subKey = std::string(p.substr(slash + 1));
  return result;
}

DiskRootForms DiskRootFormsOf(std::string_view path) {
  DiskRootForms forms;
  if (path.size() >= 2 && path[1] == ':' &&
      ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'))) {
    forms.root = std::string(path.substr(0, 2)) + "\\";
  } else if (path.size() > 2 && IsPathSeparator(path[0]) && IsPathSeparator(path[1])) {
    // \\server\share: up to the separator after the share name.
    std::size_t server = 2;
    while (server < path.size() && !IsPathSeparator(path[server]))
      ++server;
    std::size_t share = server + 1;
    while (share < path.size() && !IsPathSeparator(path[share]))
      ++share;
    if (server > 2 && share > server + 1) forms.root = std::string(path.substr(0, share)) + "\\";
  }
  if (!path.empty()) {
    forms.alternative = std::string(path);
    if (!IsPathSeparator(path.back())) forms.alternative += '\\';
  }
  return forms;
}

int MulDivRounded(int a, int b, int c) {
  if (c == 0) return -1;
  std::int64_t m = a;
  std::int64_t d = c;
  if (d < 0) {
    m = -m;
    d = -d;
  }
  const std::int64_t product = m * b;
  const std::int64_t result = product >= 0 ? (product + d / 2) / d : (product - d / 2) / d;
  if (result > INT_MAX || result < -INT_MAX) return -1;
  return static_cast<int>(result);
}

int PointsToPixels(int points, int dpi) {
  return MulDivRounded(points, dpi, 72);
}

CivilDateTime DecodeDateTime(double time) {
  if (!(time >= 0)) time = 0; // also NaN
  if (time > kMaxDateTime) time = kMaxDateTime;
  // Rounded to the nearest millisecond (by hand: llround would add a
  // library object to the stub).
  const double scaled = time * double(kMsPerDay);
  const auto ms = static_cast<std::int64_t>(scaled + 0.5);
  const std::int64_t days = ms / kMsPerDay;
  const std::int64_t ofDay = ms % kMsPerDay;
  CivilDateTime t;
  CivilFromDays(days + kDayZero, t);
  t.hour = static_cast<int>(ofDay / 3600000);
  t.minute = static_cast<int>(ofDay / 60000 % 60);
  t.second = static_cast<int>(ofDay / 1000 % 60);
  t.millisecond = static_cast<int>(ofDay % 1000);
  return t;
}

double EncodeDateTime(const CivilDateTime& t) {
  const std::int64_t days = DaysFromCivil(t.year, t.month, t.day) - kDayZero;
  const std::int64_t ms =
      ((std::int64_t(t.hour) * 60 + t.minute) * 60 + t.second) * 1000 + t.millisecond;
  return double(days) + double(ms) / double(kMsPerDay);
}

double NormalizeDateTime(double time) {
  if (time == kNowDateTime) time = Now();
  if (!(time >= 0)) return 0; // also NaN
  return time > kMaxDateTime ? kMaxDateTime : time;
}

std::string FormatDateText(const CivilDateTime& t) {
  static constexpr std::string_view kMonths = "||JAN|FEB|MAR|APR|MAY|JUN|JUL|AUG|SEP|OCT|NOV|DEC|";
  return Padded(t.day, 2) + "-" + SUB::GetField(kMonths, t.month) + "-" + Padded(t.year, 4);
}

std::string FormatDateTimeText(const CivilDateTime& t, std::string_view separator,
                               std::string_view timeSeparator) {
  std::string text = FormatDateText(t);
  text.append(separator).append(Padded(t.hour, 2)).append(timeSeparator);
  text.append(Padded(t.minute, 2)).append(timeSeparator).append(Padded(t.second, 2));
  return text;
}

std::string DateText(double time) {
  return FormatDateText(DecodeDateTime(NormalizeDateTime(time)));
}

std::string DateTimeText(std::string_view separator, double time) {
  return FormatDateTimeText(DecodeDateTime(NormalizeDateTime(time)), separator, TimeSeparator());
}

} // namespace util
