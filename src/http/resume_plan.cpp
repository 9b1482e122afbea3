#include "http/resume_plan.h"

#include "http/download_plan.h"
#include "util/text.h"

namespace http {

namespace {

constexpr std::string_view kNoteSuffix = ".resume";

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// A plain decimal that fits 32 bits; no sign, no spaces.
bool ParseUint32(std::string_view s, std::uint32_t& value) {
  if (s.empty() || s.size() > 10) return false;
  std::uint64_t v = 0;
  for (char c : s) {
    if (!IsDigit(c)) return false;
    v = v * 10 + static_cast<std::uint64_t>(c - '0');
  }
  if (v > 0xFFFFFFFFu) return false;
  value = static_cast<std::uint32_t>(v);
  return true;
}

bool HasLineBreak(std::string_view s) {
  return s.find_first_of("\r\n") != std::string_view::npos;
}

} // namespace

std::string ResumeNotePath(std::string_view temporary) {
  std::string path(temporary);
  return path.append(kNoteSuffix);
}

bool IsResumeNoteOf(std::string_view targetName, std::string_view fileName) {
  if (fileName.size() <= kNoteSuffix.size() ||
      !util::EqualsNoCase(fileName.substr(fileName.size() - kNoteSuffix.size()), kNoteSuffix))
    return false;
  return IsTemporaryFileOf(targetName, fileName.substr(0, fileName.size() - kNoteSuffix.size()));
}

std::string FormatResumeNote(const ResumeNote& note) {
  std::string text = note.url;
  text.append("\n").append(util::IntToStr(note.total)).append("\n");
  return text.append(note.validator).append("\n");
}

bool ParseResumeNote(std::string_view text, ResumeNote& note) {
  std::string_view url, total, validator;
  if (!TakeLine(text, url) || !TakeLine(text, total) || !TakeLine(text, validator) || !text.empty())
    return false;
  ResumeNote parsed{std::string(url), 0, std::string(validator)};
  if (!ParseUint32(total, parsed.total)) return false;
  note = std::move(parsed);
  return true;
}

std::string ChooseValidator(std::string_view etag, std::string_view lastModified) {
  etag = util::TrimView(etag);
  lastModified = util::TrimView(lastModified);
  // A strong entity tag is a quoted string; "W/" marks a weak one.
  if (etag.size() >= 2 && etag.front() == '"' && etag.back() == '"' && !HasLineBreak(etag))
    return std::string(etag);
  if (!HasLineBreak(lastModified)) return std::string(lastModified);
  return {};
}

bool IsResumable(std::uint32_t total, std::string_view validator) {
  return !validator.empty() && total != 0 && total != kUnknownLength;
}

bool CanContinue(const ResumeNote& note, std::string_view url, std::uint64_t have) {
  return note.url == url && IsResumable(note.total, note.validator) && have > 0 &&
         have < note.total;
}

std::string ResumeHeaders(std::uint32_t offset, std::string_view validator) {
  std::string headers = "Range: bytes=";
  headers.append(util::IntToStr(offset)).append("-\r\nIf-Range: ");
  return headers.append(validator).append("\r\n");
}

bool ParseContentRange(std::string_view text, std::uint32_t& first, std::uint32_t& last,
                       std::uint32_t& total) {
  text = util::TrimView(text);
  if (text.size() < 6 || !util::StartsWithNoCase(text, "bytes") || text[5] != ' ') return false;
  text.remove_prefix(6);
  const std::size_t dash = text.find('-');
  const std::size_t slash = text.find('/');
  if (dash == std::string_view::npos || slash == std::string_view::npos || slash < dash)
    return false;
  std::uint32_t f = 0, l = 0, t = 0;
  if (!ParseUint32(util::TrimView(text.substr(0, dash)), f) ||
      !ParseUint32(util::TrimView(text.substr(dash + 1, slash - dash - 1)), l) ||
      !ParseUint32(util::TrimView(text.substr(slash + 1)), t) || f > l || l >= t)
    return false;
  first = f;
  last = l;
  total = t;
  return true;
}

ResumeAnswer InterpretResumeAnswer(std::uint32_t status, std::string_view contentRange,
                                   std::uint32_t offset, std::uint32_t total) {
  if (status == 200) return ResumeAnswer::kStartOver;
  if (status == 206) {
    std::uint32_t first = 0, last = 0, length = 0;
    // Only exactly the rest of the same length joins up with the partial file.
    const bool rest = ParseContentRange(contentRange, first, last, length) && first == offset &&
                      length == total && last == total - 1;
    return rest ? ResumeAnswer::kContinue : ResumeAnswer::kDiscard;
  }
  // 416: the server cannot serve the rest of what the partial file is part of.
  if (status >= 400 && status != 416) return ResumeAnswer::kError;
  return ResumeAnswer::kDiscard;
}

std::string DiscardError(std::string_view displayName) {
  std::string text(displayName);
  return text.append(" --- Unable to continue the download");
}

int ProgressStart(std::uint32_t done, std::uint32_t chunk) {
  return static_cast<int>(1 + done / chunk);
}

bool TakeLine(std::string_view& rest, std::string_view& line) {
  const std::size_t end = rest.find('\n');
  if (end == std::string_view::npos) return false;
  line = rest.substr(0, end);
  rest.remove_prefix(end + 1);
  return true;
}

} // namespace http
