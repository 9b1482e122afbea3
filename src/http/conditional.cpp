#include "http/conditional.h"

#include "http/resume_plan.h"

namespace http {

namespace {

bool OneLine(std::string_view s) {
  return s.find_first_of("\r\n") == std::string_view::npos;
}

void AppendHeader(std::string& out, std::string_view name, std::string_view value) {
  if (value.empty() || !OneLine(value)) return;
  out.append(name).append(": ").append(value).append("\r\n");
}

} // namespace

std::string ConditionalHeaders(const Validators& v) {
  std::string headers;
  AppendHeader(headers, "If-None-Match", v.etag);
  AppendHeader(headers, "If-Modified-Since", v.lastModified);
  return headers;
}

std::string FormatValidatorNote(std::string_view url, const Validators& v) {
  if (!OneLine(url) || !OneLine(v.etag) || !OneLine(v.lastModified)) return {};
  std::string note(url);
  return note.append("\n").append(v.etag).append("\n").append(v.lastModified).append("\n");
}

Validators ValidatorsFromNote(std::string_view note, std::string_view url) {
  std::string_view from, etag, lastModified;
  if (!TakeLine(note, from) || !TakeLine(note, etag) || !TakeLine(note, lastModified) ||
      !note.empty() || from != url)
    return {};
  return {std::string(etag), std::string(lastModified)};
}

} // namespace http
