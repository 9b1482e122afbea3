#include "http/download_plan.h"

#include "util/text.h"

namespace http {

namespace {

bool IsAsciiLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool IsSchemeChar(char c) {
  return IsAsciiLetter(c) || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
}

void AppendDecimal(std::string& out, std::uint32_t v) {
  out += util::IntToStr(static_cast<std::int64_t>(v));
}

} // namespace

std::string DownloadDisplayName(std::string_view url) {
  return util::FileNameOf(url);
}

bool HasUrlScheme(std::string_view url) {
  const std::size_t colon = url.find("://");
  if (colon == std::string_view::npos || colon == 0 || !IsAsciiLetter(url[0])) return false;
  for (std::size_t i = 1; i < colon; ++i)
    if (!IsSchemeChar(url[i])) return false;
  return true;
}

std::string NormalizeUrl(std::string_view url) {
  std::string full = HasUrlScheme(url) ? "" : "http://";
  return full.append(url);
}

bool HasUrlHost(std::string_view url) {
  const std::size_t start = url.find("://");
  if (start == std::string_view::npos) return false;
  const std::size_t host = start + 3;
  return host < url.size() && url[host] != '/' && url[host] != '\\' && url[host] != '?' &&
         url[host] != '#' && url[host] != ':';
}

std::string TemporaryPath(std::string_view target, std::uint32_t size, std::uint32_t stamp) {
  std::string path(target);
  path += '.';
  AppendDecimal(path, size + stamp);
  return path;
}

std::uint32_t ChunkSize(std::uint32_t size) {
  const std::uint32_t chunk = size / 10;
  return chunk < 1 ? 1 : chunk > kMaxChunk ? kMaxChunk : chunk;
}

int ProgressMaximum(std::uint32_t size, std::uint32_t chunk) {
  return static_cast<int>(size / chunk + (size % chunk != 0) + 1);
}

std::uint32_t DosDateTime(int year, int month, int day, int hour, int minute, int second) {
  static constexpr unsigned char kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (year < 1980 || year > 2107 || month < 1 || month > 12 || day < 1 || day > kDays[month - 1] ||
      hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59)
    return 0;
  const bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
  if (month == 2 && day == 29 && !leap) return 0;
  return static_cast<std::uint32_t>(year - 1980) << 25 | static_cast<std::uint32_t>(month) << 21 |
         static_cast<std::uint32_t>(day) << 16 | static_cast<std::uint32_t>(hour) << 11 |
         static_cast<std::uint32_t>(minute) << 5 | static_cast<std::uint32_t>(second / 2);
}

bool KiloMode(std::uint32_t size) {
  return size > 102400;
}
bool MegaMode(std::uint32_t size) {
  return size > 10485760;
}

bool IsTemporaryFileOf(std::string_view targetName, std::string_view fileName) {
  if (fileName.size() < targetName.size() + 2 || !util::StartsWithNoCase(fileName, targetName) ||
      fileName[targetName.size()] != '.')
    return false;
  for (char c : fileName.substr(targetName.size() + 1))
    if (c < '0' || c > '9') return false;
  return true;
}

std::string HttpStatusError(std::string_view url, std::uint32_t status) {
  if (status < 400) return {};
  std::string text(url);
  text += " --- HTTP status ";
  AppendDecimal(text, status);
  return text;
}

bool IsDownloadComplete(LoopEnd end, std::uint32_t announced, std::uint32_t received,
                        std::string_view displayName, std::string& errorText) {
  if (end == LoopEnd::kAborted) {
    errorText = "Download Aborted";
    return false;
  }
  if (end == LoopEnd::kFailed) return false;
  if (announced == kUnknownLength || received == announced) return true;
  errorText.assign(displayName)
      .append(received < announced ? " --- Download incomplete (received "
                                   : " --- Download size mismatch (received ");
  AppendDecimal(errorText, received);
  errorText += " of ";
  AppendDecimal(errorText, announced);
  errorText += " bytes)";
  return false;
}

} // namespace http
